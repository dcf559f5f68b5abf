// The station: several programmers in one window, each a tile. What each tile shows, the
// shift's counts, and which tiles a key starts. Plain data, driven by the tiles' feeds.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "ui/station/Verdict.h"

namespace lumacrest {

inline constexpr std::size_t kMaxStationTiles = 16;

enum class TilePresence {
    Probing,       // asking who answers on the port
    Ready,         // a programmer answered
    NoProgrammer,  // nobody answered
    Lost,          // the port's device is gone
};

struct TileState {
    std::string port;    // as given: COM3, /dev/ttyUSB0
    std::string device;  // the device behind it, if known
    TilePresence presence = TilePresence::Probing;
    std::string programmer;  // name and number, as the identification logged them
    std::string firmware;
    bool running = false;
    std::string stage;  // the stage a run is at
    int progress = 0;   // 0..100
    std::optional<VerdictFace> verdict;
    std::string message;  // the last message a run ended with, when it showed one
    ShiftCounts counts;
    bool lastChipFailed = false;  // the next run is a retry of the same chip

    // An Update may start on it.
    bool Startable() const { return !running && presence == TilePresence::Ready; }
    // "COM3  /dev/ttyUSB0"
    std::string Title() const;
    // "Lumacrest-1 #12  V2.0", "no programmer", "port lost", "looking for a programmer"
    std::string PresenceText() const;
    bool operator==(const TileState&) const = default;
};

// The keys of the station window.
enum class StationKey { Return, Space, Digit, Left, Right, Up, Down };

class Station {
public:
    explicit Station(std::vector<std::string> ports);

    std::vector<TileState>& Tiles() { return tiles_; }
    const std::vector<TileState>& Tiles() const { return tiles_; }
    TileState& Tile(std::size_t i) { return tiles_.at(i); }

    // A chip run ended on tile `i` with `face`: it counts (passed or failed, first attempt or
    // retry) and its verdict shows.
    void ChipEnded(std::size_t i, const VerdictFace& face);
    // The counts of the whole station, and the reset of every tile's.
    ShiftCounts Totals() const;
    void ResetCounts();

    // The tiles a key starts: Return every startable tile, a digit (1..9, 0 for the tenth)
    // that tile alone, Space the selected one; none that is running or has no programmer.
    std::vector<std::size_t> TilesToStart(StationKey key, int digit = 0) const;
    // The arrow keys move the selection over a grid of `columns`.
    void Move(StationKey arrow, std::size_t columns);
    std::size_t Selected() const { return selected_; }
    void Select(std::size_t i);
    bool AnyRunning() const;

    // The grid the tiles are laid out in: as square as it gets, wider than high.
    static std::size_t ColumnsFor(std::size_t tiles);

private:
    std::vector<TileState> tiles_;
    std::size_t selected_ = 0;
};

// The port list of --station: "COM3,COM4,/dev/ttyUSB0" (COM1..COM16 or device paths). Anything
// else, a port given twice and more than 16 ports are refused, the reason in `error`.
struct PortList {
    std::vector<std::string> ports;
    std::string error;
};
PortList ParsePortList(const std::string& text);

}  // namespace lumacrest
