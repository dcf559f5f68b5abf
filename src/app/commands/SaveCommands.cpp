#include "app/commands/SaveCommands.h"

#include "image/HexWriter.h"
#include "platform/AtomicFile.h"
#include "platform/Text.h"

namespace lumacrest {

void CombineMainAndBoot(Host& h) {
    std::optional<std::string> path = h.prompts().SaveFile(kCombineFilter);
    if (!path) return;
    h.ui.AppendLog("Save Project File......");
    std::string why;
    std::optional<std::string> text = BuildCombinedHex(h.target, &why);
    FinishSave(h, *path, ".hex", text, "Main && Boot Combine refused", why);
}

void FinishSave(Host& h, std::string path, const std::string& suffix,
                const std::optional<std::string>& text, const std::string& refusal,
                const std::string& why) {
    if (!EndsWith(path, suffix)) path += suffix;
    if (!text) {
        h.prompts().MessageBox("******" + refusal + ": " + why + "******", MsgIcon::Error);
        h.ui.AppendLogRaw("Failed");
        return;
    }
    if (!WriteFileAtomically(path, *text)) {
        h.prompts().MessageBox("******File Save Failed******", MsgIcon::Error);
        h.ui.AppendLogRaw("Failed");
        return;
    }
    h.ui.AppendLogRaw("OK");
}

}  // namespace lumacrest
