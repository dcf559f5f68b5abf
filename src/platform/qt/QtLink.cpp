#include "platform/qt/QtLink.h"

#include <linux/serial.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>
#include <chrono>

#include "platform/DeviceIdentity.h"
#include "platform/PortHolders.h"
#include "platform/TerminalLine.h"

namespace lumacrest {

namespace {

// What the operator reads when the line went: what happened to it, not the system's wording
// of the call that noticed it ("Inappropriate ioctl for device" after an unplug).
constexpr const char* kGone = "the device went away (unplugged, or the program behind it ended)";
constexpr const char* kReadFailed = "the line stopped giving the bytes it received";
constexpr const char* kWriteFailed = "the line stopped taking the bytes written to it";

}  // namespace

bool QtSerialPort::HolderCheckStillValid(const DeviceId& id) const {
    // The holder scan walks every process's descriptors, so a run does it once: the stages
    // that follow open the port again within moments, and while the port is open here no
    // other program can open it (exclusive mode). A port closed for longer is scanned again.
    if (!checked_ || !(checkedId_ == id)) return false;
    if (IsOpen()) return true;
    return std::chrono::steady_clock::now() - closedAt_ < kHolderCheckLifetime;
}

PortStatus QtSerialPort::CheckHolders(const std::string& device) {
    const std::optional<DeviceId> id = IdentifyDevice(device);
    if (id && HolderCheckStillValid(*id)) return PortStatus::Fine();
    checked_ = false;
    // Programs that open a port without a lock still keep it open: refuse it then too.
    const std::string holders = scan_->OtherHolders(device);
    if (!holders.empty()) return {PortError::Held, holders};
    if (id) {
        checked_ = true;
        checkedId_ = *id;
        closedAt_ = std::chrono::steady_clock::now();
    }
    return PortStatus::Fine();
}

QtSerialPort::QtSerialPort(QObject* parent) : QObject(parent) {
    readable_.setEnabled(false);
    writable_.setEnabled(false);
    connect(&readable_, &QSocketNotifier::activated, this, [this] { OnReadable(); });
    connect(&writable_, &QSocketNotifier::activated, this, [this] { OnWritable(); });
}

QtSerialPort::~QtSerialPort() {
    Close();
}

PortStatus QtSerialPort::Probe(const std::string& device) {
    int fd = -1;
    PortStatus status = OpenTerminal(device, fd);
    if (fd >= 0) ::close(fd);
    if (status.Ok()) status = CheckHolders(device);
    return status;
}

PortStatus QtSerialPort::Open(const std::string& device) {
    Close();
    int fd = -1;
    PortStatus taken = OpenTerminal(device, fd);
    if (taken.Ok()) taken = CheckHolders(device);
    // Other programs (but root) can no longer open it while we have it.
    if (taken.Ok()) taken = TakeExclusive(fd);
    if (taken.Ok()) taken = SetLine(fd);
    if (!taken.Ok()) {
        CloseTerminal(fd);
        return taken;
    }
    fd_ = fd;
    received_.clear();
    unsent_.clear();
    DiscardInput();
    threshold_ = 1;
    readable_.setSocket(fd_);
    readable_.setEnabled(true);
    writable_.setSocket(fd_);
    return PortStatus::Fine();
}

void QtSerialPort::Close() {
    if (fd_ < 0) return;
    readable_.setEnabled(false);
    writable_.setEnabled(false);
    CloseTerminal(fd_);
    fd_ = -1;
    received_.clear();
    unsent_.clear();
    closedAt_ = std::chrono::steady_clock::now();
}

bool QtSerialPort::RequestLowLatency() {
    if (fd_ < 0) return false;
    serial_struct serial{};
    if (::ioctl(fd_, TIOCGSERIAL, &serial) != 0) return false;
    serial.flags |= ASYNC_LOW_LATENCY;
    return ::ioctl(fd_, TIOCSSERIAL, &serial) == 0;
}

void QtSerialPort::Lost(const std::string& why) {
    // Closing stops the notifications of a line that is gone; the link hears of it once.
    if (fd_ < 0) return;
    Close();
    checked_ = false;  // whatever took its place is looked at afresh
    if (onLost) onLost(why);
}

void QtSerialPort::OnReadable() {
    if (fd_ < 0) return;
    switch (ReadAvailable(fd_, received_)) {
        case LineIo::Done:
        case LineIo::Again:
            // What the driver held has just been taken: a ReadAll from the notification
            // need not ask it again.
            justRead_ = true;
            CheckThreshold();
            justRead_ = false;
            return;
        case LineIo::Gone:
            Lost(kGone);
            return;
        case LineIo::Failed:
            Lost(kReadFailed);
            return;
    }
}

void QtSerialPort::OnWritable() {
    if (fd_ < 0) return;
    std::size_t done = 0;
    const LineIo wrote = WriteSome(fd_, unsent_.data(), unsent_.size(), done);
    unsent_.erase(unsent_.begin(), unsent_.begin() + static_cast<long>(done));
    if (wrote == LineIo::Gone) return Lost(kGone);
    if (wrote == LineIo::Failed) return Lost(kWriteFailed);
    if (unsent_.empty()) writable_.setEnabled(false);
}

void QtSerialPort::SetThreshold(std::size_t bytes) {
    threshold_ = bytes;
    // Bytes already taken from the driver count too: check once control is back in the event
    // loop. Bytes the driver still holds are seen by the loop on its own.
    if (threshold_ > 0 && received_.size() >= threshold_ && !checkQueued_) {
        checkQueued_ = true;
        QTimer::singleShot(0, this, [this] {
            checkQueued_ = false;
            CheckThreshold();
        });
    }
}

void QtSerialPort::CheckThreshold() {
    if (fd_ >= 0 && threshold_ > 0 && received_.size() >= threshold_ && onReceive) onReceive();
}

void QtSerialPort::DiscardInput() {
    if (fd_ < 0) return;
    received_.clear();
    DiscardQueuedInput(fd_);
}

bool QtSerialPort::Write(const uint8_t* data, std::size_t size) {
    if (fd_ < 0) return false;
    std::size_t done = 0;
    // Bytes still waiting for room go first; these follow them.
    const LineIo wrote = unsent_.empty() ? WriteSome(fd_, data, size, done) : LineIo::Again;
    if (wrote == LineIo::Gone) {
        Lost(kGone);
        return false;
    }
    if (wrote == LineIo::Failed) {
        Lost(kWriteFailed);
        return false;
    }
    if (done < size) {
        unsent_.insert(unsent_.end(), data + done, data + size);
        writable_.setEnabled(true);
    }
    return true;
}

std::vector<uint8_t> QtSerialPort::ReadAll() {
    if (fd_ < 0) return {};
    // Bytes the driver holds that the event loop has not handed on yet count too (a reply
    // that arrived as its time ran out). A failing line is reported by its notification.
    if (!justRead_ && QueuedInput(fd_) > 0) (void)ReadAvailable(fd_, received_);
    std::vector<uint8_t> bytes;
    bytes.swap(received_);
    return bytes;
}

std::size_t QtSerialPort::BufferedCount() const {
    return fd_ >= 0 ? received_.size() + QueuedInput(fd_) : 0;
}

void QtTimers::Start(int timerId, uint32_t periodMs) {
    QTimer*& timer = timers_[timerId];
    if (!timer) {
        timer = new QTimer(this);
        timer->setSingleShot(true);
        timer->setTimerType(Qt::PreciseTimer);
        connect(timer, &QTimer::timeout, this, [this, timerId] {
            if (onTimer) onTimer(timerId);
        });
    }
    timer->start(static_cast<int>(periodMs));
}

void QtTimers::Stop(int timerId) {
    auto it = timers_.find(timerId);
    if (it != timers_.end()) it->second->stop();
}

uint64_t QtTimers::NowMs() const {
    return static_cast<uint64_t>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                     std::chrono::steady_clock::now().time_since_epoch())
                                     .count());
}

void QtTimers::PumpEvents() {
    QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
}

}  // namespace lumacrest
