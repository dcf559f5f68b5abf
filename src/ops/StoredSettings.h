// The stored-settings report the programmer sends: device type, flash geometry and the
// program options, with a CRC.
#pragma once

#include <cstdint>

#include "ops/Ops.h"

namespace lumacrest {

inline constexpr uint32_t kSettingsReportLength = 65;

void OnStoredSettingsReport(Ops& ops, const ReplyFrame& reply);  // 0x09

}  // namespace lumacrest
