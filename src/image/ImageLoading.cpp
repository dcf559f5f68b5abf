#include "image/ImageLoading.h"

#include <algorithm>
#include <span>
#include <vector>

#include "image/ImageReader.h"

namespace lumacrest {

namespace {

// KeyCode files: HEX and S-record storing stops once a record ends beyond the KeyCode; a raw
// file gives its first 18 bytes.
constexpr uint32_t kKeyCodeHexLimit = 16;
constexpr uint32_t kKeyCodeRawBytes = 18;

std::span<uint8_t> TargetBuffer(Target& t, ImageTarget target) {
    switch (target) {
        case ImageTarget::Flash:
            return t.buf().flash;
        case ImageTarget::Boot:
            return t.buf().boot;
        case ImageTarget::KeyCode:
            break;
    }
    return t.buf().keyCode;
}

}  // namespace

uint32_t PagesFor(uint32_t end, uint32_t pageSize, uint32_t pageCount) {
    if (pageSize == 0) return 0;
    const uint64_t pages = (uint64_t{end} + pageSize - 1) / pageSize;
    return static_cast<uint32_t>(std::min<uint64_t>(pages, pageCount));
}

std::optional<uint32_t> LoadImageFile(Target& t, ImageTarget target, const std::string& path,
                                      uint32_t offset, ReadError* refusal) {
    if (refusal) *refusal = ReadError{};
    std::span<uint8_t> buffer = TargetBuffer(t, target);
    ImageRules rules{offset, 0, ImageRules::AtLimit::Continue};
    switch (target) {
        case ImageTarget::Flash:
            rules.limit = t.dev.FlashSize;
            break;
        case ImageTarget::Boot:
            rules.limit = t.dev.BootSize;
            break;
        case ImageTarget::KeyCode:
            rules = {0, IsTextImagePath(path) ? kKeyCodeHexLimit : kKeyCodeRawBytes,
                     ImageRules::AtLimit::Stop};
            break;
    }

    // The scratch copy starts erased, as the buffer would.
    std::vector<uint8_t> scratch(buffer.size(), uint8_t{0xFF});
    ImageFileResult read = ReadImageFile(path, scratch, rules);
    if (read.status == ImageFileResult::Status::Loaded && target == ImageTarget::KeyCode &&
        (!read.image.lowestStored || *read.image.lowestStored >= kKeyCodeLength)) {
        read.status = ImageFileResult::Status::Refused;
        read.refusal = {0, "no byte of it lands in the KeyCode (offsets 0-15)"};
    }
    if (read.status != ImageFileResult::Status::Loaded) {
        if (refusal && read.status == ImageFileResult::Status::Refused)
            *refusal = std::move(read.refusal);
        return std::nullopt;
    }
    std::copy(scratch.begin(), scratch.end(), buffer.begin());
    if (target == ImageTarget::Flash) t.FlashLoaded();
    if (target == ImageTarget::Boot) t.BootLoaded();
    return read.image.end;
}

}  // namespace lumacrest
