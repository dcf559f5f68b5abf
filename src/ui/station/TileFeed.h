// One programmer of the station as its tile sees it: the host that drives it (its own serial
// port and timers, the station's shell, processes and ledger), the commands the station gives
// it, and what it tells the tile (log, progress, the runs that end). Every reach into the
// host goes through here.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "ops/Run.h"
#include "platform/Platform.h"
#include "host/HostEvents.h"
#include "ui/station/TilePrompts.h"

namespace lumacrest {

struct Host;

// The services a tile's host runs on; the serial port and the timers are the tile's own.
struct TilePlatform {
    Shell* shell = nullptr;
    SerialPort* serial = nullptr;
    Timers* timers = nullptr;
    ProcessRunner* processes = nullptr;
    SerialLedger* serials = nullptr;
};

class TileFeed : private HostEvents {
public:
    struct Events {
        std::function<void()> changed;                  // log, progress, stage or controls
        std::function<void(const Outcome&)> runEnded;   // every run, as it ends
        std::function<void(const std::string&)> message;  // a message box of the run
    };

    TileFeed(const std::string& programDir, const std::string& port, const TilePlatform& platform,
             Events events);
    ~TileFeed() override;
    TileFeed(const TileFeed&) = delete;
    TileFeed& operator=(const TileFeed&) = delete;

    // Reads Config.dat as the window does and chooses the tile's port; empty, or why the port
    // cannot be chosen.
    std::string Init();
    // Appends the record of every run to `path` (as lumacrest-cli --record writes them).
    void RecordTo(const std::string& path, std::function<void(const std::string&)> onError);

    // The device the port stands for (empty when Ports.dat names none).
    std::string Device() const;
    // Connects and identifies the programmer on the port.
    void Identify();
    // The Update button.
    void StartUpdate();
    // Stops the run under way: a programmer in program mode is told the chip failed.
    void Stop(const std::string& why);
    // The window goes away: a run still under way ends now, abandoned.
    void Abandon();
    bool Busy() const;

    // The settings every tile shares, as the window loads them: the answers are the
    // operator's, given once for the station.
    void LoadFlashFile(const std::string& path, std::optional<uint32_t> address);
    void LoadProject(const std::string& path);
    void LoadBootFile(const std::string& path, std::optional<uint32_t> address);
    void LoadKeyCode(const std::string& path);
    // The SN dialog's values and the program options; empty, or why they were refused (a
    // refusal is also told on the tile).
    std::string SetSerialNumber(uint32_t value, uint32_t address);
    std::string SetOptions(const ProgramOptions& options);
    ProgramOptions Options() const;
    uint32_t SerialNumberAddress() const;
    uint32_t FlashSize() const;

    const std::string& Log() const;
    int Progress() const;
    // The stage of the run under way, in words; empty when none runs.
    std::string Stage() const;
    std::string ProgrammerName() const;
    std::string Firmware() const;
    uint32_t NextSerialNumber() const;
    void SetNextSerialNumber(uint32_t value);
    // Abandons what still runs and writes Config.dat back (one tile of the station does, for
    // all).
    void SaveSettings();

private:
    void LogAppended(const std::string& appended, bool cleared) override;
    void ProgressChanged(int position) override;
    void ControlsChanged(ControlState state) override;
    void Message(const std::string& text, MessageKind kind) override;
    void RunEnded(const Outcome& outcome) override;
    void Changed();

    std::string port_;
    std::string configPort_;  // the port Config.dat names: it keeps it
    Events events_;
    TilePrompts prompts_;
    std::unique_ptr<Host> host_;
};

}  // namespace lumacrest
