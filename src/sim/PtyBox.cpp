#include "sim/PtyBox.h"

#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <thread>

namespace lumacrest::sim {

namespace {

bool WriteAll(int fd, const std::vector<uint8_t>& bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0) {
            if (errno == EINTR) continue;
            if (errno == EAGAIN) {
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
                continue;
            }
            return false;
        }
        done += static_cast<std::size_t>(n);
    }
    return true;
}

void SleepUntil(PtyBox::Clock::time_point when) {
    // Sleep most of the way, then spin: pacing needs better than the scheduler's grain.
    const auto coarse = when - std::chrono::microseconds(200);
    if (PtyBox::Clock::now() < coarse) std::this_thread::sleep_until(coarse);
    while (PtyBox::Clock::now() < when) {
    }
}

}  // namespace

PtyBox::PtyBox(ProgrammerBox& box, const std::string& link, uint32_t baud)
    : box_(box), link_(link), baud_(baud) {
    master_ = ::posix_openpt(O_RDWR | O_NOCTTY);
    if (master_ < 0 || ::grantpt(master_) != 0 || ::unlockpt(master_) != 0) {
        error_ = std::string("pseudo-terminal: ") + std::strerror(errno);
        return;
    }
    const char* name = ::ptsname(master_);
    if (!name) {
        error_ = std::string("ptsname: ") + std::strerror(errno);
        return;
    }
    slavePath_ = name;
    // Holding the terminal side open keeps the box alive across the host's closes, and lets
    // the line be raw before the host opens it.
    slave_ = ::open(slavePath_.c_str(), O_RDWR | O_NOCTTY);
    if (slave_ < 0) {
        error_ = "open terminal: " + std::string(std::strerror(errno));
        return;
    }
    termios tio{};
    ::tcgetattr(slave_, &tio);
    ::cfmakeraw(&tio);
    ::cfsetspeed(&tio, B115200);
    ::tcsetattr(slave_, TCSANOW, &tio);
    ::unlink(link_.c_str());
    if (::symlink(slavePath_.c_str(), link_.c_str()) != 0)
        error_ = "cannot link " + link_ + ": " + std::strerror(errno);
}

PtyBox::~PtyBox() {
    if (!link_.empty() && error_.empty()) ::unlink(link_.c_str());
    if (slave_ >= 0) ::close(slave_);
    if (master_ >= 0) ::close(master_);
}

PtyBox::Clock::duration PtyBox::WireTime(std::size_t bytes) const {
    if (baud_ == 0) return Clock::duration::zero();
    return std::chrono::duration_cast<Clock::duration>(
        std::chrono::nanoseconds(uint64_t{bytes} * 10 * 1000000000ull / baud_));
}

bool PtyBox::Step(int timeoutMs) {
    pollfd pfd{master_, POLLIN, 0};
    const int ready = ::poll(&pfd, 1, timeoutMs);
    if (ready <= 0) return ready == 0 || errno == EINTR;
    if (!(pfd.revents & POLLIN)) {
        // No host has the terminal open: nothing to read until one does.
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
        return true;
    }
    const ssize_t n = ::read(master_, buffer_.data(), buffer_.size());
    if (n <= 0) return true;
    const Clock::time_point readAt = Clock::now();
    const std::size_t count = static_cast<std::size_t>(n);
    bytesIn += count;
    // The line keeps one schedule: each answer is due a fixed wire time after the previous
    // one was due, plus only what the host itself took to answer it (measured from the moment
    // the box actually wrote). When the box wakes late, that lateness stays off the schedule
    // instead of adding up from exchange to exchange.
    if (answered_) {
        const Clock::duration hostTurn = readAt - lastReplyAt_;
        turnarounds.push_back(hostTurn);
        due_ += hostTurn;
        answered_ = false;
    } else if (!scheduled_ || readAt - due_ > std::chrono::milliseconds(50)) {
        due_ = readAt;  // the first frame, or one after a pause: the schedule starts here
    }
    scheduled_ = true;
    due_ += WireTime(count);
    Clock::duration pauses{};
    for (const Chunk& chunk : box_.Receive(buffer_.data(), count)) {
        due_ += std::chrono::milliseconds(chunk.delayMs) + WireTime(chunk.bytes.size());
        pauses += std::chrono::milliseconds(chunk.delayMs);
        SleepUntil(due_);
        if (!WriteAll(master_, chunk.bytes)) return false;
        bytesOut += chunk.bytes.size();
        lastReplyAt_ = Clock::now();
        answered_ = true;
    }
    // The time the line was the box's, its planned pauses left out: the host's turnarounds
    // lie between the exchanges.
    if (answered_) keptBusy_ += lastReplyAt_ - readAt - pauses;
    return true;
}

double PtyBox::KeptByteRate() const {
    const double seconds = std::chrono::duration<double>(keptBusy_).count();
    return seconds > 0 ? static_cast<double>(bytesIn + bytesOut) / seconds : 0;
}

std::string PtyBox::RateLine() const {
    if (baud_ == 0) return "unpaced: " + std::to_string(bytesIn + bytesOut) + " bytes";
    char text[160];
    std::snprintf(text, sizeof text, "paced %zu bytes at %.0f bytes/s (line %u bytes/s, %.4f x)",
                  bytesIn + bytesOut, KeptByteRate(), baud_ / 10,
                  KeptByteRate() > 0 ? (baud_ / 10.0) / KeptByteRate() : 0.0);
    return text;
}

}  // namespace lumacrest::sim
