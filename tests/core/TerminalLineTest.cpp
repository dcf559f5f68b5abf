// The serial line on the terminal device itself, on a pseudo-terminal: what an open refuses,
// the line settings as the driver keeps them, reads and writes that never wait, and a line
// whose other end went away.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <cstdlib>

#include "platform/TerminalLine.h"
#include "support/TestHost.h"

namespace lumacrest {
namespace {

// A pseudo-terminal: the master end this test plays the box on, and the terminal's path.
struct Pty {
    Pty() {
        master = ::posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK);
        if (master >= 0 && ::grantpt(master) == 0 && ::unlockpt(master) == 0)
            path = ::ptsname(master);
    }
    ~Pty() {
        if (master >= 0) ::close(master);
    }
    int master = -1;
    std::string path;
};

// Waits up to a second for `fd` to be readable.
bool Readable(int fd) {
    pollfd pfd{fd, POLLIN, 0};
    return ::poll(&pfd, 1, 1000) == 1;
}

TEST(TerminalLine, OpenRefusesWhatIsNoFreeTerminal) {
    test::TempDir dir;
    test::WriteText(dir.File("file"), "not a line\n");
    int fd = 0;
    EXPECT_EQ(OpenTerminal(dir.File("missing"), fd).error, PortError::Missing);
    EXPECT_EQ(fd, -1);
    EXPECT_EQ(OpenTerminal(dir.File("file"), fd).error, PortError::NotATerminal);
    EXPECT_EQ(fd, -1);

    Pty pty;
    ASSERT_FALSE(pty.path.empty());
    const int other = ::open(pty.path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    ASSERT_GE(other, 0);
    ASSERT_EQ(::flock(other, LOCK_EX | LOCK_NB), 0);
    EXPECT_EQ(OpenTerminal(pty.path, fd).error, PortError::Held);
    EXPECT_EQ(fd, -1);
    ::close(other);

    ASSERT_TRUE(OpenTerminal(pty.path, fd).Ok());
    ASSERT_GE(fd, 0);
    // Ours now: a second open of this program is refused by the lock too.
    int second = 0;
    EXPECT_EQ(OpenTerminal(pty.path, second).error, PortError::Held);
    EXPECT_TRUE(TakeExclusive(fd).Ok());
    int exclusive = 0;
    const int box = ::open(pty.path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);  // root may
    ASSERT_GE(box, 0);
    ASSERT_EQ(::ioctl(box, TIOCGEXCL, &exclusive), 0);
    EXPECT_EQ(exclusive, 1);
    // Closed, the terminal is free for the next open, although the box keeps it open.
    CloseTerminal(fd);
    ASSERT_EQ(::ioctl(box, TIOCGEXCL, &exclusive), 0);
    EXPECT_EQ(exclusive, 0);
    ::close(box);
}

TEST(TerminalLine, SetLineLeavesARawLineAt115200Baud8N1) {
    Pty pty;
    ASSERT_FALSE(pty.path.empty());
    int fd = -1;
    ASSERT_TRUE(OpenTerminal(pty.path, fd).Ok());
    // Whatever the line was left at: a cooked terminal at 9600 baud, 7E2, with flow control.
    termios tio{};
    ASSERT_EQ(::tcgetattr(fd, &tio), 0);
    tio.c_lflag |= ICANON | ECHO | ISIG;
    tio.c_oflag |= OPOST;
    tio.c_iflag |= ICRNL | IXON | IXOFF;
    tio.c_cflag = (tio.c_cflag & ~static_cast<tcflag_t>(CSIZE)) | CS7 | PARENB | CSTOPB | CRTSCTS;
    ::cfsetspeed(&tio, B9600);
    ASSERT_EQ(::tcsetattr(fd, TCSANOW, &tio), 0);

    ASSERT_TRUE(SetLine(fd).Ok());
    termios got{};
    ASSERT_EQ(::tcgetattr(fd, &got), 0);
    EXPECT_EQ(::cfgetispeed(&got), static_cast<speed_t>(B115200));
    EXPECT_EQ(::cfgetospeed(&got), static_cast<speed_t>(B115200));
    EXPECT_EQ(got.c_cflag & CSIZE, static_cast<tcflag_t>(CS8));
    EXPECT_EQ(got.c_cflag & (PARENB | CSTOPB | CRTSCTS), 0u);
    EXPECT_EQ(got.c_iflag & (IXON | IXOFF | ICRNL), 0u);
    EXPECT_EQ(got.c_lflag & (ICANON | ECHO | ISIG), 0u);
    EXPECT_EQ(got.c_oflag & OPOST, 0u);

    // Bytes pass unchanged both ways: a carriage return and a 0x7E, no echo.
    const std::vector<uint8_t> frame = {0x7E, 0xFF, 0x0D, 0x0A, 0x13, 0x11, 0x03};
    std::size_t done = 0;
    ASSERT_EQ(WriteSome(fd, frame.data(), frame.size(), done), LineIo::Done);
    EXPECT_EQ(done, frame.size());
    ASSERT_TRUE(Readable(pty.master));
    std::vector<uint8_t> atBox(64);
    const ssize_t n = ::read(pty.master, atBox.data(), atBox.size());
    ASSERT_GT(n, 0);
    atBox.resize(static_cast<std::size_t>(n));
    EXPECT_EQ(atBox, frame);
    ASSERT_EQ(::write(pty.master, frame.data(), frame.size()), static_cast<ssize_t>(frame.size()));
    ASSERT_TRUE(Readable(fd));
    std::vector<uint8_t> atHost;
    EXPECT_EQ(ReadAvailable(fd, atHost), LineIo::Done);
    EXPECT_EQ(atHost, frame);
    ::close(fd);
}

TEST(TerminalLine, ReadsNeverWaitAndALineWhoseOtherEndWentIsGone) {
    auto pty = std::make_unique<Pty>();
    ASSERT_FALSE(pty->path.empty());
    int fd = -1;
    ASSERT_TRUE(OpenTerminal(pty->path, fd).Ok());
    ASSERT_TRUE(SetLine(fd).Ok());
    std::vector<uint8_t> got;
    EXPECT_EQ(ReadAvailable(fd, got), LineIo::Done);
    EXPECT_TRUE(got.empty());

    // Bytes the driver holds are thrown away; nothing else is touched.
    const uint8_t stale[] = {1, 2, 3};
    ASSERT_EQ(::write(pty->master, stale, sizeof stale), 3);
    ASSERT_TRUE(Readable(fd));
    EXPECT_EQ(QueuedInput(fd), 3u);
    DiscardQueuedInput(fd);
    EXPECT_EQ(QueuedInput(fd), 0u);

    // The box's end closed: the line is gone, for reads and for writes.
    pty.reset();
    ASSERT_TRUE(Readable(fd));
    EXPECT_EQ(ReadAvailable(fd, got), LineIo::Gone);
    std::size_t done = 0;
    EXPECT_EQ(WriteSome(fd, stale, sizeof stale, done), LineIo::Gone);
    ::close(fd);
}

}  // namespace
}  // namespace lumacrest
