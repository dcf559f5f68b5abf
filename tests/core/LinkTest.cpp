// Frames, the receive path and the reply timer, on a virtual clock with an in-process box.
#include <gtest/gtest.h>

#include <random>

#include "ops/Discovery.h"
#include "link/Link.h"
#include "ops/ReplyEngine.h"
#include "support/FakeLink.h"
#include "ui/main/ResourceIds.h"

namespace lumacrest {
namespace {

using Bytes = std::vector<uint8_t>;
using test::LinkHost;

// An identify reply of 20 payload bytes: kind 2, number 258, no limit, 5 used, V2.0.
Bytes IdentifyReply() {
    Bytes p(20, 0);
    p[0] = 2;
    p[2] = 0x02;
    p[3] = 0x01;
    p[12] = 2;
    p[15] = 5;
    return sim::ProgrammerBox::Frame(CMD_IDENTIFY, p);
}

TEST(Frames, BytesOnTheWire) {
    CommandFrame f;
    f.code = CMD_IDENTIFY;
    f.length = 2;
    EXPECT_EQ(BuildFrameBytes(f), (Bytes{0x7E, 0xFF, 0x00, 0x00, 0x02, 0x00, 0x00, 0x01}));

    // Leftover payload bytes go out as they are; the sum wraps modulo 256.
    f.payload[0] = 0xAB;
    f.payload[1] = 0xCD;
    EXPECT_EQ(BuildFrameBytes(f), (Bytes{0x7E, 0xFF, 0x00, 0x00, 0x02, 0xAB, 0xCD, 0x79}));

    f.code = CMD_WRITE_FLASH_END;
    f.length = 0;
    EXPECT_EQ(BuildFrameBytes(f), (Bytes{0x7E, 0xFF, 0x14, 0x00, 0x00, 0x13}));

    f.code = CMD_WRITE_FLASH_BLOCK;
    f.length = 258;
    const Bytes big = BuildFrameBytes(f);
    ASSERT_EQ(big.size(), 264u);
    EXPECT_EQ(big[3], 0x01);
    EXPECT_EQ(big[4], 0x02);
}

TEST(SendCommand, ArmsTheLinkAndRestartsTheTimer) {
    LinkHost t;
    Host& h = t.h();
    t.port.AddSilent("dev/com1");
    ASSERT_TRUE(t.port.Open("dev/com1").Ok());
    t.port.Buffer({1, 2, 3});  // stale bytes are discarded by the send

    h.link.Frame().code = CMD_CHIP_ERASE;
    h.link.Frame().length = 15;
    ASSERT_EQ(h.link.SendCommand(h.link.Frame(), 30000, 6), SendResult::Sent);
    EXPECT_EQ(t.port.BufferedCount(), 0u);
    EXPECT_EQ(t.port.threshold(), 6u);
    EXPECT_TRUE(h.link.ReplyAwaited());
    EXPECT_EQ(h.link.LastCode(), CMD_CHIP_ERASE);
    EXPECT_EQ(t.clock.Deadline(kReplyTimerId), 30000u);

    t.clock.Advance(100);
    h.link.Frame().code = CMD_WRITE_FLASH_END;
    h.link.Frame().length = 0;
    h.link.SendCommand(h.link.Frame(), 5000, 6);
    EXPECT_EQ(t.clock.Deadline(kReplyTimerId), 5100u);
    EXPECT_EQ(t.port.written.back(), (Bytes{0x7E, 0xFF, 0x14, 0x00, 0x00, 0x13}));
}

TEST(SendCommand, RefusesAFrameBeyondThePayloadArea) {
    LinkHost t;
    Host& h = t.h();
    t.port.AddSilent("dev/com1");
    ASSERT_TRUE(t.port.Open("dev/com1").Ok());
    h.link.Frame().code = CMD_WRITE_FLASH_BLOCK;
    h.link.Frame().length = 514;  // a 512-byte page and its block number
    EXPECT_EQ(h.link.SendCommand(h.link.Frame(), 5000, 6), SendResult::TooLong);
    EXPECT_TRUE(t.port.written.empty());
    EXPECT_FALSE(t.clock.Running(kReplyTimerId));
    EXPECT_FALSE(h.link.ReplyAwaited());
}

// A host that has sent CMD_IDENTIFY on an open silent port; the test delivers the reply.
struct Identifying : LinkHost {
    Identifying() {
        port.AddSilent("dev/com1");
        EXPECT_TRUE(port.Open("dev/com1").Ok());
        h().view.AppendLog("Connect to Programmer . . . . . . ");
        SendIdentify(h().ops);
    }
    bool Identified() const {
        return h_().view.LogText().find("Find Progrmmer") != std::string::npos;
    }
    const Host& h_() const { return *host; }
};

TEST(Receive, AcceptsAWholeReplyAndStopsTheTimer) {
    Identifying t;
    t.port.Inject(IdentifyReply(), 10);
    t.clock.Advance(10);
    EXPECT_TRUE(t.Identified());
    EXPECT_FALSE(t.clock.Running(kReplyTimerId));
    EXPECT_EQ(t.h().link.Reply().length, 20u);
    EXPECT_TRUE(t.h().link.ReplyAwaited());  // only the time-out clears it
}

TEST(Receive, ReassemblesPiecesAndNeverReadsPastTheDeclaredLength) {
    for (std::size_t piece : {1u, 4u, 5u, 25u}) {
        Identifying t;
        Bytes frame = IdentifyReply();
        // Trailing bytes in the same read belong to no frame.
        frame.push_back(0x7E);
        frame.push_back(0x99);
        for (std::size_t at = 0; at < frame.size(); at += piece)
            t.port.Inject(
                Bytes(frame.begin() + static_cast<long>(at),
                      frame.begin() + static_cast<long>(std::min(frame.size(), at + piece))),
                at);
        t.clock.Advance(100);
        EXPECT_TRUE(t.Identified()) << "pieces of " << piece;
        EXPECT_FALSE(t.clock.Running(kReplyTimerId));
    }
}

TEST(Receive, ReplyLongerThanItsThresholdIsCompletedFromTheNextRead) {
    // The erase reply carries one payload byte: 7 bytes against a threshold of 6.
    LinkHost t;
    Host& h = t.h();
    t.port.AddSilent("dev/com1");
    ASSERT_TRUE(t.port.Open("dev/com1").Ok());
    h.link.Frame().code = CMD_CHIP_ERASE;
    h.link.Frame().length = 15;
    h.link.SendCommand(h.link.Frame(), 30000, 6);
    const Bytes reply = sim::ProgrammerBox::Frame(CMD_CHIP_ERASE, {1});
    t.port.Inject(Bytes(reply.begin(), reply.begin() + 6), 100);
    t.clock.Advance(100);
    EXPECT_EQ(t.port.threshold(), 1u);
    EXPECT_EQ(h.link.Gathered(), 6u);
    t.port.Inject(Bytes(reply.begin() + 6, reply.end()), 50);
    t.clock.Advance(50);
    EXPECT_EQ(h.link.Gathered(), 0u);
    EXPECT_EQ(h.link.Reply().code, CMD_CHIP_ERASE);
    EXPECT_EQ(h.link.Reply().length, 1u);
    EXPECT_EQ(h.link.Reply().payload[0], 1);
}

TEST(Receive, LengthRuleUsesTheRawHighByteInTheSum) {
    // Length bytes 0x02 0x10 declare 256 + 16 = 272 payload bytes; the sum takes the raw 0x02.
    Identifying t;
    Bytes frame = {0x7E, 0xFF, 0x00, 0x02, 0x10};
    Bytes payload(272, 0);
    payload[0] = 2;
    payload[12] = 2;
    frame.insert(frame.end(), payload.begin(), payload.end());
    uint8_t sum = 0;
    for (std::size_t i = 1; i < frame.size(); ++i) sum = static_cast<uint8_t>(sum + frame[i]);
    frame.push_back(sum);
    t.port.Inject(frame, 5);
    t.clock.Advance(5);
    EXPECT_TRUE(t.Identified());
    EXPECT_EQ(t.h().link.Reply().length, 272u);
}

TEST(Receive, RejectedFramesLeaveTheTimerToReportTheMissingReply) {
    auto badStart = [] {
        Bytes f = IdentifyReply();
        f[0] = 0x7D;
        return f;
    };
    auto badSum = [] {
        Bytes f = IdentifyReply();
        f.back() ^= 1;
        return f;
    };
    auto tooLong = [] {  // declares 301 payload bytes
        Bytes p(301, 0);
        return sim::ProgrammerBox::Frame(CMD_IDENTIFY, p);
    };
    auto overRead = [] {  // a valid reply followed by enough noise to exceed 512 bytes
        Bytes f = IdentifyReply();
        f.resize(600, 0x00);
        return f;
    };
    auto shortReply = [] {
        Bytes f = IdentifyReply();
        f.pop_back();
        return f;
    };
    for (const Bytes& frame : {badStart(), badSum(), tooLong(), overRead(), shortReply()}) {
        Identifying t;
        t.port.Inject(frame, 10);
        t.clock.Advance(999);
        EXPECT_FALSE(t.Identified());
        EXPECT_TRUE(t.clock.Running(kReplyTimerId));
        t.clock.Advance(1);
        const auto lines = t.LogLines();
        EXPECT_EQ(lines[lines.size() - 3], "Connect to Programmer . . . . . . Failed");
        EXPECT_EQ(lines[lines.size() - 2], "Can Not Find Programmer  ");
        EXPECT_EQ(lines.back().rfind("Tried COM", 0), 0u);
        EXPECT_EQ(t.h().link.LastCode(), kNoCommand);
    }
}

// The rest of a frame whose start was thrown away with the input when the command went out
// (the second copy of the reply before), read together with the answer: the answer counts.
TEST(Receive, TheTailOfAThrownAwayFrameDoesNotHideTheAnswerBehindIt) {
    Identifying t;
    const Bytes copy = sim::ProgrammerBox::Frame(CMD_WRITE_FLASH_BLOCK, {0x00, 0x7E, 0x01});
    Bytes read(copy.begin() + 2, copy.end());
    const Bytes reply = IdentifyReply();
    read.insert(read.end(), reply.begin(), reply.end());
    t.port.Inject(read, 5);
    t.clock.Advance(5);
    EXPECT_TRUE(t.Identified());
    EXPECT_FALSE(t.clock.Running(kReplyTimerId));
}

TEST(Receive, BytesOfAnEarlierReadNeverCompleteALaterFrame) {
    Identifying t;
    Host& h = t.h();
    const Bytes frame = IdentifyReply();
    // Half a reply is read, then a new command goes out: the other half must not be pieced
    // together with the first.
    t.port.Buffer(Bytes(frame.begin(), frame.begin() + 12));
    EXPECT_FALSE(h.link.OnReceive());
    EXPECT_EQ(t.port.threshold(), frame.size() - 12);  // waits for the rest
    SendIdentify(h.ops);
    t.port.Buffer(Bytes(frame.begin() + 12, frame.end()));
    EXPECT_FALSE(h.link.OnReceive());
    EXPECT_FALSE(t.Identified());
    EXPECT_TRUE(t.clock.Running(kReplyTimerId));
}

TEST(Receive, OnlyFramesTheEngineActsOnStopTheTimer) {
    // Nothing awaited: bytes are read and dropped.
    {
        LinkHost t;
        t.port.AddSilent("dev/com1");
        ASSERT_TRUE(t.port.Open("dev/com1").Ok());
        t.port.Inject(IdentifyReply(), 1);
        t.clock.Advance(1);
        EXPECT_EQ(t.port.BufferedCount(), 0u);
        EXPECT_EQ(t.h().view.LogText().find("OK"), std::string::npos);
    }
    // A well-formed frame that does not answer the outstanding command.
    {
        LinkHost t;
        Host& h = t.h();
        t.port.AddSilent("dev/com1");
        ASSERT_TRUE(t.port.Open("dev/com1").Ok());
        h.view.AppendLog("Erase Device,Please Waiting...... ");
        h.link.Frame().code = CMD_CHIP_ERASE;
        h.link.Frame().length = 15;
        h.link.SendCommand(h.link.Frame(), 30000, 6);
        t.port.Inject(IdentifyReply(), 5);
        t.port.Inject(sim::ProgrammerBox::Frame(0x30, {}), 6);  // a code without a row
        t.clock.Advance(10);
        EXPECT_TRUE(t.clock.Running(kReplyTimerId));
        EXPECT_EQ(h.view.LogText().find("Find Progrmmer"), std::string::npos);
        t.clock.Advance(30000);
        EXPECT_EQ(t.LogLines().back(), "Erase Device,Please Waiting...... Timer Over ");
    }
}

TEST(Receive, ArbitraryLineNoiseNeverOverrunsOrFakesAReply) {
    // Random reads (start bytes and length bytes made likely), in random cuts; the sanitizer
    // run of the tests watches every buffer access.
    std::mt19937 random(12345);
    auto byte = [&] {
        const unsigned pick = random() % 8;
        if (pick == 0) return uint8_t{0x7E};
        if (pick == 1) return uint8_t{0x00};
        if (pick == 2) return uint8_t{0x01};
        return static_cast<uint8_t>(random());
    };
    Identifying t;
    Host& h = t.h();
    int accepted = 0;
    for (int round = 0; round < 3000; ++round) {
        Bytes read(random() % 40 == 0 ? 400 + random() % 200 : random() % 30);
        for (uint8_t& b : read) b = byte();
        if (round % 50 == 0) {  // now and then a real reply, cut anywhere
            const Bytes reply = IdentifyReply();
            const std::size_t cut = random() % reply.size();
            t.port.Buffer(Bytes(reply.begin(), reply.begin() + static_cast<long>(cut)));
            h.link.OnReceive();
            read.assign(reply.begin() + static_cast<long>(cut), reply.end());
        }
        t.port.Buffer(read);
        const bool acted = h.link.OnReceive();
        ASSERT_LE(h.link.Gathered(), kReceiveBufferSize);
        if (acted) {
            ++accepted;
            // The identify answer, or a frame the box may send on its own.
            const uint8_t code = h.link.Reply().code;
            EXPECT_TRUE(code == CMD_IDENTIFY || code == CMD_DATAFLASH_BEGIN ||
                        code == CMD_DATAFLASH_CONFIG || code == CMD_SECTOR_SUM);
            ASSERT_LE(h.link.Reply().length, kPayloadCapacity);
            CommandFrame again;
            again.code = h.link.Reply().code;
            again.length = h.link.Reply().length;
            again.payload = h.link.Reply().payload;
            again.address = h.link.Reply().address;
            EXPECT_EQ(BuildFrameBytes(again).back(), h.link.Reply().sum);
            SendIdentify(h.ops);
        }
    }
    EXPECT_GT(accepted, 0);
}

TEST(Timer, AReplyAlreadyBufferedWinsOverItsTimeout) {
    Identifying t;
    t.port.Buffer(IdentifyReply());  // arrived, notification not yet delivered
    t.clock.Advance(1000);
    EXPECT_TRUE(t.Identified());
    EXPECT_EQ(t.h().view.LogText().find("Failed"), std::string::npos);
}

}  // namespace
}  // namespace lumacrest
