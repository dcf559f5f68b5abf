// The stored-settings report the programmer sends: device type, flash geometry and the
// program options, with a CRC.
#pragma once

#include <cstdint>

#include "ops/Codec.h"
#include "ops/Ops.h"

namespace lumacrest {

void OnStoredSettingsReport(Ops& ops, const ReplyFrame& reply);  // 0x09

}  // namespace lumacrest
