#include "platform/qt/QtLink.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>
#include <chrono>

namespace lumacrest {

namespace {

// Opens the device as the probe and the lock need it; -1 when it cannot be used.
int OpenTerminal(const std::string& device) {
    const int fd = ::open(device.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return -1;
    if (!::isatty(fd) || ::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

}  // namespace

QtSerialPort::QtSerialPort(QObject* parent) : QObject(parent) {
    connect(&port_, &QSerialPort::readyRead, this, [this] { CheckThreshold(); });
}

QtSerialPort::~QtSerialPort() {
    Close();
}

bool QtSerialPort::Probe(const std::string& device) {
    const int fd = OpenTerminal(device);
    if (fd < 0) return false;
    ::close(fd);
    return true;
}

bool QtSerialPort::Open(const std::string& device) {
    Close();
    port_.setPortName(QString::fromStdString(device));
    if (!port_.open(QIODevice::ReadWrite)) return false;
    // The lock that tells other programs (and our own probe) that the port is in use.
    if (::flock(static_cast<int>(port_.handle()), LOCK_EX | LOCK_NB) != 0) {
        port_.close();
        return false;
    }
    port_.setBaudRate(QSerialPort::Baud115200);
    port_.setDataBits(QSerialPort::Data8);
    port_.setParity(QSerialPort::NoParity);
    port_.setStopBits(QSerialPort::OneStop);
    port_.setFlowControl(QSerialPort::NoFlowControl);
    port_.clear(QSerialPort::Input);
    threshold_ = 1;
    return true;
}

void QtSerialPort::Close() {
    if (port_.isOpen()) port_.close();
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
    port_.clear(QSerialPort::Input);
    port_.readAll();
}

void QtSerialPort::Write(const uint8_t* data, std::size_t size) {
    if (!port_.isOpen()) return;
    port_.write(reinterpret_cast<const char*>(data), static_cast<qint64>(size));
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

void QtTimers::PumpEvents() {
    QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
}

void QtTimers::DelayMicroseconds(uint64_t microseconds) {
    const auto until = std::chrono::steady_clock::now() + std::chrono::microseconds(microseconds);
    while (std::chrono::steady_clock::now() < until) {
    }
}

}  // namespace lumacrest
