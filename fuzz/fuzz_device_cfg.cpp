// Arbitrary device parameter files ("<MCU>.cfg"): a file that is taken leaves a geometry the
// buffers hold and at most 19 sectors; a refused one changes nothing.
#include "FuzzSupport.h"
#include "image/DeviceCatalogue.h"
#include "image/ImageBuffers.h"
#include "host/DeviceCommands.h"

using namespace lumacrest;

namespace {
using Fixture = fuzz::HostFixture;
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static Fixture f;
    fuzz::WriteFile(f.host.programDir + "MN101EF51A_IAP.cfg", data, size);
    SetPageGeometry(f.host.target, 256, 288, 256, 16);
    const fuzz::Snapshot before(f.host);
    const std::size_t sectorsBefore = f.host.target.dev.SectorSizes.size();
    const bool taken = LoadDeviceParams(f.host, "MN101EF51A_IAP");
    const DeviceParams& d = f.host.target.dev;
    if (d.FlashSize > kFlashBufferSize || d.BootSize > kBootBufferSize) std::abort();
    if (d.SectorSizes.size() > kMaxSectors) std::abort();
    if (!taken && (!before.Same(f.host) || d.SectorSizes.size() != sectorsBefore)) std::abort();
    fuzz::Trim(f.host, f.prompts);
    return 0;
}
