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

BufferChecksums ComputeChecksums(Target& target) {
    ImageBuffers& b = target.buf();
    BufferChecksums sums;
    const uint32_t flashSize = std::min<uint32_t>(target.dev.FlashSize, kFlashBufferSize);
    std::copy_n(b.flash.begin(), flashSize, b.flashReadBack.begin());
    sums.flash = Crc16(b.flashReadBack.data(), static_cast<int32_t>(flashSize)) & 0xFFFFu;
    const uint32_t bootSize = std::min<uint32_t>(target.dev.BootSize, kBootBufferSize);
    std::copy_n(b.boot.begin(), bootSize, b.bootReadBack.begin());
    sums.boot = Crc16(b.bootReadBack.data(), static_cast<int32_t>(bootSize)) & 0xFFFFu;
    target.BufferChecksum = sums.boot;
    return sums;
}

}  // namespace lumacrest
