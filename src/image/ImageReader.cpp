#include "image/ImageReader.h"

#include <algorithm>
#include <cctype>
#include <vector>

#include "platform/Text.h"

namespace lumacrest {

namespace {

// The text formats: the whole file is text, its records read by `records`.
class TextImageReader : public ImageReader {
  public:
    using Records = std::optional<ReadError> (*)(TextCursor&, const DataSink&);
    TextImageReader(ImageFormat format, Records records) : format_(format), records_(records) {}
    ImageFormat format() const override { return format_; }
    std::optional<ReadError> Read(ImageInput& in, const AddressWindow&,
                                  const DataSink& sink) const override {
        TextCursor cursor(in.text);
        cursor.SkipByteOrderMark();
        return records_(cursor, sink);
    }

  private:
    ImageFormat format_;
    Records records_;
};

// Raw bytes: file byte i is the byte at address i. Only the wanted addresses are read.
class RawImageReader : public ImageReader {
  public:
    ImageFormat format() const override { return ImageFormat::Raw; }
    std::optional<ReadError> Read(ImageInput& in, const AddressWindow& wanted,
                                  const DataSink& sink) const override {
        std::vector<uint8_t> chunk(std::min<uint64_t>(wanted.length, 1u << 16));
        uint64_t position = wanted.start;
        uint64_t left = wanted.length;
        while (left > 0) {
            const std::size_t n = static_cast<std::size_t>(std::min<uint64_t>(left, chunk.size()));
            const long long got = in.file.ReadAt(position, chunk.data(), n);
            if (got < 0) {
                in.readFailed = true;
                return std::nullopt;
            }
            if (got == 0) break;
            const DataRecord record{position, chunk.data(), static_cast<std::size_t>(got), 0};
            if (sink(record) == DataFlow::Enough) break;
            position += static_cast<uint64_t>(got);
            left -= static_cast<uint64_t>(got);
        }
        return std::nullopt;
    }
};

const TextImageReader kHexReader(ImageFormat::IntelHex, ReadHexRecords);
const TextImageReader kSRecordReader(ImageFormat::SRecord, ReadSRecords);
const RawImageReader kRawReader;

}  // namespace

bool IsTextImagePath(const std::string& path, const ImageNames& names) {
    for (std::string_view ext : {".hex", ".s19", ".s28", ".s37", ".srec", ".mot"})
        if (EndsWithNoCase(path, ext)) return true;
    return names.a90IsHex && EndsWithNoCase(path, ".a90");
}

const ImageReader& ReaderOf(ImageFormat format) {
    switch (format) {
        case ImageFormat::IntelHex:
            return kHexReader;
        case ImageFormat::SRecord:
            return kSRecordReader;
        case ImageFormat::Raw:
            break;
    }
    return kRawReader;
}

ImageFormat FormatOf(const std::string& path, std::string_view text, const ImageNames& names) {
    if (!IsTextImagePath(path, names)) return ImageFormat::Raw;
    TextCursor cursor(text);
    cursor.SkipByteOrderMark();
    cursor.SkipSpace();
    if (!cursor.AtEnd() && text[cursor.pos] == 'S') return ImageFormat::SRecord;
    return ImageFormat::IntelHex;
}

DataFlow ImagePlacer::operator()(const DataRecord& record) {
    if (record.address < rules_.offset) return DataFlow::Continue;  // below the image
    const uint64_t start = record.address - rules_.offset;
    if (start < buffer_.size() && record.count > 0) {
        const std::size_t n =
            static_cast<std::size_t>(std::min<uint64_t>(record.count, buffer_.size() - start));
        std::copy_n(record.bytes, n, buffer_.begin() + static_cast<std::ptrdiff_t>(start));
        if (!result_.lowestStored || start < *result_.lowestStored) result_.lowestStored = start;
    }
    const uint64_t recordEnd = start + record.count;
    result_.end = static_cast<uint32_t>(
        std::max<uint64_t>(result_.end, std::min<uint64_t>(recordEnd, rules_.limit)));
    if (recordEnd <= rules_.limit) return DataFlow::Continue;
    result_.passedLimit = true;
    return rules_.atLimit == ImageRules::AtLimit::Stop ? DataFlow::Enough : DataFlow::Continue;
}

ImageFileResult ReadImageFile(const std::string& path, std::span<uint8_t> buffer,
                              const ImageRules& rules, const ImageNames& names) {
    ImageFileResult result;
    RegularFile file;
    if (!file.Open(path)) return result;
    result.fileSize = file.size();

    std::string text;
    if (IsTextImagePath(path, names) && !file.ReadAll(text, kMaxTextImageSize)) {
        // Either a read error or more text than any image has.
        if (file.size() <= kMaxTextImageSize) return result;
        result.status = ImageFileResult::Status::Refused;
        result.refusal = {0, "larger than any image (" + std::to_string(file.size()) + " bytes)"};
        return result;
    }
    result.format = FormatOf(path, text, names);
    ImageInput input{file, text};
    const AddressWindow wanted{rules.offset, std::min<uint64_t>(rules.limit, buffer.size())};
    ImagePlacer placer(buffer, rules);
    std::optional<ReadError> refusal =
        ReaderOf(result.format).Read(input, wanted, [&placer](const DataRecord& r) { return placer(r); });
    if (input.readFailed) return result;
    if (refusal) {
        result.status = ImageFileResult::Status::Refused;
        result.refusal = std::move(*refusal);
        return result;
    }
    result.status = ImageFileResult::Status::Loaded;
    result.image = placer.result();
    return result;
}

}  // namespace lumacrest
