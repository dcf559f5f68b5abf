// Stopping a run at the operator's request (Ctrl-C on the command line, closing the window):
// no further block goes out, and a programmer in program mode is told the chip failed.
#pragma once

#include <string>

#include "ops/Ops.h"

namespace lumacrest {

// How long a stopped run waits for the answer under way, and then for the exit frame's.
inline constexpr uint32_t kStopWaitMs = 1000;

// Stops the run under way; `why` is what the run failed with. A device operation in program
// mode leaves it with the fail result once the answer under way has come (or 1 s has passed),
// and waits 1 s at most for the exit frame's answer; any other run ends at once. The serial
// number goes back as on a time-out. Nothing happens when no run is under way.
void StopRun(Ops& ops, const std::string& why);

// Ends the run under way at once as stopped, without waiting for an answer or the exit frame.
void StopRunNow(Ops& ops, const std::string& why);

// The run was stopped and the programmer is still in program mode.
bool LeavesProgramModeOnStop(const Ops& ops);

// Sends the exit frame with the fail result of a stopped run.
void LeaveAfterStop(Ops& ops);

}  // namespace lumacrest
