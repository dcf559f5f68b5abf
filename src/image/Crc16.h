// CRC-16/X-25: reflected 0x1021 (0x8408), initial 0xFFFF, final complement.
#pragma once

#include <cstdint>

namespace lumacrest {

// A count of 0 or less gives 0x0000. "123456789" gives 0x906E.
uint16_t Crc16(const uint8_t* data, int32_t count);

}  // namespace lumacrest
