#include "host/Startup.h"

#include "host/Config.h"
#include "image/TextScanner.h"
#include "platform/AtomicFile.h"

namespace lumacrest {

StartCheck CheckProgramStart(const std::string& programDir) {
    StartCheck check;
    const std::string path = programDir + kConfigFileName;
    std::string first;
    {
        TextScanner in;
        if (!OpenConfigFile(in, path)) {
            check.messages.emplace_back("******Open Config file failed******", MessageKind::Error);
            check.exitCode = 1;
            return check;
        }
        first = in.ReadWord(kConfigLineMax).value_or("");
    }
    if (first == "NO") {
        // First run. There is no control to install here; the settings go back to the
        // defaults and the operator starts the program again.
        if (!WriteFileAtomically(path, DefaultConfigText()))
            check.messages.emplace_back("******Open Config file failed******", MessageKind::Error);
        check.messages.emplace_back(" *******Init Ok ,Please Restart Softwar*******  ",
                                    MessageKind::Information);
        check.exitCode = 1;
        return check;
    }
    check.runMainWindow = true;
    return check;
}

}  // namespace lumacrest
