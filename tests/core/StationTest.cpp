// The station's rules (which tiles a key starts, the shift's counts, what a verdict shows)
// and its tiles' feeds driving real runs against in-process boxes.
#include <gtest/gtest.h>

#include <algorithm>

#include "host/RunRecords.h"
#include "link/Frames.h"
#include "support/FakeLink.h"
#include "support/ExpectedLogs.h"
#include "ui/station/Station.h"
#include "ui/station/TileFeed.h"

namespace lumacrest {
namespace {

Station ThreeTiles() {
    Station s({"COM3", "COM4", "/dev/ttyUSB0"});
    for (TileState& t : s.Tiles()) t.presence = TilePresence::Ready;
    return s;
}

TEST(StationKeys, StartOnlyIdleTilesWithAProgrammer) {
    Station s = ThreeTiles();
    s.Tile(1).running = true;
    EXPECT_EQ(s.TilesToStart(StationKey::Return), (std::vector<std::size_t>{0, 2}));
    s.Tile(2).presence = TilePresence::NoProgrammer;
    EXPECT_EQ(s.TilesToStart(StationKey::Return), (std::vector<std::size_t>{0}));
    // A running tile is never started twice, a digit names one tile alone.
    EXPECT_TRUE(s.TilesToStart(StationKey::Digit, 2).empty());
    EXPECT_EQ(s.TilesToStart(StationKey::Digit, 1), (std::vector<std::size_t>{0}));
    EXPECT_TRUE(s.TilesToStart(StationKey::Digit, 0).empty());  // the tenth: there is none
    Station ten(std::vector<std::string>(10, "COM1"));
    ten.Tile(9).presence = TilePresence::Ready;
    EXPECT_EQ(ten.TilesToStart(StationKey::Digit, 0), (std::vector<std::size_t>{9}));
}

TEST(StationKeys, ArrowsMoveOverTheGridAndSpaceStartsTheChosenTile) {
    Station s(std::vector<std::string>(6, "COM1"));  // 3 columns, 2 rows
    for (TileState& t : s.Tiles()) t.presence = TilePresence::Ready;
    const std::size_t columns = Station::ColumnsFor(6);
    ASSERT_EQ(columns, 3u);
    s.Move(StationKey::Left, columns);
    EXPECT_EQ(s.Selected(), 0u);
    s.Move(StationKey::Down, columns);
    EXPECT_EQ(s.Selected(), 3u);
    s.Move(StationKey::Down, columns);
    EXPECT_EQ(s.Selected(), 3u);
    s.Move(StationKey::Right, columns);
    s.Move(StationKey::Up, columns);
    EXPECT_EQ(s.Selected(), 1u);
    EXPECT_EQ(s.TilesToStart(StationKey::Space), (std::vector<std::size_t>{1}));
    s.Tile(1).running = true;
    EXPECT_TRUE(s.TilesToStart(StationKey::Space).empty());
    EXPECT_EQ(Station::ColumnsFor(16), 4u);
}

TEST(StationCounts, RetriesOfAFailedChipAreNoFirstAttempts) {
    Station s = ThreeTiles();
    VerdictFace pass, fail;
    pass.passed = true;
    s.ChipEnded(0, pass);
    s.ChipEnded(1, fail);
    s.ChipEnded(1, pass);  // the same chip again
    s.ChipEnded(1, pass);
    s.ChipEnded(2, fail);
    const ShiftCounts total = s.Totals();
    EXPECT_EQ(total.passed, 3u);
    EXPECT_EQ(total.failed, 2u);
    EXPECT_EQ(total.firstAttempts, 4u);
    EXPECT_EQ(total.firstAttemptsPassed, 2u);
    EXPECT_EQ(total.FirstPassYield(), "50.0 %");
    EXPECT_EQ(s.Tile(1).counts.Line(), "Passed 2   Failed 1   First-pass yield 50.0 %");
    s.ResetCounts();
    EXPECT_EQ(s.Totals().Line(), "Passed 0   Failed 0   First-pass yield -");
    // After a reset the next run on a tile that failed is a first attempt again.
    s.ChipEnded(2, pass);
    EXPECT_EQ(s.Totals().firstAttemptsPassed, 1u);
}

TEST(StationVerdict, FacesOfRuns) {
    Outcome o;
    o.kind = RunKind::Update;
    o.verdict = Verdict::Failed;
    o.stage = Stage::VerifyFlash;
    o.text = "Verify FLASH......Failed";
    o.serialNumber = 1204;
    o.startedMs = 1000;
    o.endedMs = 13360;
    const std::optional<VerdictFace> f = FaceOf(o);
    ASSERT_TRUE(f);
    EXPECT_EQ(f->word, "FAIL");
    EXPECT_EQ(f->Detail(), "at flash verify\nVerify FLASH......Failed\nSN 1204\n12.4 s");
    EXPECT_TRUE(IsChipRun(o));
    o.verdict = Verdict::Refused;  // nothing reached the programmer: shown, not counted
    EXPECT_TRUE(FaceOf(o));
    EXPECT_FALSE(IsChipRun(o));
    o.kind = RunKind::Identify;
    o.stage = Stage::Identify;
    ASSERT_TRUE(FaceOf(o));  // nobody answered: said so
    o.verdict = Verdict::Passed;
    EXPECT_FALSE(FaceOf(o));  // a connect that found its programmer is no verdict
}

TEST(StationPorts, TheListOfTheCommandLine) {
    EXPECT_EQ(ParsePortList("COM3,/dev/ttyUSB0").ports, (std::vector<std::string>{"COM3", "/dev/ttyUSB0"}));
    EXPECT_EQ(ParsePortList("COM3,COM3").error, "the port COM3 is listed twice");
    EXPECT_EQ(ParsePortList("USB").error, "unknown port USB (COM1..COM16 or a device path)");
    EXPECT_FALSE(ParsePortList("COM3,").error.empty());
    std::string seventeen = "COM1";
    for (int i = 2; i <= 17; ++i) seventeen += ",/dev/pts/" + std::to_string(i);
    EXPECT_EQ(ParsePortList(seventeen).error, "at most 16 ports, not 17");
}

// A tile's feed over its own clock and port: the station's tiles each run on their own.
struct FedTile {
    test::VirtualClock clock;
    test::FakeSerialPort port{clock};
    std::vector<Outcome> ended;
    std::unique_ptr<TileFeed> feed;

    FedTile(const test::TestHost& station, const std::string& name, unsigned n) {
        port.AddBox(test::LinkHost::Device(n));
        TilePlatform platform{nullptr, &port, &clock, nullptr, nullptr};
        TileFeed::Events events;
        events.runEnded = [this](const Outcome& o) { ended.push_back(o); };
        feed = std::make_unique<TileFeed>(station.dir.path(), name, platform, events);
    }
};

TEST(TileFeed, TwoTilesIdentifyAndUpdateEachOnItsOwnWithRecords) {
    test::TestHost station;
    // The first-run settings with the small device of the tests; Program Flash only.
    test::WriteText(station.dir.File("Config.dat"),
                    "YES\nMN101EF32D\nCOM1\nW\\:\nW\\:\nW\\:\nW\\:\n2\n0\n1\n16\n64\n16\n64\n16\n"
                    "32\n4\n0\n0\n0\n0\n0\n0\n0\n0\n16384\n16384\n3\n1\n0\nAdapter:T\n1\n");
    test::WriteText(station.dir.File("Ports.dat"), "COM3 dev/com3\nCOM4 dev/com4\n");
    test::WriteText(station.dir.File("main.bin"), std::string(200, '\x42'));
    FedTile a(station, "COM3", 3), b(station, "COM4", 4);
    const std::string records = station.dir.File("runs.jsonl");
    for (FedTile* t : {&a, &b}) {
        ASSERT_EQ(t->feed->Init(), "");
        t->feed->RecordTo(records, nullptr);
        t->feed->LoadFlashFile(station.dir.File("main.bin"), 0);
        t->feed->Identify();
    }
    EXPECT_EQ(a.feed->Device(), "dev/com3");
    // The second box fails the verify of its first block.
    b.port.Box("dev/com4").config().faults.push_back(
        sim::Fault{sim::FaultKind::VerifyDiffers, CMD_VERIFY_FLASH_BLOCK, -1, 0});
    auto pump = [&] {
        while (a.feed->Busy() || b.feed->Busy()) {
            a.clock.PumpEvents();
            b.clock.PumpEvents();
        }
    };
    pump();
    ASSERT_EQ(a.ended.size(), 1u);
    EXPECT_TRUE(a.ended[0].Passed());
    EXPECT_FALSE(a.feed->ProgrammerName().empty());
    a.feed->StartUpdate();
    b.feed->StartUpdate();
    EXPECT_EQ(a.feed->Stage(), StageName(Stage::ProgramMode));
    a.feed->StartUpdate();  // a running tile is not started twice
    pump();
    ASSERT_EQ(a.ended.size(), 2u);
    ASSERT_EQ(b.ended.size(), 2u);
    EXPECT_TRUE(a.ended[1].Passed());
    EXPECT_FALSE(b.ended[1].Passed());
    EXPECT_EQ(a.feed->Log().substr(a.feed->Log().rfind('\n') + 1), "Eixt Program Mode......OK");
    // One record a chip, and none for a connect that found its programmer.
    const std::vector<std::string> lines = test::Lines(test::ReadText(records));
    ASSERT_EQ(std::count_if(lines.begin(), lines.end(), [](const std::string& l) { return !l.empty(); }), 2);
    auto recordOf = [&lines](const std::string& port) {
        for (const std::string& l : lines)
            if (l.find("\"port\":\"" + port + "\"") != std::string::npos) return l;
        return std::string();
    };
    EXPECT_NE(recordOf("COM3").find("\"outcome\":\"pass\""), std::string::npos);
    EXPECT_NE(recordOf("COM4").find("\"outcome\":\"fail\",\"stage\":\"flash verify\""), std::string::npos);
}

}  // namespace
}  // namespace lumacrest
