// How runs end and what counts as busy, driven through real operations against the
// in-process box: short replies, frames the box sends on its own in the middle of a run, the
// loader's sector sums, and the firmware problems found at identification.
#include <gtest/gtest.h>

#include <algorithm>

#include "host/CipherFileCommands.h"
#include "image/DeviceCatalogue.h"
#include "image/Crc16.h"
#include "ops/DeviceSteps.h"
#include "ops/Runs.h"
#include "support/EngineHost.h"
#include "ui/main/ResourceIds.h"
#include "host/ImageFileCommands.h"
#include "host/RunRecords.h"
#include "platform/DialogSessions.h"

namespace lumacrest {
namespace {

using Bytes = std::vector<uint8_t>;
using Lines = std::vector<std::string>;
using sim::Fault;
using sim::FaultKind;
using test::EngineHost;

Fault MakeFault(FaultKind kind, int code, int times = -1, uint32_t value = 0) {
    Fault f;
    f.kind = kind;
    f.code = code;
    f.times = times;
    f.value = value;
    return f;
}

void FillFlash(Host& h) {
    for (uint32_t i = 0; i < 16 * 64; ++i) h.target.buf().flash[i] = static_cast<uint8_t>(i * 7 + i / 64);
}

std::size_t Count(const Bytes& codes, uint8_t code) {
    return static_cast<std::size_t>(std::count(codes.begin(), codes.end(), code));
}

bool ChipHoldsImage(EngineHost& t) {
    return std::equal(t.h().target.buf().flash.begin(), t.h().target.buf().flash.begin() + 16 * 64,
                      t.box->flash().begin());
}

bool OnlyComListEnabled(EngineHost& t) {
    const MainModel& ui = t.app->model;
    return ui.IsEnabled(id::ComList) && !ui.IsEnabled(id::Update) && !ui.IsEnabled(id::McuList);
}

// Reserve_Jia packages fw.bin; true when it did so without being refused.
bool PackagerRuns(EngineHost& t) {
    test::WriteText(t.dir.File("fw.bin"), std::string(300, '\x5A'));
    t.prompts.QueueFile(t.dir.File("fw.bin"));
    const std::size_t before = t.prompts.messages.size();
    t.Command(id::ReserveJia);
    const auto texts = t.MessageTexts();
    const bool refused = std::find(texts.begin() + static_cast<long>(before), texts.end(),
                                   kProgrammerBusy) != texts.end();
    return !refused && std::filesystem::exists(t.dir.File(kUpdateFileName));
}

TEST(Busy, FinishedExchangesLeaveTheFileCommandsFree) {
    {
        SCOPED_TRACE("after an identify");
        EngineHost t;
        t.ChooseCom("COM1");
        t.RunUntilIdle();
        EXPECT_TRUE(PackagerRuns(t));
    }
    {
        SCOPED_TRACE("after an Update");
        EngineHost t;
        t.Tick({.programFlash = true});
        t.Update();
        t.RunUntilIdle();
        EXPECT_TRUE(PackagerRuns(t));
    }
    {
        SCOPED_TRACE("a programmer whose firmware must be updated");
        sim::BoxConfig c;
        c.fwMajor = 1;
        c.fwMinor = 9;
        EngineHost t(c);
        t.ChooseCom("COM1");
        t.RunUntilIdle();
        ASSERT_TRUE(t.app->model.IsEnabled(id::ReserveJia));
        EXPECT_TRUE(PackagerRuns(t));
    }
    {
        SCOPED_TRACE("while a run waits for its reply");
        EngineHost t;
        t.box->config().faults.push_back(MakeFault(FaultKind::LateReply, CMD_CHIP_ERASE, 1, 3000));
        t.Operate(SingleOperation::ChipErase);
        t.clock.Advance(100);
        EXPECT_FALSE(PackagerRuns(t));
        t.RunUntilIdle();
        EXPECT_TRUE(PackagerRuns(t));
    }
}

// Nothing changes the images, the device or the options of a run while it runs: the commands
// that would wait, and the run keeps the options it started with.
TEST(Busy, CommandsThatWouldChangeARunWaitForIt) {
    EngineHost t;
    FillFlash(t.h());
    t.port.delivery.extraDelayMs = 10;
    t.Tick({.eraseChip = true, .programFlash = true});
    int blocks = 0;
    t.box->onEvent = [&](const std::string& e) {
        if (e.rfind("rx 0x13", 0) != 0 || ++blocks != 3) return;
        t.clock.Schedule(1, [&] {
            for (int command : {id::LoadProject, id::LoadFlashFile, id::SnSet, id::McuList,
                                id::FlashBuffer, id::ChipErase, id::Update})
                t.Command(command);
        });
    };
    t.Update();
    t.RunUntilIdle();
    EXPECT_EQ(t.MessageTexts(), Lines(7, kProgrammerBusy));
    EXPECT_TRUE(t.prompts.fileFilters.empty());
    EXPECT_EQ(t.RunLines().back(), "Eixt Program Mode......OK");
    EXPECT_TRUE(ChipHoldsImage(t));
}

// A well-formed reply that is shorter than the awaited one is no answer: the stage ends at
// its time-out, and nothing is judged on bytes an earlier reply left behind.
TEST(ShortReplies, EndTheStageAtItsTimeOut) {
    struct Case {
        uint8_t code;
        uint32_t payload;
        uint64_t timeoutMs;
        std::string line;
    };
    const Case cases[] = {
        {CMD_ENTER_PROGRAM_MODE, 0, 3000, "Enter Program Mode......Timer Over "},
        {CMD_CHIP_ERASE, 0, 30000, "Erase Device,Please Waiting...... Timer Over "},
        {CMD_WRITE_FLASH_BEGIN, 0, 5000, "Timer Over "},
        {CMD_VERIFY_FLASH_BLOCK, 10, 5000, "Verify FLASH......Timer Over "},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(static_cast<int>(c.code));
        EngineHost t;
        Host& h = t.h();
        FillFlash(h);
        // A good run first leaves its replies' bytes behind in the host.
        t.Tick({.eraseChip = true, .programFlash = true, .programSn = true});
        h.sn.SnWidth = 4;
        h.sn.SnValue = 20;
        t.Update();
        t.RunUntilIdle();
        ASSERT_EQ(t.box->lastExitResult(), 1);
        t.box->config().faults.push_back(MakeFault(FaultKind::ShortPayload, c.code, 1, c.payload));
        t.ClearSent();
        t.Update();
        t.RunUntilIdle();
        const Lines lines = t.RunLines();
        ASSERT_FALSE(lines.empty());
        if (c.line == "Timer Over ")
            EXPECT_EQ(lines.back().substr(lines.back().size() - 11), c.line);
        else
            EXPECT_EQ(lines.back(), c.line);
        EXPECT_EQ(t.SentCodes().back(), c.code);
        EXPECT_EQ(std::count(lines.begin(), lines.end(), "ADP Error."), 0);
        EXPECT_EQ(h.sn.SnValue, 21u);  // the failed chip's number is given back
        EXPECT_TRUE(t.AtRest());
    }
}

sim::BoxConfig SendsDuringRun(uint8_t frame) {
    sim::BoxConfig c;
    c.unsolicited.push_back({CMD_WRITE_FLASH_BLOCK, frame});
    c.settings[5] = 4;     // DeviceType 4
    c.settings[6] = 0;     // flash pages of 128 bytes
    c.settings[7] = 128;
    c.settings[9] = 32;
    c.settings[18] = 0;    // no erase
    return c;
}

// Frames the box sends on its own while a device operation awaits a reply leave the run as it
// is; when it has ended, the settings report is applied and the requests the box made in the
// middle of it are refused with a line each.
TEST(BoxFramesDuringARun, WaitForTheRunToEnd) {
    struct Case {
        uint8_t frame;
        bool badCrc;
        const char* after;  // the line after the run's own
    };
    const std::vector<Case> cases = {
        {CMD_DATAFLASH_BEGIN, false, "Programmer asked for DataFlash Download during a run: refused"},
        {CMD_SECTOR_SUM, false, "Programmer asked for Sector Sums during a run: refused"},
        {CMD_DATAFLASH_CONFIG, false, "Programmer Stored Settings......OK"},
        {CMD_DATAFLASH_CONFIG, true, "Programmer Stored Settings......Failed"}};
    for (const Case& k : cases) {
        SCOPED_TRACE(std::string(k.after) + (k.badCrc ? " bad CRC" : ""));
        sim::BoxConfig c = SendsDuringRun(k.frame);
        if (k.badCrc) c.faults.push_back(MakeFault(FaultKind::BadCrc, CMD_DATAFLASH_CONFIG));
        EngineHost t(c);
        Host& h = t.h();
        FillFlash(h);
        t.port.delivery.extraDelayMs = 10;  // the frames arrive while blocks are written
        t.Tick({.eraseChip = true, .programFlash = true});
        bool unchangedDuringWrite = true;
        t.box->onEvent = [&](const std::string& e) {
            if (e.rfind("rx 0x13", 0) == 0)
                unchangedDuringWrite &= !t.ControlsIdle() && h.target.dev.FlashPageSize == 64u &&
                                        h.target.DeviceType == 0;
        };
        t.Update();
        t.RunUntilIdle();
        EXPECT_EQ(t.RunLines(),
                  (Lines{"Enter Program Mode......OK",
                         "KeyCode Verify......KeyCode is not enable.",
                         "Erase Device,Please Waiting...... OK", "Write FLASH......OK",
                         "Verify FLASH......OK", "Eixt Program Mode......OK", k.after}));
        EXPECT_TRUE(ChipHoldsImage(t));
        EXPECT_EQ(t.box->lastExitResult(), 1);
        EXPECT_TRUE(unchangedDuringWrite);
        const bool applied = k.frame == CMD_DATAFLASH_CONFIG && !k.badCrc;
        EXPECT_EQ(h.target.DeviceType, applied ? 4 : 0);
        EXPECT_EQ(h.target.dev.FlashPageSize, applied ? 128u : 64u);
        EXPECT_EQ(h.view.Options().eraseChip, !applied);
        EXPECT_EQ(Count(t.SentCodes(), CMD_DATAFLASH_FLASH_BLOCK), 0u);
        EXPECT_EQ(Count(t.SentCodes(), CMD_SECTOR_SUM), 0u);
        EXPECT_TRUE(t.AtRest());

        // The next single command starts from program mode again.
        t.ClearSent();
        t.Operate(SingleOperation::WriteFlash);
        ASSERT_FALSE(t.SentCodes().empty());
        EXPECT_EQ(t.SentCodes().front(), CMD_ENTER_PROGRAM_MODE);
        t.RunUntilIdle();
    }
}

TEST(BoxFramesDuringARun, AFrameInTheSameReadAsTheAwaitedReplyLosesNothing) {
    EngineHost t;
    Host& h = t.h();
    // The erase answer does not come from the box: it arrives behind a settings report, both
    // in one read.
    t.box->config().faults.push_back(MakeFault(FaultKind::NoReply, CMD_CHIP_ERASE));
    t.Tick({.eraseChip = true});
    bool injected = false;
    t.box->onEvent = [&](const std::string& e) {
        if (injected || e.rfind("rx 0x11", 0) != 0) return;
        injected = true;
        std::vector<uint8_t> settings(65, 0);
        settings[5] = 4;
        settings[7] = 64;
        settings[9] = 16;
        const uint16_t crc = Crc16(settings.data(), 63);
        settings[63] = static_cast<uint8_t>(crc >> 8);
        settings[64] = static_cast<uint8_t>(crc);
        Bytes read = sim::ProgrammerBox::Frame(CMD_DATAFLASH_CONFIG, settings);
        const Bytes erased = sim::ProgrammerBox::Frame(CMD_CHIP_ERASE, {1});
        read.insert(read.end(), erased.begin(), erased.end());
        t.port.Inject(read, 100);
    };
    t.Update();
    t.clock.Advance(1000);
    const Lines lines = t.RunLines();
    ASSERT_GE(lines.size(), 2u);
    EXPECT_EQ(lines[lines.size() - 2], "Eixt Program Mode......OK");
    EXPECT_EQ(lines.back(), "Programmer Stored Settings......OK");
    EXPECT_EQ(t.box->lastExitResult(), 1);
    EXPECT_EQ(h.target.DeviceType, 4);  // applied once the run had ended
    t.RunUntilIdle();
    EXPECT_TRUE(t.AtRest());
}

TEST(LoaderRun, SectorSumRequestAfterTheDoneFrameIsAnsweredAtOnce) {
    sim::BoxConfig c;
    c.kind = 5;
    c.fwMajor = 1;
    c.fwMinor = 3;
    c.unsolicited.push_back({CMD_IAP_DONE, CMD_SECTOR_SUM});
    EngineHost t(c);
    Host& h = t.h();
    h.target.dev.SectorSizes = {512, 256, 256};
    FillFlash(h);
    h.target.FlashPagesToWrite = 8;
    t.Tick({.programFlash = true});
    t.ChooseCom("COM1");
    t.RunUntilIdle();
    std::optional<uint64_t> doneAt, firstSumAt;
    t.box->onEvent = [&](const std::string& e) {
        if (e.rfind("rx 0x48", 0) == 0) doneAt = t.clock.Now();
        if (e.rfind("rx 0x44", 0) == 0 && !firstSumAt) firstSumAt = t.clock.Now();
    };
    t.Update();
    t.RunUntilIdle();
    ASSERT_TRUE(doneAt && firstSumAt);
    EXPECT_LT(*firstSumAt - *doneAt, 100u);
    EXPECT_EQ(t.LogLines().back(), "Start Update......OKOK");
    EXPECT_TRUE(t.ControlsIdle());
}

TEST(FirmwareProblems, AMaintenanceProgrammerWithoutItsUpdateFileIsNotReady) {
    for (bool present : {false, true}) {
        SCOPED_TRACE(present ? "update.dat of 100 bytes" : "no update.dat");
        sim::BoxConfig c;
        c.fwMajor = 0;
        c.fwMinor = 2;
        EngineHost t(c);
        if (present) test::WriteText(t.dir.File("update.dat"), std::string(100, '\x11'));
        t.ChooseCom("COM1");
        t.RunUntilIdle();
        EXPECT_EQ(t.MessageTexts(), (Lines{"******Open Update_File  failed******   "}));
        EXPECT_TRUE(OnlyComListEnabled(t));
        EXPECT_FALSE(t.port.IsOpen());
        EXPECT_FALSE(t.clock.Running(kReplyTimerId));
    }
}

TEST(RefusedFrames, EndTheRunBeforeAnythingIsSent) {
    // A DataFlash page of 298 bytes makes a 303-byte block: more than a frame carries.
    sim::BoxConfig c;
    c.kind = 5;
    c.unsolicited.push_back({CMD_IDENTIFY, CMD_DATAFLASH_BEGIN});
    EngineHost t(c);
    Host& h = t.h();
    SetPageGeometry(h.target, 298, 16, 32, 4);
    t.Tick({.programFlash = true});
    t.ChooseCom("COM1");
    t.RunUntilIdle();
    EXPECT_EQ(t.MessageTexts(),
              (Lines{"******Frame of 303 bytes does not fit the 300-byte payload, nothing sent******"}));
    EXPECT_EQ(t.SentCodes(), Bytes{CMD_IDENTIFY});
    EXPECT_EQ(h.history.last.verdict, Verdict::Refused);
    EXPECT_TRUE(t.AtRest());
}

// A run's outcome says in its own words what ended it, whatever the log shows around it.
TEST(RunOutcomes, SayWhatEndedTheRunInTheirOwnWords) {
    {
        SCOPED_TRACE("a boot write whose begin frame gets no answer");
        EngineHost t;
        t.box->config().faults.push_back(MakeFault(FaultKind::NoReply, CMD_WRITE_BOOT_BEGIN));
        t.Tick({.eraseChip = true, .programBoot = true});
        t.Update();
        t.RunUntilIdle();
        const Outcome& o = t.h().history.last;
        EXPECT_EQ(o.verdict, Verdict::TimedOut);
        EXPECT_EQ(o.stage, Stage::WriteBoot);
        EXPECT_EQ(o.text, "no answer to the command 0x19 within 5000 ms");
    }
    {
        SCOPED_TRACE("a flash verify that differs");
        EngineHost t;
        FillFlash(t.h());
        t.box->config().faults.push_back(MakeFault(FaultKind::VerifyDiffers, CMD_VERIFY_FLASH_BLOCK, -1, 2));
        t.Tick({.programFlash = true});
        t.Update();
        t.RunUntilIdle();
        const Outcome& o = t.h().history.last;
        EXPECT_EQ(o.verdict, Verdict::Failed);
        EXPECT_EQ(o.stage, Stage::VerifyFlash);
        EXPECT_EQ(o.text.rfind("the chip differs from the image in block ", 0), 0u) << o.text;
    }
}

// With nothing loaded since the start, an operation that would write the flash or the boot is
// refused before a frame goes out, on a device programmer and on a loader; a load lifts it.
TEST(NothingLoaded, AWriteOfTheFlashOrTheBootIsRefusedBeforeAnythingIsSent) {
    struct Case {
        const char* name;
        uint8_t kind;
        int command;
    };
    for (const Case& c : {Case{"Update", 1, id::Update}, Case{"Write Flash", 1, id::WriteFlash},
                          Case{"Write Boot", 1, id::WriteBoot}, Case{"loader Update", 5, id::Update}}) {
        SCOPED_TRACE(c.name);
        sim::BoxConfig config;
        config.kind = c.kind;
        if (c.kind == 5) config.fwMinor = 3;
        EngineHost t(config);
        Host& h = t.h();
        h.target.loaded = {};
        t.Tick({.eraseChip = true, .programFlash = true, .programBoot = true});
        // The command on its own: a loader is identified first, what it sends is counted.
        auto command = [&] {
            if (c.kind == 5) {
                t.ChooseCom("COM1");
                t.RunUntilIdle();
            }
            t.ClearSent();
            t.Command(c.command);
            t.RunUntilIdle();
        };
        command();
        EXPECT_TRUE(t.SentCodes().empty());
        ASSERT_FALSE(t.MessageTexts().empty());
        EXPECT_EQ(t.MessageTexts().back(), kNothingLoadedMessage);
        EXPECT_EQ(h.history.last.verdict, Verdict::Refused);
        EXPECT_TRUE(std::all_of(t.box->flash().begin(), t.box->flash().end(),
                                [](uint8_t b) { return b == 0xFF || b == 0; }));

        test::WriteText(t.dir.File("app.bin"), std::string(1024, '\x5A'));
        t.prompts.QueueFile(t.dir.File("app.bin"));
        t.prompts.QueueLoadAddress(0u);
        t.Command(id::LoadFlashFile);
        test::WriteText(t.dir.File("boot.bin"), std::string(128, '\x33'));
        t.prompts.QueueFile(t.dir.File("boot.bin"));
        t.prompts.QueueLoadAddress(0u);
        t.Command(id::LoadBootFile);
        command();
        EXPECT_FALSE(t.SentCodes().empty());
        EXPECT_NE(h.history.last.verdict, Verdict::Refused);
    }
}

// A box that answers the identify with a DataFlash begin frame of its own (the identify's
// payload echoed) gets its download, on a device programmer as on a loader.
TEST(BoxFramesWhileAwaited, ADataFlashBeginInsteadOfTheIdentifyReplyIsServed) {
    for (uint8_t kind : {2, 5}) {
        SCOPED_TRACE(kind);
        sim::BoxConfig c;
        c.kind = kind;
        c.faults.push_back(MakeFault(FaultKind::NoReply, CMD_IDENTIFY, 1));
        EngineHost t(c);
        FillFlash(t.h());
        t.Tick({.programFlash = true});
        t.box->onEvent = [&](const std::string& e) {
            if (e.rfind("rx 0x00", 0) != 0) return;
            const CommandFrame& f = t.h().link.Frame();
            t.port.Inject(sim::ProgrammerBox::Frame(
                              CMD_DATAFLASH_BEGIN, Bytes(f.payload.begin(), f.payload.begin() + 2)),
                          5);
        };
        t.ChooseCom("COM1");
        t.RunUntilIdle();
        const Lines lines = t.LogLines();
        EXPECT_EQ(std::count(lines.begin(), lines.end(), "Can Not Find Programmer  "), 0);
        EXPECT_EQ(Count(t.SentCodes(), CMD_DATAFLASH_FLASH_BLOCK), 16u);
        EXPECT_EQ(t.h().history.last.kind, RunKind::DataFlashDownload);
        EXPECT_TRUE(t.h().history.last.Passed()) << t.h().history.last.text;
    }
}

// A settings report in place of the identify reply is served as the download is, from a chosen
// port and from the scan.
TEST(BoxFramesWhileAwaited, ASettingsReportInsteadOfTheIdentifyReplyIsServed) {
    for (const char* com : {"COM1", "USB"}) {
        for (uint8_t kind : {2, 5}) {
            SCOPED_TRACE(std::string(com) + " kind " + std::to_string(kind));
            sim::BoxConfig c = SendsDuringRun(CMD_DATAFLASH_CONFIG);
            c.unsolicited.clear();
            c.kind = kind;
            c.unsolicited.push_back({CMD_IDENTIFY, CMD_DATAFLASH_CONFIG});
            c.faults.push_back(MakeFault(FaultKind::NoReply, CMD_IDENTIFY, 1));
            EngineHost t(c);
            Host& h = t.h();
            t.Tick({.eraseChip = true, .programFlash = true});
            t.ChooseCom(com);
            t.RunUntilIdle();
            const Lines lines = t.LogLines();
            EXPECT_EQ(std::count(lines.begin(), lines.end(), "Can Not Find Programmer  "), 0);
            EXPECT_EQ(h.history.last.kind, RunKind::SettingsReport);
            EXPECT_TRUE(h.history.last.Passed()) << h.history.last.text;
            EXPECT_EQ(h.target.DeviceType, 4);
            EXPECT_EQ(h.target.dev.FlashPageSize, 128u);
            EXPECT_FALSE(h.view.Options().eraseChip);
            EXPECT_TRUE(t.ControlsIdle());
        }
    }
}

TEST(RunRecords, NameTheOperationTheEditedBufferAndTheBytesOfTheFileName) {
    EngineHost t;
    Host& h = t.h();
    FillFlash(h);
    h.target.FlashFilePath = "im\xff" "age.hex";
    t.prompts.QueueBufferEdit([](BufferEditSession& s) {
        s.work[0] ^= 0x01;
        return true;
    });
    t.Command(id::FlashBuffer);
    std::vector<std::string> records;
    h.onRunEnded = [&](const Outcome& o) { records.push_back(FormatRunRecord(h, o, 0)); };
    t.Operate(SingleOperation::ChipErase);
    t.RunUntilIdle();
    t.Operate(SingleOperation::VerifyFlash);
    t.RunUntilIdle();
    ASSERT_EQ(records.size(), 2u);
    EXPECT_NE(records[0].find("\"run\":\"operation\",\"operation\":\"erase\""), std::string::npos);
    EXPECT_NE(records[1].find("\"run\":\"operation\",\"operation\":\"verify-flash\""), std::string::npos);
    EXPECT_NE(records[1].find("\"file\":\"im\xEF\xBF\xBD" "age.hex\",\"file_hex\":\"696dff6167652e686578\""),
              std::string::npos) << records[1];
    EXPECT_NE(records[1].find("\"edited\":true"), std::string::npos);
    EXPECT_NE(records[1].find("\"run_id\":\"" + h.history.last.runId + "\""), std::string::npos);
    EXPECT_EQ(h.history.last.runId.size(), 32u);
}

// The window does not identify the box on the port Config.dat names: its records say that the
// programmer is unknown until a connect has identified one.
TEST(RunRecords, NameTheProgrammerOrSayItIsUnknown) {
    EngineHost t;
    Host& h = t.h();
    std::vector<std::string> records;
    h.onRunEnded = [&](const Outcome& o) {
        if (o.kind != RunKind::Identify) records.push_back(FormatRunRecord(h, o, 0));
    };
    t.Operate(SingleOperation::ChipErase);
    t.RunUntilIdle();
    t.ChooseCom("COM1");
    t.RunUntilIdle();
    t.Operate(SingleOperation::ChipErase);
    t.RunUntilIdle();
    ASSERT_EQ(records.size(), 2u);
    EXPECT_NE(records[0].find("\"programmer\":\"unknown\",\"firmware\":\"unknown\""),
              std::string::npos) << records[0];
    EXPECT_FALSE(h.programmer.name.empty());
    EXPECT_NE(records[1].find("\"programmer\":\"" + h.programmer.name + "\",\"firmware\":\"2.0\""),
              std::string::npos) << records[1];
}

// A run's seconds stop when it comes to its end, not when the operator closes its message.
TEST(RunOutcomes, TheirSecondsLeaveOutTheMessageThatEndedThem) {
    EngineHost t;
    t.Tick({});
    t.prompts.onMessage = [&](const ScriptedPrompts::Message&) { t.clock.Advance(5000); };
    t.Update();
    t.RunUntilIdle();
    const Outcome& o = t.h().history.last;
    EXPECT_EQ(o.verdict, Verdict::Refused);
    EXPECT_LT(o.endedMs - o.startedMs, 5000u);
}

}  // namespace
}  // namespace lumacrest
