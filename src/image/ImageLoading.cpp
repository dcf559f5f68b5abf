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
                                      uint32_t offset, ReadError* refusal, ImageLoad* load) {
    if (refusal) *refusal = ReadError{};
    std::span<uint8_t> buffer = TargetBuffer(t, target);
    ImageRules rules{offset, 0, ImageRules::AtLimit::Continue};
    ImageNames names;
    switch (target) {
        case ImageTarget::Flash:
            rules.limit = t.dev.FlashSize;
            break;
        case ImageTarget::Boot:
            rules.limit = t.dev.BootSize;
            break;
        case ImageTarget::KeyCode:
            names.byContent = false;
            rules = {0, FormatOf(path, {}, names) == ImageFormat::Raw ? kKeyCodeRawBytes : kKeyCodeHexLimit,
                     ImageRules::AtLimit::Stop};
            break;
    }

    // The scratch copy starts erased, as the buffer would.
    std::vector<uint8_t> scratch(buffer.size(), uint8_t{0xFF});
    ImageFileResult read = ReadImageFile(path, scratch, rules, names);
    if (read.status == ImageFileResult::Status::Loaded) {
        std::optional<ReadError> nothing;
        if (target == ImageTarget::KeyCode) {
            if (!read.image.lowestStored || *read.image.lowestStored >= kKeyCodeLength)
                nothing = ReadError{0, "no byte of it lands in the KeyCode (offsets 0-15)"};
        } else {
            nothing = NothingLands(read.image, rules, buffer.size(),
                                   target == ImageTarget::Flash ? "the flash area" : "the boot area");
        }
        if (nothing) {
            read.status = ImageFileResult::Status::Refused;
            read.refusal = std::move(*nothing);
        }
    }
    if (read.status != ImageFileResult::Status::Loaded) {
        if (refusal && read.status == ImageFileResult::Status::Refused)
            *refusal = std::move(read.refusal);
        return std::nullopt;
    }
    std::copy(scratch.begin(), scratch.end(), buffer.begin());
    if (load) *load = {read.image, read.format, read.heldAsRaw};
    if (target == ImageTarget::Flash) t.FlashLoaded();
    if (target == ImageTarget::Boot) t.BootLoaded();
    return read.image.end;
}

namespace {

std::string Count(uint64_t n, const char* one, const char* many) {
    return std::to_string(n) + " " + (n == 1 ? one : many);
}

const char* Why(ImageTarget target, LeftOutWhy why) {
    switch (why) {
        case LeftOutWhy::BelowOffset: return "below the offset";
        case LeftOutWhy::BeyondBuffer: return "beyond the buffer";
        case LeftOutWhy::BeyondLimit: break;
    }
    return target == ImageTarget::Boot ? "beyond the boot area" : "beyond the flash";
}

// At most this many ranges of each kind are named; the rest are counted.
constexpr std::size_t kRangesNamed = 6;

}  // namespace

std::string LoadReportLine(ImageTarget target, const PlacedImage& image, uint32_t pages) {
    std::string line = target == ImageTarget::Boot ? "Boot image" : "Flash image";
    for (std::size_t i = 0; i < image.placed.size() && i < kRangesNamed; ++i)
        line += (i == 0 ? " " : ", ") + FormatRange(image.placed[i]);
    if (image.placed.size() > kRangesNamed)
        line += " and " + Count(image.placed.size() - kRangesNamed, "range", "ranges") + " more";
    line += ": " + Count(image.placedBytes, "byte", "bytes") + ", " + Count(pages, "page", "pages");
    for (std::size_t i = 0; i < image.leftOut.size() && i < kRangesNamed; ++i) {
        const LeftOutRange& r = image.leftOut[i];
        line += (i == 0 ? "; left out " : ", ") + FormatRange(r.range) + " (" +
                Count(r.range.size(), "byte", "bytes") + ", " + Why(target, r.why) + ")";
    }
    if (image.leftOut.size() > kRangesNamed) {
        uint64_t rest = 0;
        for (std::size_t i = kRangesNamed; i < image.leftOut.size(); ++i) rest += image.leftOut[i].range.size();
        line += " and " + Count(rest, "byte", "bytes") + " in " +
                Count(image.leftOut.size() - kRangesNamed, "range", "ranges") + " more";
    }
    return line;
}

std::string HeldAsRawLine(ImageFormat held) {
    return std::string("Read as raw bytes, as its name says, although it holds ") + FormatName(held);
}

std::optional<std::string> KeyCodeGapsLine(const PlacedImage& image) {
    bool given[kKeyCodeLength] = {};
    for (const AddressRange& r : image.placed)
        for (uint64_t a = r.first; a <= r.last && a < kKeyCodeLength; ++a) given[a] = true;
    std::string missing;
    std::size_t count = 0;
    for (std::size_t i = 0; i < kKeyCodeLength;) {
        if (given[i]) {
            ++i;
            continue;
        }
        std::size_t j = i;
        while (j + 1 < kKeyCodeLength && !given[j + 1]) ++j;
        missing += (missing.empty() ? "" : ", ") + std::to_string(i) + (j > i ? "-" + std::to_string(j) : "");
        count += j - i + 1;
        i = j + 1;
    }
    if (count == 0) return std::nullopt;
    return "KeyCode file gives " + std::to_string(kKeyCodeLength - count) + " of the 16 KeyCode bytes: " +
           (count == 1 ? "byte " : "bytes ") + missing + " stay 0xFF";
}

}  // namespace lumacrest
