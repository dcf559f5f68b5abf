// The MCU catalogue, the device parameter files ("<MCU name>.cfg" in the program
// directory) and the one routine that sets the page geometry.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "app/Host.h"

namespace lumacrest {

// Sets the current DeviceType from a name (0 when the name is not in the catalogue).
void DeviceTypeFromName(Host& h, const std::string& name);
// Sets the current MCU name from a type (empty outside 0..20).
void DeviceNameFromType(Host& h, int32_t type);

// Why a geometry cannot be used, or nothing when it can.
std::optional<std::string> CheckPageGeometry(uint32_t flashPageSize, uint32_t flashPageCount,
                                             uint32_t bootPageSize, uint32_t bootPageCount);

// The only way the page geometry changes. A geometry the buffers cannot hold is refused
// with a message box and the old values stay. On success FlashSize and BootSize are
// recomputed and the pages to write are limited to the new page counts.
bool SetPageGeometry(Host& h, uint32_t flashPageSize, uint32_t flashPageCount,
                     uint32_t bootPageSize, uint32_t bootPageCount);

// Reads "<name>.cfg" and applies it. False (nothing changed) when the file cannot be
// opened, is incomplete or breaks the buffer limits; the operator is told why.
bool LoadDeviceParams(Host& h, const std::string& name);

// Clears the reserved flash window (0xD000 bytes from 0x10000) of the parts that have one.
void ClearReservedFlashWindow(Host& h);

// "Program Boot" follows BootAreaEnabled: enabled when nonzero, else disabled and cleared.
void ApplyBootAreaEnabled(Host& h);

}  // namespace lumacrest
