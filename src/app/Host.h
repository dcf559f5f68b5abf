// The host: its state plus the platform services the core reaches out through.
#pragma once

#include "app/HostState.h"
#include "platform/ProcessRunner.h"
#include "platform/Prompts.h"
#include "platform/SerialPort.h"
#include "platform/Timers.h"

namespace lumacrest {

// Platform services. Each pointer is set by the front end (Qt window, CLI, tests) before
// the host is used; the core never creates a window, a port or a timer by itself.
// The members in the order the front ends list them: prompts, shell, serial, timers, processes.
struct Platform {
    Prompts* prompts = nullptr;
    Shell* shell = nullptr;
    SerialPort* serial = nullptr;
    Timers* timers = nullptr;
    ProcessRunner* processes = nullptr;
};

struct Host : HostState {
    Platform platform;

    Prompts& prompts() { return *platform.prompts; }
    Shell& shell() { return *platform.shell; }
    SerialPort& serial() { return *platform.serial; }
    Timers& timers() { return *platform.timers; }
    ProcessRunner& processes() { return *platform.processes; }
    MainModel& log() { return ui; }
    // What the operations see of the window.
    OperatorView& view() { return ui; }
};

}  // namespace lumacrest
