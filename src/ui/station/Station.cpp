#include "ui/station/Station.h"

#include <algorithm>
#include <cmath>

#include "link/Ports.h"

namespace lumacrest {

std::string TileState::Title() const {
    if (device.empty() || device == port) return port;
    return port + "  " + device;
}

std::string TileState::PresenceText() const {
    switch (presence) {
        case TilePresence::Probing: return "looking for a programmer";
        case TilePresence::NoProgrammer: return "no programmer";
        case TilePresence::Lost: return "port lost";
        case TilePresence::Ready: break;
    }
    std::string text = programmer.empty() ? "programmer" : programmer;
    if (!firmware.empty()) text += "  V" + firmware;
    return text;
}

Station::Station(std::vector<std::string> ports) {
    for (std::string& p : ports) {
        TileState t;
        t.port = std::move(p);
        tiles_.push_back(std::move(t));
    }
}

void Station::ChipEnded(std::size_t i, const VerdictFace& face) {
    TileState& t = tiles_.at(i);
    t.counts.Count(face.passed, t.lastChipFailed);
    t.lastChipFailed = !face.passed;
    t.verdict = face;
}

ShiftCounts Station::Totals() const {
    ShiftCounts total;
    for (const TileState& t : tiles_) total += t.counts;
    return total;
}

void Station::ResetCounts() {
    for (TileState& t : tiles_) {
        t.counts = {};
        t.lastChipFailed = false;
    }
}

std::vector<std::size_t> Station::TilesToStart(StationKey key, int digit) const {
    std::vector<std::size_t> start;
    auto take = [&](std::size_t i) {
        if (i < tiles_.size() && tiles_[i].Startable()) start.push_back(i);
    };
    switch (key) {
        case StationKey::Return:
            for (std::size_t i = 0; i < tiles_.size(); ++i) take(i);
            break;
        case StationKey::Digit:
            if (digit >= 0 && digit <= 9) take(digit == 0 ? 9 : static_cast<std::size_t>(digit - 1));
            break;
        case StationKey::Space: take(selected_); break;
        default: break;
    }
    return start;
}

void Station::Move(StationKey arrow, std::size_t columns) {
    if (tiles_.empty() || columns == 0) return;
    const std::size_t n = tiles_.size();
    std::size_t s = selected_;
    switch (arrow) {
        case StationKey::Left: s = s > 0 ? s - 1 : s; break;
        case StationKey::Right: s = s + 1 < n ? s + 1 : s; break;
        case StationKey::Up: s = s >= columns ? s - columns : s; break;
        case StationKey::Down: s = s + columns < n ? s + columns : s; break;
        default: break;
    }
    selected_ = s;
}

void Station::Select(std::size_t i) {
    if (i < tiles_.size()) selected_ = i;
}

bool Station::AnyRunning() const {
    return std::any_of(tiles_.begin(), tiles_.end(), [](const TileState& t) { return t.running; });
}

std::size_t Station::ColumnsFor(std::size_t tiles) {
    if (tiles <= 1) return 1;
    if (tiles <= 2) return 2;
    if (tiles <= 4) return 2;
    if (tiles <= 6) return 3;
    return 4;
}

PortList ParsePortList(const std::string& text) {
    PortList list;
    std::vector<std::string> ports;
    std::size_t from = 0;
    while (true) {
        const std::size_t comma = text.find(',', from);
        ports.push_back(text.substr(from, comma == std::string::npos ? std::string::npos : comma - from));
        if (comma == std::string::npos) break;
        from = comma + 1;
    }
    for (const std::string& port : ports) {
        // USB scans COM1..COM16 for one programmer: a tile stands for one port.
        const uint8_t number = ComNameToPort(port);
        if (port.rfind('/', 0) != 0 && (number == 0 || number > 16)) {
            list.error = "unknown port " + port + " (COM1..COM16 or a device path)";
            return list;
        }
        if (std::count(ports.begin(), ports.end(), port) > 1) {
            list.error = "the port " + port + " is listed twice";
            return list;
        }
    }
    if (ports.size() > kMaxStationTiles) {
        list.error = "at most " + std::to_string(kMaxStationTiles) + " ports, not " +
                     std::to_string(ports.size());
        return list;
    }
    list.ports = std::move(ports);
    return list;
}

}  // namespace lumacrest
