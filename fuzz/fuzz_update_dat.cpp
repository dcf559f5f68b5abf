// Arbitrary "update.dat" files through the reader of the programmer firmware rewrite: a file
// that is taken is a whole number of 256-byte blocks within the update buffer; a refused one
// leaves no length behind.
#include "FuzzSupport.h"
#include "ops/FirmwareRewrite.h"

using namespace lumacrest;

namespace {
using Fixture = fuzz::HostFixture;
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static Fixture f;
    fuzz::WriteFile(f.host.programDir + kUpdateFileDatName, data, size);
    const bool taken = LoadUpdateFile(f.host.ops);
    const uint32_t length = f.host.programmer.updateLength;
    if (taken && (length == 0 || length % kFirmwareBlockSize != 0 ||
                  length > f.host.programmer.updateBuffer.size() || length != size))
        std::abort();
    if (!taken && length != 0) std::abort();
    fuzz::Trim(f.host, f.prompts);
    return 0;
}
