// Programmer maintenance against the in-process box on the virtual clock: the firmware
// rewrite from update.dat, the loader transfer of Update, sector sums, the DataFlash download
// and the stored-settings report.
#include <sys/stat.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <map>

#include "host/RunRecords.h"
#include "image/Cipher.h"
#include "image/DeviceCatalogue.h"
#include "image/Crc16.h"
#include "link/Link.h"
#include "ops/FirmwareRewrite.h"
#include "ops/Stopping.h"
#include "ops/StoredSettings.h"
#include "support/EngineHost.h"
#include "ui/main/ResourceIds.h"

namespace lumacrest {
namespace {

using Bytes = std::vector<uint8_t>;
using Lines = std::vector<std::string>;
using sim::Fault;
using sim::FaultKind;
using test::EngineHost;

std::string Pattern(std::size_t size) {
    std::string s(size, '\0');
    for (std::size_t i = 0; i < size; ++i) s[i] = static_cast<char>(i * 13 + i / 256);
    return s;
}

// update.dat as the packager would encrypt `plain`.
void WriteUpdateFile(EngineHost& t, std::string plain) {
    CipherEncryptBytes(reinterpret_cast<uint8_t*>(plain.data()), plain.size(), kUpdateFileKey);
    test::WriteText(t.dir.File("update.dat"), plain);
}

Fault MakeFault(FaultKind kind, int code, int times = -1, uint32_t value = 0) {
    Fault f;
    f.kind = kind;
    f.code = code;
    f.times = times;
    f.value = value;
    return f;
}

sim::BoxConfig Maintenance() {
    sim::BoxConfig c;
    c.fwMajor = 0;
    c.fwMinor = 2;
    return c;
}

sim::BoxConfig Loader() {
    sim::BoxConfig c;
    c.kind = 5;
    c.fwMajor = 1;
    c.fwMinor = 3;
    return c;
}

bool OnlyComListEnabled(EngineHost& t) {
    const MainModel& ui = t.app->model;
    return ui.IsEnabled(id::ComList) && !ui.IsEnabled(id::Update) && !ui.IsEnabled(id::McuList) &&
           !ui.IsEnabled(id::LoadFile);
}

// ---- firmware rewrite ----

TEST(FirmwareRewrite, PackagedFirmwareIsSentBlockByBlockAndEndsWithOk) {
    EngineHost t(Maintenance());
    // Reserve_Jia packages a 1000-byte image into whole pages; that file is update.dat.
    test::WriteText(t.dir.File("fw.bin"), Pattern(1000));
    t.prompts.QueueFile(t.dir.File("fw.bin"));
    t.Command(id::ReserveJia);
    std::filesystem::copy_file(t.dir.File("Tervolo_Update.dat"), t.dir.File("update.dat"));
    const std::size_t packaged = test::ReadText(t.dir.File("update.dat")).size();
    ASSERT_EQ(packaged % 256, 0u);
    t.prompts.messages.clear();

    t.ChooseCom("COM1");
    t.RunUntilIdle();
    const std::string image(t.box->firmwareImage().begin(), t.box->firmwareImage().end());
    ASSERT_EQ(image.size(), packaged);
    EXPECT_EQ(image.substr(0, 1000), Pattern(1000));
    EXPECT_EQ(image.substr(1000), std::string(packaged - 1000, '\xFF'));

    const Lines lines = t.LogLines();
    EXPECT_EQ(Lines(lines.end() - 2, lines.end()),
              (Lines{"Erase Programmer......OK", "Update Device Firmware......OK"}));
    EXPECT_TRUE(t.prompts.messages.empty());
    EXPECT_EQ(t.h().view.Progress(), 100);
    EXPECT_FALSE(t.port.IsOpen());
    EXPECT_TRUE(OnlyComListEnabled(t));

    // Frames: the erase with no payload, then numbered blocks of 260 bytes, low byte first.
    const auto sent = t.Sent();
    ASSERT_EQ(sent.size(), 2 + packaged / 256);  // identify, erase, blocks
    EXPECT_EQ(sent[1].code, CMD_ERASE_PROGRAMMER);
    EXPECT_TRUE(sent[1].payload.empty());
    for (std::size_t k = 0; k < packaged / 256; ++k) {
        const auto& f = sent[2 + k];
        EXPECT_EQ(f.code, CMD_PROGRAMMER_FW_BLOCK);
        ASSERT_EQ(f.payload.size(), 260u);
        EXPECT_EQ(f.payload[256], k);
        EXPECT_EQ(f.payload[257], 0);
    }
}

TEST(FirmwareRewrite, FilesThatCannotBeUsedAreRefusedWithTheirReasonBeforeAnythingIsSent) {
    const std::pair<std::size_t, const char*> cases[] = {
        {0, "update.dat refused: the file is empty"},
        {1000, "update.dat refused: 1000 bytes, not a whole number of 256-byte blocks"},
        {255, "update.dat refused: 255 bytes, not a whole number of 256-byte blocks"},
        {kUpdateBufferSize + 256,
         "update.dat refused: 131328 bytes, more than the 131072-byte update buffer"},
    };
    for (const auto& [size, reason] : cases) {
        SCOPED_TRACE(size);
        EngineHost t;
        WriteUpdateFile(t, Pattern(size));
        t.prompts.QueueAnswer(true);
        t.Command(id::ReserveP);
        t.RunUntilIdle();
        EXPECT_TRUE(t.port.written.empty());
        EXPECT_TRUE(t.port.opened.empty());
        EXPECT_EQ(t.MessageTexts(), (Lines{"******Open Update_File  failed******   "}));
        EXPECT_EQ(t.prompts.messages[0].icon, MsgIcon::Error);
        EXPECT_EQ(t.LogLines().back(), reason);
        // The controls the routine disabled come back.
        EXPECT_TRUE(t.ControlsIdle());
    }
    // A missing file, and a pipe by that name (never waited for), are refused the same way.
    for (bool fifo : {false, true}) {
        EngineHost t;
        if (fifo) {
            ASSERT_EQ(::mkfifo(t.dir.File("update.dat").c_str(), 0600), 0);
        }
        t.prompts.QueueAnswer(true);
        t.Command(id::ReserveP);
        EXPECT_TRUE(t.port.written.empty());
        EXPECT_EQ(t.MessageTexts(), (Lines{"******Open Update_File  failed******   "}));
        EXPECT_EQ(t.LogLines().back(), fifo ? "update.dat refused: not a regular file"
                                            : "update.dat refused: no such file in " + t.h().programDir);
        EXPECT_TRUE(t.ControlsIdle());
    }
}

TEST(FirmwareRewrite, TheMenuCommandAsksOnceNamingThePort) {
    for (bool yes : {false, true}) {
        SCOPED_TRACE(yes);
        EngineHost t;
        WriteUpdateFile(t, Pattern(512));
        t.prompts.QueueAnswer(yes);
        t.Command(id::ReserveP);
        t.RunUntilIdle();
        ASSERT_EQ(t.prompts.questions.size(), 1u);
        EXPECT_EQ(t.prompts.questions[0],
                  "Rewrite the firmware of the programmer on COM1 (" + *t.h().ports.Device(1) +
                      ") from update.dat? It cannot take operations until it is restarted.");
        if (!yes) {
            EXPECT_TRUE(t.port.opened.empty());
            EXPECT_TRUE(t.prompts.messages.empty());
            EXPECT_TRUE(t.ControlsIdle());
        } else {
            EXPECT_EQ(t.box->firmwareImage().size(), 512u);
            EXPECT_EQ(t.LogLines().back(), "Update Device Firmware......OK");
        }
    }
}

TEST(FirmwareRewrite, MenuCommandConnectsFirstAndTheLargestFileFits) {
    EngineHost t;
    WriteUpdateFile(t, Pattern(kUpdateBufferSize));
    t.prompts.QueueAnswer(true);
    t.Command(id::ReserveP);
    EXPECT_EQ(t.port.opened.size(), 1u);
    EXPECT_EQ(t.clock.Deadline(kReplyTimerId), 30000u);
    t.RunUntilIdle();
    EXPECT_EQ(t.box->firmwareImage().size(), kUpdateBufferSize);
    EXPECT_EQ(std::string(t.box->firmwareImage().begin(), t.box->firmwareImage().end()),
              Pattern(kUpdateBufferSize));
    EXPECT_EQ(t.LogLines().back(), "Update Device Firmware......OK");
    // Block 511 carries its number low byte first.
    EXPECT_EQ(t.Sent().back().payload[256], 0xFF);
    EXPECT_EQ(t.Sent().back().payload[257], 0x01);
}

TEST(FirmwareRewrite, NoProgrammerToConnectToSendsNothing) {
    EngineHost t;
    WriteUpdateFile(t, Pattern(512));
    t.h().port.number = 2;  // not in Ports.dat
    t.prompts.QueueAnswer(true);
    t.Command(id::ReserveP);
    t.RunUntilIdle();
    EXPECT_TRUE(t.port.written.empty());
    const auto lines = t.LogLines();
    EXPECT_EQ(lines[lines.size() - 2], "Can Not Find Programmer  ");
    EXPECT_EQ(lines.back(), "Tried COM2 (no device in Ports.dat)");
    EXPECT_TRUE(OnlyComListEnabled(t));
}

TEST(FirmwareRewrite, ProgressFollowsTheBlocks) {
    EngineHost t;
    WriteUpdateFile(t, Pattern(4 * 256));
    std::vector<int> progress;
    t.box->onEvent = [&](const std::string& event) {
        if (event.rfind("rx 0x02", 0) == 0) progress.push_back(t.h().view.Progress());
    };
    t.prompts.QueueAnswer(true);
    t.Command(id::ReserveP);
    t.RunUntilIdle();
    EXPECT_EQ(progress, (std::vector<int>{0, 25, 50, 75}));
    EXPECT_EQ(t.h().view.Progress(), 100);
}

TEST(FirmwareRewrite, RefusedWhileAnOperationHoldsTheLine) {
    EngineHost t;
    WriteUpdateFile(t, Pattern(512));
    t.box->config().faults.push_back(MakeFault(FaultKind::LateReply, CMD_CHIP_ERASE, 1, 3000));
    t.Operate(SingleOperation::ChipErase);
    t.clock.Advance(100);
    ASSERT_EQ(t.Sent().back().code, CMD_CHIP_ERASE);
    t.prompts.QueueAnswer(true);
    t.Command(id::ReserveP);
    EXPECT_EQ(t.MessageTexts().size(), 1u);
    EXPECT_EQ(t.Sent().back().code, CMD_CHIP_ERASE);
    t.RunUntilIdle();
    const Bytes codes = t.SentCodes();
    EXPECT_EQ(std::count(codes.begin(), codes.end(), CMD_ERASE_PROGRAMMER), 0);
    EXPECT_TRUE(t.AtRest());
}

TEST(FirmwareRewrite, BlockZeroWaitsTwentySecondsLaterBlocksTenAndATimeOutEndsTheRewrite) {
    EngineHost t;
    WriteUpdateFile(t, Pattern(768));
    // Both block replies come 15 s late: in time for block 0, too late for block 1.
    t.box->config().faults.push_back(
        MakeFault(FaultKind::LateReply, CMD_PROGRAMMER_FW_BLOCK, 2, 15000));
    t.prompts.QueueAnswer(true);
    t.Command(id::ReserveP);
    t.RunUntilIdle();
    const auto codes = t.SentCodes();
    EXPECT_EQ(std::count(codes.begin(), codes.end(), CMD_PROGRAMMER_FW_BLOCK), 2);
    EXPECT_EQ(t.LogLines().back(), "Update Device Firmware......Timer Over ");
    EXPECT_FALSE(t.port.IsOpen());
    EXPECT_TRUE(OnlyComListEnabled(t));
}

TEST(FirmwareRewrite, EchoDifferingInItsFirstByteStopsTheRewriteAndClosesThePort) {
    for (int spoiled : {0, 2}) {
        SCOPED_TRACE(spoiled);
        EngineHost t;
        WriteUpdateFile(t, Pattern(1024));
        int blocks = 0;
        t.box->onEvent = [&](const std::string& event) {
            if (event.rfind("rx 0x02", 0) == 0 && blocks++ == spoiled)
                t.box->config().faults.push_back(
                    MakeFault(FaultKind::EchoDiffers, CMD_PROGRAMMER_FW_BLOCK, 1));
        };
        t.prompts.QueueAnswer(true);
        t.prompts.QueueAnswer(true);
    t.Command(id::ReserveP);
        t.RunUntilIdle();
        EXPECT_EQ(t.LogLines().back(), "Update Device Firmware......Failed");
        EXPECT_EQ(t.MessageTexts(),
                  (Lines{"******Update Failed ,Please Reboot Programmer and try again******"}));
        EXPECT_EQ(t.prompts.messages[0].icon, MsgIcon::Error);
        EXPECT_EQ(t.h().view.Progress(), 0);
        EXPECT_FALSE(t.port.IsOpen());
        EXPECT_FALSE(t.clock.Running(kReplyTimerId));
        EXPECT_TRUE(OnlyComListEnabled(t));
        // Nothing after the block whose echo differed.
        EXPECT_EQ(blocks, spoiled + 1);
    }
}

// Stopped between its blocks, the programmer holds part of its firmware: like every other end
// of a rewrite, only the COM list comes back, whichever stop it was.
TEST(FirmwareRewrite, AStopBetweenBlocksLeavesOnlyTheComList) {
    for (bool now : {false, true}) {
        SCOPED_TRACE(now);
        EngineHost t;
        WriteUpdateFile(t, Pattern(1024));
        t.box->config().faults.push_back(MakeFault(FaultKind::LateReply, CMD_PROGRAMMER_FW_BLOCK, -1, 50));
        t.prompts.QueueAnswer(true);
        t.Command(id::ReserveP);
        t.clock.Advance(75);
        ASSERT_EQ(t.h().run.CurrentStage(), Stage::FirmwareBlocks);
        if (now)
            StopRunNow(t.h().ops, "stopped by a second SIGINT");
        else
            StopRun(t.h().ops, "stopped by SIGINT");
        t.RunUntilIdle();
        EXPECT_EQ(t.h().history.last.verdict, Verdict::Interrupted);
        EXPECT_FALSE(t.port.IsOpen());
        EXPECT_TRUE(OnlyComListEnabled(t));
    }
}

// ---- loader transfer ----

void FillFlash(Host& h, uint32_t bytes) {
    for (uint32_t i = 0; i < bytes; ++i) h.target.buf().flash[i] = static_cast<uint8_t>(i * 7 + i / 64);
}

// A kind-5 programmer identified on COM1, with the port left open.
void ConnectLoader(EngineHost& t) {
    t.ChooseCom("COM1");
    t.RunUntilIdle();
    ASSERT_EQ(t.h().programmer.kind, 5);
    t.ClearSent();
}

TEST(LoaderTransfer, UpdateStreamsTheFlashImageAndForgetsTheProgrammerKind) {
    EngineHost t(Loader());
    Host& h = t.h();
    FillFlash(h, 1024);
    for (std::size_t i = 0; i < kKeyCodeLength; ++i)
        h.target.buf().keyCode[i] = static_cast<uint8_t>(i + 1);
    t.Tick({.programFlash = true});
    ConnectLoader(t);
    t.Update();
    EXPECT_EQ(t.clock.Deadline(kReplyTimerId), t.clock.Now() + 60000);
    t.RunUntilIdle();

    EXPECT_TRUE(
        std::equal(h.target.buf().flash.begin(), h.target.buf().flash.begin() + 1024, t.box->flash().begin()));
    EXPECT_EQ(t.box->flash()[1024], 0xFF);
    const Lines lines = t.RunLines();
    EXPECT_EQ(lines, (Lines{"Enter Program Mode......OK", "Erase Device......OK",
                            "Start Update......OK"}));
    const auto sent = t.Sent();
    ASSERT_EQ(sent.size(), 18u);
    EXPECT_EQ(sent[0].code, CMD_IAP_ERASE);
    ASSERT_EQ(sent[0].payload.size(), 30u);
    EXPECT_EQ(Bytes(sent[0].payload.begin(), sent[0].payload.begin() + 16),
              Bytes(h.target.buf().keyCode.begin(), h.target.buf().keyCode.begin() + 16));
    for (int k = 1; k <= 16; ++k) {
        EXPECT_EQ(sent[k].code, CMD_IAP_BLOCK);
        EXPECT_EQ(sent[k].payload.size(), 64u);
    }
    EXPECT_EQ(sent[17].code, CMD_IAP_DONE);
    EXPECT_EQ(sent[17].payload.size(), 2u);
    // The done frame's missing reply passes silently and the run ends.
    EXPECT_TRUE(t.AtRest());
    EXPECT_EQ(h.view.Progress(), 100);
    EXPECT_EQ(h.programmer.kind, 0);
    EXPECT_TRUE(t.prompts.messages.empty());

    // The next Update runs the device sequence, not another stream into the loader.
    t.ClearSent();
    t.Update();
    ASSERT_FALSE(t.SentCodes().empty());
    EXPECT_EQ(t.SentCodes().front(), CMD_ENTER_PROGRAM_MODE);
}

TEST(LoaderTransfer, RefusalsEndTheTransferWithoutFurtherFrames) {
    {
        SCOPED_TRACE("erase refused");
        sim::BoxConfig c = Loader();
        c.faults.push_back(MakeFault(FaultKind::IapRefused, CMD_IAP_ERASE));
        EngineHost t(c);
        t.Tick({.programFlash = true});
        ConnectLoader(t);
        t.Update();
        t.RunUntilIdle();
        EXPECT_EQ(t.RunLines().back(), "Erase Device......Failed");
        EXPECT_EQ(t.SentCodes(), Bytes{CMD_IAP_ERASE});
        EXPECT_TRUE(t.ControlsIdle());
        EXPECT_FALSE(t.clock.Running(kReplyTimerId));
    }
    {
        SCOPED_TRACE("block refused");
        sim::BoxConfig c = Loader();
        EngineHost t(c);
        t.Tick({.programFlash = true});
        ConnectLoader(t);
        int blocks = 0;
        t.box->onEvent = [&](const std::string& event) {
            if (event.rfind("rx 0x41", 0) == 0 && ++blocks == 3)
                t.box->config().faults.push_back(MakeFault(FaultKind::IapRefused, CMD_IAP_BLOCK));
        };
        t.Update();
        t.RunUntilIdle();
        EXPECT_EQ(t.RunLines().back(), "Start Update......Fail");
        EXPECT_EQ(blocks, 3);
        EXPECT_TRUE(t.ControlsIdle());
        EXPECT_EQ(t.h().programmer.kind, 5);
    }
    {
        SCOPED_TRACE("nothing to send");
        EngineHost t(Loader());
        t.Tick({});
        t.h().target.FlashPagesToWrite = 0;
        ConnectLoader(t);
        t.Update();
        t.RunUntilIdle();
        EXPECT_EQ(t.RunLines().back(), "Start Update......Failed");
        EXPECT_EQ(t.SentCodes(), Bytes{CMD_IAP_ERASE});
        EXPECT_TRUE(t.ControlsIdle());
        EXPECT_FALSE(t.clock.Running(kReplyTimerId));
    }
}

TEST(LoaderTransfer, AStopFromTheLoaderEndsTheRunAsAFailureWithoutALine) {
    sim::BoxConfig c = Loader();
    c.faults.push_back(MakeFault(FaultKind::IapStops, CMD_IAP_ERASE));
    EngineHost t(c);
    t.Tick({.programFlash = true});
    ConnectLoader(t);
    t.Update();
    t.RunUntilIdle();
    EXPECT_EQ(t.RunLines(), (Lines{"Enter Program Mode......OK", "Erase Device......"}));
    EXPECT_EQ(t.SentCodes(), Bytes{CMD_IAP_ERASE});
    EXPECT_TRUE(t.ControlsIdle());
    EXPECT_FALSE(t.h().run.Active());
    EXPECT_EQ(t.h().history.last.verdict, Verdict::Failed);
    EXPECT_EQ(t.h().history.last.stage, Stage::LoaderErase);
}

// ---- sector sums ----

TEST(SectorSums, EachSumCoversItsOwnSectorAfterAFullSizeTransfer) {
    sim::BoxConfig c = Loader();
    c.unsolicited.push_back({CMD_IAP_DONE, CMD_SECTOR_SUM});
    EngineHost t(c);
    Host& h = t.h();
    h.target.dev.SectorSizes = {128, 256, 64, 512, 64};  // the whole 1024-byte flash
    FillFlash(h, 1024);
    h.target.FlashPagesToWrite = 16;  // every page: the transfer ends at the flash end
    t.Tick({.programFlash = true});
    ConnectLoader(t);
    t.Update();
    t.RunUntilIdle();

    // The sums of what the box holds now, over each sector's own bytes.
    const Bytes& chip = t.box->flash();
    auto sumOf = [&](uint8_t index, uint32_t from, uint32_t length) {
        uint32_t sum = 0;
        for (uint32_t i = from; i < from + length; ++i) sum += chip[i];
        return Bytes{index, static_cast<uint8_t>(sum >> 24), static_cast<uint8_t>(sum >> 16),
                     static_cast<uint8_t>(sum >> 8), static_cast<uint8_t>(sum)};
    };
    std::vector<Bytes> sums;
    for (const auto& f : t.Sent())
        if (f.code == CMD_SECTOR_SUM) sums.push_back(f.payload);
    // The box's answer to each sum asks for the next: sectors 1 to 3, then done.
    EXPECT_EQ(sums, (std::vector<Bytes>{sumOf(1, 128, 256), sumOf(2, 384, 64), sumOf(3, 448, 512)}));
    EXPECT_EQ(t.LogLines().back(), "Start Update......OKOK");
    EXPECT_TRUE(t.h().history.last.Passed());
    EXPECT_TRUE(t.ControlsIdle());
    EXPECT_FALSE(t.clock.Running(kReplyTimerId));

    // A second transfer starts the walk again at the loader's erase.
    t.ClearSent();
    ConnectLoader(t);
    t.Update();
    t.RunUntilIdle();
    sums.clear();
    for (const auto& f : t.Sent())
        if (f.code == CMD_SECTOR_SUM) sums.push_back(f.payload);
    ASSERT_FALSE(sums.empty());
    EXPECT_EQ(sums.front(), sumOf(1, 128, 256));
}

TEST(SectorSums, RefusalsAndSectorsPastTheFlash) {
    for (int scenario = 0; scenario < 3; ++scenario) {
        SCOPED_TRACE(scenario);
        EngineHost t(Loader());
        Host& h = t.h();
        h.target.dev.SectorSizes =
            scenario == 2 ? std::vector<uint32_t>{} : std::vector<uint32_t>{64, 2048, 64};
        ConnectLoader(t);
        h.view.SetControls(ControlState::Busy);
        t.port.Inject(sim::ProgrammerBox::Frame(CMD_SECTOR_SUM,
                                                {scenario == 0 ? uint8_t{1} : uint8_t{0}, 0}));
        t.RunUntilIdle();
        // A refusal, a sector past the flash end: Error; no sectors at all: nothing to sum.
        EXPECT_TRUE(t.port.written.empty());
        std::vector<std::string> lines = t.LogLines();
        if (scenario == 1) {
            // The sector that does not fit is named.
            EXPECT_EQ(lines.back(), "Sector 1 of the device file (2048 bytes) runs past the flash (1024 bytes)");
            lines.pop_back();
        }
        EXPECT_EQ(lines.back().substr(lines.back().size() - (scenario == 2 ? 2 : 5)),
                  scenario == 2 ? "OK" : "Error");
        EXPECT_TRUE(t.ControlsIdle());
    }
}

// ---- DataFlash download ----

// A loader that asks for the download right after answering the identify frame.
sim::BoxConfig AsksForDownload() {
    sim::BoxConfig c = Loader();
    c.unsolicited.push_back({CMD_IDENTIFY, CMD_DATAFLASH_BEGIN});
    return c;
}

TEST(DataFlash, FlashAndBootPagesAreSentNumberedWithCrcThenTheProgrammerIsReset) {
    EngineHost t(AsksForDownload());
    Host& h = t.h();
    FillFlash(h, 1024);
    std::fill_n(h.target.buf().flash.begin() + 3 * 64, 64, 0xFF);  // page 3 is blank
    for (uint32_t i = 0; i < 128; ++i) h.target.buf().boot[i] = static_cast<uint8_t>(0x30 + i);
    t.Tick({.programFlash = true, .programBoot = true});
    bool idleAtReset = true;
    t.box->onEvent = [&](const std::string& event) {
        if (event == "reset") idleAtReset = t.ControlsIdle();
    };
    t.ChooseCom("COM1");
    t.RunUntilIdle();

    const Lines lines = t.LogLines();
    ASSERT_GE(lines.size(), 3u);
    EXPECT_EQ(Lines(lines.end() - 3, lines.end()),
              (Lines{"Download FLASH File to DataFlash......OK",
                     "Download Boot File to DataFlash......OK",
                     "Reset Programger , Please Waitting ......   OK"}));
    EXPECT_FALSE(idleAtReset);  // the controls return with the reset's reply
    EXPECT_TRUE(t.ControlsIdle());
    EXPECT_FALSE(t.port.IsOpen());
    EXPECT_EQ(h.view.Progress(), 100);

    std::vector<Bytes> flash, boot;
    for (const auto& f : t.Sent()) {
        if (f.code == CMD_DATAFLASH_FLASH_BLOCK) flash.push_back(f.payload);
        if (f.code == CMD_DATAFLASH_BOOT_BLOCK) boot.push_back(f.payload);
    }
    ASSERT_EQ(flash.size(), 16u);
    ASSERT_EQ(boot.size(), 4u);
    for (uint32_t k = 0; k < 16; ++k) {
        const Bytes& p = flash[k];
        ASSERT_EQ(p.size(), 69u);
        EXPECT_EQ(p[0] << 8 | p[1], static_cast<int>(k));
        EXPECT_TRUE(std::equal(p.begin() + 2, p.begin() + 66, h.target.buf().flash.begin() + k * 64));
        const uint16_t crc = Crc16(p.data(), 66);
        EXPECT_EQ(p[66] << 8 | p[67], crc);
        EXPECT_EQ(p[68], k == 3 ? 0xA8 : 0x00);
    }
    for (uint32_t k = 0; k < 4; ++k) {
        const Bytes& p = boot[k];
        ASSERT_EQ(p.size(), 36u);
        EXPECT_EQ(p[0] << 8 | p[1], static_cast<int>(k));
        EXPECT_TRUE(std::equal(p.begin() + 2, p.begin() + 34, h.target.buf().boot.begin() + k * 32));
        EXPECT_EQ(p[34] << 8 | p[35], Crc16(p.data(), 34));
    }

    // A second download numbers its blocks from 0 again.
    t.ClearSent();
    t.ChooseCom("COM1");
    t.RunUntilIdle();
    const auto again = t.Sent();
    const auto first = std::find_if(again.begin(), again.end(), [](const test::SentFrame& f) {
        return f.code == CMD_DATAFLASH_FLASH_BLOCK;
    });
    ASSERT_NE(first, again.end());
    EXPECT_EQ(first->payload[0], 0);
    EXPECT_EQ(first->payload[1], 0);
    EXPECT_EQ(
        std::count_if(again.begin(), again.end(),
                      [](const test::SentFrame& f) { return f.code == CMD_DATAFLASH_FLASH_BLOCK; }),
        16);
}

TEST(DataFlash, WithoutFlashOrBootOnlyTheResetIsSent) {
    EngineHost t(AsksForDownload());
    t.Tick({.eraseChip = true});
    t.ChooseCom("COM1");
    t.RunUntilIdle();
    EXPECT_EQ(t.SentCodes(), (Bytes{CMD_IDENTIFY, CMD_RESET_PROGRAMMER}));
    EXPECT_TRUE(t.ControlsIdle());
}

TEST(DataFlash, BootOnlyAndAnEmptyFlashImage) {
    EngineHost t(AsksForDownload());
    t.h().target.BootPagesToWrite = 2;
    t.Tick({.programBoot = true});
    t.ChooseCom("COM1");
    t.RunUntilIdle();
    const Bytes codes = t.SentCodes();
    EXPECT_EQ(std::count(codes.begin(), codes.end(), CMD_DATAFLASH_BOOT_BLOCK), 2);
    EXPECT_EQ(std::count(codes.begin(), codes.end(), CMD_DATAFLASH_FLASH_BLOCK), 0);
    EXPECT_EQ(codes.back(), CMD_RESET_PROGRAMMER);
    EXPECT_EQ(t.LogLines().back(), "Reset Programger , Please Waitting ......   OK");
}

TEST(DataFlash, FailuresStopWithoutAReset) {
    {
        SCOPED_TRACE("block echoed wrong");
        sim::BoxConfig c = AsksForDownload();
        EngineHost t(c);
        int blocks = 0;
        t.box->onEvent = [&](const std::string& event) {
            if (event.rfind("rx 0x07", 0) == 0 && ++blocks == 5)
                t.box->config().faults.push_back(
                    MakeFault(FaultKind::EchoDiffers, CMD_DATAFLASH_FLASH_BLOCK, 1));
        };
        t.Tick({.programFlash = true, .programBoot = true});
        t.ChooseCom("COM1");
        t.RunUntilIdle();
        EXPECT_EQ(t.LogLines().back(), "Download FLASH File to DataFlash......Failed");
        EXPECT_EQ(blocks, 5);
        EXPECT_EQ(t.h().view.Progress(), 0);
        EXPECT_EQ(t.SentCodes().back(), CMD_DATAFLASH_FLASH_BLOCK);
        EXPECT_TRUE(t.ControlsIdle());
        EXPECT_FALSE(t.clock.Running(kReplyTimerId));
    }
    {
        SCOPED_TRACE("begin frame that does not repeat the last command");
        EngineHost t(Loader());
        t.Tick({.programFlash = true});
        ConnectLoader(t);
        t.port.Inject(sim::ProgrammerBox::Frame(CMD_DATAFLASH_BEGIN, {0x00, 0x01}));
        t.RunUntilIdle();
        EXPECT_EQ(t.LogLines().back().substr(t.LogLines().back().size() - 6), "Failed");
        EXPECT_TRUE(t.port.written.empty());
        EXPECT_EQ(t.h().view.Progress(), 0);
    }
}

// ---- stored settings ----

sim::BoxConfig Reports(uint16_t type, uint16_t pageSize, uint16_t pageCount) {
    sim::BoxConfig c = Loader();
    c.unsolicited.push_back({CMD_IDENTIFY, CMD_DATAFLASH_CONFIG});
    c.settings[4] = static_cast<uint8_t>(type >> 8);
    c.settings[5] = static_cast<uint8_t>(type);
    c.settings[6] = static_cast<uint8_t>(pageSize >> 8);
    c.settings[7] = static_cast<uint8_t>(pageSize);
    c.settings[8] = static_cast<uint8_t>(pageCount >> 8);
    c.settings[9] = static_cast<uint8_t>(pageCount);
    c.settings[17] = 1;  // KeyCode
    c.settings[18] = 0;  // erase
    c.settings[19] = 7;  // flash
    c.settings[20] = 0;  // protect
    c.settings[22] = 1;  // SN
    return c;
}

TEST(StoredSettings, ReportSetsDeviceGeometryAndOptions) {
    EngineHost t(Reports(4, 128, 32));
    Host& h = t.h();
    t.Tick({.eraseChip = true, .enableProtect = true});
    t.ChooseCom("COM1");
    t.RunUntilIdle();
    EXPECT_EQ(h.target.DeviceType, 4);
    EXPECT_EQ(h.target.mcuName, DeviceNameOfIndex(4));
    EXPECT_EQ(h.target.dev.FlashPageSize, 128u);
    EXPECT_EQ(h.target.dev.FlashPageCount, 32u);
    EXPECT_EQ(h.target.dev.FlashSize, 4096u);
    EXPECT_TRUE(h.view.Options().programKeyCode);
    EXPECT_FALSE(h.view.Options().eraseChip);
    EXPECT_TRUE(h.view.Options().programFlash);
    EXPECT_FALSE(h.view.Options().enableProtect);
    EXPECT_TRUE(h.view.Options().programSn);
}

TEST(StoredSettings, BadReportsChangeNothing) {
    struct Case {
        const char* name;
        sim::BoxConfig config;
    };
    sim::BoxConfig badCrc = Reports(4, 128, 32);
    badCrc.faults.push_back(MakeFault(FaultKind::BadCrc, CMD_DATAFLASH_CONFIG));
    std::vector<Case> cases = {{"bad CRC", badCrc},
                               {"type beyond the catalogue", Reports(21, 128, 32)},
                               {"geometry beyond the buffers", Reports(4, 4096, 4096)},
                               {"pages no frame carries", Reports(4, 512, 256)}};
    const std::map<std::string, std::string> reasons = {
        {"geometry beyond the buffers",
         "Stored settings refused: the flash size 16777216 is above 300000"},
        {"pages no frame carries",
         "Stored settings refused: the flash page size 512 does not fit a frame (at most 295)"}};
    for (Case& c : cases) {
        SCOPED_TRACE(c.name);
        EngineHost t(c.config);
        Host& h = t.h();
        h.target.DeviceType = 2;
        h.target.mcuName = DeviceNameOfIndex(2);
        t.Tick({.eraseChip = true});
        t.ChooseCom("COM1");
        t.RunUntilIdle();
        Lines lines = t.LogLines();
        if (auto reason = reasons.find(c.name); reason != reasons.end()) {
            EXPECT_EQ(lines.back(), reason->second);
            EXPECT_EQ(h.history.last.text, reason->second);
            lines.pop_back();
        }
        EXPECT_EQ(lines.back().substr(lines.back().size() - 6), "Failed");
        EXPECT_EQ(h.target.DeviceType, 2);
        EXPECT_EQ(h.target.mcuName, DeviceNameOfIndex(2));
        EXPECT_EQ(h.target.dev.FlashPageSize, 64u);
        EXPECT_EQ(h.target.dev.FlashPageCount, 16u);
        EXPECT_TRUE(h.view.Options().eraseChip);
        EXPECT_FALSE(h.view.Options().programSn);
        EXPECT_TRUE(t.ControlsIdle());
    }
}

// ---- records ----

// A maintenance run's record names the box and the firmware it ran before and after; after a
// rewrite the box must be restarted before anything can say which firmware it runs.
TEST(MaintenanceRecords, NameTheFirmwareBeforeAndAfter) {
    struct Case {
        const char* name;
        sim::BoxConfig config;
        RunKind kind;
        const char* firmware;
    };
    const std::vector<Case> cases = {
        {"rewrite", Maintenance(), RunKind::FirmwareRewrite,
         "\"firmware_before\":\"0.2\",\"firmware_after\":\"unknown\""},
        {"settings report", Reports(4, 128, 32), RunKind::SettingsReport,
         "\"firmware_before\":\"1.3\",\"firmware_after\":\"1.3\""}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EngineHost t(c.config);
        Host& h = t.h();
        WriteUpdateFile(t, Pattern(512));
        std::vector<std::string> records;
        h.onRunEnded = [&](const Outcome& o) {
            if (o.kind == c.kind) records.push_back(FormatRunRecord(h, o, 0));
        };
        t.ChooseCom("COM1");
        t.RunUntilIdle();
        ASSERT_EQ(records.size(), 1u);
        EXPECT_NE(records[0].find("\"programmer\":\"" + h.programmer.name + "\""), std::string::npos);
        EXPECT_NE(records[0].find("\"programmer_number\":258,"), std::string::npos) << records[0];
        EXPECT_NE(records[0].find(c.firmware), std::string::npos) << records[0];
    }
    // A device operation changes no firmware: its record names the one firmware.
    EngineHost t;
    std::vector<std::string> records;
    t.h().onRunEnded = [&](const Outcome& o) { records.push_back(FormatRunRecord(t.h(), o, 0)); };
    t.Operate(SingleOperation::ChipErase);
    t.RunUntilIdle();
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0].find("firmware_before"), std::string::npos);
}

}  // namespace
}  // namespace lumacrest
