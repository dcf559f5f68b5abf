// The S-record and Intel HEX record readers on text in memory, placed into a buffer at an
// offset from the first four bytes. An accepted text never holds more data bytes than half its
// length, and the image end stays within the limit.
#include <cstdint>
#include <cstdlib>
#include <string_view>
#include <vector>

#include "image/ImageReader.h"
#include "image/RecordReaders.h"

using namespace lumacrest;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 4) return 0;
    const uint32_t offset = uint32_t{data[0]} << 8 | data[1];
    const uint32_t limit = uint32_t{data[2]} << 8 | data[3];
    const std::string_view text(reinterpret_cast<const char*>(data + 4), size - 4);
    static std::vector<uint8_t> buffer(0x10000);
    for (auto reader : {ReadSRecords, ReadHexRecords}) {
        ImagePlacer placer(buffer, {offset, limit, (data[2] & 1) ? ImageRules::AtLimit::Stop
                                                                  : ImageRules::AtLimit::Continue});
        std::size_t bytes = 0;
        TextCursor in(text);
        in.SkipByteOrderMark();
        std::optional<ReadError> error = reader(in, [&](const DataRecord& r) {
            bytes += r.count;
            return placer(r);
        });
        if (!error && bytes * 2 > text.size()) std::abort();
        if (placer.result().end > limit) std::abort();
        if (error && (error->reason.empty() || error->line == 0)) std::abort();
        if (in.pos > text.size()) std::abort();
    }
    return 0;
}
