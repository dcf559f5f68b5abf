// The line as it really is, on the virtual clock: a port that goes away under a run, ports
// that exist but cannot be used, low latency, the pause after the boot verify, and the
// operator's stop.
#include <gtest/gtest.h>

#include <algorithm>

#include "ops/Runs.h"
#include "ops/Stopping.h"
#include "support/EngineHost.h"
#include "ui/main/ResourceIds.h"

namespace lumacrest {
namespace {

using Bytes = std::vector<uint8_t>;
using Lines = std::vector<std::string>;
using test::EngineHost;
using test::LinkHost;

void FillFlash(Host& h) {
    for (uint32_t i = 0; i < 16 * 64; ++i) h.target.buf().flash[i] = static_cast<uint8_t>(i * 5 + 1);
}

std::size_t Count(const Bytes& codes, uint8_t code) {
    return static_cast<std::size_t>(std::count(codes.begin(), codes.end(), code));
}

// An Update with a serial number, paced at 10 ms an exchange; `atBlock` is called when the
// box takes its third flash block.
struct PacedUpdate : EngineHost {
    explicit PacedUpdate(std::function<void(PacedUpdate&)> atBlock) {
        FillFlash(h());
        port.delivery.extraDelayMs = 10;
        Tick({.eraseChip = true, .programFlash = true, .programSn = true});
        h().sn.SnWidth = 4;
        h().sn.SnValue = 50;
        int blocks = 0;
        box->onEvent = [this, atBlock, blocks](const std::string& e) mutable {
            if (e.rfind("rx 0x13", 0) == 0 && ++blocks == 3)
                clock.Schedule(1, [this, atBlock] { atBlock(*this); });
        };
    }
};

TEST(LineLoss, APortThatGoesAwayEndsTheRunAtOnceAsATimeOutWould) {
    bool endedAtOnce = false;
    PacedUpdate t([&](PacedUpdate& u) {
        u.port.Unplug();
        endedAtOnce = !u.h().run.Active();  // no waiting out the block's 20 s
    });
    t.Update();
    t.RunUntilIdle();
    EXPECT_TRUE(endedAtOnce);
    EXPECT_EQ(t.RunLines().back(), "Write FLASH......Timer Over ");
    EXPECT_EQ(t.MessageTexts(),
              (Lines{"******The port COM1 (dev/com1) was lost: the device went away******"}));
    EXPECT_EQ(t.h().sn.SnValue, 50u);  // given back, once
    EXPECT_EQ(t.h().history.last.verdict, Verdict::PortLost);
    EXPECT_EQ(t.h().history.last.stage, Stage::WriteFlash);
    EXPECT_TRUE(t.AtRest());
}

TEST(PortProblems, AScanNamesThePortsItCouldNotUseOnceWhenNoProgrammerAnswers) {
    LinkHost t;
    t.MapPorts({1, 2, 3});
    t.port.AddBox(LinkHost::Device(1));
    t.port.Hold(LinkHost::Device(1), "cu (pid 99)");
    t.port.AddBox(LinkHost::Device(2));
    t.port.Deny(LinkHost::Device(2));
    t.port.AddSilent(LinkHost::Device(3));
    t.ChooseCom("USB");
    t.clock.RunUntilIdle();
    const Lines lines = t.LogLines();
    const std::string held = "COM1 (dev/com1) is held by another program: cu (pid 99)";
    const std::string denied = "permission denied on dev/com2: add your user to the dialout group";
    EXPECT_EQ(Lines(lines.end() - 5, lines.end()),
              (Lines{"Auto Connect to Programmer . . . . . . Failed", "Can Not Find Programmer  ",
                     "Tried COM1 (dev/com1), COM2 (dev/com2), COM3 (dev/com3)", held, denied}));
    EXPECT_EQ(t.MessageTexts(), (Lines{"******" + held + "\n" + denied + "******"}));

    // When a programmer answers on another port, the ports passed over go unmentioned.
    LinkHost found;
    found.MapPorts({1, 2});
    found.port.AddBox(LinkHost::Device(1));
    found.port.Hold(LinkHost::Device(1), "cu (pid 99)");
    found.port.AddBox(LinkHost::Device(2));
    found.ChooseCom("USB");
    found.clock.RunUntilIdle();
    EXPECT_EQ(found.LogLines().back(), "Used_Counter: 5   V2.0");
    EXPECT_TRUE(found.MessageTexts().empty());
}

TEST(PortProblems, LowLatencyIsAskedForAtEveryOpenAndNotNeeded) {
    EngineHost t;
    t.port.lowLatencySupported = false;  // a pseudo-terminal has no such mode
    t.Tick({.programFlash = true});
    t.Update();
    t.RunUntilIdle();
    EXPECT_EQ(t.RunLines().back(), "Eixt Program Mode......OK");
    EXPECT_EQ(t.port.lowLatencyRequests, static_cast<int>(t.port.opened.size()));
}

TEST(Stop, AStopMidWriteLeavesProgramModeWithAFailAndGivesTheNumberBack) {
    PacedUpdate t([](PacedUpdate& u) { StopRun(u.h().ops, "stopped by SIGINT"); });
    t.Update();
    t.RunUntilIdle();
    // The block under way is answered; then no further block, and the exit with a fail.
    EXPECT_EQ(Count(t.SentCodes(), CMD_WRITE_FLASH_BLOCK), 3u);
    EXPECT_EQ(t.SentCodes().back(), CMD_EXIT_PROGRAM_MODE);
    EXPECT_EQ(t.box->lastExitResult(), 0);
    const Lines lines = t.RunLines();
    EXPECT_EQ(Lines(lines.end() - 2, lines.end()),
              (Lines{"Write FLASH......", "Eixt Program Mode......OK"}));
    EXPECT_EQ(t.h().sn.SnValue, 50u);
    EXPECT_EQ(t.h().history.last.verdict, Verdict::Interrupted);
    EXPECT_EQ(t.h().history.last.text, "stopped by SIGINT");
    EXPECT_TRUE(t.AtRest());
}

TEST(Stop, AnUnansweredStopIsBoundedAndAStopInThePauseExitsAtOnce) {
    {
        SCOPED_TRACE("the block under way and the exit get no answer");
        PacedUpdate t([](PacedUpdate& u) {
            u.port.delivery.drop = true;
            StopRun(u.h().ops, "stopped by SIGTERM");
        });
        t.Update();
        t.RunUntilIdle();
        EXPECT_EQ(t.SentCodes().back(), CMD_EXIT_PROGRAM_MODE);
        EXPECT_EQ(t.RunLines().back(), "Eixt Program Mode......Timer Over ");
        EXPECT_LE(t.clock.Now(), 100u + 2 * kStopWaitMs);
        EXPECT_TRUE(t.AtRest());
    }
    {
        SCOPED_TRACE("a stop in the pause after the boot verify");
        EngineHost t;
        t.Tick({.programFlash = true, .programBoot = true});
        t.Update();
        t.clock.Advance(100);  // in the pause
        ASSERT_EQ(t.h().run.CurrentStage(), Stage::BootSettle);
        StopRun(t.h().ops, "stopped by SIGINT");
        EXPECT_EQ(t.SentCodes().back(), CMD_EXIT_PROGRAM_MODE);
        t.RunUntilIdle();
        EXPECT_EQ(t.clock.Now(), 100u);
        EXPECT_EQ(Count(t.SentCodes(), CMD_WRITE_FLASH_BEGIN), 0u);
        EXPECT_EQ(t.box->lastExitResult(), 0);
        EXPECT_TRUE(t.AtRest());
    }
}

TEST(Stop, ClosingTheWindowAsksAndAYesStopsTheRun) {
    PacedUpdate t([](PacedUpdate& u) {
        // The first close is answered No: the run goes on.
        EXPECT_FALSE(u.dlg->OnCloseRequest(true));
        u.prompts.QueueAnswer(true);
        EXPECT_TRUE(u.dlg->OnCloseRequest(true));
        EXPECT_FALSE(u.h().run.Active());
    });
    t.Update();
    t.RunUntilIdle();
    EXPECT_EQ(t.prompts.questions.size(), 2u);
    EXPECT_EQ(t.box->lastExitResult(), 0);
    EXPECT_EQ(t.h().sn.SnValue, 50u);
    // Nothing under way: the window closes without a question.
    EXPECT_TRUE(t.dlg->OnCloseRequest(true));
    EXPECT_EQ(t.prompts.questions.size(), 2u);
}

}  // namespace
}  // namespace lumacrest
