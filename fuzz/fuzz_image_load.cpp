// Feeds arbitrary files to the image loaders. The first input byte picks the target buffer
// and the file name (HEX, S-record or raw), the next four the load offset; the rest is the
// file. A file that is refused must leave every buffer as it was; a loaded one never ends
// beyond its limit.
#include "FuzzSupport.h"
#include "image/DeviceCatalogue.h"
#include "image/ImageLoading.h"

using namespace lumacrest;

namespace {
using Fixture = fuzz::HostFixture;
constexpr const char* kNames[] = {"image.hex", "image.bin", "image.s19", "image.srec",
                                  "image.HEX", "image.mot", "image.s37", "image.ses"};
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static Fixture f;
    if (size < 5) return 0;
    const uint8_t mode = data[0];
    const uint32_t offset =
        uint32_t{data[1]} << 24 | uint32_t{data[2]} << 16 | uint32_t{data[3]} << 8 | data[4];
    const std::string path = fuzz::ScratchDir() + kNames[mode & 7];
    fuzz::WriteFile(path, data + 5, size - 5);

    const ImageTarget target = static_cast<ImageTarget>((mode >> 3) % 3);
    const fuzz::Snapshot before(f.host);
    ReadError refusal;
    std::optional<uint32_t> end =
        LoadImageFile(f.host.target, target, path, (mode & 0x80) ? offset : 0x4000, &refusal);
    if (!end) {
        if (refusal.reason.empty()) std::abort();  // the file exists: it must open
        if (!before.Same(f.host)) std::abort();     // refused: nothing changed
    } else {
        const uint32_t limit = target == ImageTarget::Flash  ? f.host.target.dev.FlashSize
                               : target == ImageTarget::Boot ? f.host.target.dev.BootSize
                                                             : 18u;
        if (*end > limit) std::abort();
    }
    std::remove(path.c_str());
    fuzz::Trim(f.host, f.prompts);
    return 0;
}
