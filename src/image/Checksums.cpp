#include "image/Checksums.h"

#include <algorithm>
#include <cstdio>

#include "link/Crc16.h"

namespace lumacrest {

namespace {
int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return 0;
}
}  // namespace

uint8_t HexPairValue(char high, char low) {
    return static_cast<uint8_t>(HexDigit(high) * 16 + HexDigit(low));
}

std::string FormatChecksum(uint32_t value) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%04x", value & 0xFFFFu);
    return text;
}

void ShowChecksums(Host& h) {
    ImageBuffers& b = h.target.buf();
    const uint32_t flashSize = std::min<uint32_t>(h.target.dev.FlashSize, kFlashBufferSize);
    std::copy_n(b.flash.begin(), flashSize, b.flashReadBack.begin());
    h.target.BufferChecksum = Crc16(b.flashReadBack.data(), static_cast<int32_t>(flashSize)) & 0xFFFFu;
    h.ui.AppendLog("Flash Buffer Check Sum: ");
    h.ui.AppendLogRaw(FormatChecksum(h.target.BufferChecksum));

    const uint32_t bootSize = std::min<uint32_t>(h.target.dev.BootSize, kBootBufferSize);
    std::copy_n(b.boot.begin(), bootSize, b.bootReadBack.begin());
    h.target.BufferChecksum = Crc16(b.bootReadBack.data(), static_cast<int32_t>(bootSize)) & 0xFFFFu;
    h.ui.AppendLog("Boot  Buffer Check Sum: ");
    h.ui.AppendLogRaw(FormatChecksum(h.target.BufferChecksum));
}

}  // namespace lumacrest
