// The main window's state as data: the operation log, the progress position, the enabled
// state of every control and menu item by id, the option check boxes and the two lists.
// The Qt window, the CLI and the tests are views of this model.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "ops/OperatorView.h"

namespace lumacrest {

class MainModelObserver {
public:
    virtual ~MainModelObserver() = default;
    // `cleared` is true when the log was emptied before `appended` was added.
    virtual void LogAppended(const std::string& appended, bool cleared) {
        (void)appended;
        (void)cleared;
    }
    virtual void ProgressChanged(int position) { (void)position; }
    virtual void EnabledChanged(int id, bool enabled) {
        (void)id;
        (void)enabled;
    }
    virtual void CheckChanged(int id, int value) {
        (void)id;
        (void)value;
    }
    virtual void SelectionChanged(int listId, int index) {
        (void)listId;
        (void)index;
    }
    virtual void CaptionChanged() {}
};

// A drop-down list: entries and the selected index (-1 = none).
struct ComboModel {
    std::vector<std::string> items;
    int selected = -1;

    // First entry that begins with `prefix`, ignoring ASCII case; -1 when none does.
    int FindPrefix(const std::string& prefix) const;
    std::string SelectedText() const;
};

class MainModel : public OperatorView {
public:
    static constexpr std::size_t kLogClearThreshold = 20000;
    static constexpr const char* kSeparatorStars =
        "* * * * * * * * * * * * * * * * * * * * * * * * * * * * * * * * * * * * * * * * *";
    static constexpr const char* kSeparatorEquals =
        "==================================================";

    MainModel();

    void AddObserver(MainModelObserver* observer);
    void RemoveObserver(MainModelObserver* observer);

    // Log
    void AppendLog(const std::string& text) override;     // new line
    void AppendLogRaw(const std::string& text) override;  // same line; empties a long log
    const std::string& LogText() const { return log_; }
    // The last line of the log, the one AppendLogRaw adds to.
    std::string CurrentLine() const override;
    void WriteSeparator() override;  // the operation separator line; flips the toggle
    bool separatorToggle = false;

    // Progress, range 1..100 (positions at or below 1 show an empty bar)
    void SetProgress(int position) override;
    int Progress() const { return progress_; }
    static constexpr int kProgressLower = 1;
    static constexpr int kProgressUpper = 100;

    // Enabled state of controls and menu items, by id
    void SetEnabled(int id, bool enabled);
    bool IsEnabled(int id) const;
    // Enabled state of the menu pop-ups, by index
    bool PopupEnabled(std::size_t index) const;

    // Check boxes (option values), by control id
    void SetCheck(int id, int value);
    int Check(int id) const;
    bool Checked(int id) const { return Check(id) == 1; }

    // The two lists
    ComboModel& Combo(int listId);
    const ComboModel& Combo(int listId) const;
    void Select(int listId, int index);

    int maxCounter = 0;

    void DisableOperationControls();
    void EnableOperationControls();

    // OperatorView: the controls, the option check boxes and the MCU list.
    void SetControls(ControlState state) override;
    ProgramOptions Options() const override;
    void ShowOptions(const ProgramOptions& options) override;
    std::string SelectedMcu() const override;
    void ShowMcu(const std::string& name) override;

private:
    void NotifyLog(const std::string& text, bool cleared);

    std::string log_;
    int progress_ = 1;
    std::map<int, bool> enabled_;
    std::vector<bool> popupEnabled_;
    std::map<int, int> checks_;
    ComboModel com_;
    ComboModel mcu_;
    std::vector<MainModelObserver*> observers_;
};

}  // namespace lumacrest
