#include "platform/TerminalLine.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstring>

#include "platform/PortHolders.h"

namespace lumacrest {

namespace {

PortStatus Refused(PortError error, std::string detail = {}) {
    return {error, std::move(detail)};
}

// A setting the driver refused or did not keep, in words, with the reason after them.
PortStatus SettingFailed(const char* what, const std::string& reason) {
    return Refused(PortError::Failed,
                   std::string("the line could not be set to ") + what + " (" + reason + ")");
}

bool DeviceGone(int error) {
    // EIO: a USB adapter unplugged, or the program behind a pseudo-terminal ended.
    return error == EIO || error == ENXIO || error == ENODEV || error == EPIPE;
}

}  // namespace

PortStatus PortStatusFromErrno(int error) {
    switch (error) {
        case ENOENT:
        case ENODEV:
        case ENXIO:
            return Refused(PortError::Missing);
        case EACCES:
        case EPERM:
            return Refused(PortError::PermissionDenied);
        case EBUSY:
            return Refused(PortError::Held, "a program that has it in exclusive use");
        default:
            return Refused(PortError::Failed, std::strerror(error));
    }
}

PortStatus OpenTerminal(const std::string& device, int& fd) {
    fd = ::open(device.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return PortStatusFromErrno(errno);
    PortStatus status = PortStatus::Fine();
    if (!::isatty(fd)) {
        status = Refused(PortError::NotATerminal);
    } else if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const int error = errno;
        if (error == EWOULDBLOCK)
            status = Refused(PortError::Held, OtherHolders(device));
        else
            status = Refused(PortError::Failed,
                             std::string("the port could not be locked: ") + std::strerror(error));
    }
    if (!status.Ok()) {
        ::close(fd);
        fd = -1;
    }
    return status;
}

PortStatus TakeExclusive(int fd) {
    if (::ioctl(fd, TIOCEXCL) == 0) return PortStatus::Fine();
    return Refused(PortError::Failed,
                   std::string("the port could not be taken for exclusive use: ") +
                       std::strerror(errno));
}

void CloseTerminal(int fd) {
    if (fd < 0) return;
    (void)::ioctl(fd, TIOCNXCL);  // fails only where the device has gone: nothing to leave then
    ::close(fd);
}

PortStatus SetLine(int fd) {
    termios tio{};
    if (::tcgetattr(fd, &tio) != 0)
        return Refused(PortError::Failed,
                       std::string("the line settings could not be read: ") + std::strerror(errno));
    ::cfmakeraw(&tio);
    tio.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB | CSTOPB | CRTSCTS);
    tio.c_cflag |= CS8 | CREAD | CLOCAL;
    tio.c_iflag &= ~static_cast<tcflag_t>(IXON | IXOFF | IXANY);
    // A read takes what has arrived and never waits (the descriptor does not block).
    tio.c_cc[VMIN] = 1;
    tio.c_cc[VTIME] = 0;
    if (::cfsetispeed(&tio, B115200) != 0 || ::cfsetospeed(&tio, B115200) != 0)
        return SettingFailed("115200 baud", std::strerror(errno));
    if (::tcsetattr(fd, TCSANOW, &tio) != 0)
        return SettingFailed("115200 baud, 8 data bits, no parity, 1 stop bit",
                             std::strerror(errno));
    // The driver answers success when it took any of the settings: read them back.
    termios got{};
    if (::tcgetattr(fd, &got) != 0)
        return Refused(PortError::Failed,
                       std::string("the line settings could not be read: ") + std::strerror(errno));
    const char* kept = "the driver kept another setting";
    if (::cfgetispeed(&got) != B115200 || ::cfgetospeed(&got) != B115200)
        return SettingFailed("115200 baud", kept);
    if ((got.c_cflag & CSIZE) != CS8) return SettingFailed("8 data bits", kept);
    if (got.c_cflag & PARENB) return SettingFailed("no parity", kept);
    if (got.c_cflag & CSTOPB) return SettingFailed("1 stop bit", kept);
    if ((got.c_cflag & CRTSCTS) || (got.c_iflag & (IXON | IXOFF)))
        return SettingFailed("no flow control", kept);
    if ((got.c_lflag & (ICANON | ECHO | ISIG | IEXTEN)) || (got.c_oflag & OPOST) ||
        (got.c_iflag & (ICRNL | INLCR | IGNCR | ISTRIP)))
        return SettingFailed("raw bytes", kept);
    return PortStatus::Fine();
}

LineIo ReadAvailable(int fd, std::vector<uint8_t>& into) {
    // The driver says how much it holds; reading just that never asks it for more, which
    // would make it wait for bytes still on their way in.
    std::size_t queued = QueuedInput(fd);
    std::array<uint8_t, 4096> chunk{};
    // Nothing held although the line said it is ready: a read tells whether it hung up.
    bool look = queued == 0;
    while (queued > 0 || look) {
        const std::size_t want = look ? chunk.size() : std::min(queued, chunk.size());
        const ssize_t n = ::read(fd, chunk.data(), want);
        if (n < 0) {
            if (errno == EINTR) continue;
            if (errno == EAGAIN) return LineIo::Done;
            return DeviceGone(errno) ? LineIo::Gone : LineIo::Failed;
        }
        if (n == 0) return LineIo::Gone;  // hung up: the end of the line
        into.insert(into.end(), chunk.begin(), chunk.begin() + n);
        if (look) return LineIo::Done;
        queued -= std::min(queued, static_cast<std::size_t>(n));
    }
    return LineIo::Done;
}

LineIo WriteSome(int fd, const uint8_t* data, std::size_t size, std::size_t& done) {
    done = 0;
    while (done < size) {
        const ssize_t n = ::write(fd, data + done, size - done);
        if (n < 0) {
            if (errno == EINTR) continue;
            if (errno == EAGAIN) return LineIo::Again;
            return DeviceGone(errno) ? LineIo::Gone : LineIo::Failed;
        }
        done += static_cast<std::size_t>(n);
        if (n == 0) return LineIo::Again;
    }
    return LineIo::Done;
}

std::size_t QueuedInput(int fd) {
    int queued = 0;
    if (fd < 0 || ::ioctl(fd, FIONREAD, &queued) != 0 || queued < 0) return 0;
    return static_cast<std::size_t>(queued);
}

void DiscardQueuedInput(int fd) {
    // Flushing costs milliseconds on a busy machine (it waits for the line's receive work),
    // and before nearly every frame nothing is left to throw away.
    int queued = 0;
    if (::ioctl(fd, FIONREAD, &queued) != 0 || queued > 0) ::tcflush(fd, TCIFLUSH);
}

}  // namespace lumacrest
