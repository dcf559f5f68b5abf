#include "image/ImageReader.h"

#include <gelf.h>
#include <libelf.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>
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

// ELF executables as linkers write them, read through libelf: the file bytes of every loadable
// segment at its physical address, in the order of the program headers.
class ElfImageReader : public ImageReader {
  public:
    ImageFormat format() const override { return ImageFormat::Elf; }
    std::optional<ReadError> Read(ImageInput& in, const AddressWindow&,
                                  const DataSink& sink) const override {
        if (elf_version(EV_CURRENT) == EV_NONE) return ReadError{0, "ELF files cannot be read here"};
        // libelf reads from memory of its own: a private copy of the file.
        std::vector<char> image(in.text.begin(), in.text.end());
        Elf* elf = elf_memory(image.data(), image.size());
        if (!elf) return ReadError{0, "not an ELF file"};
        std::optional<ReadError> error = Segments(elf, image, sink);
        elf_end(elf);
        return error;
    }

  private:
    static ReadError Broken(const char* what) {
        return ReadError{0, std::string("broken ELF file: ") + what};
    }

    static std::optional<ReadError> Segments(Elf* elf, const std::vector<char>& image,
                                             const DataSink& sink) {
        if (elf_kind(elf) != ELF_K_ELF) return ReadError{0, "not an ELF file"};
        GElf_Ehdr header;
        if (!gelf_getehdr(elf, &header)) return Broken("no valid ELF header");
        if (header.e_type == ET_REL)
            return ReadError{0, "an object file, not linked: it has no load addresses"};
        std::size_t count = 0;
        if (elf_getphdrnum(elf, &count) != 0) return Broken("no valid program header table");
        bool delivering = true;
        bool any = false;
        for (std::size_t i = 0; i < count; ++i) {
            GElf_Phdr segment;
            if (!gelf_getphdr(elf, static_cast<int>(i), &segment))
                return Broken("a program header cannot be read");
            if (segment.p_type != PT_LOAD || segment.p_filesz == 0) continue;
            if (segment.p_offset > image.size() || segment.p_filesz > image.size() - segment.p_offset)
                return ReadError{0, "segment " + std::to_string(i + 1) +
                                        " lies beyond the end of the file"};
            if (segment.p_paddr > UINT64_MAX - segment.p_filesz)
                return ReadError{0, "segment " + std::to_string(i + 1) +
                                        " runs past the end of the address space"};
            any = true;
            if (!delivering) continue;
            const DataRecord record{segment.p_paddr,
                                    reinterpret_cast<const uint8_t*>(image.data()) + segment.p_offset,
                                    static_cast<std::size_t>(segment.p_filesz), i + 1, true};
            if (sink(record) == DataFlow::Enough) delivering = false;
        }
        if (!any) return ReadError{0, "no loadable segment with bytes in the file"};
        return std::nullopt;
    }
};

const TextImageReader kHexReader(ImageFormat::IntelHex, ReadHexRecords);
const TextImageReader kSRecordReader(ImageFormat::SRecord, ReadSRecords);
const ElfImageReader kElfReader;
const RawImageReader kRawReader;

// The first bytes read to choose the reader.
constexpr std::size_t kHeadBytes = 64;

bool IsHexDigit(char c) { return HexDigitValue(c) >= 0; }

bool RawByName(const std::string& path) {
    return EndsWithNoCase(path, ".bin") || EndsWithNoCase(path, ".ses");
}

std::string Hex(uint64_t value) {
    char text[24];
    std::snprintf(text, sizeof text, "0x%04llX", static_cast<unsigned long long>(value));
    return text;
}

// Adds [first, end) to merged, ordered ranges, merging with the last one when they touch; the
// rest is sorted and merged once at the end.
void Append(std::vector<AddressRange>& ranges, uint64_t first, uint64_t end) {
    if (first >= end) return;
    if (!ranges.empty() && first <= ranges.back().last + 1 && first >= ranges.back().first) {
        ranges.back().last = std::max(ranges.back().last, end - 1);
        return;
    }
    ranges.push_back({first, end - 1});
}

uint64_t Normalise(std::vector<AddressRange>& ranges) {
    std::sort(ranges.begin(), ranges.end(),
              [](const AddressRange& a, const AddressRange& b) { return a.first < b.first; });
    std::vector<AddressRange> merged;
    for (const AddressRange& r : ranges) {
        if (!merged.empty() && r.first <= merged.back().last + 1)
            merged.back().last = std::max(merged.back().last, r.last);
        else
            merged.push_back(r);
    }
    ranges = std::move(merged);
    uint64_t bytes = 0;
    for (const AddressRange& r : ranges) bytes += r.size();
    return bytes;
}

}  // namespace

const char* FormatName(ImageFormat format) {
    switch (format) {
        case ImageFormat::IntelHex: return "Intel HEX";
        case ImageFormat::SRecord: return "S-records";
        case ImageFormat::Elf: return "ELF";
        case ImageFormat::Raw: break;
    }
    return "raw bytes";
}

bool IsTextImagePath(const std::string& path, const ImageNames& names) {
    for (std::string_view ext : {".hex", ".ihx", ".ihex", ".s19", ".s28", ".s37", ".srec", ".mot"})
        if (EndsWithNoCase(path, ext)) return true;
    return names.a90IsHex && EndsWithNoCase(path, ".a90");
}

std::optional<ImageFormat> FormatOfContent(std::string_view head) {
    if (head.substr(0, 4) == "\x7f" "ELF") return ImageFormat::Elf;
    TextCursor cursor(head);
    cursor.SkipByteOrderMark();
    cursor.SkipSpace();
    const std::string_view rest = head.substr(cursor.pos);
    if (rest.size() >= 3 && rest[0] == ':' && IsHexDigit(rest[1]) && IsHexDigit(rest[2]))
        return ImageFormat::IntelHex;
    if (rest.size() >= 3 && rest[0] == 'S' && rest[1] >= '0' && rest[1] <= '9' &&
        IsHexDigit(rest[2]))
        return ImageFormat::SRecord;
    return std::nullopt;
}

FormatChoice ChooseFormat(const std::string& path, std::string_view head, const ImageNames& names) {
    FormatChoice choice;
    const std::optional<ImageFormat> content = FormatOfContent(head);
    if (RawByName(path)) {
        choice.heldAsRaw = content;
        return choice;
    }
    if (names.byContent && content) {
        choice.format = *content;
        return choice;
    }
    if (IsTextImagePath(path, names)) {
        TextCursor cursor(head);
        cursor.SkipByteOrderMark();
        cursor.SkipSpace();
        const bool sRecords = !cursor.AtEnd() && head[cursor.pos] == 'S';
        choice.format = sRecords ? ImageFormat::SRecord : ImageFormat::IntelHex;
        return choice;
    }
    if (names.byContent && EndsWithNoCase(path, ".elf")) choice.format = ImageFormat::Elf;
    return choice;
}

ImageFormat FormatOf(const std::string& path, std::string_view head, const ImageNames& names) {
    return ChooseFormat(path, head, names).format;
}

const ImageReader& ReaderOf(ImageFormat format) {
    switch (format) {
        case ImageFormat::IntelHex:
            return kHexReader;
        case ImageFormat::SRecord:
            return kSRecordReader;
        case ImageFormat::Elf:
            return kElfReader;
        case ImageFormat::Raw:
            break;
    }
    return kRawReader;
}

std::string FormatRange(const AddressRange& range) {
    return Hex(range.first) + "-" + Hex(range.last);
}

ImagePlacer::ImagePlacer(std::span<uint8_t> buffer, const ImageRules& rules)
    : buffer_(buffer), rules_(rules), written_(buffer.size(), 0) {}

void ImagePlacer::SawData(uint64_t first, uint64_t end) {
    if (first >= end) return;
    if (!result_.data) {
        result_.data = AddressRange{first, end - 1};
        return;
    }
    result_.data->first = std::min(result_.data->first, first);
    result_.data->last = std::max(result_.data->last, end - 1);
}

void ImagePlacer::LeftOut(uint64_t first, uint64_t end, LeftOutWhy why) {
    if (first >= end) return;
    std::vector<LeftOutRange>& left = result_.leftOut;
    if (!left.empty() && left.back().why == why && first == left.back().range.last + 1) {
        left.back().range.last = end - 1;
        return;
    }
    left.push_back({{first, end - 1}, why});
}

void ImagePlacer::Place(const DataRecord& record, uint64_t first, uint64_t end) {
    // Buffer offsets first to end, from the record's bytes at address offset + first on.
    const uint8_t* from = record.bytes + (rules_.offset + first - record.address);
    uint8_t* to = buffer_.data() + first;
    uint8_t* written = written_.data() + first;
    const std::size_t n = static_cast<std::size_t>(end - first);
    if (!conflict_ && std::memchr(written, 1, n)) {
        for (std::size_t i = 0; i < n; ++i) {
            if (!written[i] || to[i] == from[i]) continue;
            const uint64_t at = first + i;
            std::size_t earlier = 0;
            for (auto s = stored_.rbegin(); s != stored_.rend(); ++s)
                if (at >= s->first && at < s->end) {
                    earlier = s->line;
                    break;
                }
            const std::string where = Hex(rules_.offset + at);
            if (record.segment)
                conflict_ = ReadError{0, "segment " + std::to_string(record.line) + " overlaps segment " +
                                             std::to_string(earlier) + " with different bytes at " + where};
            else
                conflict_ = ReadError{record.line, "overlaps line " + std::to_string(earlier) +
                                                       " with different bytes at " + where};
            return;
        }
    }
    std::memcpy(to, from, n);
    std::memset(written, 1, n);
    stored_.push_back({first, end, record.line});
    if (!result_.lowestStored || first < *result_.lowestStored) result_.lowestStored = first;
}

DataFlow ImagePlacer::operator()(const DataRecord& record) {
    if (conflict_) return DataFlow::Enough;
    const uint64_t offset = rules_.offset;
    const uint64_t address = record.address;
    const uint64_t addressEnd = address + record.count;
    SawData(address, addressEnd);
    if (addressEnd <= offset) {
        LeftOut(address, addressEnd, LeftOutWhy::BelowOffset);
        return DataFlow::Continue;
    }
    LeftOut(address, std::min(addressEnd, offset), LeftOutWhy::BelowOffset);

    // Buffer offsets of the record's bytes from the offset on.
    const uint64_t start = address > offset ? address - offset : 0;
    const uint64_t recordEnd = addressEnd - offset;
    const uint64_t size = buffer_.size();
    if (start < size) Place(record, start, std::min(recordEnd, size));
    if (conflict_) return DataFlow::Enough;

    const uint64_t limit = rules_.limit;
    const uint64_t area = std::min(limit, size);
    if (start < area) Append(result_.placed, offset + start, offset + std::min(recordEnd, area));
    if (size < limit)
        LeftOut(offset + std::max(start, size), offset + std::min(recordEnd, limit),
                LeftOutWhy::BeyondBuffer);
    LeftOut(offset + std::max(start, limit), offset + recordEnd, LeftOutWhy::BeyondLimit);

    result_.end = static_cast<uint32_t>(std::max<uint64_t>(result_.end, std::min(recordEnd, limit)));
    if (recordEnd <= limit) return DataFlow::Continue;
    result_.passedLimit = true;
    return rules_.atLimit == ImageRules::AtLimit::Stop ? DataFlow::Enough : DataFlow::Continue;
}

const PlacedImage& ImagePlacer::result() {
    result_.placedBytes = Normalise(result_.placed);
    std::vector<LeftOutRange>& left = result_.leftOut;
    std::stable_sort(left.begin(), left.end(), [](const LeftOutRange& a, const LeftOutRange& b) {
        return a.range.first < b.range.first;
    });
    std::vector<LeftOutRange> merged;
    for (const LeftOutRange& r : left) {
        if (!merged.empty() && merged.back().why == r.why && r.range.first <= merged.back().range.last + 1)
            merged.back().range.last = std::max(merged.back().range.last, r.range.last);
        else
            merged.push_back(r);
    }
    left = std::move(merged);
    result_.leftOutBytes = 0;
    for (const LeftOutRange& r : left) result_.leftOutBytes += r.range.size();
    return result_;
}

ImageFileResult ReadImageFile(const std::string& path, std::span<uint8_t> buffer,
                              const ImageRules& rules, const ImageNames& names) {
    ImageFileResult result;
    RegularFile file;
    if (!file.Open(path)) return result;
    result.fileSize = file.size();

    char head[kHeadBytes];
    const long long got = file.ReadAt(0, head, sizeof head);
    if (got < 0) return result;
    const FormatChoice choice =
        ChooseFormat(path, std::string_view(head, static_cast<std::size_t>(got)), names);
    result.format = choice.format;
    result.heldAsRaw = choice.heldAsRaw;

    std::string text;
    if (choice.format != ImageFormat::Raw && !file.ReadAll(text, kMaxTextImageSize)) {
        // Either a read error or more than any image has.
        if (file.size() <= kMaxTextImageSize) return result;
        result.status = ImageFileResult::Status::Refused;
        result.refusal = {0, "larger than any image (" + std::to_string(file.size()) + " bytes)"};
        return result;
    }
    ImageInput input{file, text};
    const AddressWindow wanted{rules.offset, std::min<uint64_t>(rules.limit, buffer.size())};
    ImagePlacer placer(buffer, rules);
    std::optional<ReadError> refusal =
        ReaderOf(result.format).Read(input, wanted, [&placer](const DataRecord& r) { return placer(r); });
    if (input.readFailed) return result;
    if (placer.conflict()) refusal = placer.conflict();
    if (refusal) {
        result.status = ImageFileResult::Status::Refused;
        result.refusal = std::move(*refusal);
        return result;
    }
    if (result.format == ImageFormat::Raw) {
        // The bytes the raw reader did not read: those before the offset and after the area.
        const uint64_t size = file.size();
        placer.SawData(0, size);
        placer.LeftOut(0, std::min<uint64_t>(rules.offset, size), LeftOutWhy::BelowOffset);
        const uint64_t areaEnd = uint64_t{rules.offset} + wanted.length;
        const uint64_t limitEnd = uint64_t{rules.offset} + rules.limit;
        placer.LeftOut(std::max<uint64_t>(areaEnd, rules.offset), std::min(size, limitEnd),
                       LeftOutWhy::BeyondBuffer);
        placer.LeftOut(std::max(limitEnd, areaEnd), size, LeftOutWhy::BeyondLimit);
    }
    result.status = ImageFileResult::Status::Loaded;
    result.image = placer.result();
    return result;
}

std::optional<ReadError> NothingLands(const PlacedImage& image, const ImageRules& rules,
                                      std::size_t bufferSize, const std::string& area) {
    if (image.placedBytes > 0) return std::nullopt;
    const uint64_t length = std::min<uint64_t>(rules.limit, bufferSize);
    std::string reason = "no byte of it lands in " + area + " ";
    if (length == 0)
        reason += "(empty at " + Hex(rules.offset) + ")";
    else
        reason += FormatRange({rules.offset, rules.offset + length - 1});
    if (image.data)
        reason += "; its data lies at " + FormatRange(*image.data);
    else
        reason += "; it holds no data";
    return ReadError{0, reason};
}

}  // namespace lumacrest
