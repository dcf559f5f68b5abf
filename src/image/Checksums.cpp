#include "image/Checksums.h"

#include <algorithm>
#include <cstdio>

#include "image/Crc16.h"
#include "platform/Text.h"

namespace lumacrest {

uint8_t HexPairValue(char high, char low) {
    // A character that is no digit counts as 0.
    return static_cast<uint8_t>(std::max(HexDigitValue(high), 0) * 16 +
                                std::max(HexDigitValue(low), 0));
}

std::string FormatChecksum(uint32_t value) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%04x", value & 0xFFFFu);
    return text;
}

uint32_t FlashChecksum(const Target& target) {
    const uint32_t size = std::min<uint32_t>(target.dev.FlashSize, kFlashBufferSize);
    return Crc16(target.buf().flash.data(), static_cast<int32_t>(size)) & 0xFFFFu;
}

uint32_t BootChecksum(const Target& target) {
    const uint32_t size = std::min<uint32_t>(target.dev.BootSize, kBootBufferSize);
    return Crc16(target.buf().boot.data(), static_cast<int32_t>(size)) & 0xFFFFu;
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
