#include "app/commands/BufferEditCommands.h"

#include <algorithm>

#include "platform/DialogSessions.h"

namespace lumacrest {

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
    h.view.WriteSeparator();
    const uint32_t size = h.target.dev.FlashSize;
    if (size > kWorkingCopySize) {
        h.view.Tell(FlashTooLargeMessage(size), MessageKind::Error);
        return;
    }
    const uint32_t length = size != 0 ? size : kSizelessEditLength;
    if (!EditImage(h, "Flash Buffer Edit", h.target.buf().flash.data(), size, length)) return;
    // The editor's OK fills the buffer as a load does; after a load it is an edit of it.
    h.target.loaded.flashEdited = h.target.loaded.flash;
    h.target.loaded.flash = true;
    ShowChecksums(h.view, h.target);
}

void EditBootBuffer(Host& h) {
    h.view.WriteSeparator();
    // The device catalogue keeps the boot area within the boot buffer.
    const uint32_t size = std::min<uint32_t>(h.target.dev.BootSize, kBootBufferSize);
    const uint32_t length = size != 0 ? size : kSizelessEditLength;
    if (!EditImage(h, "Boot Buffer Edit", h.target.buf().boot.data(), size, length)) return;
    h.target.loaded.bootEdited = h.target.loaded.boot;
    h.target.loaded.boot = true;
    ShowChecksums(h.view, h.target);
}

void EditKeyCode(Host& h) {
    h.view.WriteSeparator();
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
