#include "platform/ScriptedPrompts.h"

namespace lumacrest {

void ScriptedPrompts::MessageBox(const std::string& text, MsgIcon icon) {
    messages.push_back({text, icon});
    if (onMessage) onMessage(messages.back());
}

std::optional<std::string> ScriptedPrompts::NextFile(const std::string& filter) {
    fileFilters.push_back(filter);
    if (files_.empty()) return std::nullopt;
    std::optional<std::string> answer = files_.front();
    files_.pop_front();
    return answer;
}

std::optional<std::string> ScriptedPrompts::OpenFile(const std::string& filter) {
    return NextFile(filter);
}

std::optional<std::string> ScriptedPrompts::SaveFile(const std::string& filter) {
    return NextFile(filter);
}

std::optional<uint32_t> ScriptedPrompts::AskLoadAddress() {
    ++loadAddressAsked;
    if (addresses_.empty()) return 0x4000u;
    std::optional<uint32_t> answer = addresses_.front();
    addresses_.pop_front();
    return answer;
}

}  // namespace lumacrest
