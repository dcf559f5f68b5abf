// The reply engine: every verified frame the engine acts on goes to HandleReply, which
// dispatches on the frame's code.
#pragma once

#include <cstdint>

#include "app/Host.h"

namespace lumacrest {

using ReplyHandler = void (*)(Host&, const ReplyFrame&);

// The handler of frames with `code`, or nullptr when the engine has no row for it.
ReplyHandler ReplyRowFor(uint8_t code);

// Frames the programmer sends on its own (not as the answer to the last command).
bool IsProgrammerInitiated(uint8_t code);

// Whether the engine acts on a verified frame now: it has a row for the code, and the frame
// is the first answer to the outstanding command (its code is lastCode) or one the programmer
// sends on its own. While a scan waits only an identify reply counts. Everything else is dropped
// and the reply timer keeps running.
bool EngineActsOn(const Host& h, const ReplyFrame& reply);

// Dispatches a frame to its row; frames without a row are ignored.
void HandleReply(Host& h, const ReplyFrame& reply);

// The idle state of the window's controls.
void Idle(Host& h);

// A failed chip of an Update run with Program SN gets its serial number issued again.
void Rollback(Host& h);

}  // namespace lumacrest
