// A terminal device as the link's serial line on Linux, on the system's own calls: opened
// read-write without becoming the controlling terminal and without blocking, locked, taken for
// exclusive use and set raw at the fixed line settings, every setting read back. No lock file
// is written anywhere: the lock is the device's own (flock), as other serial tools take it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/SerialPort.h"

namespace lumacrest {

// What a failed call on `device` means for the operator, from the system's error number.
PortStatus PortStatusFromErrno(int error);

// Opens `device` read-write, not as controlling terminal, not blocking, closed on exec, sees
// that it is a terminal and takes the exclusive lock that tells other programs (and our own
// probe) it is in use. On success `fd` is the open descriptor, else -1 and nothing is open.
PortStatus OpenTerminal(const std::string& device, int& fd);

// Exclusive mode: while `fd` is open no other program (but root) can open the device.
PortStatus TakeExclusive(int fd);

// Leaves exclusive mode and closes `fd`. Exclusive mode belongs to the terminal, not to the
// descriptor: left on, it would outlive the close while another descriptor keeps the terminal
// open (the program behind a pseudo-terminal does) and refuse every later open but root's.
void CloseTerminal(int fd);

// The link's line on `fd`: 115200 baud, 8 data bits, no parity, 1 stop bit, no flow control,
// raw bytes both ways, the receiver on and the modem lines ignored; a read takes what is there.
// Each setting is read back from the driver, which may take some and leave others: the first
// one that did not hold is named ("the line could not be set to 8 data bits (...)").
PortStatus SetLine(int fd);

// How a read or a write on the line went.
enum class LineIo : uint8_t {
    Done,   // everything there was (a read) or everything given (a write) went
    Again,  // a write the driver had no room for now; `done` tells how much went
    Gone,   // the device went away (unplugged, the program behind a pseudo-terminal ended)
    Failed, // any other error of the line
};

// Appends every byte the driver holds for `fd` to `into`, without waiting.
[[nodiscard]] LineIo ReadAvailable(int fd, std::vector<uint8_t>& into);

// Writes as much of `data` as the driver takes now, without waiting; `done` is how much.
[[nodiscard]] LineIo WriteSome(int fd, const uint8_t* data, std::size_t size, std::size_t& done);

// The bytes the driver holds for `fd` that were not read yet (0 when it cannot tell).
std::size_t QueuedInput(int fd);

// Throws away what the driver holds for `fd`, asking it only when it holds something.
void DiscardQueuedInput(int fd);

}  // namespace lumacrest
