// What the link reports to the operations: verified frames and expired reply timers. The
// operations set both; the link decides nothing about what a frame means.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "link/Frames.h"

namespace lumacrest {

struct LinkEvents {
    // A verified frame. `answer` is true for the first whole answer to the outstanding command.
    // Returns whether the frame was taken; a frame nobody takes is dropped.
    std::function<bool(const ReplyFrame& frame, bool answer)> frame;
    // The reply to the command `code` did not come in time.
    std::function<void(uint8_t code)> replyTimedOut;
    // The port went away while `code` was the last command (kNoCommand: none outstanding).
    std::function<void(uint8_t code, const std::string& why)> portLost;
    // A timer other than the reply timer expired.
    std::function<void(int timerId)> timer;
};

}  // namespace lumacrest
