// The buffer checksums shown after every change of an image, and the lenient two-digit hex
// helper (the record readers check their digits themselves and refuse a non-digit).
#pragma once

#include <cstdint>
#include <string>

#include "app/Host.h"

namespace lumacrest {

// Two hex digit characters to a byte. '0'-'9', 'A'-'F' and 'a'-'f' are digits; another
// character counts as 0 in either position.
uint8_t HexPairValue(char high, char low);

// "0x" and four lower-case digits.
std::string FormatChecksum(uint32_t value);

// Logs "Flash Buffer Check Sum: 0x...." and "Boot  Buffer Check Sum: 0x....". The used
// ranges are copied into the read-back buffers on the way.
void ShowChecksums(Host& h);

}  // namespace lumacrest
