#include "image/HexWriter.h"

#include <cstdio>


namespace lumacrest {

namespace {
constexpr const char kDigits[] = "0123456789ABCDEF";

void PutByte(std::string& out, uint8_t b) {
    out.push_back(kDigits[b >> 4]);
    out.push_back(kDigits[b & 0xF]);
}
}  // namespace

void HexRecordWriter::Segment(uint32_t k) {
    const uint16_t value = static_cast<uint16_t>(k * 0x1000);
    const uint8_t hi = static_cast<uint8_t>(value >> 8), lo = static_cast<uint8_t>(value);
    out_ += ":02000002";
    PutByte(out_, hi);
    PutByte(out_, lo);
    PutByte(out_, static_cast<uint8_t>(0x100 - ((0x04 + hi + lo) & 0xFF)));
    out_ += '\n';
}

void HexRecordWriter::DataRecord(const uint8_t* bytes) {
    const uint8_t hi = static_cast<uint8_t>(address_ >> 8), lo = static_cast<uint8_t>(address_);
    unsigned sum = 0x10u + hi + lo;
    out_ += ":10";
    PutByte(out_, hi);
    PutByte(out_, lo);
    out_ += "00";
    for (std::size_t i = 0; i < kHexBlock; ++i) {
        PutByte(out_, bytes[i]);
        sum += bytes[i];
    }
    PutByte(out_, static_cast<uint8_t>(0x100 - (sum & 0xFF)));
    out_ += '\n';
}

void HexRecordWriter::Blocks(std::span<const uint8_t> data) {
    for (std::size_t at = 0; at + kHexBlock <= data.size(); at += kHexBlock) {
        if (address_ != 0 && address_ % 0x10000 == 0) Segment(++segment_);
        DataRecord(data.data() + at);
        address_ += kHexBlock;
    }
}

void HexRecordWriter::End() {
    out_ += kHexEndRecord;
    out_ += '\n';
}

void WriteHexSection(std::string& out, std::span<const uint8_t> data) {
    HexRecordWriter writer(out, 0);
    writer.Segment(0);
    writer.Blocks(data);
    writer.End();
}

std::optional<std::string> CheckRecordLength(const char* what, int64_t length, bool mayBeEmpty) {
    if (length < 0 || (length == 0 && !mayBeEmpty))
        return std::string(what) + " is " + std::to_string(length) + " bytes";
    if (length % static_cast<int64_t>(kHexBlock) != 0)
        return std::string(what) + " of " + std::to_string(length) +
               " bytes is not a multiple of 16 bytes";
    return std::nullopt;
}

std::optional<std::string> BuildCombinedHex(const Target& target, std::string* why) {
    const DeviceParams& d = target.dev;
    const int64_t mainLength =
        (int64_t{d.FlashPageCount} - int64_t{d.BootPageCount % 256}) * d.FlashPageSize;
    const int64_t bootLength = int64_t{d.BootPageCount} * d.BootPageSize;
    std::optional<std::string> refused = CheckRecordLength("the main part", mainLength, false);
    if (!refused) refused = CheckRecordLength("the boot part", bootLength, false);
    if (!refused && mainLength > static_cast<int64_t>(target.buf().flash.size()))
        refused = "the main part is larger than the flash buffer";
    if (!refused && bootLength > static_cast<int64_t>(target.buf().boot.size()))
        refused = "the boot part is larger than the boot buffer";
    if (refused) {
        if (why) *why = *refused;
        return std::nullopt;
    }
    std::string out;
    out.reserve(static_cast<std::size_t>(mainLength + bootLength) * 3);
    HexRecordWriter writer(out, kCombineStartAddress);
    writer.Blocks(
        std::span<const uint8_t>(target.buf().flash.data(), static_cast<std::size_t>(mainLength)));
    writer.Blocks(
        std::span<const uint8_t>(target.buf().boot.data(), static_cast<std::size_t>(bootLength)));
    writer.End();
    return out;
}

}  // namespace lumacrest
