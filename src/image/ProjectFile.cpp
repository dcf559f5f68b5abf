#include "image/ProjectFile.h"

#include <algorithm>
#include <span>
#include <string_view>
#include <vector>

#include "image/DeviceCatalogue.h"
#include "image/HexWriter.h"
#include "image/ImageReader.h"
#include "platform/AtomicFile.h"
#include "platform/Text.h"

namespace lumacrest {

namespace {

constexpr std::size_t kNameMax = 255;
constexpr std::size_t kAdapterMax = 255;

void Line(std::string& out, const std::string& text) {
    out += text;
    out += '\n';
}

void Number(std::string& out, int64_t value) {
    Line(out, std::to_string(static_cast<int32_t>(value)));
}

constexpr std::size_t kMaxProjectSize = 64u << 20;


// The next header line (its carriage return dropped), or nothing at the end of the text.
std::optional<std::string_view> NextLine(TextCursor& in) {
    if (in.AtEnd()) return std::nullopt;
    const std::size_t eol = std::min(in.text.find('\n', in.pos), in.text.size());
    std::string_view line = in.text.substr(in.pos, eol - in.pos);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    in.pos = eol < in.text.size() ? eol + 1 : eol;
    if (eol < in.text.size()) ++in.line;
    return line;
}

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f'; }

std::string_view Trim(std::string_view s) {
    while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
    while (!s.empty() && IsBlank(s.back())) s.remove_suffix(1);
    return s;
}

std::string_view FirstWord(std::string_view s) {
    s = Trim(s);
    std::size_t n = 0;
    while (n < s.size() && !IsBlank(s[n])) ++n;
    return s.substr(0, std::min(n, kNameMax));
}

// A "%d" number of the header: optionally signed decimal that fits 32 bits (as an int or an
// unsigned), stored as its low 32 bits.
std::optional<uint32_t> HeaderNumber(std::string_view s) {
    s = Trim(s);
    const std::optional<ScannedNumber> n = ScanNumber(s, 10, true);
    if (!n || n->length != s.size() || !n->Fits32()) return std::nullopt;
    return n->Wrapped();
}

// Reads and checks the whole project text; nothing when all of it is acceptable.
std::optional<ReadError> ParseProject(std::string_view text, Project& p) {
    TextCursor in(text);
    in.SkipByteOrderMark();
    std::string_view lines[21];
    for (int i = 0; i < 21; ++i) {
        std::optional<std::string_view> line = NextLine(in);
        if (!line) return ReadError{in.line, "the file ends inside the header"};
        lines[i] = *line;
    }
    p.mcu = FirstWord(lines[1]);
    if (p.mcu.empty()) return ReadError{2, "no MCU name"};
    p.port = FirstWord(lines[2]);
    if (p.port.empty()) return ReadError{3, "no port name"};
    uint32_t v[14];
    for (int i = 0; i < 14; ++i) {
        std::optional<uint32_t> n = HeaderNumber(lines[6 + i]);
        if (!n) return ReadError{static_cast<std::size_t>(7 + i), "not a number"};
        v[i] = *n;
    }
    p.options = static_cast<int32_t>(v[0]);
    p.snAddress = v[1];
    p.snValue = v[2];
    // v[3]: the advance of the run that saved the file; v[13]: the message language.
    p.snInBoot = v[4];
    p.snWidth = v[5];
    p.snLittleEndian = static_cast<uint8_t>(v[6]);
    p.flashPageSize = v[7];
    p.flashPageCount = v[8];
    p.bootPageSize = v[9];
    p.bootPageCount = v[10];
    p.deviceByte3 = static_cast<uint8_t>(v[11]);
    p.bootAreaEnabled = static_cast<uint8_t>(v[12]);
    if (std::optional<std::string> why = CheckPageGeometry(p.flashPageSize, p.flashPageCount,
                                                           p.bootPageSize, p.bootPageCount))
        return ReadError{14, "page setting refused: " + *why};
    // The serial number step writes 1 to 4 bytes and never beyond the flash.
    if (p.snWidth < 1 || p.snWidth > 4)
        return ReadError{12, "serial number width " + std::to_string(p.snWidth) + " (1 to 4)"};
    const uint64_t flashSize = uint64_t{p.flashPageSize} * p.flashPageCount;
    if (uint64_t{p.snAddress} + 4 > flashSize)
        return ReadError{8, "serial number address " + std::to_string(p.snAddress) +
                                " with its 4 bytes beyond the flash (" + std::to_string(flashSize) +
                                " bytes)"};
    p.adapter = std::string(lines[20].substr(0, kAdapterMax));

    // The three sections, each up to its end record. A record that ends beyond the section's
    // length ends the storing; the section is still read and checked to its end record.
    PlacedImage keyCodePlaced;
    struct Section {
        const char* name;
        std::span<uint8_t> buffer;
        uint32_t limit;
        PlacedImage& placed;
    } sections[] = {
        {"flash", p.flash, p.flashPageSize * p.flashPageCount, p.flashPlaced},
        {"boot", p.boot, p.bootPageSize * p.bootPageCount, p.bootPlaced},
        {"KeyCode", p.keyCode, static_cast<uint32_t>(kKeyCodeLength), keyCodePlaced},
    };
    for (const Section& section : sections) {
        in.SkipSpace();
        if (in.AtEnd()) return ReadError{in.line, std::string("no ") + section.name + " section"};
        ImagePlacer placer(section.buffer, {0, section.limit, ImageRules::AtLimit::Stop});
        if (std::optional<ReadError> bad =
                ReadHexRecords(in, [&placer](const DataRecord& r) { return placer(r); }))
            return bad;
        if (placer.conflict()) return placer.conflict();
        section.placed = placer.result();
    }
    return std::nullopt;
}

}  // namespace

std::optional<ReadError> ReadProjectFile(const std::string& path, Project& p) {
    RegularFile file;
    std::string text;
    std::optional<ReadError> refusal;
    if (!file.Open(path) || (!file.ReadAll(text, kMaxProjectSize) && file.size() <= kMaxProjectSize)) {
        refusal = ReadError{};  // an open failure: no reason line
    } else if (file.size() > kMaxProjectSize || text.size() > kMaxProjectSize) {
        refusal = ReadError{0, "larger than any project (" + std::to_string(file.size()) + " bytes)"};
    } else {
        refusal = ParseProject(text, p);
    }
    file.Close();
    return refusal;
}

std::optional<std::string> FormatProject(const ProjectNames& names, int32_t options,
                                         const SerialNumber& sn, const Target& target,
                                         uint8_t englishUi, std::string* why) {
    const DeviceParams& d = target.dev;
    const int64_t flashLength = int64_t{d.FlashPageCount} * d.FlashPageSize;
    const int64_t bootLength = int64_t{d.BootPageCount} * d.BootPageSize;
    std::optional<std::string> refused = CheckRecordLength("the flash section", flashLength, true);
    if (!refused) refused = CheckRecordLength("the boot section", bootLength, true);
    if (!refused && (flashLength > static_cast<int64_t>(target.buf().flash.size()) ||
                     bootLength > static_cast<int64_t>(target.buf().boot.size())))
        refused = "the page setting is larger than the buffers";
    if (refused) {
        if (why) *why = *refused;
        return std::nullopt;
    }

    std::string out;
    out.reserve(static_cast<std::size_t>(flashLength + bootLength) * 3 + 1024);
    Line(out, "YES");
    Line(out, names.mcu);
    Line(out, names.port);
    for (int i = 0; i < 3; ++i) Line(out, names.noPath);
    Number(out, options);
    Number(out, sn.SnAddress);
    Number(out, sn.SnValue);
    Number(out, sn.SnAdvance);
    Number(out, sn.SnInBoot);
    Number(out, sn.SnWidth);
    Number(out, sn.SnLittleEndian);
    Number(out, d.FlashPageSize);
    Number(out, d.FlashPageCount);
    Number(out, d.BootPageSize);
    Number(out, d.BootPageCount);
    Number(out, d.DeviceByte3);
    Number(out, d.BootAreaEnabled);
    Number(out, englishUi);
    Line(out, d.AdapterText);
    const ImageBuffers& b = target.buf();
    WriteHexSection(out, std::span<const uint8_t>(b.flash.data(), static_cast<std::size_t>(flashLength)));
    WriteHexSection(out, std::span<const uint8_t>(b.boot.data(), static_cast<std::size_t>(bootLength)));
    WriteHexSection(out, std::span<const uint8_t>(b.keyCode.data(), kKeyCodeLength));
    return out;
}

}  // namespace lumacrest
