// The record readers of the text image formats: Intel HEX and Motorola S-records. Every record
// is checked whole (characters, length, checksum, type) and the stream must end with its end
// record; the first fault ends the reading with the line number and the reason. Data records
// go to a sink in file order, each at its full address.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace lumacrest {

// Why a file was refused. `line` counts from 1; 0 when the reason is about the whole file.
struct ReadError {
    std::size_t line = 0;
    std::string reason;
};

// "File refused, line 12: bad record checksum" (or "File refused: <reason>" without a line):
// the log line that follows the "Failed" of a refused file.
std::string RefusalLine(const ReadError& error);

// Text being read: the position and the line it is on.
struct TextCursor {
    std::string_view text;
    std::size_t pos = 0;
    std::size_t line = 1;

    explicit TextCursor(std::string_view t) : text(t) {}
    // Skips a UTF-8 byte-order mark at the current position.
    void SkipByteOrderMark();
    // Skips blanks, tabs, carriage returns and line feeds, counting the lines.
    void SkipSpace();
    bool AtEnd() const { return pos >= text.size(); }
};

// One data record, decoded.
struct DataRecord {
    uint64_t address = 0;  // full address: base + record address
    const uint8_t* bytes = nullptr;
    std::size_t count = 0;
    std::size_t line = 0;   // the record's line; for a segment of an ELF file its number
    bool segment = false;   // from an ELF file's segment
};

// What the sink of data records wants next.
enum class DataFlow {
    Continue,  // hand over the next data record
    Enough,    // no more data records: the rest of the stream is only checked
};
using DataSink = std::function<DataFlow(const DataRecord&)>;

// Intel HEX: one record a whitespace-delimited token, ":" then byte count, address, type,
// (lines that start with "#" are comments),
// data and checksum as hex digits (either case). Types 00 (data), 01 (end of file), 02
// (extended segment address: base = 16 x value), 03 (start segment address, ignored), 04
// (extended linear address: base = value << 16) and 05 (start linear address, ignored). Reads
// up to and including the end record; the cursor is left just after it.
std::optional<ReadError> ReadHexRecords(TextCursor& in, const DataSink& sink);

// Motorola S-records: S0 (header, ignored), S1/S2/S3 (data with a 16/24/32-bit address),
// S5/S6 (count of the data records so far: checked), S7/S8/S9 (termination, which ends the
// stream). A file may also end with its count record (tools write no termination record when
// they have no start address); it may not end after a data record. The checksum is the ones'
// complement of the sum of the count, address and data.
std::optional<ReadError> ReadSRecords(TextCursor& in, const DataSink& sink);

}  // namespace lumacrest
