// Start-up: the settings file must exist; "NO" as its first word asks for the first-run step,
// which writes the default file and ends the program.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "ops/OperatorView.h"

namespace lumacrest {

struct StartCheck {
    bool runMainWindow = false;
    int exitCode = 0;
    // What the operator is told, in order.
    std::vector<std::pair<std::string, MessageKind>> messages;
};

// Checks Config.dat in `programDir` (ending in '/').
StartCheck CheckProgramStart(const std::string& programDir);

}  // namespace lumacrest
