#include "ops/OperatorView.h"

#include "image/Checksums.h"

namespace lumacrest {

void ShowChecksums(OperatorView& view, Target& target) {
    const BufferChecksums sums = ComputeChecksums(target);
    view.AppendLog("Flash Buffer Check Sum: ");
    view.AppendLogRaw(FormatChecksum(sums.flash));
    view.AppendLog("Boot  Buffer Check Sum: ");
    view.AppendLogRaw(FormatChecksum(sums.boot));
}

}  // namespace lumacrest
