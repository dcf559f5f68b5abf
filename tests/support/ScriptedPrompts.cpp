#include "support/ScriptedPrompts.h"

#include "platform/DialogSessions.h"

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

bool ScriptedPrompts::AskYesNo(const std::string& text) {
    questions.push_back(text);
    if (answers_.empty()) return false;
    const bool yes = answers_.front();
    answers_.pop_front();
    return yes;
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

bool ScriptedPrompts::EditBuffer(BufferEditSession& session) {
    bufferTitles.push_back(session.title);
    if (bufferScripts_.empty()) return false;
    BufferScript script = std::move(bufferScripts_.front());
    bufferScripts_.pop_front();
    return script(session);
}

bool ScriptedPrompts::EditSerialNumber(SnSetSession& session) {
    ++serialNumberAsked;
    while (!serialNumbers_.empty()) {
        std::optional<std::pair<uint32_t, uint32_t>> answer = serialNumbers_.front();
        serialNumbers_.pop_front();
        if (!answer) return false;
        SnSetSession typed = session;
        typed.value = answer->first;
        typed.address = answer->second;
        if (typed.Accept(*this)) {
            session = typed;
            return true;
        }
    }
    return false;
}

}  // namespace lumacrest
