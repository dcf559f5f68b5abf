// What a host reports as it goes: every front end (the window, the command line, a test jig)
// renders these and nothing else of the host's workings.
#pragma once

#include <string>

#include "ops/OperatorView.h"
#include "ops/Run.h"

namespace lumacrest {

class HostEvents {
public:
    virtual ~HostEvents() = default;

    // Text added to the operation log: a new line starts with '\n'. `cleared` is true when
    // the log was emptied before `appended` was added.
    virtual void LogAppended(const std::string& appended, bool cleared) {
        (void)appended;
        (void)cleared;
    }
    virtual void ProgressChanged(int position) { (void)position; }
    // What the operator may do now.
    virtual void ControlsChanged(ControlState state) { (void)state; }
    // The program options, the MCU chosen, the port chosen, and whether the device has a boot
    // area to program.
    virtual void OptionsChanged(const ProgramOptions& options) { (void)options; }
    virtual void McuChanged(int index) { (void)index; }
    virtual void PortChanged(int index) { (void)index; }
    virtual void BootOptionAvailable(bool available) { (void)available; }
    // A message the operator must see, with its kind.
    virtual void Message(const std::string& text, MessageKind kind) {
        (void)text;
        (void)kind;
    }
    // A run of the programmer has ended.
    virtual void RunEnded(const Outcome& outcome) { (void)outcome; }
};

}  // namespace lumacrest
