// The DataFlash download the programmer asks for: the flash and boot images page by page,
// numbered and with a CRC, each echoed back, then a reset of the programmer.
#pragma once

#include "ops/Ops.h"

namespace lumacrest {

void OnDataFlashBegin(Ops& ops, const ReplyFrame& reply);       // 0x06
void OnDataFlashFlashBlock(Ops& ops, const ReplyFrame& reply);  // 0x07
void OnDataFlashBootBlock(Ops& ops, const ReplyFrame& reply);   // 0x08

}  // namespace lumacrest
