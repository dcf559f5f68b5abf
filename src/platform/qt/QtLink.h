// The serial port on the terminal device itself, watched by the Qt event loop, and the timers
// and the event pump on that loop.
#pragma once

#include <QObject>
#include <QSocketNotifier>
#include <chrono>
#include <cstdint>
#include <map>
#include <vector>

#include "platform/DeviceIdentity.h"
#include "platform/PortHolders.h"
#include "platform/SerialPort.h"
#include "platform/Timers.h"

class QTimer;

namespace lumacrest {

// Opens a terminal device the way serial tools on Linux do: read-write, not as controlling
// terminal, with an exclusive lock and exclusive mode, and refuses a device another program
// has open. Reads and writes never block the event loop: received bytes are taken as soon as
// the loop sees them, and a frame the driver has no room for goes out as room comes. A port
// that goes away under an open line is closed at once and reported.
class QtSerialPort : public QObject, public SerialPort {
    Q_OBJECT
  public:
    explicit QtSerialPort(QObject* parent = nullptr);
    ~QtSerialPort() override;

    // The walk for other holders this port asks; ports opened together share one.
    void ShareHolderScan(HolderScan& scan) { scan_ = &scan; }

    PortStatus Probe(const std::string& device) override;
    PortStatus Open(const std::string& device) override;
    void Close() override;
    bool IsOpen() const override { return fd_ >= 0; }
    bool RequestLowLatency() override;
    void SetThreshold(std::size_t bytes) override;
    void DiscardInput() override;
    bool Write(const uint8_t* data, std::size_t size) override;
    std::vector<uint8_t> ReadAll() override;
    std::size_t BufferedCount() const override;

  private:
    // How long a clean holder scan stands for a port closed by this program.
    static constexpr std::chrono::seconds kHolderCheckLifetime{1};

    void CheckThreshold();
    void OnReadable();
    void OnWritable();
    void Lost(const std::string& why);
    // Refuses a device other programs have open, scanning for them only when the last
    // clean scan of this very device no longer stands.
    PortStatus CheckHolders(const std::string& device);
    bool HolderCheckStillValid(const DeviceId& id) const;

    int fd_ = -1;
    QSocketNotifier readable_{QSocketNotifier::Read};
    QSocketNotifier writable_{QSocketNotifier::Write};
    std::vector<uint8_t> received_;  // read from the driver, not yet taken
    std::vector<uint8_t> unsent_;    // written, but the driver had no room for them yet
    HolderScan ownScan_;
    HolderScan* scan_ = &ownScan_;
    bool checked_ = false;
    DeviceId checkedId_{};
    std::chrono::steady_clock::time_point closedAt_{};
    std::size_t threshold_ = 1;
    bool checkQueued_ = false;
    bool justRead_ = false;  // within the notification of bytes just taken from the driver
};

class QtTimers : public QObject, public Timers {
    Q_OBJECT
  public:
    explicit QtTimers(QObject* parent = nullptr) : QObject(parent) {}

    void Start(int timerId, uint32_t periodMs) override;
    void Stop(int timerId) override;
    void PumpEvents() override;
    uint64_t NowMs() const override;

  private:
    std::map<int, QTimer*> timers_;
};

}  // namespace lumacrest
