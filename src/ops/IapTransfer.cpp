#include "ops/IapTransfer.h"

#include "link/Link.h"
#include "link/ReplyEngine.h"

namespace lumacrest {

// The loader transfer belongs to the programmer maintenance work and is not built yet. Until
// it is, the operator is told so and nothing is sent.
void RunIapTransfer(Host& h) {
    ClosePort(h);
    h.prompts().MessageBox("******Loader transfer is not available in this version******   ",
                           MsgIcon::Error);
    Idle(h);
}

}  // namespace lumacrest
