// Everything the main window owns for the whole run: settings, device parameters, image
// buffers and their bookkeeping, serial-number settings, link state, the run, and what the
// operator is shown. One instance per host; nothing of it is global.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "image/SerialNumber.h"
#include "image/Target.h"
#include "link/Link.h"
#include "ops/ProgrammerState.h"
#include "ops/Run.h"
#include "host/HostView.h"

namespace lumacrest {

struct HostState {
    // Program directory, ending in '/'
    std::string programDir;

    // What the operator is shown and chooses: log, progress, controls, options, lists
    HostView view;

    // The chip being programmed and the serial number that goes into it
    Target target;
    SerialNumber sn;

    // Settings file values without another use
    int32_t spareValue = 0;
    uint8_t spareByte = 0;
    uint8_t englishUi = 1;

    // Link (serial port and discovery)
    PortChoice port;
    PortMap ports{programDir};
    Link link{ports};
    ProgrammerState programmer;
    bool shutdownRequested = false;  // the window is closing: waits end at once
    bool holdPortOpen = false;       // runs leave the line open: the box's own frames are awaited

    // The run of the programmer under way, if any, and how the last one ended.
    Run run;
    RunHistory history;
    // Told of every run's outcome as it ends; by default the observers of the view are.
    std::function<void(const Outcome&)> onRunEnded = [this](const Outcome& o) { view.RunEnded(o); };
};

}  // namespace lumacrest
