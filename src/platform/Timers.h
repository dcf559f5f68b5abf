// Timers and waiting, as the link and the engine use them. The Qt adapter runs on the event
// loop; the test adapter runs on a virtual clock, so time-outs are tested without sleeping.
#pragma once

#include <cstdint>
#include <functional>

namespace lumacrest {

inline constexpr int kReplyTimerId = 100;

class Timers {
public:
    virtual ~Timers() = default;

    // Starts (or restarts with the new period) the one-shot timer `timerId`.
    virtual void Start(int timerId, uint32_t periodMs) = 0;
    virtual void Stop(int timerId) = 0;

    // Lets pending events (port notifications, timers, window input) run, waiting without
    // spinning until at least one has run. Used by the port scan while it waits.
    virtual void PumpEvents() = 0;

    // Milliseconds on a clock that only moves forward (what a run's length is measured on).
    virtual uint64_t NowMs() const = 0;

    // Set by the host; called on the UI thread when a timer expires.
    std::function<void(int timerId)> onTimer;
};

}  // namespace lumacrest
