#include "platform/DialogSessions.h"

#include <algorithm>

#include "platform/AtomicFile.h"
#include "platform/Prompts.h"
#include "platform/Text.h"

namespace lumacrest {

namespace {
constexpr const char* kEndAboveStart = "******End address must be high than start address******   ";

std::string EndTooHigh(uint32_t length) {
    return "******End address must be less than " + std::to_string(length) + " ******   ";
}
std::string StartTooHigh(uint32_t length) {
    return "******Start address must be less than " + std::to_string(length) + " ******   ";
}

}  // namespace

void BufferEditSession::Preset(uint32_t rangeEnd) {
    saveStart = fillStart = fillValue = addValue = 0;
    saveEnd = fillEnd = rangeEnd;
}

std::string SesPath(const std::string& chosen) {
    if (EndsWith(chosen, ".ses") || EndsWith(chosen, ".SES")) return chosen;
    return chosen + ".ses";
}

bool BufferEditSession::Save(Prompts& prompts) {
    if (saveEnd > length) {
        prompts.MessageBox(EndTooHigh(length), MsgIcon::Error);
        return false;
    }
    if (saveStart > length) {
        prompts.MessageBox(StartTooHigh(length), MsgIcon::Error);
        return false;
    }
    if (saveEnd < saveStart) {
        prompts.MessageBox(kEndAboveStart, MsgIcon::Error);
        return false;
    }
    std::optional<std::string> chosen = prompts.SaveFile(kSesFilter);
    if (!chosen) return false;
    const std::string content(work.begin() + saveStart, work.begin() + saveEnd);
    if (!WriteFileAtomically(SesPath(*chosen), content)) {
        prompts.MessageBox("******File Save Failed******", MsgIcon::Error);
        return false;
    }
    return true;
}

bool BufferEditSession::Fill(Prompts& prompts) {
    if (fillValue > 255) {
        prompts.MessageBox("****** Fill Value Must be 0 to 255 ******   ", MsgIcon::Error);
        return false;
    }
    if (fillEnd > length) {
        prompts.MessageBox(EndTooHigh(length), MsgIcon::Error);
        return false;
    }
    if (fillEnd < fillStart) {
        prompts.MessageBox(kEndAboveStart, MsgIcon::Error);
        return false;
    }
    // A fill end equal to the length reaches the byte after the edited data; that byte is
    // not shown nor copied back, and the fill never runs past the working copy.
    const uint32_t last = std::min<uint32_t>(fillEnd, kWorkingCopySize - 1);
    std::fill(work.begin() + fillStart, work.begin() + last + 1, static_cast<uint8_t>(fillValue));
    return true;
}

std::optional<std::string> SnSetSession::Problem() const {
    if (address > flashSize) return "******Address is too long than Flash size******   ";
    if (value >= 0xFFFFFFFDu) return "****** Init Value Must be 0 to 0xFFFFFFFC ******   ";
    return std::nullopt;
}

bool SnSetSession::Accept(Prompts& prompts) const {
    if (const std::optional<std::string> problem = Problem()) {
        prompts.MessageBox(*problem, MsgIcon::Error);
        return false;
    }
    return true;
}

std::string FlashTooLargeMessage(uint32_t flashSize) {
    return "******Flash size " + std::to_string(flashSize) +
           " is too large for the buffer editor (at most " + std::to_string(kWorkingCopySize) +
           " bytes)******   ";
}

}  // namespace lumacrest
