// Update on a programmer that runs its firmware loader (programmer kind 5): the flash image
// is streamed to the loader instead of the device operation sequence.
#pragma once

#include "app/Host.h"

namespace lumacrest {

inline constexpr uint8_t kLoaderProgrammerKind = 5;

// Entered from Update with the port open and the controls disabled.
void RunIapTransfer(Host& h);

}  // namespace lumacrest
