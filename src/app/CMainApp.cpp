#include "app/CMainApp.h"

#include "app/MessageBoxes.h"
#include "host/Startup.h"

namespace lumacrest {

StartDecision CMainApp::InitInstance(const std::string& programDir, Prompts& prompts) {
    const StartCheck check = CheckProgramStart(programDir);
    for (const auto& [text, kind] : check.messages) prompts.MessageBox(text, IconFor(kind));
    return {check.runMainWindow, check.exitCode};
}

}  // namespace lumacrest
