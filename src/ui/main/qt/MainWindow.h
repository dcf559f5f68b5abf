// The main window: a view of the core's window model. Every menu item, button and list
// goes through the core's command routing by resource id.
#pragma once

#include <QMainWindow>
#include <functional>
#include <map>

#include "ui/main/MainModel.h"
#include "ui/main/WindowCommands.h"
#include "ui/station/Verdict.h"
#include "ui/main/qt/StationPicker.h"

class QAction;
class QComboBox;
class QLabel;
class QMenu;
class QPlainTextEdit;

#include "ui/chrome/qt/CSkinButton.h"
#include "ui/chrome/qt/Resources.h"

namespace lumacrest {

class CGradientProgressCtrl;
class QtPrompts;

// The close question, reworded when the run it asks about ends while it is open.
inline constexpr const char* kRunEndedCloseQuestion = "The programmer operation has ended. Close?";


class MainWindow : public QMainWindow, public MainModelObserver {
    Q_OBJECT
public:
    // The window over `model`; what the operator does goes to `commands`.
    MainWindow(WindowCommands& commands, MainModel& model, QWidget* parent = nullptr);
    ~MainWindow() override;

    // Widgets by resource id, for tests and screenshots.
    QWidget* Control(int id) const;
    QAction* Action(int id) const;
    QMenu* Popup(std::size_t index) const;
    QPlainTextEdit* LogView() const { return log_; }
    // The size the window opens with: the log shows the separator lines whole, without a
    // horizontal scroll bar.
    QSize DefaultSize() const;

    // MainModelObserver
    void LogAppended(const std::string& appended, bool cleared) override;
    void ProgressChanged(int position) override;
    void EnabledChanged(int id, bool enabled) override;
    void SelectionChanged(int listId, int index) override;

    // A termination signal closes the window: a run under way is stopped without asking.
    void CloseForSignal();

    // Follows the runs `onRunEnded` tells of: the verdict of each and the shift's counts below
    // the log; a close question still open when a run ends is reworded.
    void FollowRuns(std::function<void(const Outcome&)>& onRunEnded, QtPrompts* prompts);
    void ShowVerdict(const Outcome& outcome);
    void ResetCounts();
    const ShiftCounts& Counts() const { return counts_; }
    QLabel* VerdictLabel() const { return verdict_; }
    QLabel* CountsLabel() const { return countsLabel_; }

    // The station from this window: Ctrl+T (and the window's context menu) picks the ports;
    // OK closes this window as its close does and hands the ports to `open`. `ports` lists
    // the COM list's entries with their devices, each time the picker opens.
    void OfferStation(std::function<std::vector<PickerPort>()> ports,
                      std::function<void(const std::vector<std::string>&)> open);
    // Opens the picker; false when it was cancelled or this window stays.
    bool PickStation();
    QAction* StationAction() const { return stationAction_; }

protected:
    // Closing during a run asks whether to stop it; the window stays when the answer is no.
    void closeEvent(QCloseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;

private:
    void BuildMenu();
    void BuildControls();
    void SyncAll();

    WindowCommands& dlg_;
    MainModel& model_;
    bool closingForSignal_ = false;
    std::map<int, QAction*> actions_;
    std::vector<QMenu*> popups_;
    std::map<int, QWidget*> controls_;
    QComboBox* com_ = nullptr;
    QComboBox* mcu_ = nullptr;
    CSkinButton* loadFile_ = nullptr;
    CSkinButton* update_ = nullptr;
    CGradientProgressCtrl* progress_ = nullptr;
    CToolBarEx toolbar_;
    QPlainTextEdit* log_ = nullptr;
    QLabel* verdict_ = nullptr;
    QLabel* countsLabel_ = nullptr;
    ShiftCounts counts_;
    bool lastChipFailed_ = false;
    QAction* stationAction_ = nullptr;
    std::function<std::vector<PickerPort>()> stationPorts_;
    std::function<void(const std::vector<std::string>&)> openStation_;
};

}  // namespace lumacrest
