// The host: its state, the platform services the core reaches out through, and the part of
// it the operations work on. Front ends drive it through HostApi.h and observe its view.
#pragma once

#include "host/HostState.h"
#include "ops/Ops.h"
#include "platform/Platform.h"

namespace lumacrest {

struct Host : HostState {
    Host() = default;
    Host(const Host&) = delete;
    Host& operator=(const Host&) = delete;

    Platform platform;
    // The pieces the operations work on.
    Ops ops{link,       run,        history,    target,           sn,           programmer, port,
            ports,      view,       platform,         programDir, shutdownRequested,
            holdPortOpen, onRunEnded};

    Prompts& prompts() { return *platform.prompts; }
    Shell& shell() { return *platform.shell; }
    SerialPort& serial() { return *platform.serial; }
    Timers& timers() { return *platform.timers; }
    ProcessRunner& processes() { return *platform.processes; }
};

}  // namespace lumacrest
