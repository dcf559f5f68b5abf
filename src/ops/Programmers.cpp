#include "ops/Programmers.h"

#include "ops/Discovery.h"
#include "ops/LoaderTransfer.h"

namespace lumacrest {

const ProgrammerPeer& PeerFor(uint8_t programmerKind) {
    return programmerKind == kLoaderProgrammerKind ? kLoaderPeer : kDevicePeer;
}

}  // namespace lumacrest
