// Start-up: the settings file must exist; "NO" as its first word asks for the first-run
// step, which writes the default file and ends the program.
#pragma once

#include <string>

#include "platform/Prompts.h"

namespace lumacrest {

struct StartDecision {
    bool runMainWindow = false;
    int exitCode = 0;
};

class CMainApp {
public:
    // Checks Config.dat in `programDir` (ending in '/'); shows the start-up messages.
    static StartDecision InitInstance(const std::string& programDir, Prompts& prompts);
};

inline constexpr const char* kAlreadyRunning = "本程序已经在运行了";

}  // namespace lumacrest
