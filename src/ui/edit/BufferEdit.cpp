#include "ui/edit/BufferEdit.h"

#include <algorithm>

#include "app/Host.h"
#include "image/Checksums.h"
#include "platform/AtomicFile.h"
#include "platform/Prompts.h"
#include "ui/main/ResourceIds.h"

namespace lumacrest {

namespace {
constexpr const char* kEndAboveStart = "******End address must be high than start address******   ";

std::string EndTooHigh(uint32_t length) {
    return "******End address must be less than " + std::to_string(length) + " ******   ";
}
std::string StartTooHigh(uint32_t length) {
    return "******Start address must be less than " + std::to_string(length) + " ******   ";
}

bool EndsWith(const std::string& s, const std::string& tail) {
    return s.size() >= tail.size() && s.compare(s.size() - tail.size(), tail.size(), tail) == 0;
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

bool SnSetSession::Accept(Prompts& prompts) const {
    if (address > flashSize) {
        prompts.MessageBox("******Address is too long than Flash size******   ", MsgIcon::Error);
        return false;
    }
    if (value >= 0xFFFFFFFDu) {
        prompts.MessageBox("****** Init Value Must be 0 to 0xFFFFFFFC ******   ", MsgIcon::Error);
        return false;
    }
    return true;
}

std::string FlashTooLargeMessage(uint32_t flashSize) {
    return "******Flash size " + std::to_string(flashSize) +
           " is too large for the buffer editor (at most " + std::to_string(kWorkingCopySize) +
           " bytes)******   ";
}

namespace {
// Opens the editor on the first `size` bytes of `image` (0xFF beyond them); on OK the first
// `size` bytes come back. Returns whether OK was pressed.
bool EditImage(Host& h, const char* title, uint8_t* image, uint32_t size, uint32_t length) {
    BufferEditSession session;
    session.title = title;
    session.length = length;
    std::copy_n(image, size, session.work.begin());
    session.Preset(size);
    if (!h.prompts().EditBuffer(session)) return false;
    std::copy_n(session.work.begin(), size, image);
    return true;
}
}  // namespace

void EditFlashBuffer(Host& h) {
    h.ui.WriteSeparator();
    const uint32_t size = h.target.dev.FlashSize;
    if (size > kWorkingCopySize) {
        h.prompts().MessageBox(FlashTooLargeMessage(size), MsgIcon::Error);
        return;
    }
    const uint32_t length = size != 0 ? size : kSizelessEditLength;
    if (EditImage(h, "Flash Buffer Edit", h.target.buf().flash.data(), size, length)) ShowChecksums(h);
}

void EditBootBuffer(Host& h) {
    h.ui.WriteSeparator();
    // The device catalogue keeps the boot area within the boot buffer.
    const uint32_t size = std::min<uint32_t>(h.target.dev.BootSize, kBootBufferSize);
    const uint32_t length = size != 0 ? size : kSizelessEditLength;
    if (EditImage(h, "Boot Buffer Edit", h.target.buf().boot.data(), size, length)) ShowChecksums(h);
}

void EditKeyCode(Host& h) {
    h.ui.WriteSeparator();
    EditImage(h, "KeyCode Edit", h.target.buf().keyCode.data(), kKeyCodeLength, kKeyCodeLength);
}

void EditSerialNumber(Host& h) {
    SnSetSession session;
    session.value = h.sn.SnValue;
    session.address = h.sn.SnAddress;
    session.flashSize = h.target.dev.FlashSize;
    if (!h.prompts().EditSerialNumber(session)) return;
    h.sn.SnValue = session.value;
    h.sn.SnAddress = session.address;
}

}  // namespace lumacrest
