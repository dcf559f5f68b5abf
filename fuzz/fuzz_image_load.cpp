// Feeds arbitrary files to the image loaders. The first input byte picks the target buffer
// and the reader (HEX or raw), the next four the load offset; the rest is the file.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

#include "image/DeviceCatalogue.h"
#include "image/ImageLoading.h"
#include "platform/ScriptedPrompts.h"

using namespace lumacrest;

namespace {
struct Fixture {
    ScriptedPrompts prompts;
    Host host;
    std::string base = "/tmp/lumacrest-fuzz-image-" + std::to_string(::getpid());
    Fixture() {
        host.platform.prompts = &prompts;
        SetPageGeometry(host, 256, 288, 256, 16);
    }
};
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static Fixture f;
    if (size < 5) return 0;
    const uint8_t mode = data[0];
    const uint32_t offset =
        uint32_t{data[1]} << 24 | uint32_t{data[2]} << 16 | uint32_t{data[3]} << 8 | data[4];
    const std::string path = f.base + ((mode & 1) ? ".hex" : ".bin");
    std::FILE* out = std::fopen(path.c_str(), "wb");
    if (!out) std::abort();
    std::fwrite(data + 5, 1, size - 5, out);
    std::fclose(out);

    const ImageTarget target = static_cast<ImageTarget>((mode >> 1) % 3);
    std::optional<uint32_t> end = LoadImageFile(f.host, target, path, (mode & 8) ? offset : 0x4000);
    if (!end) std::abort();  // the file exists: it must open
    const uint32_t limit = target == ImageTarget::Flash  ? f.host.dev.FlashSize
                           : target == ImageTarget::Boot ? f.host.dev.BootSize
                                                         : 18u;
    if (*end > limit) std::abort();
    std::remove(path.c_str());
    return 0;
}
