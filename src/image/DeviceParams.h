// Per-device parameters of the target MCU, and the catalogue of MCU names.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace lumacrest {

inline constexpr std::size_t kMaxSectors = 19;

struct DeviceParams {
    uint8_t DeviceByte1 = 1;
    uint8_t DeviceByte2 = 16;
    uint32_t FlashPageSize = 256;
    uint32_t FlashPageCount = 256;
    uint32_t BootPageSize = 256;
    uint32_t BootPageCount = 16;
    uint8_t DeviceByte3 = 3;
    uint8_t BootAreaEnabled = 1;
    std::vector<uint32_t> SectorSizes;  // at most kMaxSectors
    std::string AdapterText = "Adapter: ZK9_QFP64_001";

    // Derived: page size x page count
    uint32_t FlashSize = 0;
    uint32_t BootSize = 0;
};

inline constexpr int kDeviceCount = 21;
extern const std::array<const char*, kDeviceCount> kDeviceCatalogue;

// Index of the catalogue entry equal to `name` (exact, case-sensitive); 0 when none is.
int32_t DeviceIndexOfName(const std::string& name);
// Catalogue name of `type`; empty outside 0..20.
std::string DeviceNameOfIndex(int32_t type);

}  // namespace lumacrest
