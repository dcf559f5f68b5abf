// Choosing the device: the MCU list, the device parameter files and the page geometry, with
// the messages the operator is shown when one cannot be used.
#pragma once

#include <cstdint>
#include <string>

#include "host/Host.h"

namespace lumacrest {

// Sets the page geometry (SetPageGeometry); a geometry the buffers cannot hold is refused with
// a message box and the old values stay. True when it was set.
bool ApplyPageGeometry(Host& h, uint32_t flashPageSize, uint32_t flashPageCount,
                       uint32_t bootPageSize, uint32_t bootPageCount);

// Reads "<name>.cfg" and applies it, logging its adapter text. False (nothing changed) when
// the file cannot be opened, is incomplete or breaks the buffer limits; the operator is told
// why.
[[nodiscard]] bool LoadDeviceParams(Host& h, const std::string& name);

// "Program Boot" follows BootAreaEnabled: enabled when nonzero, else disabled and cleared.
void ApplyBootAreaEnabled(Host& h);

// A new entry of the MCU list: load its device parameter file, or keep the device in force.
// True when the new device is in force.
[[nodiscard]] bool OnSelchangeMcu(Host& h);

}  // namespace lumacrest
