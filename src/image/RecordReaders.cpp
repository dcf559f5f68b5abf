#include "image/RecordReaders.h"

#include <array>

#include "platform/Text.h"

namespace lumacrest {

namespace {

// -1 for a character that is not a hex digit: the one decoder, as a table for speed.
constexpr std::array<int8_t, 256> MakeDigitTable() {
    std::array<int8_t, 256> t{};
    for (int c = 0; c < 256; ++c)
        t[static_cast<std::size_t>(c)] = static_cast<int8_t>(HexDigitValue(static_cast<char>(c)));
    return t;
}
constexpr std::array<int8_t, 256> kDigit = MakeDigitTable();

bool IsSpace(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

// The longest record either format allows: 255 bytes after its count byte, plus the count.
constexpr std::size_t kMaxRecordBytes = 1 + 255 + 4;

// Decodes the hex digit pairs from the cursor up to the end of the token. `bytes` gets at most
// kMaxRecordBytes. Returns the reason when the token is not whole pairs of hex digits or
// longer than any record.
const char* DecodeToken(TextCursor& in, uint8_t* bytes, std::size_t& n) {
    const char* p = in.text.data() + in.pos;
    const char* const end = in.text.data() + in.text.size();
    n = 0;
    const char* reason = nullptr;
    while (p < end && !IsSpace(*p)) {
        if (p + 1 >= end || IsSpace(p[1])) {
            reason = "odd number of hex digits";
            ++p;
            break;
        }
        const int hi = kDigit[static_cast<unsigned char>(p[0])];
        const int lo = kDigit[static_cast<unsigned char>(p[1])];
        if (hi < 0 || lo < 0) {
            reason = "not a hex digit";
            break;
        }
        if (n == kMaxRecordBytes) {
            reason = "record longer than its byte count";
            break;
        }
        bytes[n++] = static_cast<uint8_t>(hi << 4 | lo);
        p += 2;
    }
    in.pos = static_cast<std::size_t>(p - in.text.data());
    return reason;
}

std::string TwoDigits(unsigned v) {
    const char* digits = "0123456789ABCDEF";
    return {digits[(v >> 4) & 15], digits[v & 15]};
}

}  // namespace

std::string RefusalLine(const ReadError& error) {
    if (error.line == 0) return "File refused: " + error.reason;
    return "File refused, line " + std::to_string(error.line) + ": " + error.reason;
}

void TextCursor::SkipByteOrderMark() {
    if (text.substr(pos, 3) == "\xEF\xBB\xBF") pos += 3;
}

void TextCursor::SkipSpace() {
    while (pos < text.size() && IsSpace(text[pos])) {
        if (text[pos] == '\n') ++line;
        ++pos;
    }
}

std::optional<ReadError> ReadHexRecords(TextCursor& in, const DataSink& sink) {
    uint64_t base = 0;
    bool delivering = true;
    std::size_t lastLine = in.line;
    uint8_t rec[kMaxRecordBytes];
    for (;;) {
        in.SkipSpace();
        if (in.AtEnd()) return ReadError{lastLine, "no end record"};
        const std::size_t line = lastLine = in.line;
        if (in.text[in.pos] == '#') {
            // A comment line, as some shipped firmware files have.
            const std::size_t end = in.text.find('\n', in.pos);
            in.pos = end == std::string_view::npos ? in.text.size() : end;
            continue;
        }
        if (in.text[in.pos] != ':') return ReadError{line, "not a HEX record"};
        ++in.pos;
        std::size_t n = 0;
        if (const char* why = DecodeToken(in, rec, n)) return ReadError{line, why};
        if (n < 5) return ReadError{line, "record too short"};
        const std::size_t count = rec[0];
        if (n < count + 5) return ReadError{line, "record shorter than its byte count"};
        if (n > count + 5) return ReadError{line, "record longer than its byte count"};
        uint8_t sum = 0;
        for (std::size_t i = 0; i < n; ++i) sum = static_cast<uint8_t>(sum + rec[i]);
        if (sum != 0) return ReadError{line, "bad record checksum"};
        const uint16_t address = static_cast<uint16_t>(rec[1] << 8 | rec[2]);
        const uint8_t type = rec[3];
        const uint32_t value = static_cast<uint32_t>(rec[4] << 8 | rec[5]);  // types 02 and 04
        switch (type) {
            case 0x00:
                if (delivering) {
                    const DataRecord data{base + address, rec + 4, count, line};
                    if (sink(data) == DataFlow::Enough) delivering = false;
                }
                break;
            case 0x01:
                if (count != 0) return ReadError{line, "end record with data"};
                return std::nullopt;
            case 0x02:
                if (count != 2) return ReadError{line, "segment address record of wrong length"};
                base = uint64_t{value} * 16u;
                break;
            case 0x04:
                if (count != 2) return ReadError{line, "linear address record of wrong length"};
                base = uint64_t{value} << 16;
                break;
            case 0x03:
            case 0x05:
                if (count != 4) return ReadError{line, "start address record of wrong length"};
                break;
            default:
                return ReadError{line, "unknown record type " + TwoDigits(type)};
        }
    }
}

std::optional<ReadError> ReadSRecords(TextCursor& in, const DataSink& sink) {
    bool delivering = true;
    uint64_t dataRecords = 0;
    bool endsWithCount = false;
    std::size_t lastLine = in.line;
    uint8_t rec[kMaxRecordBytes];
    for (;;) {
        in.SkipSpace();
        if (in.AtEnd()) {
            // Without a start address some tools end the file with the count record instead.
            if (endsWithCount) return std::nullopt;
            return ReadError{lastLine, "no termination record (S7, S8 or S9)"};
        }
        const std::size_t line = lastLine = in.line;
        if (in.text[in.pos] != 'S' || in.pos + 1 >= in.text.size() ||
            in.text[in.pos + 1] < '0' || in.text[in.pos + 1] > '9')
            return ReadError{line, "not an S-record"};
        const int type = in.text[in.pos + 1] - '0';
        in.pos += 2;
        std::size_t n = 0;
        if (const char* why = DecodeToken(in, rec, n)) return ReadError{line, why};
        if (n < 1) return ReadError{line, "record too short"};
        const std::size_t count = rec[0];
        if (n < count + 1) return ReadError{line, "record shorter than its byte count"};
        if (n > count + 1) return ReadError{line, "record longer than its byte count"};
        unsigned sum = 0;
        for (std::size_t i = 0; i + 1 < n; ++i) sum += rec[i];
        if (static_cast<uint8_t>(~sum) != rec[n - 1]) return ReadError{line, "bad record checksum"};

        std::size_t addressBytes = 0;
        switch (type) {
            case 0: case 1: case 5: case 9: addressBytes = 2; break;
            case 2: case 6: case 8: addressBytes = 3; break;
            case 3: case 7: addressBytes = 4; break;
            default: return ReadError{line, "unknown record type S" + std::to_string(type)};
        }
        if (count < addressBytes + 1) return ReadError{line, "record too short"};
        uint64_t address = 0;
        for (std::size_t i = 0; i < addressBytes; ++i) address = address << 8 | rec[1 + i];
        const uint8_t* data = rec + 1 + addressBytes;
        const std::size_t dataCount = count - addressBytes - 1;
        endsWithCount = type == 5 || type == 6;
        switch (type) {
            case 0:
                break;
            case 1:
            case 2:
            case 3:
                ++dataRecords;
                if (delivering) {
                    const DataRecord record{address, data, dataCount, line};
                    if (sink(record) == DataFlow::Enough) delivering = false;
                }
                break;
            case 5:
            case 6:
                if (dataCount != 0) return ReadError{line, "count record with data"};
                if (address != dataRecords)
                    return ReadError{line, "count record says " + std::to_string(address) +
                                               " data records, the file has " +
                                               std::to_string(dataRecords)};
                break;
            default:  // 7, 8, 9
                if (dataCount != 0) return ReadError{line, "termination record with data"};
                return std::nullopt;
        }
    }
}

}  // namespace lumacrest
