#include "image/HexReader.h"

#include <algorithm>

namespace lumacrest {

HexStreamResult ReadHexRecords(TextScanner& in,
                               const std::function<HexFlow(const HexRecord&, uint32_t)>& onData) {
    HexStreamResult result;
    uint32_t base = 0;
    bool delivering = true;
    for (;;) {
        bool overlong = false;
        std::optional<std::string> token = in.ReadWord(kMaxHexRecordLength, &overlong);
        if (!token) break;
        if (overlong) {
            ++result.overlongTokens;
            continue;
        }
        HexRecord record;
        if (!DecodeHexRecord(*token, record)) continue;
        if (record.type == kHexSegment) {
            base = uint32_t{record.SegmentValue()} * 16u;
        } else if (record.type == kHexEnd) {
            result.sawEndRecord = true;
            break;
        } else if (record.type == kHexData && delivering) {
            const HexFlow flow = onData(record, base + record.address);
            if (flow == HexFlow::Stop) break;
            if (flow == HexFlow::SkipToEnd) delivering = false;
        }
    }
    return result;
}

HexImageResult ReadHexImage(TextScanner& in, std::span<uint8_t> buffer,
                            const HexImageRules& rules) {
    HexImageResult result;
    result.stream = ReadHexRecords(in, [&](const HexRecord& record, uint32_t address) {
        if (address < rules.offset) return HexFlow::Continue;  // below the image: not stored
        const uint64_t start = address - rules.offset;
        for (std::size_t i = 0; i < record.count; ++i) {
            const uint64_t at = start + i;
            if (at >= buffer.size()) break;
            buffer[at] = record.Byte(i);
        }
        const uint64_t recordEnd = start + record.count;
        result.end = static_cast<uint32_t>(
            std::max<uint64_t>(result.end, std::min<uint64_t>(recordEnd, rules.limit)));
        if (recordEnd <= rules.limit) return HexFlow::Continue;
        result.passedLimit = true;
        switch (rules.atLimit) {
            case HexImageRules::AtLimit::Stop:
                return HexFlow::Stop;
            case HexImageRules::AtLimit::SkipToEnd:
                return HexFlow::SkipToEnd;
            case HexImageRules::AtLimit::Continue:
                break;
        }
        return HexFlow::Continue;
    });
    return result;
}

uint32_t ReadBinaryImage(std::FILE* file, std::span<uint8_t> buffer, uint32_t offset,
                         uint32_t limit) {
    const std::size_t wanted = std::min<std::size_t>(limit, buffer.size());
    if (wanted == 0) return 0;
    // Skip the bytes before the offset; a file that cannot seek is read through.
    if (offset > 0 && ::fseeko(file, static_cast<off_t>(offset), SEEK_SET) != 0) {
        char discard[4096];
        uint64_t left = offset;
        while (left > 0) {
            const std::size_t n = std::fread(
                discard, 1, static_cast<std::size_t>(std::min<uint64_t>(left, sizeof discard)),
                file);
            if (n == 0) return 0;
            left -= n;
        }
    }
    std::size_t stored = 0;
    while (stored < wanted) {
        const std::size_t n = std::fread(buffer.data() + stored, 1, wanted - stored, file);
        if (n == 0) break;
        stored += n;
    }
    return static_cast<uint32_t>(stored);
}

}  // namespace lumacrest
