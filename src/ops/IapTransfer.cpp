#include "ops/IapTransfer.h"

#include "ops/ProgrammerMaintenance.h"

namespace lumacrest {

void RunIapTransfer(Host& h) {
    StartIapErase(h);
}

}  // namespace lumacrest
