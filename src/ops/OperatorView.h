// What the operations tell the operator, and the little they ask of the station: the log, the
// progress, the state of the controls, messages, the program options and the chosen MCU. The
// host implements it with plain values; the front ends render what it reports.
#pragma once

#include <string>

namespace lumacrest {

// The check boxes that choose the stages of the Update sequence.
struct ProgramOptions {
    bool eraseChip = false;
    bool programFlash = false;
    bool programBoot = false;
    bool programKeyCode = false;
    bool enableProtect = false;
    bool programSn = false;

    // An Update needs one of them; Program SN alone is no stage.
    bool AnyStage() const {
        return eraseChip || programFlash || programBoot || programKeyCode || enableProtect;
    }
};

// What a message to the operator is: the front end chooses how to show each kind.
enum class MessageKind {
    Plain,        // a plain note
    Error,        // something failed
    Information,  // something went well or needs doing
};

enum class ControlState {
    Busy,            // a run holds the line: the operation controls are locked
    Idle,            // the idle state of the window
    OnlyComList,     // the programmer cannot work with this host: only the COM list
    ComListEnabled,  // the COM list enabled, the rest as it is (a connect that failed)
};

class OperatorView {
public:
    virtual ~OperatorView() = default;

    virtual void AppendLog(const std::string& line) = 0;     // a new line
    virtual void AppendLogRaw(const std::string& text) = 0;  // on the current line
    virtual std::string CurrentLine() const = 0;
    virtual void WriteSeparator() = 0;                       // the next separator line
    virtual void SetProgress(int position) = 0;              // 0..100
    virtual void SetControls(ControlState state) = 0;
    // A message the operator must see (the window shows it as a message box).
    virtual void Tell(const std::string& text, MessageKind kind) = 0;

    // The program options as the station holds them.
    virtual ProgramOptions Options() const = 0;
    // Options that come from elsewhere (the programmer's stored settings) shown and kept.
    virtual void ShowOptions(const ProgramOptions& options) = 0;
    // The chosen MCU (empty when none), and choosing one by name.
    virtual std::string SelectedMcu() const = 0;
    virtual void ShowMcu(const std::string& name) = 0;
};

struct Target;

// Logs "Flash Buffer Check Sum: 0x...." and "Boot  Buffer Check Sum: 0x...." after a change
// of the images.
void ShowChecksums(OperatorView& view, Target& target);

}  // namespace lumacrest
