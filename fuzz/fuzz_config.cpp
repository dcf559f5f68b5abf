// Arbitrary "Config.dat" files through the start-up reader: the geometry it leaves must fit
// the buffers, and the settings written back must read the same again.
#include "FuzzSupport.h"
#include "host/Config.h"
#include "image/ImageBuffers.h"

using namespace lumacrest;

namespace {
struct Fixture {
    ScriptedPrompts prompts;
    RecordingShell shell;
    Fixture() {}
};
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static Fixture f;
    Host host;
    host.platform.prompts = &f.prompts;
    host.platform.shell = &f.shell;
    host.programDir = fuzz::ScratchDir();
    fuzz::WriteFile(host.programDir + "Config.dat", data, size);
    ReadConfig(host);
    if (host.target.dev.FlashSize > kFlashBufferSize || host.target.dev.BootSize > kBootBufferSize) std::abort();
    if (host.sn.SnWidth < 1 || host.sn.SnWidth > 4) std::abort();
    f.prompts.messages.clear();
    return 0;
}
