// The serial number written into the image before each Update with Program SN. The number a
// chip gets is the one asked for here unless the station's ledger has issued it already.
#pragma once

#include <cstdint>

namespace lumacrest {

struct SerialNumber {
    uint32_t SnValue = 0;
    uint32_t SnAddress = 0;
    uint32_t SnWidth = 1;
    uint8_t SnLittleEndian = 1;
    uint32_t SnInBoot = 0;
    uint8_t SnAdvance = 1;
};

}  // namespace lumacrest
