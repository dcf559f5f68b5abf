// One Intel HEX record, read by character position the way every HEX reader of the tool
// reads it: ":", byte count (1-2), address (3-6), type (7-8), data from 9. The record
// checksum is not examined.
#pragma once

#include <cstdint>
#include <string_view>

namespace lumacrest {

// The longest valid record: ":" + 4 header bytes + 255 data bytes + checksum = 521 chars.
inline constexpr std::size_t kMaxHexRecordLength = 521;

enum : uint8_t { kHexData = 0x00, kHexEnd = 0x01, kHexSegment = 0x02 };

struct HexRecord {
    uint8_t type = 0;
    uint16_t address = 0;
    // Data bytes: the declared count, limited to the digit pairs present after position 9.
    uint8_t count = 0;
    std::string_view token;

    uint8_t Byte(std::size_t i) const;  // data byte i (i < count)
    // Type 02: the 16-bit segment value of characters 9-12 (missing characters count 0).
    uint16_t SegmentValue() const;
};

// False for a token too short to carry a type (fewer than 9 characters).
bool DecodeHexRecord(std::string_view token, HexRecord& out);

}  // namespace lumacrest
