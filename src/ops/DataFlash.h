// The DataFlash download the programmer asks for: the flash and boot images page by page,
// numbered and with a CRC, each echoed back, then a reset of the programmer.
#pragma once

#include "app/Host.h"

namespace lumacrest {

void OnDataFlashBegin(Host& h, const ReplyFrame& reply);       // 0x06
void OnDataFlashFlashBlock(Host& h, const ReplyFrame& reply);  // 0x07
void OnDataFlashBootBlock(Host& h, const ReplyFrame& reply);   // 0x08

}  // namespace lumacrest
