// The simulated box behind a pseudo-terminal: its line options and its pacing.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <unistd.h>

#include <atomic>
#include <thread>

#include "link/Frames.h"
#include "sim/PtyBox.h"
#include "support/TestHost.h"

namespace lumacrest::sim {
namespace {

TEST(PtyBoxOptions, BaudAndDump) {
    BoxConfig c;
    std::string link, error;
    ASSERT_TRUE(ParseBoxOptions({"--link", "/tmp/x", "--baud", "115200", "--dump", "/tmp/chip"}, c,
                                link, error))
        << error;
    EXPECT_EQ(c.baud, 115200u);
    EXPECT_EQ(c.dumpPrefix, "/tmp/chip");
    for (const std::vector<std::string>& bad :
         {std::vector<std::string>{"--link", "/x", "--baud", "fast"},
          {"--link", "/x", "--baud", "-1"},
          {"--link", "/x", "--dump", ""}}) {
        BoxConfig other;
        std::string l, e;
        EXPECT_FALSE(ParseBoxOptions(bad, other, l, e));
    }
}

// Reads one whole frame of `size` bytes from `fd`, waiting at most 2 s.
std::vector<uint8_t> ReadFrame(int fd, std::size_t size) {
    std::vector<uint8_t> bytes;
    const auto until = PtyBox::Clock::now() + std::chrono::seconds(2);
    while (bytes.size() < size && PtyBox::Clock::now() < until) {
        pollfd pfd{fd, POLLIN, 0};
        if (::poll(&pfd, 1, 50) <= 0) continue;
        uint8_t buffer[512];
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n > 0) bytes.insert(bytes.end(), buffer, buffer + n);
    }
    return bytes;
}

// A box on a pseudo-terminal at `baud`, stepped by a thread of its own, and the host's end
// of the line opened.
struct RunningBox {
    explicit RunningBox(uint32_t baud) : pty(box, dir.File("box"), baud) {
        if (!pty.ok()) return;
        runner = std::thread([this] {
            while (!stop && pty.Step(10)) {
            }
        });
        fd = ::open(dir.File("box").c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    }
    // Stops the box's thread and closes the line; the box's counters are final then.
    void Stop() {
        stop = true;
        if (runner.joinable()) runner.join();
        if (fd >= 0) ::close(fd);
        fd = -1;
    }
    ~RunningBox() { Stop(); }

    test::TempDir dir;
    ProgrammerBox box;
    PtyBox pty;
    std::atomic<bool> stop{false};
    std::thread runner;
    int fd = -1;
};

TEST(PtyBox, PacedAnswersTakeTheirWireTimeAndTurnaroundsAreCounted) {
    RunningBox b(9600);
    ASSERT_TRUE(b.pty.ok()) << b.pty.error();
    ASSERT_GE(b.fd, 0);
    const int fd = b.fd;
    PtyBox& pty = b.pty;
    const std::vector<uint8_t> identify = ProgrammerBox::Frame(CMD_IDENTIFY, {0, 0});
    for (int round = 0; round < 2; ++round) {
        const auto sent = PtyBox::Clock::now();
        ASSERT_EQ(::write(fd, identify.data(), identify.size()), 8);
        const std::vector<uint8_t> reply = ReadFrame(fd, 26);
        const auto took = PtyBox::Clock::now() - sent;
        ASSERT_EQ(reply.size(), 26u);
        EXPECT_EQ(reply[2], CMD_IDENTIFY);
        // 8 + 26 bytes of 10 bits at 9600 baud: 35.4 ms. A later answer may be sent earlier
        // by as much as the box woke late for the one before, so only the first is exact.
        if (round == 0) {
            EXPECT_GE(took, std::chrono::microseconds(35400));
        } else {
            EXPECT_GE(took, std::chrono::milliseconds(10));
        }
    }
    b.Stop();
    EXPECT_EQ(pty.bytesIn, 16u);
    EXPECT_EQ(pty.bytesOut, 52u);
    EXPECT_EQ(pty.turnarounds.size(), 1u);
    EXPECT_EQ(pty.WireTime(960), std::chrono::seconds(1));
}

TEST(PtyBox, ManyExchangesKeepTheLineRateOnOneSchedule) {
    RunningBox b(38400);
    ASSERT_TRUE(b.pty.ok()) << b.pty.error();
    ASSERT_GE(b.fd, 0);
    const int fd = b.fd;
    PtyBox& pty = b.pty;
    const std::vector<uint8_t> identify = ProgrammerBox::Frame(0x00, {0, 0});
    const auto start = PtyBox::Clock::now();
    for (int round = 0; round < 30; ++round) {
        ASSERT_EQ(::write(fd, identify.data(), identify.size()), 8);
        ASSERT_EQ(ReadFrame(fd, 26).size(), 26u);
    }
    const auto took = PtyBox::Clock::now() - start;
    b.Stop();
    // 30 x 34 bytes at 3840 bytes/s: 265.6 ms on the line at least, whatever the box's
    // wake-ups; the rate it reports is the line's, give or take what one late wake-up at the
    // very end costs on a busy machine.
    EXPECT_GE(took, std::chrono::microseconds(265000));
    EXPECT_LE(pty.KeptByteRate(), 3840 * 1.01);
    EXPECT_GE(pty.KeptByteRate(), 3840 * 0.8);
    EXPECT_NE(pty.RateLine().find("paced 1020 bytes at "), std::string::npos) << pty.RateLine();
}

}  // namespace
}  // namespace lumacrest::sim
