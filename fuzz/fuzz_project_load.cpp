// Feeds arbitrary files to the project loader: the header, the page geometry and the three
// HEX sections. Afterwards the geometry must still fit the buffers.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "image/DeviceCatalogue.h"
#include "image/ImageBuffers.h"
#include "image/ProjectFile.h"
#include "platform/ScriptedPrompts.h"

using namespace lumacrest;

namespace {
struct Fixture {
    ScriptedPrompts prompts;
    Host host;
    std::string path = "/tmp/lumacrest-fuzz-project-" + std::to_string(::getpid()) + ".Prjt";
    Fixture() {
        host.platform.prompts = &prompts;
        host.ui.Combo(1005).items = {"MN101EF32D", "MN90F25XA"};
        host.ui.Combo(1004).items = {"COM1", "USB"};
    }
};
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static Fixture f;
    std::FILE* out = std::fopen(f.path.c_str(), "wb");
    if (!out) std::abort();
    std::fwrite(data, 1, size, out);
    std::fclose(out);

    SetPageGeometry(f.host, 256, 288, 256, 16);
    LoadProjectFile(f.host, f.path);
    const DeviceParams& d = f.host.dev;
    if (d.FlashSize > kFlashBufferSize || d.BootSize > kBootBufferSize) std::abort();
    if (f.host.FlashPagesToWrite > d.FlashPageCount) std::abort();
    f.prompts.messages.clear();
    if (f.host.ui.LogText().size() > 1000000) f.host.ui = MainModel();
    std::remove(f.path.c_str());
    return 0;
}
