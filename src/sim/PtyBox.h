// A simulated programmer box behind a pseudo-terminal. The terminal side is linked at a
// chosen path so that Ports.dat can name it. The box can be paced like a real serial line:
// a frame is answered only after the time its bytes and the reply's bytes take on the wire.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

#include "sim/ProgrammerBox.h"

namespace lumacrest::sim {

class PtyBox {
  public:
    using Clock = std::chrono::steady_clock;

    // Opens the pseudo-terminal and links its terminal side at `link`. Check ok() after.
    PtyBox(ProgrammerBox& box, const std::string& link, uint32_t baud = 0);
    ~PtyBox();
    PtyBox(const PtyBox&) = delete;
    PtyBox& operator=(const PtyBox&) = delete;

    bool ok() const { return error_.empty(); }
    const std::string& error() const { return error_; }
    const std::string& terminalPath() const { return slavePath_; }

    // Waits up to `timeoutMs` for bytes from the host and answers them. False when the
    // terminal failed.
    bool Step(int timeoutMs);

    // Wire time of `bytes` at the pacing rate (10 bits a byte); zero without pacing.
    Clock::duration WireTime(std::size_t bytes) const;

    // What went over the line, both directions, and the host's turnaround: the time from a
    // reply written to the first byte of the next frame read.
    std::size_t bytesIn = 0;
    std::size_t bytesOut = 0;
    std::vector<Clock::duration> turnarounds;
    // The byte rate the line kept: every byte in and out over the time the box spent between
    // reading a frame and writing its answer (host turnarounds and planned pauses left out).
    double KeptByteRate() const;
    // One line for the log: the bytes, the rate kept and the line's own rate.
    std::string RateLine() const;

  private:
    ProgrammerBox& box_;
    std::string link_;
    uint32_t baud_;
    std::string error_;
    std::string slavePath_;
    int master_ = -1;
    int slave_ = -1;
    bool answered_ = false;
    Clock::time_point lastReplyAt_{};
    bool scheduled_ = false;
    Clock::time_point due_{};       // when the last answer was due on the line's schedule
    Clock::duration keptBusy_{};
    std::vector<uint8_t> buffer_ = std::vector<uint8_t>(4096);
};

}  // namespace lumacrest::sim
