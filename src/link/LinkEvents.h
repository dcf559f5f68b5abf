// What the link reports to the operations: verified frames and expired reply timers. The
// operations set both; the link decides nothing about what a frame means.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "link/Frames.h"

namespace lumacrest {

// What a verified frame is to the command outstanding.
enum class FrameRole : uint8_t {
    Answer,  // the first whole answer to the outstanding command
    Repeat,  // the code of a command whose answer was taken already, and not the one awaited:
             // the box answered it twice
    Other,   // anything else (a frame of the box's own, a stray)
};

struct LinkEvents {
    // A verified frame and what it is. Returns whether the frame was taken; a frame nobody
    // takes is dropped.
    std::function<bool(const ReplyFrame& frame, FrameRole role)> frame;
    // The reply to the command `code` did not come in time.
    std::function<void(uint8_t code)> replyTimedOut;
    // The port went away while `code` was the last command (kNoCommand: none outstanding).
    std::function<void(uint8_t code, const std::string& why)> portLost;
    // A timer other than the reply timer expired.
    std::function<void(int timerId)> timer;
};

}  // namespace lumacrest
