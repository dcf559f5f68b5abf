// Feeds arbitrary files to the ELF reader through the one image file reader: the first four
// input bytes give the load offset and the limit, the rest is the file. A refused file says
// why; a loaded one gave only bytes the file holds, its placed ranges are in order and apart,
// and its image end stays within the limit.
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "FuzzSupport.h"
#include "image/ImageReader.h"

using namespace lumacrest;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 4) return 0;
    const uint32_t offset = uint32_t{data[0]} << 8 | data[1];
    const uint32_t limit = uint32_t{data[2]} << 8 | data[3];
    const std::string path = fuzz::ScratchDir() + "image.elf";
    fuzz::WriteFile(path, data + 4, size - 4);
    static std::vector<uint8_t> buffer(0x10000);
    std::fill(buffer.begin(), buffer.end(), uint8_t{0xFF});
    const ImageRules rules{offset, limit, (data[2] & 1) ? ImageRules::AtLimit::Stop
                                                        : ImageRules::AtLimit::Continue};
    const ImageFileResult r = ReadImageFile(path, buffer, rules);
    std::remove(path.c_str());
    if (r.status == ImageFileResult::Status::OpenFailed) std::abort();  // the file exists
    if (r.status == ImageFileResult::Status::Refused) {
        if (r.refusal.reason.empty()) std::abort();
        return 0;
    }
    if (r.image.end > limit) std::abort();
    if (r.format == ImageFormat::Elf && r.image.placedBytes > size) std::abort();
    for (std::size_t i = 1; i < r.image.placed.size(); ++i)
        if (r.image.placed[i].first <= r.image.placed[i - 1].last + 1) std::abort();
    return 0;
}
