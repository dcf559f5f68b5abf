// The serial link: building and sending command frames, receiving and checking replies,
// the reply timer, and opening and closing the port. What a frame or a missing reply means
// is the operations' business: the link hands both to the LinkEvents they set.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "link/CommandTable.h"
#include "link/Frames.h"
#include "link/LinkEvents.h"
#include "link/Ports.h"
#include "platform/SerialPort.h"
#include "platform/Timers.h"

namespace lumacrest {

// The bytes of `frame` on the wire: 0x7E, address, code, length high and low (the low 16 bits
// of `length`), the payload, and the 8-bit sum of everything after the start byte.
std::vector<uint8_t> BuildFrameBytes(const CommandFrame& frame);

enum class SendResult : uint8_t {
    Sent,
    TooLong,  // the frame exceeds the payload area: nothing was sent, nothing changed
    Lost,     // the line failed: the operations have been told the port was lost
};

class Link {
public:
    explicit Link(const PortMap& ports) : ports_(ports) {}

    // The port and the timers the link works through; their notifications come here.
    void Attach(SerialPort& port, Timers& timers);
    bool Attached() const { return port_ != nullptr; }
    LinkEvents events;

    // Probes "COM<n>" and opens it at the line settings, asking for low latency; why not when
    // it cannot be used (a port name without a device in Ports.dat is missing).
    PortStatus Open(uint8_t portNumber);
    // Closes the port if it is open and forgets any partly received reply.
    void Close();
    bool IsOpen() const;

    // The one record of the next command: senders fill the payload bytes they need, the rest
    // keeps what earlier commands left.
    CommandFrame& Frame() { return frame_; }
    const CommandFrame& Frame() const { return frame_; }
    // Sends Frame() with the code and length of `out` (address 0xFF) and starts the reply
    // timer with its time-out. Its reply length is the whole reply that answers it (payload
    // + 6): a shorter frame with the command's code is no answer.
    SendResult Send(const Outgoing& out);
    // Sends `frame` as it is.
    SendResult SendCommand(const CommandFrame& frame, uint32_t timeoutMs, uint32_t replyLength);

    // Nothing outstanding any more: the reply timer stops.
    void StopReplyTimer();
    bool ReplyTimerRunning() const { return replyTimerRunning_; }
    // The outstanding command gets `ms` more at most.
    void ShortenReplyWait(uint32_t ms);
    // The receive gate: set by every send, closed only by a reply time-out or a lost port.
    bool ReplyAwaited() const { return replyAwaited_; }
    // The time the last command sent was given for its reply.
    uint32_t ReplyWaitMs() const { return replyWaitMs_; }
    // The code of the last command built; kNoCommand after a time-out and a failed open.
    uint8_t LastCode() const { return lastCode_; }
    void ForgetLastCode() { lastCode_ = kNoCommand; }
    // The last verified frame.
    const ReplyFrame& Reply() const { return reply_; }
    // A new conversation: no answer taken so far counts for a repeat.
    void ForgetAnswers() { answeredCode_.reset(); }
    // Before a command goes out: among the bytes that wait (gathered or still in the driver),
    // which the send throws away, a whole frame with the code of the answer just taken is that
    // answer again, the box answering twice; its code, taken out of what waits. Thrown away
    // unseen, it would let the command about to go out be answered by the reply meant for it
    // while the box's real answer to the previous one was lost.
    std::optional<uint8_t> WaitingCopy();
    // How many frames have gone out since the program started.
    uint64_t FramesSent() const { return framesSent_; }
    // Bytes of a frame gathered so far.
    std::size_t Gathered() const { return rxCount_; }

    // The port's receive notification. Reads every buffered byte and gathers frames (a frame
    // may come in several reads, several frames in one). Each frame with a good start byte,
    // length and sum goes to the operations: the answer to the outstanding command stops the
    // reply timer when they take it. Returns true when they took a frame.
    bool OnReceive();
    // A timer expired. A reply already buffered wins over its time-out; otherwise the command
    // is given up and the operations are told. Timers the link does not own go to them.
    void OnTimer(int timerId);
    // The open port went away: like a time-out, nothing is outstanding any more, and the
    // operations are told once.
    void OnLost(const std::string& why);

private:
    enum class Take { Frame, NeedMore, Dropped };
    Take TakeFrame(std::size_t& frameSize, bool& sumOk);
    void DropFront(std::size_t count);
    // Where the next frame may start in what is gathered, after a start byte that was none.
    std::size_t NextFrameStart() const;
    uint8_t GiveUpCommand();

    const PortMap& ports_;
    SerialPort* port_ = nullptr;
    Timers* timers_ = nullptr;

    CommandFrame frame_;
    uint32_t replyWaitMs_ = 0;
    ReplyFrame reply_;
    uint8_t lastCode_ = 0x00;
    bool replyAwaited_ = false;
    bool answerPending_ = false;  // the last command's answer has not been taken yet
    std::optional<uint8_t> answeredCode_;  // the code of the last answer taken
    uint32_t answerLength_ = 0;   // the whole frame that answers it, at least
    bool replyTimerRunning_ = false;
    uint64_t framesSent_ = 0;
    bool lostReported_ = false;   // the loss of the open port has been told
    uint64_t opens_ = 0;          // ports opened so far
    std::array<uint8_t, kReceiveBufferSize> rx_{};
    std::size_t rxCount_ = 0;
};

}  // namespace lumacrest
