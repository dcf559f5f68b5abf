// The serial link: building and sending command frames, receiving and checking replies,
// the reply timer, and opening and closing the port. What a frame or a missing reply means
// is the operations' business: the link hands both to the LinkEvents they set.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "app/Host.h"

namespace lumacrest {

inline constexpr const char* kPortsFileName = "Ports.dat";
// The smallest frame: header and sum, no payload.
inline constexpr std::size_t kMinFrameSize = 6;

// The bytes of `frame` on the wire: 0x7E, address, code, length high and low (the low 16 bits
// of `length`), the payload, and the 8-bit sum of everything after the start byte.
std::vector<uint8_t> BuildFrameBytes(const CommandFrame& frame);

enum class SendResult : uint8_t {
    Sent,
    TooLong,  // the frame exceeds the payload area: nothing was sent, nothing changed
    Lost,     // the line failed: the operations have been told the port was lost
};

// Sends `frame` and starts the reply timer. `replyLength` is the whole reply that answers it
// (payload + 6): a shorter frame with the command's code is no answer.
SendResult SendCommand(Host& h, const CommandFrame& frame, uint32_t timeoutMs,
                       uint32_t replyLength);

// The port's receive notification. Reads every buffered byte and gathers frames (a frame may
// come in several reads, several frames in one). Each frame with a good start byte, length
// and sum goes to the operations: the answer to the outstanding command stops the reply timer
// when they take it. Returns true when they took a frame.
bool OnCommEvent(Host& h);

// A timer expired. A reply already buffered wins over its time-out; otherwise the command is
// given up (nothing outstanding, the receive gate closed) and the operations are told.
// Timers the link does not own go to the operations.
void OnTimer(Host& h, int timerId);

// The open port went away: like a time-out, nothing is outstanding any more, and the
// operations are told once.
void OnPortLost(Host& h, const std::string& why);

// Stops the reply timer: nothing is outstanding any more.
void StopReplyTimer(Host& h);
bool ReplyTimerRunning(const Host& h);

// "USB" gives 0, "COM1" to "COM16" give 1 to 16 (whole names only), anything else 20.
uint8_t ComNameToPort(const std::string& name);

// The device that "COM<n>" stands for, from Ports.dat in the program directory (lines
// "COMn DEVICE"); nothing when the file or the line is missing.
std::optional<std::string> PortDevice(const Host& h, unsigned portNumber);

// The COMn whose Ports.dat line names `device` (the same file, also through links); nothing
// when no line does.
std::optional<unsigned> PortNamingDevice(const Host& h, const std::string& device);

// Probes "COM<n>" and opens it at the line settings, asking for low latency; why not when it
// cannot be used (a port name without a device in Ports.dat is missing).
PortStatus OpenPort(Host& h, uint8_t portNumber);

// Closes the port if it is open and forgets any partly received reply.
void ClosePort(Host& h);

// Connects the port's receive notification and the timers to this host.
void AttachLink(Host& h);

}  // namespace lumacrest
