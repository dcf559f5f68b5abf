// The station window: one tile per programmer, the shift's counts on top, one key to start
// them all. Every tile has its own host, serial port and timers on the one event loop; they
// share the settings, the ledger and the record file.
#pragma once

#include <QMainWindow>
#include <functional>
#include <optional>
#include <memory>
#include <string>
#include <vector>

#include "platform/PortHolders.h"
#include "ui/station/Station.h"
#include "ui/station/TileFeed.h"

class QLabel;
class QPlainTextEdit;
class QPushButton;
class QGridLayout;
class QTimer;

namespace lumacrest {

class Prompts;
class QtSerialPort;
class QtTimers;
class TileWidget;

struct StationSetup {
    std::string programDir;
    std::vector<std::string> ports;
    Prompts* prompts = nullptr;  // the operator's: file dialogs and the close question
    Shell* shell = nullptr;
    ProcessRunner* processes = nullptr;
    SerialLedger* serials = nullptr;
    std::string recordPath;  // empty: no records
    std::function<void(const std::string&)> onRecordError;
};

class StationWindow : public QMainWindow {
    Q_OBJECT
public:
    explicit StationWindow(const StationSetup& setup, QWidget* parent = nullptr);
    ~StationWindow() override;

    // Identifies the programmer on every port.
    void Start();
    // Loads a project into every tile, as Load Project would.
    void LoadProject(const std::string& path);
    // The other shared settings, into every tile as the window loads them: each tile's log
    // has the load report, a refusal shows on the tile. False when a tile refused.
    void LoadFlashFile(const std::string& path, std::optional<uint32_t> address);
    void LoadBootFile(const std::string& path, std::optional<uint32_t> address);
    void LoadKeyCode(const std::string& path);
    bool SetSerialNumber(uint32_t value, uint32_t address);
    bool SetOptions(const ProgramOptions& options);
    // The SN dialog and the options dialog, for every tile.
    void EditSerialNumber();
    void EditOptions();
    // The key rules, as the keyboard gives them.
    void PressKey(StationKey key, int digit = 0);
    // Starts an Update on every idle tile with a programmer.
    void UpdateAll();
    void ResetCounts();
    // Shows the log of tile `i` below the tiles (the classic window's lines).
    void ShowLog(std::size_t i);
    void HideLog();
    // A termination signal closes the window: runs under way are stopped without asking.
    void CloseForSignal();
    // Ends every run and writes Config.dat back, once.
    void Shutdown();

    // For tests and screenshots.
    const Station& Model() const { return station_; }
    TileFeed& Feed(std::size_t i) { return *slots_.at(i).feed; }
    TileWidget* Tile(std::size_t i) const { return slots_.at(i).widget; }
    QLabel* CountsLabel() const { return counts_; }
    QPlainTextEdit* LogView() const { return log_; }
    QPushButton* UpdateButton() const { return update_; }
    bool LogShown() const;
    std::size_t LogTile() const { return logTile_; }
    bool AnyBusy() const;
    // Brings the view up to date now (it follows the tiles a few times a second).
    void Refresh();

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    struct Slot {
        std::unique_ptr<QtSerialPort> serial;
        std::unique_ptr<QtTimers> timers;
        std::unique_ptr<TileFeed> feed;
        TileWidget* widget = nullptr;
        bool deviceSeen = true;
    };

    void BuildWindow();
    void RunEnded(std::size_t i, const Outcome& outcome);
    void Changed();
    void CheckDevices();
    void StartTiles(const std::vector<std::size_t>& tiles);
    // The tiles' running state as their hosts have it now, not as last shown.
    void SyncRunning();
    void ShowCounts();
    bool DeviceExists(std::size_t i) const;
    // The settings are the same on every tile: they change while none runs. True (and told)
    // when a tile runs.
    bool SettingsWait();

    StationSetup setup_;
    Station station_;
    HolderScan holderScan_;
    std::vector<Slot> slots_;
    QLabel* counts_ = nullptr;
    QPushButton* update_ = nullptr;
    QLabel* logTitle_ = nullptr;
    QPlainTextEdit* log_ = nullptr;
    QWidget* logPane_ = nullptr;
    QGridLayout* grid_ = nullptr;
    QTimer* refresh_ = nullptr;
    QTimer* devices_ = nullptr;
    std::size_t logTile_ = 0;
    std::size_t logShownLength_ = 0;
    bool closingForSignal_ = false;
    bool shutDown_ = false;
};

}  // namespace lumacrest
