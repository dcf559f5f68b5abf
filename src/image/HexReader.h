// Reading image data from files: the Intel HEX record stream and raw bytes. Every HEX reader
// of the tool (image loads, project sections, update-file packaging) goes through
// ReadHexRecords, so records are read the same way everywhere: one whitespace-delimited token
// per record, read by character position, checksums not examined.
#pragma once

#include <cstdint>
#include <cstdio>
#include <functional>
#include <span>

#include "image/HexRecord.h"
#include "image/TextScanner.h"

namespace lumacrest {

// What a data-record handler wants next.
enum class HexFlow {
    Continue,   // hand over the next data record
    Stop,       // stop reading here
    SkipToEnd,  // read on to the end-of-file record, handing over nothing more
};

struct HexStreamResult {
    bool sawEndRecord = false;       // an end-of-file record (type 01) ended the stream
    std::size_t overlongTokens = 0;  // tokens longer than any valid record, skipped whole
};

// Reads records from `in` until an end-of-file record, the end of the file, or the handler
// says Stop. Type 02 sets the segment base (16 x its value); type 00 goes to `onData` with
// its full address (segment base + record address); every other type is skipped, and so is
// a token longer than kMaxHexRecordLength or too short to carry a type.
HexStreamResult ReadHexRecords(TextScanner& in,
                               const std::function<HexFlow(const HexRecord&, uint32_t)>& onData);

// How a HEX image is placed into a buffer.
struct HexImageRules {
    uint32_t offset = 0;  // address of buffer offset 0; records below it are not stored
    uint32_t limit = 0;   // end cap of the image (FlashSize, BootSize, ...)
    enum class AtLimit {
        Continue,   // a record ending beyond the limit only caps the image end
        Stop,       // reading stops after a record that ends beyond the limit
        SkipToEnd,  // as Stop, but the stream is read on to its end-of-file record
    } atLimit = AtLimit::Continue;
};

struct HexImageResult {
    // Image end: the highest end (buffer offset) of the stored records, at most `limit`.
    uint32_t end = 0;
    bool passedLimit = false;  // a stored record ended beyond the limit
    HexStreamResult stream;
};

// Stores the data records of `in` into `buffer`; bytes beyond the buffer are dropped. The
// buffer is not filled first: the caller erases it.
HexImageResult ReadHexImage(TextScanner& in, std::span<uint8_t> buffer, const HexImageRules& rules);

// Raw bytes: file byte i goes to buffer offset i - `offset` when i >= `offset`; only buffer
// offsets below `limit` (and below the buffer's size) are stored. Returns the number of
// bytes stored, which is the image end.
uint32_t ReadBinaryImage(std::FILE* file, std::span<uint8_t> buffer, uint32_t offset,
                         uint32_t limit);

}  // namespace lumacrest
