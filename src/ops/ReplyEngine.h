// The reply engine: what the link hands over goes to a row by its code. Answers to the
// outstanding command always do; a frame the box sends on its own only when no run would be
// disturbed by it. A reply that does not come ends the run at its stage.
#pragma once

#include <cstdint>
#include <string>

#include "ops/Ops.h"

namespace lumacrest {

using ReplyHandler = void (*)(Ops&, const ReplyFrame&);

// The handler of frames with `code`, or nullptr when the engine has no row for it.
ReplyHandler ReplyRowFor(uint8_t code);

// Whether a frame with `code` that answers nothing is taken now: the DataFlash download and the
// stored settings while no run is under way or in place of the identify reply, a sector-sum
// request also after the loader's done frame.
bool TakesFrameFromTheBox(const Ops& ops, uint8_t code);

// A verified frame from the link; true when a row took it.
bool HandleFrame(Ops& ops, const ReplyFrame& reply, FrameRole role);

// The box answered a command of the run twice: whatever it answers from now on may belong to
// the command before, so the run fails at its stage at once (a device run leaves program mode
// with the fail result). False when no run is under way: the frame is dropped.
bool FailOnRepeatedAnswer(Ops& ops, const ReplyFrame& reply);
// A copy of the answer just taken found waiting as the next frame goes out (Link::WaitingCopy)
// fails the run as a repeat read later does; false when it stops nothing (a frame the box
// sends on its own, no run).
bool FailOnWaitingCopy(Ops& ops, uint8_t code);

// A frame the box sent on its own while a run awaits a reply and that the run cannot take:
// kept for the end of the run (a settings report, a request for a conversation of its own).
// True when it was kept.
bool HoldUntilRunEnds(Ops& ops, const ReplyFrame& reply);

// A run has ended: the requests the box made during it are refused with a line each, and the
// settings report it sent is applied now, as a run of its own.
void AfterRunEnded(Ops& ops);

// Dispatches a frame to its row; frames without a row are ignored.
void HandleReply(Ops& ops, const ReplyFrame& reply);

// The reply to `code` did not come in time.
void OnReplyTimeout(Ops& ops, uint8_t code);

// The port went away under the run while `code` was outstanding: the run ends as on a
// time-out, and a message names the port.
void OnPortLost(Ops& ops, uint8_t code, const std::string& why);

// Connects the link's reports to the engine.
void AttachEngine(Ops& ops);

}  // namespace lumacrest
