// What a host shows and holds for its operator, as plain values: the operation log, the
// progress, the state of the controls, the program options, the MCU and port chosen from
// their lists, and what Config.dat keeps besides. Every change is reported to the observers
// (HostEvents); the operations reach it as their OperatorView.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "host/HostEvents.h"

namespace lumacrest {

// A list to choose from: entries and the chosen index (-1 = none).
struct ChoiceList {
    std::vector<std::string> items;
    int selected = -1;

    // First entry that begins with `prefix`, ignoring ASCII case; -1 when none does.
    int FindPrefix(const std::string& prefix) const;
    int Find(const std::string& name) const;  // exact; -1 when none is
    std::string SelectedText() const;
};

class HostView : public OperatorView {
public:
    static constexpr std::size_t kLogClearThreshold = 20000;
    static constexpr const char* kSeparatorStars =
        "* * * * * * * * * * * * * * * * * * * * * * * * * * * * * * * * * * * * * * * * *";
    static constexpr const char* kSeparatorEquals =
        "==================================================";
    static constexpr int kProgressLower = 1;
    static constexpr int kProgressUpper = 100;

    HostView();

    void AddObserver(HostEvents* observer);
    void RemoveObserver(HostEvents* observer);

    // The log
    void AppendLog(const std::string& text) override;     // new line
    void AppendLogRaw(const std::string& text) override;  // same line; empties a long log
    const std::string& LogText() const { return log_; }
    void ClearLog();  // empties the log (observers see an empty piece that cleared it)
    std::string CurrentLine() const override;  // the line AppendLogRaw adds to
    void WriteSeparator() override;            // the operation separator line; flips the toggle
    bool separatorToggle = false;

    // Progress, range 1..100 (positions at or below 1 show an empty bar)
    void SetProgress(int position) override;
    int Progress() const { return progress_; }

    void SetControls(ControlState state) override;
    ControlState Controls() const { return controls_; }
    void Tell(const std::string& text, MessageKind kind) override;
    void RunEnded(const Outcome& outcome);

    // The program options
    ProgramOptions Options() const override { return options_; }
    void ShowOptions(const ProgramOptions& options) override;
    // The options as Config.dat and project files keep them: bit 0 erase, 1 flash, 2 boot,
    // 3 KeyCode, 4 protect, 5 SN (and 6 the counter, which only Config.dat keeps).
    uint32_t OptionBits() const;
    void SetOptionBits(uint32_t bits);
    // The device has a boot area: without one the boot option is cleared and cannot be set.
    bool BootOptionAvailable() const { return bootAvailable_; }
    void SetBootOptionAvailable(bool available);
    // The counter box and the configurator value, kept in Config.dat.
    bool counter = false;
    int32_t configer = 0;

    // The MCU list and the port list (USB, COM1..COM16)
    const ChoiceList& McuList() const { return mcu_; }
    const ChoiceList& PortList() const { return com_; }
    void SelectMcu(int index);   // an index outside the list chooses none
    void SelectPort(int index);
    // The entries of the lists; the choices stay as they are.
    void SetMcuItems(std::vector<std::string> items) { mcu_.items = std::move(items); }
    void SetPortItems(std::vector<std::string> items) { com_.items = std::move(items); }
    // Adds a name to the MCU list (once); its index.
    int AddMcu(const std::string& name);
    std::string SelectedMcu() const override { return mcu_.SelectedText(); }
    void ShowMcu(const std::string& name) override;
    std::string SelectedPort() const { return com_.SelectedText(); }

private:
    void NotifyLog(const std::string& text, bool cleared);

    std::string log_;
    int progress_ = kProgressLower;
    ControlState controls_ = ControlState::Idle;
    ProgramOptions options_;
    bool bootAvailable_ = true;
    ChoiceList com_;
    ChoiceList mcu_;
    std::vector<HostEvents*> observers_;
};

}  // namespace lumacrest
