#include "support/FakeLink.h"

#include <algorithm>

#include "link/Link.h"
#include "ops/Discovery.h"
#include "ops/ReplyEngine.h"
#include "ui/main/ResourceIds.h"

namespace lumacrest::test {

void VirtualClock::Schedule(uint64_t delayMs, std::function<void()> action) {
    actions_.push_back({now_ + delayMs, seq_++, std::move(action)});
}

void VirtualClock::Start(int timerId, uint32_t periodMs) {
    timers_[timerId] = {now_ + periodMs, seq_++};
}

void VirtualClock::Stop(int timerId) {
    timers_.erase(timerId);
}

bool VirtualClock::RunNext(uint64_t limit) {
    // The earliest action and the earliest timer; on a tie the one scheduled first.
    auto action = std::min_element(actions_.begin(), actions_.end(), [](auto& a, auto& b) {
        return a.due != b.due ? a.due < b.due : a.seq < b.seq;
    });
    auto timer = std::min_element(timers_.begin(), timers_.end(), [](auto& a, auto& b) {
        return a.second.due != b.second.due ? a.second.due < b.second.due
                                            : a.second.seq < b.second.seq;
    });
    const bool haveAction = action != actions_.end();
    const bool haveTimer = timer != timers_.end();
    if (!haveAction && !haveTimer) return false;
    const bool takeTimer =
        haveTimer && (!haveAction || timer->second.due < action->due ||
                      (timer->second.due == action->due && timer->second.seq < action->seq));
    const uint64_t due = takeTimer ? timer->second.due : action->due;
    if (due > limit) return false;
    now_ = std::max(now_, due);
    if (takeTimer) {
        const int id = timer->first;
        timers_.erase(timer);  // one-shot
        if (onTimer) onTimer(id);
    } else {
        std::function<void()> run = std::move(action->run);
        actions_.erase(action);
        run();
    }
    return true;
}

void VirtualClock::PumpEvents() {
    ++pumps;
    RunNext(UINT64_MAX);
}

void VirtualClock::Advance(uint64_t ms) {
    const uint64_t until = now_ + ms;
    while (RunNext(until)) {
    }
    now_ = until;
}

void VirtualClock::RunUntilIdle(uint64_t limitMs) {
    const uint64_t until = now_ + limitMs;
    while (RunNext(until)) {
    }
}

sim::ProgrammerBox& FakeSerialPort::AddBox(const std::string& device, sim::BoxConfig config) {
    auto& box = boxes_[device];
    box = std::make_unique<sim::ProgrammerBox>(std::move(config));
    return *box;
}

PortStatus FakeSerialPort::Probe(const std::string& device) {
    probed.push_back(device);
    if (auto it = held_.find(device); it != held_.end()) return {PortError::Held, it->second};
    if (device == openDevice_) return {PortError::Held, {}};
    if (denied_.count(device)) return {PortError::PermissionDenied, {}};
    const bool present = (boxes_.count(device) != 0 || silent_.count(device) != 0) &&
                         unplugged_.count(device) == 0;
    return present ? PortStatus::Fine() : PortStatus{PortError::Missing, {}};
}

PortStatus FakeSerialPort::Open(const std::string& device) {
    Close();
    PortStatus status = Probe(device);
    probed.pop_back();
    if (!status.Ok()) return status;
    openDevice_ = device;
    ++generation_;
    input_.clear();
    threshold_ = 1;
    opened.push_back(device);
    return status;
}

void FakeSerialPort::Unplug() {
    if (openDevice_.empty()) return;
    unplugged_.insert(openDevice_);
    Close();
    if (onLost) onLost("the device went away");
}

void FakeSerialPort::Close() {
    if (openDevice_.empty()) return;
    openDevice_.clear();
    ++generation_;
    input_.clear();
    ++closes;
}

bool FakeSerialPort::Write(const uint8_t* data, std::size_t size) {
    if (openDevice_.empty()) return false;
    if (failingWrites_.count(openDevice_)) {
        Close();
        if (onLost) onLost("the line stopped taking the bytes written to it");
        return false;
    }
    written.emplace_back(data, data + size);
    auto box = boxes_.find(openDevice_);
    if (box == boxes_.end() || delivery.drop) return true;
    uint64_t at = 0;
    const uint64_t generation = generation_;
    for (const sim::Chunk& chunk : box->second->Receive(data, size)) {
        at += chunk.delayMs + delivery.extraDelayMs;
        if (delivery.pieceSize == 0) {
            clock_.Schedule(at,
                            [this, bytes = chunk.bytes, generation] { Arrive(bytes, generation); });
            continue;
        }
        for (std::size_t from = 0; from < chunk.bytes.size(); from += delivery.pieceSize) {
            const std::size_t to = std::min(chunk.bytes.size(), from + delivery.pieceSize);
            std::vector<uint8_t> piece(chunk.bytes.begin() + static_cast<long>(from),
                                       chunk.bytes.begin() + static_cast<long>(to));
            clock_.Schedule(at, [this, piece, generation] { Arrive(piece, generation); });
            at += delivery.pieceGapMs;
        }
    }
    return true;
}

void FakeSerialPort::Inject(std::vector<uint8_t> bytes, uint64_t delayMs) {
    const uint64_t generation = generation_;
    clock_.Schedule(delayMs,
                    [this, bytes = std::move(bytes), generation] { Arrive(bytes, generation); });
}

void FakeSerialPort::Arrive(const std::vector<uint8_t>& bytes, uint64_t generation) {
    if (generation != generation_ || openDevice_.empty()) return;
    input_.insert(input_.end(), bytes.begin(), bytes.end());
    if (threshold_ > 0 && input_.size() >= threshold_ && onReceive) onReceive();
}

std::vector<uint8_t> FakeSerialPort::ReadAll() {
    std::vector<uint8_t> bytes;
    bytes.swap(input_);
    return bytes;
}

LinkHost::LinkHost() {
    h().platform.serial = &port;
    h().platform.timers = &clock;
    AttachEngine(h().ops);
    h().link.Attach(h().serial(), h().timers());
    // The device tests fill the buffers themselves: they count as loaded.
    h().target.FlashLoaded();
    h().target.BootLoaded();
}

void LinkHost::MapPorts(const std::vector<unsigned>& ports) {
    std::string text;
    for (unsigned n : ports) text += "COM" + std::to_string(n) + " " + Device(n) + "\n";
    WriteText(dir.File("Ports.dat"), text);
}

void LinkHost::ChooseCom(const std::string& entry) {
    const ChoiceList& com = h().view.PortList();
    auto it = std::find(com.items.begin(), com.items.end(), entry);
    h().view.SelectPort(it == com.items.end() ? -1 : static_cast<int>(it - com.items.begin()));
    OnSelchangeCom(h().ops, h().view.PortList().SelectedText());
}

}  // namespace lumacrest::test
