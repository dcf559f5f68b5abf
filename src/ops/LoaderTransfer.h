// The loader transfer: what Update does on a programmer whose firmware loader runs (kind 5).
// The KeyCode goes with the erase, the flash image page by page, and a done frame that gets no
// reply ends it; the programmer may then ask for sector sums.
#pragma once

#include <cstdint>

#include "ops/Ops.h"
#include "ops/Programmers.h"

namespace lumacrest {

// The kind a programmer reports while its firmware loader runs.
inline constexpr uint8_t kLoaderProgrammerKind = 5;

// Entered with the port open and the controls disabled.
void StartIapErase(Ops& ops);
void StartIapTransfer(Ops& ops);
void SendIapDone(Ops& ops);

void OnIapErased(Ops& ops, const ReplyFrame& reply);        // 0x42
void OnIapBlockWritten(Ops& ops, const ReplyFrame& reply);  // 0x41

}  // namespace lumacrest
