// Test adapters for the link: a virtual clock with the Timers interface, and an in-process
// serial port whose devices are simulated programmer boxes (or silent, missing or held
// devices), with control over how the box's bytes are delivered.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "platform/SerialPort.h"
#include "platform/Timers.h"
#include "sim/ProgrammerBox.h"
#include "support/TestHost.h"

namespace lumacrest::test {

// Time that moves only when a test or a wait lets it. Scheduled actions and timers run in
// the order of their due time (then of scheduling).
class VirtualClock : public Timers {
  public:
    uint64_t Now() const { return now_; }
    uint64_t NowMs() const override { return now_; }

    // Runs `action` at Now() + delayMs.
    void Schedule(uint64_t delayMs, std::function<void()> action);

    // Timers
    void Start(int timerId, uint32_t periodMs) override;
    void Stop(int timerId) override;
    bool Running(int timerId) const { return timers_.count(timerId) != 0; }
    uint64_t Deadline(int timerId) const { return timers_.at(timerId).due; }
    // Runs the next due thing (advancing the clock to it); does nothing when nothing is
    // pending.
    void PumpEvents() override;

    // Runs everything due up to Now() + ms, then sets the clock there.
    void Advance(uint64_t ms);
    // Runs until nothing is pending or `limitMs` of virtual time have passed.
    void RunUntilIdle(uint64_t limitMs = 600000);
    bool Idle() const { return actions_.empty() && timers_.empty(); }

    int pumps = 0;

  private:
    struct Action {
        uint64_t due;
        uint64_t seq;
        std::function<void()> run;
    };
    struct TimerEntry {
        uint64_t due;
        uint64_t seq;
    };
    bool RunNext(uint64_t limit);

    uint64_t now_ = 0;
    uint64_t seq_ = 0;
    std::vector<Action> actions_;
    std::map<int, TimerEntry> timers_;
};

// What the fake port does with the box's chunks before they reach the host.
struct Delivery {
    uint32_t extraDelayMs = 0;  // added before every chunk
    std::size_t pieceSize = 0;  // 0: chunks as the box cut them; else re-cut to this size
    uint32_t pieceGapMs = 1;    // between re-cut pieces
    bool drop = false;          // nothing arrives
};

class FakeSerialPort : public SerialPort {
  public:
    explicit FakeSerialPort(VirtualClock& clock) : clock_(clock) {}

    // A device with a box behind it.
    sim::ProgrammerBox& AddBox(const std::string& device, sim::BoxConfig config = {});
    // A terminal that exists but never answers.
    void AddSilent(const std::string& device) { silent_.insert(device); }
    // A device another program holds: its probe fails, naming `holder`.
    void Hold(const std::string& device, std::string holder = {}) {
        held_[device] = std::move(holder);
    }
    // A device this user may not open.
    void Deny(const std::string& device) { denied_.insert(device); }
    // The device goes away under the open line: the port closes and the link hears of it.
    void Unplug();
    // A device whose line fails every write: as a real port does, it closes and tells of the
    // loss before the write returns false.
    void FailWrites(const std::string& device) { failingWrites_.insert(device); }
    sim::ProgrammerBox& Box(const std::string& device) { return *boxes_.at(device); }

    // Bytes put into the input buffer now without a receive notification (as if the
    // notification were still queued behind a timer).
    void Buffer(const std::vector<uint8_t>& bytes) {
        input_.insert(input_.end(), bytes.begin(), bytes.end());
    }
    // Bytes arriving from the device in `delayMs`, as if the box had sent them.
    void Inject(std::vector<uint8_t> bytes, uint64_t delayMs = 0);

    Delivery delivery;

    // SerialPort
    PortStatus Probe(const std::string& device) override;
    PortStatus Open(const std::string& device) override;
    void Close() override;
    bool IsOpen() const override { return !openDevice_.empty(); }
    bool RequestLowLatency() override {
        ++lowLatencyRequests;
        return lowLatencySupported;
    }
    void SetThreshold(std::size_t bytes) override { threshold_ = bytes; }
    void DiscardInput() override { input_.clear(); }
    bool Write(const uint8_t* data, std::size_t size) override;
    std::vector<uint8_t> ReadAll() override;
    std::size_t BufferedCount() const override { return input_.size(); }

    // What the host did
    std::vector<std::vector<uint8_t>> written;  // every Write, in order
    std::vector<std::string> probed;
    std::vector<std::string> opened;
    int closes = 0;
    int lowLatencyRequests = 0;
    bool lowLatencySupported = true;
    std::size_t threshold() const { return threshold_; }
    const std::string& openDevice() const { return openDevice_; }

  private:
    void Arrive(const std::vector<uint8_t>& bytes, uint64_t generation);

    VirtualClock& clock_;
    std::map<std::string, std::unique_ptr<sim::ProgrammerBox>> boxes_;
    std::set<std::string> silent_;
    std::map<std::string, std::string> held_;
    std::set<std::string> denied_;
    std::set<std::string> unplugged_;
    std::set<std::string> failingWrites_;
    std::string openDevice_;
    uint64_t generation_ = 0;  // bumps on every open and close: late bytes of a closed line
                               // never arrive
    std::vector<uint8_t> input_;
    std::size_t threshold_ = 1;
};

// A test host wired to a virtual clock and a fake port, with the link attached and Ports.dat
// mapping COMn to "dev/comN" for the given ports.
struct LinkHost : TestHost {
    VirtualClock clock;
    FakeSerialPort port{clock};

    LinkHost();
    // Writes Ports.dat with lines "COMn dev/comN" for each n in `ports`.
    void MapPorts(const std::vector<unsigned>& ports);
    static std::string Device(unsigned n) { return "dev/com" + std::to_string(n); }
    // Selects `entry` in the COM list and routes the change as the window does.
    void ChooseCom(const std::string& entry);
};

}  // namespace lumacrest::test
