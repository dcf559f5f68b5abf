// What the operations work on: the link and the run, the target and its serial number, what
// the host knows of the programmer and its port, the operator's view, and the prompts and
// timers of the platform. The host holds the pieces; this is the part of it the conversation
// with the box reaches.
#pragma once

#include <functional>
#include <string>

#include "image/SerialNumber.h"
#include "image/Target.h"
#include "link/Link.h"
#include "link/Ports.h"
#include "ops/OperatorView.h"
#include "ops/ProgrammerState.h"
#include "ops/Run.h"
#include "platform/Platform.h"

namespace lumacrest {

struct Ops {
    Link& link;
    Run& run;
    RunHistory& history;
    Target& target;
    SerialNumber& sn;
    ProgrammerState& programmer;
    PortChoice& port;
    const PortMap& ports;
    OperatorView& view;
    Platform& platform;
    const std::string& programDir;
    // The program is closing: waits end at once.
    const bool& shutdownRequested;
    // The line stays open when a run ends (the front end waits for the box's own frames).
    const bool& holdPortOpen;
    // Told of every run's outcome as it ends.
    std::function<void(const Outcome&)>& onRunEnded;

    Prompts& prompts() const { return *platform.prompts; }
    Timers& timers() const { return *platform.timers; }
};

}  // namespace lumacrest
