// Writing Intel HEX the way the tool writes it: 16-byte data records, a type-02 segment record
// at every 64 KB boundary, the end-of-file record, upper-case digits, one record a line.
// Used by the project file sections and by Main && Boot Combine.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>

#include "image/Target.h"

namespace lumacrest {

inline constexpr std::size_t kHexBlock = 16;
inline constexpr const char* kHexEndRecord = ":00000001FF";
inline constexpr const char* kCombineFilter = "Pro Files (*.hex)|*.hex||";
inline constexpr uint32_t kCombineStartAddress = 0x4000;

// The running record sequence: target address A and segment counter k.
class HexRecordWriter {
  public:
    HexRecordWriter(std::string& out, uint32_t startAddress) : out_(out), address_(startAddress) {}

    // The extended segment address record for segment value k x 0x1000.
    void Segment(uint32_t k);
    // Data records for `data`, 16 bytes each, in order; a segment record goes before a block
    // that starts on a nonzero 64 KB boundary. `data.size()` must be a multiple of 16.
    void Blocks(std::span<const uint8_t> data);
    void End();

    uint32_t address() const { return address_; }

  private:
    void DataRecord(const uint8_t* bytes);

    std::string& out_;
    uint32_t address_;
    uint32_t segment_ = 0;
};

// A project section: the segment-0 record, data records for `data` from address 0, the end
// record. `data.size()` must be a multiple of 16.
void WriteHexSection(std::string& out, std::span<const uint8_t> data);

// Why a block of `length` bytes cannot be written as whole records, or nothing.
std::optional<std::string> CheckRecordLength(const char* what, int64_t length, bool mayBeEmpty);

// The combined Main && Boot file: the flash without as many pages as the boot area has, from
// 0x4000, then the boot area right after it. Nothing when the geometry cannot be written;
// `why` tells the reason.
std::optional<std::string> BuildCombinedHex(const Target& target, std::string* why);

}  // namespace lumacrest
