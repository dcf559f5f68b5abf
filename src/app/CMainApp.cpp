#include "app/CMainApp.h"

#include "app/commands/Config.h"
#include "image/TextScanner.h"
#include "platform/AtomicFile.h"

namespace lumacrest {

StartDecision CMainApp::InitInstance(const std::string& programDir, Prompts& prompts) {
    const std::string path = programDir + kConfigFileName;
    std::string first;
    {
        TextScanner in;
        if (!OpenConfigFile(in, path)) {
            prompts.MessageBox("******Open Config file failed******", MsgIcon::Error);
            return {false, 1};
        }
        first = in.ReadWord(kConfigLineMax).value_or("");
    }
    if (first == "NO") {
        // First run. There is no control to install here; the settings go back to the
        // defaults and the operator starts the program again.
        if (!WriteFileAtomically(path, DefaultConfigText()))
            prompts.MessageBox("******Open Config file failed******", MsgIcon::Error);
        prompts.MessageBox(" *******Init Ok ,Please Restart Softwar*******  ",
                           MsgIcon::Information);
        return {false, 1};
    }
    return {true, 0};
}

}  // namespace lumacrest
