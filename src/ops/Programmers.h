// Each kind of programmer as the host works with it, a record of what differs: what its
// identify reply says, and what the Update button does on it. The device programmer (kinds
// 1 and 2) runs the program options; the loader (kind 5) takes the flash image.
#pragma once

#include <cstdint>

#include "ops/Ops.h"

namespace lumacrest {

struct ProgrammerPeer {
    // Logs what the identify reply tells of the programmer and ends or goes on with the
    // identification.
    void (*identified)(Ops& ops, const ReplyFrame& reply);
    // The Update button, once the port is open and the controls are locked.
    void (*update)(Ops& ops);
};

// The device programmer (identification in Discovery, the program options in
// OperationCommands) and the loader (LoaderTransfer).
extern const ProgrammerPeer kDevicePeer;
extern const ProgrammerPeer kLoaderPeer;

// The peer of the kind the last identify reply gave (0 before any: a device programmer).
const ProgrammerPeer& PeerFor(uint8_t programmerKind);

}  // namespace lumacrest
