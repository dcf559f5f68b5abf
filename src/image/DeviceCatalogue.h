// The MCU catalogue, the device parameter files ("<MCU name>.cfg" in the program
// directory) and the one routine that sets the page geometry.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "image/Target.h"

namespace lumacrest {

// Sets the DeviceType from a name (0 when the name is not in the catalogue).
void DeviceTypeFromName(Target& target, const std::string& name);
// Sets the MCU name from a type (empty outside 0..20).
void DeviceNameFromType(Target& target, int32_t type);

// Why a geometry cannot be used, or nothing when it can.
std::optional<std::string> CheckPageGeometry(uint32_t flashPageSize, uint32_t flashPageCount,
                                             uint32_t bootPageSize, uint32_t bootPageCount);

// The only way the page geometry changes. A geometry the buffers cannot hold is refused: false,
// the old values stay and `why` (when given) says why. On success FlashSize and BootSize are
// recomputed and the pages to write are limited to the new page counts.
bool SetPageGeometry(Target& target, uint32_t flashPageSize, uint32_t flashPageCount,
                     uint32_t bootPageSize, uint32_t bootPageCount, std::string* why = nullptr);

// What a device parameter file gives.
struct DeviceFile {
    uint8_t DeviceByte1 = 0, DeviceByte2 = 0, DeviceByte3 = 0, BootAreaEnabled = 0;
    uint32_t flashPageSize = 0, flashPageCount = 0, bootPageSize = 0, bootPageCount = 0;
    std::vector<uint32_t> SectorSizes;
    std::string AdapterText;
};

struct DeviceFileRead {
    std::optional<DeviceFile> file;
    bool opened = false;  // false: the file could not be opened
    std::string why;      // why an opened file is refused
};

// Reads "<programDir><name>.cfg"; refuses a file that is incomplete or lists too many
// sectors (its geometry is checked when it is applied).
DeviceFileRead ReadDeviceFile(const std::string& programDir, const std::string& name);

// Applies a device file: the geometry first (false, nothing changed, when it is refused;
// `why` says why), then the device bytes, the sectors and the adapter text.
bool ApplyDeviceFile(Target& target, const DeviceFile& file, std::string* why = nullptr);

// Clears the reserved flash window (0xD000 bytes from 0x10000) of the parts that have one.
void ClearReservedFlashWindow(Target& target);

}  // namespace lumacrest
