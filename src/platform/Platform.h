// The platform services the core reaches out through. Each pointer is set by the front end
// (Qt window, CLI, tests) before it is used; the core never creates a window, a port or a
// timer by itself.
#pragma once

#include "platform/ProcessRunner.h"
#include "platform/Prompts.h"
#include "platform/SerialLedger.h"
#include "platform/SerialPort.h"
#include "platform/Timers.h"

namespace lumacrest {

// The members in the order the front ends list them: prompts, shell, serial, timers, processes;
// then the station's serial-number ledger, which only Program SN needs.
struct Platform {
    Prompts* prompts = nullptr;
    Shell* shell = nullptr;
    SerialPort* serial = nullptr;
    Timers* timers = nullptr;
    ProcessRunner* processes = nullptr;
    SerialLedger* serials = nullptr;
};

}  // namespace lumacrest
