// The main window's state as a view of its host: the enabled state of every control and menu
// item by id, the option check boxes and the two lists by id. The log, the progress, the
// options and the choices are the host's values; the model maps them to resource ids and
// sets them on the host when the operator changes a control. The Qt window observes it.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "host/HostView.h"

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
};

using ComboModel = ChoiceList;

class MainModel : private HostEvents {
public:
    static constexpr std::size_t kLogClearThreshold = HostView::kLogClearThreshold;
    static constexpr const char* kSeparatorStars = HostView::kSeparatorStars;
    static constexpr const char* kSeparatorEquals = HostView::kSeparatorEquals;
    static constexpr int kProgressLower = HostView::kProgressLower;
    static constexpr int kProgressUpper = HostView::kProgressUpper;

    explicit MainModel(HostView& host);
    ~MainModel() override;
    MainModel(const MainModel&) = delete;
    MainModel& operator=(const MainModel&) = delete;

    void AddObserver(MainModelObserver* observer);
    void RemoveObserver(MainModelObserver* observer);

    const std::string& LogText() const { return host_.LogText(); }
    int Progress() const { return host_.Progress(); }

    // Enabled state of controls and menu items, by id
    void SetEnabled(int id, bool enabled);
    bool IsEnabled(int id) const;
    // Enabled state of the menu pop-ups, by index
    bool PopupEnabled(std::size_t index) const;

    // Check boxes by control id: the option boxes, the counter and the configurator are the
    // host's values.
    void SetCheck(int id, int value);
    int Check(int id) const;
    bool Checked(int id) const { return Check(id) == 1; }

    // The two lists (the host's) by id
    const ComboModel& Combo(int listId) const;
    void Select(int listId, int index);

    void DisableOperationControls();
    void EnableOperationControls();

private:
    // HostEvents
    void LogAppended(const std::string& appended, bool cleared) override;
    void ProgressChanged(int position) override;
    void ControlsChanged(ControlState state) override;
    void OptionsChanged(const ProgramOptions& options) override;
    void McuChanged(int index) override;
    void PortChanged(int index) override;
    void BootOptionAvailable(bool available) override;

    HostView& host_;
    std::map<int, bool> enabled_;
    std::vector<bool> popupEnabled_;
    int checkKeyCode_ = 1;
    std::vector<MainModelObserver*> observers_;
};

}  // namespace lumacrest
