// The station's serial-number ledger under real Updates with Program SN (in-process box,
// virtual clock, the SQLite ledger in a temporary file): which number a chip gets, what the
// ledger keeps of it, ranges, a process that died holding a number, a ledger that cannot be
// written; where the ledger lives; the paths Config.dat cannot hold.
#include <gtest/gtest.h>

#include <algorithm>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "host/ProgramDirectory.h"
#include "host/Config.h"
#include "sim/ProgrammerBox.h"
#include "support/EngineHost.h"
#include "ui/main/ResourceIds.h"

namespace lumacrest {
namespace {

using test::EngineHost;
using Lines = std::vector<std::string>;
constexpr uint32_t kSnAt = 8;

// An Update that writes the flash with a serial number at kSnAt.
struct SnStation : EngineHost {
    explicit SnStation(sim::BoxConfig config = {}) : EngineHost(std::move(config)) {
        for (uint32_t i = 0; i < 16 * 64; ++i) h().target.buf().flash[i] = static_cast<uint8_t>(i * 7 + 3);
        Tick({.eraseChip = true, .programFlash = true, .programSn = true});
        h().sn.SnWidth = 4;
        h().sn.SnAddress = kSnAt;
    }
    // Starts an Update asking for `asked`, as a run without a saved Config.dat does each time.
    void Start(uint32_t asked) {
        ClearSent();
        h().sn.SnValue = asked;
        Command(id::Update);
    }
    uint32_t Update(uint32_t asked) {
        Start(asked);
        RunUntilIdle();
        return OnChip();
    }
    uint32_t OnChip() {
        const std::vector<uint8_t>& f = box->flash();
        return uint32_t{f[kSnAt]} << 24 | uint32_t{f[kSnAt + 1]} << 16 | uint32_t{f[kSnAt + 2]} << 8 | f[kSnAt + 3];
    }
    std::vector<SerialRow> History(uint32_t number) {
        SerialQuery q;
        q.number = number;
        return serials.List(q).rows;
    }
    std::vector<SerialState> States(uint32_t number) {
        std::vector<SerialState> states;
        for (const SerialRow& r : History(number)) states.push_back(r.state);
        return states;
    }
};

sim::BoxConfig OneFault(sim::FaultKind kind, int code) {
    sim::BoxConfig config;
    sim::Fault fault;
    fault.kind = kind;
    fault.code = code;
    fault.times = 1;
    config.faults.push_back(fault);
    return config;
}

TEST(SerialLedger, RunsAskingForTheSameNumberGetTheNextNeverIssuedAndTheLogSaysSo) {
    SnStation t;
    EXPECT_EQ(t.Update(700), 700u);
    EXPECT_EQ(t.Update(700), 701u);
    const Lines second = t.RunLines();
    EXPECT_EQ(t.Update(700), 702u);
    ASSERT_FALSE(second.empty());
    EXPECT_TRUE(second[0].rfind("Serial number 700 was issued on 20", 0) == 0) << second[0];
    EXPECT_NE(second[0].find(" UTC; 701 is used"), std::string::npos) << second[0];
    EXPECT_EQ(t.h().sn.SnValue, 703u);  // what Config.dat would keep
    for (uint32_t n : {700u, 701u, 702u}) {
        const std::vector<SerialRow> rows = t.History(n);
        ASSERT_EQ(rows.size(), 1u);
        EXPECT_EQ(rows[0].state, SerialState::Programmed);
        EXPECT_EQ(rows[0].issue.runId.size(), 32u);
        EXPECT_FALSE(rows[0].marked.empty());
    }
    EXPECT_NE(t.History(700)[0].issue.runId, t.History(701)[0].issue.runId);
}

TEST(SerialLedger, AGivenBackNumberIsIssuedAgainFirstAndAFailedChipKeepsItsNumber) {
    {
        SnStation t(OneFault(sim::FaultKind::VerifyDiffers, CMD_VERIFY_FLASH_BLOCK));
        t.Update(700);
        EXPECT_EQ(t.box->lastExitResult(), 0);
        EXPECT_EQ(t.h().sn.SnValue, 700u);
        EXPECT_EQ(t.States(700), (std::vector<SerialState>{SerialState::GivenBack}));
        EXPECT_EQ(t.Update(700), 700u);
        EXPECT_EQ(t.States(700), (std::vector<SerialState>{SerialState::GivenBack, SerialState::Programmed}));
    }
    {
        // A failed erase does not give the number back: the ledger never issues it again.
        SnStation t(OneFault(sim::FaultKind::EraseFails, -1));
        t.Update(40);
        EXPECT_EQ(t.States(40), (std::vector<SerialState>{SerialState::Failed}));
        EXPECT_EQ(t.Update(40), 41u);
    }
}

TEST(SerialLedger, SeveralPortsInOneProcessDrawDistinctNumbersAndNumberSpacesStayApart) {
    SnStation a, b;
    b.h().platform.serials = &a.serials;  // one station, two programmers
    a.Start(900);
    b.Start(900);  // while the first chip is under way
    a.RunUntilIdle();
    b.RunUntilIdle();
    EXPECT_EQ(a.OnChip(), 900u);
    EXPECT_EQ(b.OnChip(), 901u);
    // A second product with its own numbers on the same station: neither moves the other.
    EXPECT_EQ(a.Update(500000), 500000u);
    EXPECT_EQ(b.Update(900), 902u);
    EXPECT_EQ(a.Update(500000), 500001u);
}

TEST(SerialLedger, ARangeRefusesANumberOutsideItAndWhenUsedUpBeforeAnythingIsSent) {
    SnStation t;
    ASSERT_EQ(t.serials.SetRange(SerialRange{100, 101}), "");
    t.Update(50);
    EXPECT_TRUE(t.SentCodes().empty());
    EXPECT_EQ(t.RunLines().back(),
              "Program SN refused: serial number 50 lies outside this station's range 100-101 (2 numbers left)");
    EXPECT_EQ(t.MessageTexts().back(),
              "******Serial number 50 lies outside this station's range 100-101 (2 numbers left), "
              "nothing programmed******   ");
    EXPECT_EQ(t.h().history.last.verdict, Verdict::Refused);
    EXPECT_EQ(t.Update(100), 100u);
    EXPECT_EQ(t.Update(100), 101u);
    t.Update(100);
    EXPECT_TRUE(t.SentCodes().empty());
    EXPECT_EQ(t.RunLines().back(), "Program SN refused: this station's range 100-101 is used up (0 numbers left)");
    EXPECT_EQ(t.h().sn.SnValue, 100u);
    ASSERT_EQ(t.serials.SetRange(SerialRange{98, 101}), "");
    t.Update(100);
    EXPECT_EQ(t.RunLines().back(), "Program SN refused: this station's range 98-101 has no number left at or "
                                   "above 100 (2 numbers left below it)");
    EXPECT_EQ(t.Update(98), 98u);
    EXPECT_TRUE(t.AtRest());
}

TEST(SerialLedger, ANumberReservedByAProcessThatDiedIsUnknownAndNeverIssuedAgain) {
    SnStation t;
    const pid_t child = ::fork();
    if (child == 0) {
        SqliteSerialLedger own(t.dir.File("serials.db"));
        const SerialDraw d = own.Draw(700, {});
        ::_exit(d.number == 700u ? 0 : 1);  // ends without marking it
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_EQ(WEXITSTATUS(status), 0);
    EXPECT_EQ(t.States(700), (std::vector<SerialState>{SerialState::Unknown}));
    EXPECT_EQ(t.Update(700), 701u);
    EXPECT_EQ(t.States(700), (std::vector<SerialState>{SerialState::Unknown}));
}

TEST(SerialLedger, ProcessesDrawingAtOnceNeverGetTheSameNumber) {
    test::TempDir dir;
    const std::string path = dir.File("serials.db");
    constexpr int kProcesses = 4, kDraws = 40;
    std::vector<pid_t> children;
    for (int p = 0; p < kProcesses; ++p) {
        const pid_t child = ::fork();
        if (child == 0) {
            SqliteSerialLedger own(path);
            bool ok = true;
            for (int i = 0; i < kDraws && ok; ++i) {
                SerialIssue issue;
                issue.runId = std::to_string(::getpid()) + "-" + std::to_string(i);
                const SerialDraw d = own.Draw(1, issue);
                ok = d.number && own.Mark(*d.number, issue.runId, SerialState::Programmed).empty();
            }
            ::_exit(ok ? 0 : 1);
        }
        children.push_back(child);
    }
    for (pid_t child : children) {
        int status = 0;
        ASSERT_EQ(::waitpid(child, &status, 0), child);
        EXPECT_EQ(WEXITSTATUS(status), 0);
    }
    SqliteSerialLedger ledger(path);
    SerialQuery q;
    q.last = 1000;
    q.asked = 1;
    const SerialListing l = ledger.List(q);
    ASSERT_EQ(l.rows.size(), std::size_t{kProcesses * kDraws});
    std::vector<uint32_t> numbers;
    for (const SerialRow& r : l.rows) {
        EXPECT_EQ(r.state, SerialState::Programmed);
        numbers.push_back(r.number);
    }
    std::sort(numbers.begin(), numbers.end());
    for (std::size_t i = 0; i < numbers.size(); ++i) EXPECT_EQ(numbers[i], i + 1);
    EXPECT_EQ(l.next, uint32_t{kProcesses * kDraws + 1});
}

TEST(SerialLedger, ALedgerThatCannotBeWrittenRefusesProgramSnAndRunsWithoutItNeverOpenIt) {
    SnStation t;
    SqliteSerialLedger nowhere(t.dir.File("missing/serials.db"));
    t.h().platform.serials = &nowhere;
    t.Update(7);
    EXPECT_TRUE(t.SentCodes().empty());
    EXPECT_EQ(t.MessageTexts().back(), "******The serial-number ledger " + t.dir.File("missing/serials.db") +
                                           " cannot be created: No such file or directory, nothing programmed******   ");
    EXPECT_EQ(t.h().sn.SnValue, 7u);

    SnStation plain;
    plain.Tick({.eraseChip = true, .programFlash = true});
    plain.Update(7);
    EXPECT_EQ(plain.box->lastExitResult(), 1);
    struct stat st;
    EXPECT_NE(::stat(plain.dir.File("serials.db").c_str(), &st), 0);

    // A ledger made by a draw is open to the folder's group whatever the umask.
    const mode_t before = ::umask(077);
    EXPECT_EQ(plain.serials.SetRange(std::nullopt), "");
    ::umask(before);
    ASSERT_EQ(::stat(plain.dir.File("serials.db").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0660u);
}

TEST(SerialLedgerPath, APortableTreeOrADirKeepsItsOwnAnInstalledProgramTheStations) {
    const UserFolders user{"", "/home/op"};
    const ProgramDirectory portable = ChooseProgramDirectory(LUMACREST_PROGRAM_DIR, "", user);
    EXPECT_EQ(SerialLedgerPath(portable, "", nullptr), portable.path + "serials.db");
    const ProgramDirectory chosen = ChooseProgramDirectory("/opt/x/bin", "/srv/line3", user);
    EXPECT_EQ(SerialLedgerPath(chosen, "", ""), "/srv/line3/serials.db");
    const ProgramDirectory installed = ChooseProgramDirectory("/nonexistent/usr/bin", "", user);
    EXPECT_EQ(installed.path, "/home/op/.local/share/lumacrest/");
    EXPECT_EQ(SerialLedgerPath(installed, "", nullptr), "/var/lib/lumacrest/serials.db");
    EXPECT_EQ(SerialLedgerPath(installed, "", "/srv/s.db"), "/srv/s.db");
    EXPECT_EQ(SerialLedgerPath(installed, "/tmp/o.db", "/srv/s.db"), "/tmp/o.db");
}

TEST(ConfigPaths, APathTheFileCannotHoldIsSavedAsNoPathAndTheLogSaysWhich) {
    test::TestHost t;
    Host& h = t.h();
    ReadConfig(h);  // the defaults
    const std::size_t linesBefore = test::Lines(BuildConfigText(h)).size();
    h.target.FlashFilePath = "/images/a\nb.hex";
    h.target.BootFilePath = "/images/boot file.hex";
    h.target.KeyCodeFilePath = "/images/key.bin\r";
    const Lines lines = test::Lines(BuildConfigText(h));
    EXPECT_EQ(lines.size(), linesBefore);
    EXPECT_EQ(Lines(lines.begin() + 3, lines.begin() + 7),
              (Lines{"W\\:", "/images/boot file.hex", "W\\:", "W\\:"}));
    const Lines log = t.LogLines();
    EXPECT_EQ(Lines(log.end() - 2, log.end()),
              (Lines{"Config.dat does not keep the flash file path \"/images/a\\nb.hex\": it holds a line break",
                     "Config.dat does not keep the KeyCode file path \"/images/key.bin\\r\": it ends in a "
                     "carriage return"}));
    EXPECT_EQ(h.target.FlashFilePath, "/images/a\nb.hex");  // still the image of this run
}

}  // namespace
}  // namespace lumacrest
