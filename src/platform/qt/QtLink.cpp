#include "platform/qt/QtLink.h"

#include <fcntl.h>
#include <linux/serial.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>
#include <cerrno>
#include <chrono>
#include <cstring>

#include "platform/DeviceIdentity.h"
#include "platform/PortHolders.h"

namespace lumacrest {

namespace {

PortStatus Refused(PortError error, std::string detail = {}) {
    return {error, std::move(detail)};
}

PortStatus FromErrno(int error) {
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

// Sees that `fd` is a terminal and takes the lock that tells other programs (and our own
// probe) that it is in use now.
PortStatus LockTerminal(int fd, const std::string& device) {
    if (!::isatty(fd)) return Refused(PortError::NotATerminal);
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        if (errno == EWOULDBLOCK) return Refused(PortError::Held, OtherHolders(device));
        return Refused(PortError::Failed,
                       std::string("the port could not be locked: ") + std::strerror(errno));
    }
    return PortStatus::Fine();
}

// What went wrong with a line setting, in words, with the system's reason after them.
PortStatus SettingFailed(const char* what, const QSerialPort& port) {
    return Refused(PortError::Failed, std::string("the line could not be set to ") + what +
                                          " (" + port.errorString().toStdString() + ")");
}

}  // namespace

bool QtSerialPort::HolderCheckStillValid(const DeviceId& id) const {
    // The holder scan walks every process's descriptors, so a run does it once: the stages
    // that follow open the port again within moments, and while the port is open here no
    // other program can open it (exclusive mode). A port closed for longer is scanned again.
    if (!checked_ || !(checkedId_ == id)) return false;
    if (port_.isOpen()) return true;
    return std::chrono::steady_clock::now() - closedAt_ < kHolderCheckLifetime;
}

PortStatus QtSerialPort::CheckHolders(const std::string& device) {
    const std::optional<DeviceId> id = IdentifyDevice(device);
    if (id && HolderCheckStillValid(*id)) return PortStatus::Fine();
    checked_ = false;
    // Programs that open a port without a lock still keep it open: refuse it then too.
    const std::string holders = scan_->OtherHolders(device);
    if (!holders.empty()) return Refused(PortError::Held, holders);
    if (id) {
        checked_ = true;
        checkedId_ = *id;
        closedAt_ = std::chrono::steady_clock::now();
    }
    return PortStatus::Fine();
}


QtSerialPort::QtSerialPort(QObject* parent) : QObject(parent) {
    connect(&port_, &QSerialPort::readyRead, this, [this] { CheckThreshold(); });
    connect(&port_, &QSerialPort::errorOccurred, this, [this](QSerialPort::SerialPortError e) {
        // The operator reads what happened to the line, not the system's wording of the
        // call that noticed it ("Inappropriate ioctl for device" after an unplug).
        if (e == QSerialPort::ResourceError)
            Lost("the device went away (unplugged, or the program behind it ended)");
        else if (e == QSerialPort::ReadError)
            Lost("the line stopped giving the bytes it received");
        else if (e == QSerialPort::WriteError)
            Lost("the line stopped taking the bytes written to it");
    });
}

QtSerialPort::~QtSerialPort() {
    Close();
}

PortStatus QtSerialPort::Probe(const std::string& device) {
    const int fd = ::open(device.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return FromErrno(errno);
    PortStatus status = LockTerminal(fd, device);
    ::close(fd);
    if (status.Ok()) status = CheckHolders(device);
    return status;
}

PortStatus QtSerialPort::Open(const std::string& device) {
    Close();
    port_.setPortName(QString::fromStdString(device));
    if (!port_.open(QIODevice::ReadWrite)) {
        const QSerialPort::SerialPortError e = port_.error();
        if (e == QSerialPort::DeviceNotFoundError) return Refused(PortError::Missing);
        if (e == QSerialPort::PermissionError) return Refused(PortError::PermissionDenied);
        return Refused(PortError::Failed, port_.errorString().toStdString());
    }
    const int fd = static_cast<int>(port_.handle());
    PortStatus taken = LockTerminal(fd, device);
    if (taken.Ok()) taken = CheckHolders(device);
    // Other programs (but root) can no longer open it while we have it.
    if (taken.Ok() && ::ioctl(fd, TIOCEXCL) != 0)
        taken = Refused(PortError::Failed, std::string("the port could not be taken for "
                                                       "exclusive use: ") +
                                               std::strerror(errno));
    if (taken.Ok() && !port_.setBaudRate(QSerialPort::Baud115200))
        taken = SettingFailed("115200 baud", port_);
    if (taken.Ok() && !port_.setDataBits(QSerialPort::Data8))
        taken = SettingFailed("8 data bits", port_);
    if (taken.Ok() && !port_.setParity(QSerialPort::NoParity))
        taken = SettingFailed("no parity", port_);
    if (taken.Ok() && !port_.setStopBits(QSerialPort::OneStop))
        taken = SettingFailed("1 stop bit", port_);
    if (taken.Ok() && !port_.setFlowControl(QSerialPort::NoFlowControl))
        taken = SettingFailed("no flow control", port_);
    if (!taken.Ok()) {
        port_.close();
        return taken;
    }
    DiscardInput();
    threshold_ = 1;
    return PortStatus::Fine();
}

void QtSerialPort::Close() {
    if (port_.isOpen()) {
        port_.close();
        closedAt_ = std::chrono::steady_clock::now();
    }
}

bool QtSerialPort::RequestLowLatency() {
    if (!port_.isOpen()) return false;
    const int fd = static_cast<int>(port_.handle());
    serial_struct serial{};
    if (::ioctl(fd, TIOCGSERIAL, &serial) != 0) return false;
    serial.flags |= ASYNC_LOW_LATENCY;
    return ::ioctl(fd, TIOCSSERIAL, &serial) == 0;
}

void QtSerialPort::Lost(const std::string& why) {
    // Closing stops the notifications of a line that is gone; the link hears of it once.
    if (!port_.isOpen()) return;
    port_.close();
    checked_ = false;  // whatever took its place is looked at afresh
    if (onLost) onLost(why);
}

void QtSerialPort::SetThreshold(std::size_t bytes) {
    threshold_ = bytes;
    // Bytes already buffered count too: check once control is back in the event loop.
    if (threshold_ > 0 && BufferedCount() >= threshold_ && !checkQueued_) {
        checkQueued_ = true;
        QTimer::singleShot(0, this, [this] {
            checkQueued_ = false;
            CheckThreshold();
        });
    }
}

void QtSerialPort::CheckThreshold() {
    if (port_.isOpen() && threshold_ > 0 && BufferedCount() >= threshold_ && onReceive) onReceive();
}

void QtSerialPort::DiscardInput() {
    if (!port_.isOpen()) return;
    // Before nearly every frame nothing is left to discard: the reply has just been read.
    // Flushing the driver's input queue anyway costs milliseconds on a busy machine (the
    // flush waits for the line's receive work), so it is done only when bytes are waiting.
    if (port_.bytesAvailable() > 0) port_.readAll();
    int queued = 0;
    if (::ioctl(static_cast<int>(port_.handle()), FIONREAD, &queued) != 0 || queued > 0)
        port_.clear(QSerialPort::Input);
}

bool QtSerialPort::Write(const uint8_t* data, std::size_t size) {
    if (!port_.isOpen()) return false;
    const qint64 written =
        port_.write(reinterpret_cast<const char*>(data), static_cast<qint64>(size));
    if (written == static_cast<qint64>(size)) return true;
    Lost("the line stopped taking the bytes written to it");
    return false;
}

std::vector<uint8_t> QtSerialPort::ReadAll() {
    if (!port_.isOpen()) return {};
    const QByteArray bytes = port_.readAll();
    return std::vector<uint8_t>(bytes.begin(), bytes.end());
}

std::size_t QtSerialPort::BufferedCount() const {
    return port_.isOpen() ? static_cast<std::size_t>(port_.bytesAvailable()) : 0;
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
