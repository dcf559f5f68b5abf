// The serial link: building and sending command frames, receiving and checking replies,
// the reply timer, and opening and closing the port.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "app/Host.h"

namespace lumacrest {

inline constexpr const char* kPortsFileName = "Ports.dat";
inline constexpr const char* kCannotFindProgrammer = "Can Not Find Programmer  ";

// The bytes of `frame` on the wire: 0x7E, address, code, length high and low (the low 16 bits
// of `length`), the payload, and the 8-bit sum of everything after the start byte.
std::vector<uint8_t> BuildFrameBytes(const CommandFrame& frame);

// Sends `frame` and starts the reply timer. `replyLength` is the whole expected reply
// (payload + 6); the port notifies once that many bytes are buffered. A frame whose length
// exceeds the payload area is refused with a message box, nothing is sent and the operation
// ends (port closed, controls idle); false then.
bool SendCommand(Host& h, const CommandFrame& frame, uint32_t timeoutMs, uint32_t replyLength);

// The port's receive notification. Reads every buffered byte, gathers the reply (it may come
// in several pieces while its timer runs), checks start byte, length and sum, and hands an
// accepted frame to the reply engine. Returns true when the engine acted on a frame.
bool OnCommEvent(Host& h);

// A timer of the main window expired. Timer 100 is the reply time-out.
void OnTimer(Host& h, int timerId);

// "USB" gives 0, "COM1" to "COM16" give 1 to 16 (whole names only), anything else 20.
uint8_t ComNameToPort(const std::string& name);

// The device that "COM<n>" stands for, from Ports.dat in the program directory (lines
// "COMn DEVICE"); nothing when the file or the line is missing.
std::optional<std::string> PortDevice(const Host& h, unsigned portNumber);

// Closes the port if it is open and forgets any partly received reply.
void ClosePort(Host& h);

// Probes "COM<n>" and opens it at the line settings. On failure logs why (Can Not Find
// Programmer), leaves only the COM list enabled (or, in the middle of a run, ends the run as
// a time-out does) and returns false.
bool ConnectPort(Host& h, uint8_t portNumber);

// Connects the port's receive notification and the timers to this host.
void AttachLink(Host& h);

}  // namespace lumacrest
