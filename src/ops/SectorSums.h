// Sector sums: after a loader transfer the programmer asks, sector by sector of the device
// file's list, for the sum of the flash bytes the host sent.
#pragma once

#include "ops/Ops.h"

namespace lumacrest {

void OnSectorSumRequest(Ops& ops, const ReplyFrame& reply);  // 0x44

}  // namespace lumacrest
