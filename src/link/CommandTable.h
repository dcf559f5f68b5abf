// The command table of the programmer protocol: for every code its name, how long its
// payload is, how long the reply that answers it is, and how long the host waits for that
// reply. Every frame the host builds takes its length, its reply length and its time-out from
// here; nothing else in the program knows them.
#pragma once

#include <cstdint>
#include <optional>

#include "link/Frames.h"

namespace lumacrest {

// How a length follows from the frame.
enum class SizeRule : uint8_t {
    Fixed,     // `bytes`
    PagePlus,  // the page the frame carries (or asks for) + `bytes`
    Echo,      // reply only: the command's own payload echoed, + 6
    NotSent,   // the host never sends this code; the box sends it on its own
};

struct CommandSpec {
    uint8_t code;
    const char* name;
    SizeRule payloadRule;
    uint32_t payloadBytes;
    SizeRule replyRule;     // the whole reply frame, header and sum included
    uint32_t replyBytes;
    uint32_t timeoutMs;
    uint32_t firstTimeoutMs;  // the first block of a transfer; 0: `timeoutMs` for every frame
};

// A command ready to go: its code and payload length (the payload is in the shared frame),
// the time it is given for its reply and the length of the whole reply that answers it.
struct Outgoing {
    uint8_t code = 0;
    uint32_t length = 0;
    uint32_t timeoutMs = 0;
    uint32_t replyLength = 0;
};

// The entry of `code`; nothing for a code the protocol does not have.
const CommandSpec* FindCommand(uint8_t code);
// The entry of a code the program uses (a code missing from the table is a program fault).
const CommandSpec& Command(uint8_t code);

// The payload length of a `code` frame that carries (or asks for) a page of `pageSize` bytes.
uint32_t PayloadLength(uint8_t code, uint32_t pageSize = 0);
// The whole reply that answers a `code` frame of `payloadLength` bytes about a page of
// `pageSize` bytes.
uint32_t ReplyLength(uint8_t code, uint32_t pageSize = 0, uint32_t payloadLength = 0);
// The time a `code` frame is given for its reply; `first` for the first block of a transfer.
uint32_t ReplyTimeoutMs(uint8_t code, bool first = false);
// All of the above for one frame.
Outgoing OutgoingFor(uint8_t code, uint32_t pageSize = 0, bool first = false);
// The largest page a `code` frame carries within the payload area.
uint32_t LargestPage(uint8_t code);

}  // namespace lumacrest
