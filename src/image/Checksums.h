// The buffer checksums shown after every change of an image, and the lenient two-digit hex
// helper (the record readers check their digits themselves and refuse a non-digit).
#pragma once

#include <cstdint>
#include <string>

#include "image/Target.h"

namespace lumacrest {

// Two hex digit characters to a byte. '0'-'9', 'A'-'F' and 'a'-'f' are digits; another
// character counts as 0 in either position.
uint8_t HexPairValue(char high, char low);

// "0x" and four lower-case digits.
std::string FormatChecksum(uint32_t value);

struct BufferChecksums {
    uint32_t flash = 0;
    uint32_t boot = 0;
};

// The CRC-16 of the used range of the flash buffer and of the boot buffer, as they stand.
uint32_t FlashChecksum(const Target& target);
uint32_t BootChecksum(const Target& target);

// The CRC-16 of the used range of the flash and of the boot buffer. The used ranges are
// copied into the read-back buffers on the way; the boot checksum is the one remembered.
BufferChecksums ComputeChecksums(Target& target);

}  // namespace lumacrest
