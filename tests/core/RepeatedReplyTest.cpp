// A box that sends a reply twice, against the in-process box: the run fails at the stage where
// the second copy shows, at once, and the box is told the chip failed; it never runs on one
// answer behind the box, and never waits out a time-out.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>

#include "support/EngineHost.h"

namespace lumacrest {
namespace {

using sim::Fault;
using sim::FaultKind;
using test::EngineHost;

Fault MakeFault(FaultKind kind, int code, int times, uint32_t value = 0) {
    Fault f;
    f.kind = kind;
    f.code = code;
    f.times = times;
    f.value = value;
    return f;
}

// A box whose every reply takes 5 ms and that answers `code` twice once, the copy 1 ms after
// the reply: the copy comes while the host awaits the answer to its next command.
EngineHost& Prepare(EngineHost& t) {
    for (uint32_t i = 0; i < 16 * 64; ++i)
        t.h().target.buf().flash[i] = static_cast<uint8_t>(i * 7 + i / 64);
    t.h().target.FlashPagesToWrite = 16;
    t.h().target.loaded.flash = true;
    t.Tick({.eraseChip = true, .programFlash = true});
    return t;
}

sim::BoxConfig Answering(int twice) {
    sim::BoxConfig c;
    c.faults.push_back(MakeFault(FaultKind::Duplicate, twice, 1));
    c.faults.push_back(MakeFault(FaultKind::LateReply, -1, -1, 5));
    return c;
}

TEST(RepeatedReply, AnUpdateFailsWhereTheCopyShowsWithoutAWait) {
    // The begin frame, a write block, the verify begin, a verify block: each followed within
    // its stage by frames of its own code or of another.
    for (uint8_t code : {CMD_WRITE_FLASH_BEGIN, CMD_WRITE_FLASH_BLOCK, CMD_VERIFY_FLASH_BEGIN,
                         CMD_VERIFY_FLASH_BLOCK}) {
        SCOPED_TRACE(static_cast<int>(code));
        EngineHost t(Answering(code));
        Prepare(t);
        const uint64_t start = t.clock.Now();
        t.Update();
        t.RunUntilIdle();
        const Outcome& last = t.h().history.last;
        EXPECT_EQ(last.verdict, Verdict::Failed) << last.text;
        EXPECT_LT(t.clock.Now() - start, 1000u);  // far below any time-out of the run
        ASSERT_TRUE(t.box->lastExitResult().has_value());
        EXPECT_EQ(*t.box->lastExitResult(), 0);
        EXPECT_TRUE(t.AtRest());
        if (code != CMD_VERIFY_FLASH_BLOCK) {
            // A verify block one answer behind may differ from its page first.
            char line[64], words[64];
            std::snprintf(line, sizeof line, "Programmer answered command 0x%02X twice", code);
            std::snprintf(words, sizeof words, "the box answered the command 0x%02X twice", code);
            EXPECT_EQ(last.text, words);
            const std::vector<std::string> lines = t.RunLines();
            EXPECT_NE(std::find(lines.begin(), lines.end(), line), lines.end());
        }
    }
}

TEST(RepeatedReply, TheLastBlockAnsweredTwiceAfterAPassingVerifyFailsTheExit) {
    // A blank image: every verify page looks alike, so answers one behind compare equal and
    // the exit goes out as a pass; the copy's surplus shows before the exit's answer.
    EngineHost t(Answering(CMD_VERIFY_FLASH_BLOCK));
    Prepare(t);
    std::fill_n(t.h().target.buf().flash.begin(), 16 * 64, 0x00);
    t.Update();
    t.RunUntilIdle();
    const Outcome& last = t.h().history.last;
    EXPECT_EQ(last.verdict, Verdict::Failed);
    EXPECT_EQ(last.text, "the box answered the command 0x18 twice");
    EXPECT_TRUE(t.AtRest());
}

TEST(RepeatedReply, ALoaderBlockAnsweredTwiceFailsTheTransferWithoutWaitingOutTheDoneFrame) {
    sim::BoxConfig c = Answering(CMD_IAP_BLOCK);
    c.kind = 5;
    c.fwMajor = 1;
    c.fwMinor = 3;
    EngineHost t(c);
    Prepare(t);
    t.Tick({.programFlash = true});
    t.ChooseCom("COM1");
    t.RunUntilIdle();
    const uint64_t start = t.clock.Now();
    t.Update();
    t.RunUntilIdle();
    const Outcome& last = t.h().history.last;
    EXPECT_EQ(last.kind, RunKind::LoaderTransfer);
    EXPECT_EQ(last.text, "the box answered the command 0x41 twice");
    EXPECT_LT(t.clock.Now() - start, 1000u);  // the done frame's silent wait is 10 s
}

TEST(RepeatedReply, ACopyAfterTheRunHasEndedChangesNothing) {
    EngineHost t(Answering(CMD_EXIT_PROGRAM_MODE));
    Prepare(t);
    t.Update();
    t.RunUntilIdle();
    EXPECT_TRUE(t.h().history.last.Passed()) << t.h().history.last.text;
    EXPECT_EQ(*t.box->lastExitResult(), 1);
    EXPECT_TRUE(t.AtRest());
}

}  // namespace
}  // namespace lumacrest

namespace lumacrest {
namespace {

TEST(RepeatedReply, ACopyWaitingWhenTheNextCommandGoesOutIsFoundNotThrownAway) {
    // The box's reply to a write block comes twice, the copy already waiting when the host
    // sends the next block: thrown away with the input, it would let the reply meant for the
    // next block answer it while the box's real answer was lost.
    test::LinkHost t;
    Host& h = t.h();
    h.link.events.frame = [](const ReplyFrame&, FrameRole) { return true; };
    t.port.AddSilent("dev/com1");
    ASSERT_TRUE(t.port.Open("dev/com1").Ok());
    h.link.Frame().code = CMD_WRITE_FLASH_BLOCK;
    h.link.Frame().length = 8;
    ASSERT_EQ(h.link.SendCommand(h.link.Frame(), 30000, 6), SendResult::Sent);
    const std::vector<uint8_t> reply = sim::ProgrammerBox::Frame(CMD_WRITE_FLASH_BLOCK, {0});
    t.port.Inject(reply, 5);
    t.clock.Advance(5);
    EXPECT_FALSE(h.link.WaitingCopy().has_value());  // nothing waits

    // Noise and a frame of another code are no copy; the copy is, among them.
    const std::vector<uint8_t> other = sim::ProgrammerBox::Frame(CMD_CHIP_ERASE, {1});
    t.port.Buffer({0x00, 0x7E, 0x13});
    t.port.Buffer(other);
    EXPECT_FALSE(h.link.WaitingCopy().has_value());
    EXPECT_EQ(t.port.BufferedCount(), 0u);  // what waited is gone either way
    t.port.Buffer(other);
    t.port.Buffer(reply);
    EXPECT_EQ(h.link.WaitingCopy(), std::optional<uint8_t>(CMD_WRITE_FLASH_BLOCK));

    // After a command given up (its time-out), a late answer is no copy.
    ASSERT_EQ(h.link.SendCommand(h.link.Frame(), 100, 6), SendResult::Sent);
    t.clock.Advance(100);
    t.port.Buffer(reply);
    EXPECT_FALSE(h.link.WaitingCopy().has_value());
}

}  // namespace
}  // namespace lumacrest
