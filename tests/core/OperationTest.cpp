// Device operations end to end on the virtual clock: the frames the steps build, every reply
// row of the engine, the Update sequence and each way a run can end.
#include <gtest/gtest.h>

#include <algorithm>

#include "image/DeviceCatalogue.h"
#include "link/Link.h"
#include "ops/OperationReplies.h"
#include "ops/DeviceSteps.h"
#include "ops/Discovery.h"
#include "ops/OperationCommands.h"
#include "support/EngineHost.h"
#include "support/ExpectedLogs.h"
#include "ui/main/ResourceIds.h"

namespace lumacrest {
namespace {

using Bytes = std::vector<uint8_t>;
using Lines = std::vector<std::string>;
using sim::Fault;
using sim::FaultKind;
using test::EngineHost;

// A flash image with different bytes in every page, so a verify that compares the wrong
// offset cannot pass.
void FillFlash(Host& h, uint32_t pages) {
    for (uint32_t i = 0; i < pages * h.target.dev.FlashPageSize; ++i)
        h.target.buf().flash[i] = static_cast<uint8_t>(i * 7 + i / 64);
}

void FillBoot(Host& h) {
    for (uint32_t i = 0; i < h.target.dev.BootSize; ++i) h.target.buf().boot[i] = static_cast<uint8_t>(0x30 + i);
}

std::vector<uint8_t> Range(const uint8_t* data, std::size_t size) {
    return std::vector<uint8_t>(data, data + size);
}

using State = std::optional<std::array<uint8_t, 2>>;

sim::BoxConfig WithFault(FaultKind kind, int code = -1, uint32_t value = 0) {
    sim::BoxConfig config;
    Fault fault;
    fault.kind = kind;
    fault.code = code;
    fault.value = value;
    config.faults.push_back(fault);
    return config;
}

sim::BoxConfig WithStates(State programMode, State check, std::optional<uint8_t> adapter = {}) {
    sim::BoxConfig config;
    config.programModeState = programMode;
    config.checkState = check;
    config.adapterId = adapter;
    return config;
}

std::size_t Count(const Bytes& codes, uint8_t code) {
    return static_cast<std::size_t>(std::count(codes.begin(), codes.end(), code));
}

TEST(OperationFrames, ProgramModeHeaderAndBeginFrames) {
    EngineHost t;
    Host& h = t.h();
    h.target.DeviceType = 0x0102;
    h.target.dev.DeviceByte1 = 0x11;
    h.target.dev.DeviceByte2 = 0x22;
    h.target.dev.DeviceByte3 = 0x33;
    h.target.dev.SectorSizes = {1, 2, 3};
    for (uint8_t i = 0; i < 16; ++i) h.target.buf().keyCode[i] = static_cast<uint8_t>(0xC0 + i);
    h.link.Frame().payload.fill(0xEE);  // leftovers of an earlier frame

    t.Operate(SingleOperation::WriteFlash);
    const auto sent = t.Sent();
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(sent[0].code, CMD_ENTER_PROGRAM_MODE);
    const Bytes& p = sent[0].payload;
    ASSERT_EQ(p.size(), 40u);
    EXPECT_EQ(Range(p.data(), 12),
              (Bytes{0x00, 64, 0x01, 0x02, 1, 0, 0x11, 0x22, 0x00, 32, 0x33, 3}));
    EXPECT_EQ(Range(p.data() + 12, 3), (Bytes{0xEE, 0xEE, 0xEE}));
    for (uint8_t i = 0; i < 16; ++i) EXPECT_EQ(p[15 + i], 0xC0 + i);
    EXPECT_EQ(p[31], 0xEE);
    EXPECT_EQ(t.clock.Deadline(kReplyTimerId), 3000u);

    // After the program-mode reply the begin frame resumes the operation as a fresh entry,
    // its bytes past the header left from the program-mode header.
    t.RunUntilIdle();
    const auto begin = t.Sent()[1];
    EXPECT_EQ(begin.code, CMD_WRITE_FLASH_BEGIN);
    EXPECT_EQ(begin.payload.size(), 15u);
    EXPECT_EQ(Range(begin.payload.data() + 4, 2), (Bytes{1, 0}));
    EXPECT_EQ(begin.payload[10], 0x33);
}

TEST(OperationFrames, VerifyBootBeginPageSizeDependsOnHowItIsSent) {
    // Sent on resumption after the program-mode reply: the flash page size.
    EngineHost t;
    t.Operate(SingleOperation::VerifyBoot);
    t.RunUntilIdle();
    const auto resumed = t.Sent()[1];
    ASSERT_EQ(resumed.code, CMD_VERIFY_BOOT_BEGIN);
    EXPECT_EQ(resumed.payload[1], 64);
    EXPECT_EQ(resumed.payload[4], 1);

    // Sent directly inside the Update run, after the boot write: the boot page size.
    t.ClearSent();
    t.Tick({.programBoot = true});
    t.Update();
    t.RunUntilIdle();
    for (const auto& f : t.Sent())
        if (f.code == CMD_VERIFY_BOOT_BEGIN) {
            EXPECT_EQ(f.payload[1], 32);
            EXPECT_EQ(Range(f.payload.data() + 4, 2), (Bytes{0, 1}));
        }
    EXPECT_EQ(Count(t.SentCodes(), CMD_VERIFY_BOOT_BEGIN), 1u);
}

TEST(ChipErase, LinesFlagsAndResult) {
    EngineHost t;
    t.box->flash()[5] = 0x00;
    t.Operate(SingleOperation::ChipErase);
    EXPECT_EQ(t.Sent()[0].payload[4], 0);
    t.RunUntilIdle();
    EXPECT_EQ(t.RunLines(),
              (Lines{"Enter Program Mode......OK", "KeyCode Verify......KeyCode is not enable.",
                     "Erase Device,Please Waiting......OK", "Eixt Program Mode......OK"}));
    EXPECT_EQ(t.Sent()[1].code, CMD_CHIP_ERASE);
    EXPECT_EQ(t.Sent()[1].payload[4], 0);
    EXPECT_EQ(t.box->flash()[5], 0xFF);
    EXPECT_EQ(t.box->lastExitResult(), 1);
    EXPECT_TRUE(t.AtRest());
}

TEST(ChipErase, FailureExitsWithFailAndKeepsTheSerialNumber) {
    EngineHost t(WithFault(FaultKind::EraseFails));
    Host& h = t.h();
    t.Tick({.eraseChip = true, .programFlash = true, .programSn = true});
    h.sn.SnValue = 10;
    h.sn.SnWidth = 4;
    t.Update();
    t.RunUntilIdle();
    EXPECT_EQ(t.RunLines(),
              (Lines{"Enter Program Mode......OK", "KeyCode Verify......KeyCode is not enable.",
                     "Erase Device,Please Waiting...... Failed", "Eixt Program Mode......OK"}));
    EXPECT_EQ(t.box->lastExitResult(), 0);
    EXPECT_EQ(h.sn.SnValue, 11u);
    EXPECT_TRUE(t.AtRest());
}

TEST(WriteFlash, SkipsBlankBlocksAndFollowsEveryIndexWithTheProgressBar) {
    EngineHost t;
    Host& h = t.h();
    struct Recorder : HostEvents {
        std::vector<int> positions;
        void ProgressChanged(int p) override { positions.push_back(p); }
    } progress;
    h.view.AddObserver(&progress);
    h.target.buf().flash[0] = 0x12;
    h.target.buf().flash[10 * 64 + 63] = 0x34;
    h.target.FlashPagesToWrite = 12;

    t.Operate(SingleOperation::WriteFlash);
    t.RunUntilIdle();
    h.view.RemoveObserver(&progress);

    std::vector<std::pair<uint8_t, int>> blocks;
    for (const auto& f : t.Sent())
        if (f.code == CMD_WRITE_FLASH_BLOCK)
            blocks.push_back({f.payload[1], int(f.payload.size())});
    EXPECT_EQ(blocks, (std::vector<std::pair<uint8_t, int>>{{0, 66}, {10, 66}}));
    EXPECT_EQ(t.SentCodes(), (Bytes{0x22, 0x12, 0x13, 0x13, 0x14, 0x0F}));
    // Progress: one position per block index after the first block, sent or skipped, then
    // 100 at the end frame's reply.
    const std::vector<int> tail(progress.positions.end() - 12, progress.positions.end());
    EXPECT_EQ(tail, (std::vector<int>{16, 25, 33, 41, 50, 58, 66, 75, 83, 91, 100, 100}));
    EXPECT_EQ(t.RunLines().back(), "Eixt Program Mode......OK");
    EXPECT_EQ(t.RunLines()[2], "Write FLASH......OK");
    EXPECT_EQ(t.box->flash()[0], 0x12);
    EXPECT_EQ(t.box->flash()[10 * 64 + 63], 0x34);
    EXPECT_EQ(t.box->lastExitResult(), 1);  // the menu write does not verify
    EXPECT_TRUE(t.AtRest());
}

TEST(WriteFlash, BlockTimeOutsAndTheEndFrameAfterAllBlankBlocks) {
    EngineHost t;
    Host& h = t.h();
    t.port.delivery.extraDelayMs = 10;  // one exchange per 10 ms
    t.Operate(SingleOperation::WriteFlash);
    t.clock.Advance(20);  // program-mode reply, then the begin reply
    EXPECT_EQ(t.Sent().back().code, CMD_WRITE_FLASH_BLOCK);
    EXPECT_EQ(t.clock.Deadline(kReplyTimerId), t.clock.Now() + 5000);
    t.clock.Advance(10);  // block 0 written; every other block is blank
    EXPECT_EQ(t.Sent().back().code, CMD_WRITE_FLASH_END);
    EXPECT_EQ(t.Sent().back().payload.size(), 0u);

    t.RunUntilIdle();
    h.target.buf().flash[3 * 64] = 0;
    t.Operate(SingleOperation::WriteFlash);
    t.clock.Advance(20);
    t.clock.Advance(10);
    EXPECT_EQ(t.Sent().back().payload[1], 3);
    EXPECT_EQ(t.clock.Deadline(kReplyTimerId), t.clock.Now() + 20000);
}

TEST(WriteFlash, ToolbarWriteVerifiesWithoutASeparator) {
    EngineHost t;
    Host& h = t.h();
    FillFlash(h, 16);
    t.Command(id::TbWrite);
    t.RunUntilIdle();
    EXPECT_EQ(t.RunLines(),
              (Lines{"Enter Program Mode......OK", "KeyCode Verify......KeyCode is not enable.",
                     "Write FLASH......OK", "Verify FLASH......OK", "Eixt Program Mode......OK"}));
    EXPECT_EQ(Count(t.SentCodes(), CMD_VERIFY_FLASH_BLOCK), 16u);
    EXPECT_EQ(Range(t.box->flash().data(), 1024), Range(h.target.buf().flash.data(), 1024));
    EXPECT_EQ(t.box->lastExitResult(), 1);
    EXPECT_TRUE(t.AtRest());
}

TEST(ReadOperations, FillTheBuffersAndShowTheChecksums) {
    EngineHost t;
    Host& h = t.h();
    for (std::size_t i = 0; i < 1024; ++i) t.box->flash()[i] = static_cast<uint8_t>(i);
    for (std::size_t i = 0; i < 128; ++i) t.box->boot()[i] = static_cast<uint8_t>(0xA0 ^ i);
    h.target.FlashPagesToWrite = 2;  // a read always takes the whole flash

    t.Operate(SingleOperation::ReadFlash);
    t.RunUntilIdle();
    EXPECT_EQ(Range(h.target.buf().flash.data(), 1024), Range(t.box->flash().data(), 1024));
    EXPECT_EQ(Count(t.SentCodes(), CMD_READ_FLASH_BLOCK), 16u);
    Lines lines = t.RunLines();
    EXPECT_EQ(lines[2], "Read FLASH......OK");
    EXPECT_EQ(lines[3].rfind("Flash Buffer Check Sum: 0x", 0), 0u);
    EXPECT_EQ(lines.back(), "Eixt Program Mode......OK");
    EXPECT_EQ(h.view.Progress(), 100);

    t.ClearSent();
    t.Operate(SingleOperation::ReadBoot);
    t.RunUntilIdle();
    EXPECT_EQ(Range(h.target.buf().boot.data(), 128), Range(t.box->boot().data(), 128));
    EXPECT_EQ(Count(t.SentCodes(), CMD_READ_BOOT_BLOCK), 4u);
    EXPECT_EQ(t.RunLines()[2], "Read FLASH......OK");
    EXPECT_TRUE(t.AtRest());
}

TEST(Verify, ComparesEveryBlockAtItsOwnOffset) {
    EngineHost t;
    Host& h = t.h();
    FillFlash(h, 16);
    std::copy_n(h.target.buf().flash.begin(), 1024, t.box->flash().begin());
    t.Operate(SingleOperation::VerifyFlash);
    t.RunUntilIdle();
    EXPECT_EQ(t.RunLines()[2], "Verify FLASH......OK");
    EXPECT_EQ(t.box->lastExitResult(), 1);
    EXPECT_EQ(Range(h.target.buf().flashReadBack.data(), 1024), Range(h.target.buf().flash.data(), 1024));

    // A difference in the last byte of block 3 only.
    t.box->flash()[4 * 64 - 1] ^= 0x40;
    t.ClearSent();
    t.Operate(SingleOperation::VerifyFlash);
    t.RunUntilIdle();
    EXPECT_EQ(t.RunLines()[2], "Verify FLASH......Failed");
    EXPECT_EQ(Count(t.SentCodes(), CMD_VERIFY_FLASH_BLOCK), 4u);
    EXPECT_EQ(t.box->lastExitResult(), 0);
    EXPECT_TRUE(t.AtRest());
}

TEST(Verify, BootDifferenceInBlockKFailsTheUpdateAndRollsTheSerialNumberBack) {
    EngineHost t(WithFault(FaultKind::VerifyDiffers, CMD_VERIFY_BOOT_BLOCK, 2));
    Host& h = t.h();
    FillBoot(h);
    t.Tick({.programFlash = true, .programBoot = true, .programSn = true});
    h.sn.SnWidth = 4;
    h.sn.SnValue = 258;
    h.sn.SnAddress = 256;
    t.Update();
    EXPECT_EQ(Range(h.target.buf().flash.data() + 256, 4), (Bytes{0, 0, 1, 2}));
    EXPECT_EQ(h.sn.SnValue, 259u);
    t.RunUntilIdle();
    EXPECT_EQ(
        t.RunLines(),
        (Lines{"Enter Program Mode......OK", "KeyCode Verify......KeyCode is not enable.",
               "Write Boot......OK", "Verify Boot......Failed", "Eixt Program Mode......OK"}));
    EXPECT_EQ(Count(t.SentCodes(), CMD_VERIFY_BOOT_BLOCK), 3u);
    EXPECT_EQ(Count(t.SentCodes(), CMD_WRITE_FLASH_BEGIN), 0u);
    EXPECT_EQ(h.sn.SnValue, 258u);
    EXPECT_EQ(t.box->lastExitResult(), 0);
    EXPECT_EQ(t.clock.Now(), 0u);  // no pause after a failed boot verify
    EXPECT_TRUE(t.AtRest());
}

const Lines& kFullRun = test::kFullUpdateLog;

TEST(Update, FullRunProgramsTheChipAndPausesAfterTheBoot) {
    EngineHost t;
    Host& h = t.h();
    FillFlash(h, 16);
    FillBoot(h);
    for (uint8_t i = 0; i < 16; ++i) h.target.buf().keyCode[i] = static_cast<uint8_t>(i + 1);
    t.box->flash()[2000] = 0x00;  // old contents are erased first
    t.Tick({.eraseChip = true, .programFlash = true, .programBoot = true, .programKeyCode = true});
    t.Update();
    EXPECT_FALSE(t.ControlsIdle());
    t.RunUntilIdle();

    EXPECT_EQ(t.RunLines(), kFullRun);
    EXPECT_EQ(Range(t.box->flash().data(), 1024), Range(h.target.buf().flash.data(), 1024));
    EXPECT_EQ(t.box->flash()[2000], 0xFF);
    EXPECT_EQ(Range(t.box->boot().data(), 128), Range(h.target.buf().boot.data(), 128));
    EXPECT_TRUE(t.box->keyCodeEnabled());
    EXPECT_EQ(Range(t.box->chipKeyCode().data(), 16), Range(h.target.buf().keyCode.data(), 16));
    EXPECT_EQ(t.box->lastExitResult(), 1);
    // The 0.5 s pause after the boot verify is the only time that passes, and the sequence
    // goes on from a timer, not from a wait of its own.
    EXPECT_EQ(t.clock.Now(), 500u);
    EXPECT_EQ(t.clock.pumps, 0);
    EXPECT_TRUE(t.AtRest());
    // Program mode is entered once; the port is opened anew for every stage.
    EXPECT_EQ(Count(t.SentCodes(), CMD_ENTER_PROGRAM_MODE), 1u);
    EXPECT_EQ(t.port.opened.size(), 8u);
    // Begin frames of the run carry autoSequence 1 and are not fresh entries.
    for (const auto& f : t.Sent())
        if (f.code == CMD_WRITE_FLASH_BEGIN) {
            EXPECT_EQ(Range(f.payload.data() + 4, 2), (Bytes{0, 1}));
        }
}

TEST(Update, RepliesInPiecesGiveTheSameRun) {
    EngineHost t;
    Host& h = t.h();
    FillFlash(h, 16);
    t.port.delivery.pieceSize = 5;
    t.Tick({.eraseChip = true, .programFlash = true, .programBoot = true, .programKeyCode = true});
    t.Update();
    t.RunUntilIdle();
    EXPECT_EQ(t.RunLines(), kFullRun);
    EXPECT_EQ(Range(t.box->flash().data(), 1024), Range(h.target.buf().flash.data(), 1024));
}

TEST(Update, OptionChecksBeforeAnythingIsSent) {
    EngineHost t;
    Host& h = t.h();
    h.sn.SnValue = 7;
    t.Tick({.programSn = true});
    t.Update();
    EXPECT_EQ(t.MessageTexts(), (Lines{"******Please Select Program Option******   "}));
    EXPECT_TRUE(t.port.written.empty());
    EXPECT_EQ(h.sn.SnValue, 7u);
    EXPECT_FALSE(t.port.IsOpen());
    EXPECT_TRUE(t.ControlsIdle());

    // A serial number that does not lie inside the flash stops the run.
    t.Tick({.programFlash = true, .programSn = true});
    h.sn.SnWidth = 4;
    h.sn.SnAddress = 1021;  // 1021 + 4 > 1024
    t.Update();
    ASSERT_EQ(t.MessageTexts().size(), 2u);
    EXPECT_NE(t.MessageTexts()[1].find("SN Address 1021"), std::string::npos);
    EXPECT_TRUE(t.port.written.empty());
    EXPECT_EQ(h.sn.SnValue, 7u);
    EXPECT_EQ(h.target.buf().flash[1021], 0xFF);
    EXPECT_TRUE(t.AtRest());

    h.sn.SnAddress = 0xFFFFFFFE;  // would wrap around in 32 bits
    t.Update();
    EXPECT_EQ(t.MessageTexts().size(), 3u);
    EXPECT_TRUE(t.port.written.empty());

    // A page that does not fit a frame is refused before the port opens.
    const std::size_t opens = t.port.opened.size();
    SetPageGeometry(h.target, 512, 4, 32, 4);
    t.Operate(SingleOperation::WriteFlash);
    EXPECT_EQ(t.MessageTexts().size(), 4u);
    EXPECT_NE(t.MessageTexts()[3].find("512"), std::string::npos);
    EXPECT_EQ(t.port.opened.size(), opens);
}

TEST(Update, SerialNumberBeyondTheImageIsProgrammedAndVerified) {
    EngineHost t;
    Host& h = t.h();
    FillFlash(h, 2);
    h.target.FlashPagesToWrite = 2;
    h.sn.SnWidth = 4;
    h.sn.SnValue = 0x01020304;
    h.sn.SnAddress = 10 * 64 + 62;  // spans pages 10 and 11
    t.Tick({.eraseChip = true, .programFlash = true, .programSn = true});
    t.Update();
    EXPECT_EQ(h.target.FlashPagesToWrite, 12u);
    t.RunUntilIdle();
    EXPECT_EQ(Range(t.box->flash().data() + 702, 4), (Bytes{1, 2, 3, 4}));
    EXPECT_EQ(Count(t.SentCodes(), CMD_VERIFY_FLASH_BLOCK), 12u);
    EXPECT_EQ(t.box->lastExitResult(), 1);
    EXPECT_EQ(h.sn.SnValue, 0x01020305u);
}

TEST(Update, EnableProtectEndings) {
    {
        EngineHost t;
        t.Tick({.enableProtect = true});
        t.Update();
        t.RunUntilIdle();
        EXPECT_EQ(t.RunLines().back(), "Eixt Program Mode......OK");
        EXPECT_EQ(t.box->lastExitResult(), 1);
        EXPECT_TRUE(t.AtRest());
    }
    {
        // After its last stage the run stops without leaving program mode, and the window
        // comes back.
        EngineHost t;
        FillFlash(t.h(), 16);
        t.Tick({.programFlash = true, .enableProtect = true});
        t.Update();
        t.RunUntilIdle();
        EXPECT_EQ(t.RunLines().back(), "Verify FLASH......OK");
        EXPECT_EQ(Count(t.SentCodes(), CMD_EXIT_PROGRAM_MODE), 0u);
        EXPECT_FALSE(t.box->lastExitResult().has_value());
        EXPECT_TRUE(t.AtRest());
        // A single erase under the same options still exits with a pass.
        t.Operate(SingleOperation::ChipErase);
        t.RunUntilIdle();
        EXPECT_EQ(t.box->lastExitResult(), 1);
    }
}

TEST(KeyCode, StatesOfTheProgramModeReply) {
    struct Case {
        std::array<uint8_t, 2> state;
        std::optional<uint8_t> adapter;
        Lines tail;
        bool rollback;
        uint8_t exitResult;
    };
    const std::vector<Case> cases = {
        // A KeyCode failure wins over a wrong adapter.
        {{0x00, 0xFF}, 9, {"KeyCode Verify......Failed", "Eixt Program Mode......OK"}, true, 0},
        {{0xA5, 0x5A}, {}, {"ADP Error.", "Eixt Program Mode......OK"}, true, 0},
        {{0xAA, 0xAA}, 9, {"ADP Error.", "Eixt Program Mode......OK"}, true, 0},
        // The chip already has a KeyCode: it cannot be written again.
        {{0x55, 0x55},
         {},
         {"KeyCode Verify......Pass", "KeyCode is enable, Can not be rewrited",
          "Eixt Program Mode......OK"},
         false,
         0},
    };
    for (const Case& c : cases) {
        EngineHost t(WithStates(c.state, {}, c.adapter));
        Host& h = t.h();
        t.Tick({.programKeyCode = true, .programSn = true});
        h.sn.SnWidth = 4;
        h.sn.SnValue = 100;
        t.Update();
        t.RunUntilIdle();
        Lines lines = t.RunLines();
        EXPECT_EQ(Lines(lines.begin() + 1, lines.end()), c.tail);
        EXPECT_EQ(h.sn.SnValue, c.rollback ? 100u : 101u);
        EXPECT_EQ(t.box->lastExitResult(), c.exitResult);
        EXPECT_EQ(Count(t.SentCodes(), CMD_WRITE_KEYCODE), 0u);
        EXPECT_TRUE(t.AtRest());
    }
    // Locked KeyCode under Enable Protect: the run stops cleanly without an exit frame.
    EngineHost t(WithStates(std::array<uint8_t, 2>{0x55, 0x55}, {}));
    t.Tick({.programKeyCode = true, .enableProtect = true});
    t.Update();
    t.RunUntilIdle();
    EXPECT_EQ(t.RunLines().back(), "KeyCode is enable, Can not be rewrited");
    EXPECT_FALSE(t.box->lastExitResult().has_value());
    EXPECT_TRUE(t.AtRest());
}

TEST(KeyCode, CheckReplies) {
    struct Case {
        std::array<uint8_t, 2> state;
        std::string line;
        bool rollback;
        uint8_t exitResult;
    };
    const std::vector<Case> cases = {
        {{0x55, 0x55}, "KeyCode Verify......Pass", false, 1},
        {{0xAA, 0xAA}, "KeyCode Verify......Failed.", false, 0},
        {{0x55, 0xAA}, "KeyCode Verify......Failed", true, 0},
        {{0x00, 0x00}, "KeyCode Verify......Failed", true, 0},
    };
    for (const Case& c : cases) {
        EngineHost t(WithStates({}, c.state));
        Host& h = t.h();
        t.Tick({.programKeyCode = true, .programSn = true});
        h.sn.SnWidth = 4;
        h.sn.SnValue = 5;
        t.Update();
        t.RunUntilIdle();
        Lines lines = t.RunLines();
        ASSERT_GE(lines.size(), 2u);
        EXPECT_EQ(lines[lines.size() - 2], c.line);
        EXPECT_EQ(lines.back(), "Eixt Program Mode......OK");
        EXPECT_EQ(h.sn.SnValue, c.rollback ? 5u : 6u);
        EXPECT_EQ(t.box->lastExitResult(), c.exitResult);
        EXPECT_TRUE(t.AtRest());
    }
    // The menu check alone: no program mode, a separator first.
    EngineHost t;
    t.Operate(SingleOperation::CheckKeyCode);
    t.RunUntilIdle();
    EXPECT_EQ(t.SentCodes(), (Bytes{CMD_CHECK_KEYCODE, CMD_EXIT_PROGRAM_MODE}));
    EXPECT_EQ(t.RunLines(), (Lines{"KeyCode Verify......Failed.", "Eixt Program Mode......OK"}));
}

TEST(KeyCode, EnabledStateIsNotInheritedByTheNextChip) {
    EngineHost t(WithStates(std::array<uint8_t, 2>{0x55, 0x55}, {}));
    Host& h = t.h();
    t.Operate(SingleOperation::ChipErase);
    t.RunUntilIdle();
    EXPECT_TRUE(h.programmer.keyCodeEnabled);
    // The next chip answers with neither state: it must not count as locked.
    t.box->config().programModeState = std::array<uint8_t, 2>{0x12, 0x12};
    t.Tick({.programKeyCode = true});
    t.Update();
    t.RunUntilIdle();
    EXPECT_EQ(Count(t.SentCodes(), CMD_WRITE_KEYCODE), 1u);
}

TEST(MenuCommands, NeverContinueAnUpdateRun) {
    EngineHost t;
    Host& h = t.h();
    t.Tick({.eraseChip = true, .programFlash = true});
    t.Operate(SingleOperation::ReadFlash);
    t.RunUntilIdle();
    EXPECT_EQ(Count(t.SentCodes(), CMD_CHIP_ERASE), 0u);
    EXPECT_EQ(t.SentCodes().back(), CMD_EXIT_PROGRAM_MODE);
    EXPECT_EQ(t.box->lastExitResult(), 1);

    // The menu's Write Boot verifies by itself.
    FillBoot(h);
    t.ClearSent();
    t.Operate(SingleOperation::WriteBoot);
    t.RunUntilIdle();
    EXPECT_EQ(Count(t.SentCodes(), CMD_VERIFY_BOOT_BLOCK), 4u);
    EXPECT_EQ(t.RunLines()[3], "Verify Boot......OK");
    EXPECT_EQ(t.clock.Now(), 0u);  // the pause belongs to the Update run
}

// A missing reply at each code of a full run ends it once, cleanly.
TEST(TimeOut, MissingReplyAtEveryStageEndsTheRunCleanly) {
    const std::vector<uint8_t> codes = {
        CMD_ENTER_PROGRAM_MODE, CMD_CHIP_ERASE,         CMD_WRITE_BOOT_BEGIN,
        CMD_WRITE_BOOT_BLOCK,   CMD_WRITE_BOOT_END,     CMD_VERIFY_BOOT_BEGIN,
        CMD_VERIFY_BOOT_BLOCK,  CMD_WRITE_FLASH_BEGIN,  CMD_WRITE_FLASH_BLOCK,
        CMD_WRITE_FLASH_END,    CMD_VERIFY_FLASH_BEGIN, CMD_VERIFY_FLASH_BLOCK,
        CMD_WRITE_KEYCODE,      CMD_CHECK_KEYCODE,      CMD_EXIT_PROGRAM_MODE};
    for (uint8_t code : codes) {
        SCOPED_TRACE(static_cast<int>(code));
        EngineHost t(WithFault(FaultKind::NoReply, code));
        Host& h = t.h();
        FillFlash(h, 16);
        FillBoot(h);
        t.Tick({.eraseChip = true, .programFlash = true, .programBoot = true,
                .programKeyCode = true, .programSn = true});
        h.sn.SnWidth = 4;
        h.sn.SnValue = 40;
        t.Update();
        t.RunUntilIdle();
        const std::string last = t.RunLines().back();
        EXPECT_EQ(last.substr(last.size() - 11), "Timer Over ");
        EXPECT_EQ(t.SentCodes().back(), code);
        // The exit frame went out only when the exit itself got no answer.
        EXPECT_EQ(Count(t.SentCodes(), CMD_EXIT_PROGRAM_MODE), code == CMD_EXIT_PROGRAM_MODE);
        // The exit is sent after the run is over: its time-out does not roll back.
        EXPECT_EQ(h.sn.SnValue, code == CMD_EXIT_PROGRAM_MODE ? 41u : 40u);
        EXPECT_TRUE(t.AtRest());
        EXPECT_EQ(h.link.LastCode(), kNoCommand);

        // A later time-out (an identify of another port) does not roll back again.
        const uint32_t after = h.sn.SnValue;
        t.port.AddSilent(t.Device(1));
        t.ChooseCom("COM1");
        t.RunUntilIdle();
        EXPECT_EQ(h.sn.SnValue, after);
    }
}

TEST(TimeOut, FailedReopenBetweenStagesEndsTheRun) {
    EngineHost t;
    Host& h = t.h();
    t.Tick({.eraseChip = true, .programFlash = true, .programSn = true});
    h.sn.SnWidth = 4;
    h.sn.SnValue = 3;
    t.port.delivery.extraDelayMs = 10;
    t.Update();
    t.clock.Advance(10);  // program mode reply: the erase opens the port again
    t.port.Hold(t.Device(1), "minicom (pid 7)");
    t.clock.Advance(10);  // erase reply: the flash write cannot open the port
    const Lines lines = t.RunLines();
    EXPECT_EQ(Lines(lines.end() - 3, lines.end()),
              (Lines{"Can Not Find Programmer  ", "Tried COM1 (dev/com1)",
                     "COM1 (dev/com1) is held by another program: minicom (pid 7)"}));
    EXPECT_EQ(Count(t.SentCodes(), CMD_WRITE_FLASH_BEGIN), 0u);
    EXPECT_EQ(h.sn.SnValue, 3u);
    EXPECT_TRUE(t.AtRest());
    t.RunUntilIdle();
    EXPECT_EQ(t.SentCodes().back(), CMD_CHIP_ERASE);
}

TEST(Reset, LogsAndClosesThePort) {
    EngineHost t;
    ASSERT_TRUE(ConnectPort(t.h().ops, 1));
    ResetProgrammer(t.h().ops);
    EXPECT_EQ(t.Sent().back().payload.size(), 2u);
    EXPECT_EQ(t.clock.Deadline(kReplyTimerId), 1000u);
    t.RunUntilIdle();
    EXPECT_EQ(t.LogLines().back(), "Reset Programger , Please Waitting ......   OK");
    EXPECT_FALSE(t.port.IsOpen());
}

}  // namespace
}  // namespace lumacrest
