#include "host/SaveCommands.h"

#include "image/HexWriter.h"
#include "platform/AtomicFile.h"
#include "platform/Text.h"

namespace lumacrest {

bool CombineMainAndBoot(Host& h, const std::string& path) {
    h.view.AppendLog("Save Project File......");
    std::string why;
    std::optional<std::string> text = BuildCombinedHex(h.target, &why);
    return FinishSave(h, path, ".hex", text, "Main && Boot Combine refused", why);
}

bool FinishSave(Host& h, std::string path, const std::string& suffix,
                const std::optional<std::string>& text, const std::string& refusal,
                const std::string& why) {
    if (!EndsWith(path, suffix)) path += suffix;
    if (!text) {
        h.view.Tell("******" + refusal + ": " + why + "******", MessageKind::Error);
        h.view.AppendLogRaw("Failed");
        return false;
    }
    if (!WriteFileAtomically(path, *text)) {
        h.view.Tell("******File Save Failed******", MessageKind::Error);
        h.view.AppendLogRaw("Failed");
        return false;
    }
    h.view.AppendLogRaw("OK");
    return true;
}

}  // namespace lumacrest
