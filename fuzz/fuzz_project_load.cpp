// Feeds arbitrary files to the project loader: the header, the page geometry and the three
// HEX sections. A refused file changes nothing; a loaded one leaves a geometry that fits the
// buffers.
#include "FuzzSupport.h"
#include "image/DeviceCatalogue.h"
#include "image/ImageBuffers.h"
#include "image/ProjectFile.h"
#include "host/ProjectCommands.h"

using namespace lumacrest;

namespace {
using Fixture = fuzz::HostFixture;
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static Fixture f;
    const std::string path = fuzz::ScratchDir() + "job.Prjt";
    fuzz::WriteFile(path, data, size);

    SetPageGeometry(f.host.target, 256, 288, 256, 16);
    f.host.target.FlashFilePath = "flash.hex";
    const fuzz::Snapshot before(f.host);
    const bool loaded = LoadProjectFile(f.host, path);
    if (!loaded && !before.Same(f.host)) std::abort();
    const DeviceParams& d = f.host.target.dev;
    if (d.FlashSize > kFlashBufferSize || d.BootSize > kBootBufferSize) std::abort();
    if (f.host.target.FlashPagesToWrite > d.FlashPageCount) std::abort();
    if (loaded && !f.host.target.FlashFilePath.empty()) std::abort();
    std::remove(path.c_str());
    fuzz::Trim(f.host, f.prompts);
    return 0;
}
