#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <string>
#include <vector>

#include "image/HexReader.h"
#include "support/TestHost.h"

namespace lumacrest {
namespace {

using Rules = HexImageRules;

struct Parsed {
    std::array<uint8_t, 0x20000> buf;
    HexImageResult result;
};

Parsed Parse(const std::string& text, Rules rules, std::size_t size = 0x20000) {
    Parsed p;
    p.buf.fill(0xFF);
    TextScanner in;
    EXPECT_TRUE(in.OpenText(text));
    p.result = ReadHexImage(in, std::span<uint8_t>(p.buf.data(), size), rules);
    return p;
}

TEST(HexReader, LoadOffsetAndRecordsBelowIt) {
    // 0x3FF0 runs into 0x4000 but starts below the offset: dropped whole.
    Parsed p = Parse(
        ":10400000000102030405060708090A0B0C0D0E0F78\n"
        ":103FF000AAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAA\n"
        ":00000001FF\n",
        {0x4000, 0x10000});
    for (int i = 0; i < 16; ++i) EXPECT_EQ(p.buf[i], i);
    EXPECT_EQ(p.buf[16], 0xFF);
    EXPECT_EQ(p.result.end, 16u);
    EXPECT_TRUE(p.result.stream.sawEndRecord);
}

TEST(HexReader, SegmentRecordsAndSkippedTypes) {
    Parsed p = Parse(
        ":020000021000EC\n"
        ":0200000011223344\n"  // lands at 0x10000 - 0x4000
        ":020000021A00E2\n"
        ":0100000055AA\n"  // base 0x1A000
        ":020000040001F9\n"
        ":0100100066AA\n"  // type 04 skipped: still in segment 0x1A00
        ":03000003000000FA\n"
        ":00000001FF\n"
        ":0100000077AA\n",  // after the end record: not read
        {0x4000, 0x20000});
    EXPECT_EQ(p.buf[0xC000], 0x11);
    EXPECT_EQ(p.buf[0xC001], 0x22);
    EXPECT_EQ(p.buf[0x1A000 - 0x4000], 0x55);
    EXPECT_EQ(p.buf[0x1A010 - 0x4000], 0x66);
    EXPECT_EQ(p.buf[0], 0xFF);
}

TEST(HexReader, LowerCaseDigitsAndShortRecords) {
    // Lower-case HEX is valid; a byte count larger than the digits present is clamped.
    Parsed p = Parse(
        ":04000000deadbeefc4\n"
        ":10001000ABCD\n"
        ":080020000\n",
        {0, 0x1000});
    EXPECT_EQ(p.buf[0], 0xDE);
    EXPECT_EQ(p.buf[3], 0xEF);
    EXPECT_EQ(p.buf[0x10], 0xAB);
    EXPECT_EQ(p.buf[0x11], 0xCD);  // "CD" taken as data; the checksum is not examined
    EXPECT_EQ(p.buf[0x12], 0xFF);
    EXPECT_EQ(p.buf[0x20], 0xFF);    // no complete pair after the type
    EXPECT_EQ(p.result.end, 0x20u);  // an empty data record still ends where it starts
}

TEST(HexReader, OverlongTokenIsSkippedWhole) {
    std::string text =
        ":0100000011EE\n:FF0010" + std::string(4000, '0') + "AA\n" + ":0100200022DD\n:00000001FF\n";
    Parsed p = Parse(text, {0, 0x1000});
    EXPECT_EQ(p.result.stream.overlongTokens, 1u);
    EXPECT_EQ(p.buf[0], 0x11);
    EXPECT_EQ(p.buf[0x10], 0xFF);
    EXPECT_EQ(p.buf[0x20], 0x22);

    // The longest valid record (255 data bytes) is read in full.
    std::string longest = ":FF000000";
    for (int i = 0; i < 255; ++i) longest += "5A";
    longest += "00";
    ASSERT_EQ(longest.size(), kMaxHexRecordLength);
    p = Parse(longest + "\n", {0, 0x1000});
    EXPECT_EQ(p.result.stream.overlongTokens, 0u);
    EXPECT_EQ(p.buf[254], 0x5A);
    EXPECT_EQ(p.result.end, 255u);
}

TEST(HexReader, ImageEndIsHighestStoredEndCappedAtLimit) {
    // Out of address order: the end follows the highest record, not the last one.
    Parsed p = Parse(":0101000011EE\n:0100100022DD\n", {0, 0x1000});
    EXPECT_EQ(p.result.end, 0x101u);

    // Passing the limit caps the end but the rest of the file is still read.
    p = Parse(":040FFE0011223344AA\n:0100000077AA\n", {0, 0x1000});
    EXPECT_EQ(p.result.end, 0x1000u);
    EXPECT_TRUE(p.result.passedLimit);
    EXPECT_EQ(p.buf[0], 0x77);
    EXPECT_EQ(p.buf[0xFFE], 0x11);

    // Addresses far beyond the buffer are dropped without harm.
    p = Parse(":02000002FFFF00\n:10FFF000000102030405060708090A0B0C0D0E0F00\n", {0, 0x100}, 0x100);
    EXPECT_EQ(p.result.end, 0x100u);
    for (std::size_t i = 0; i < 0x100; ++i) ASSERT_EQ(p.buf[i], 0xFF);
}

TEST(HexReader, StopRulesAtTheLimit) {
    const std::string text =
        ":1000000000112233445566778899AABBCCDDEEFF00\n"
        ":0200100012345E\n"
        ":0100000099AA\n"
        ":00000001FF\n"
        ":0100050077AA\n";
    Parsed stop = Parse(text, {0, 16, Rules::AtLimit::Stop});
    EXPECT_EQ(stop.buf[0x10], 0x12);  // the record that passes the limit is stored
    EXPECT_EQ(stop.buf[0], 0x00);     // but nothing after it
    EXPECT_FALSE(stop.result.stream.sawEndRecord);

    Parsed skip = Parse(text, {0, 16, Rules::AtLimit::SkipToEnd});
    EXPECT_EQ(skip.buf[0], 0x00);
    EXPECT_TRUE(skip.result.stream.sawEndRecord);  // read on to its end record

    // The stream is left just after the end record, so a following section reads in step.
    TextScanner in;
    ASSERT_TRUE(in.OpenText(text));
    std::array<uint8_t, 32> buf{};
    ReadHexImage(in, buf, {0, 16, Rules::AtLimit::SkipToEnd});
    EXPECT_EQ(in.ReadWord(100), ":0100050077AA");
}

TEST(HexReader, BinaryOffsetAndLimit) {
    std::vector<uint8_t> data(0x5000);
    for (std::size_t i = 0; i < data.size(); ++i) data[i] = static_cast<uint8_t>(i * 7);
    auto run = [&](uint32_t offset, uint32_t limit, std::size_t fileSize,
                   std::vector<uint8_t>& out) {
        std::FILE* f = std::tmpfile();
        std::fwrite(data.data(), 1, fileSize, f);
        std::rewind(f);
        out.assign(0x2000, 0xFF);
        uint32_t end = ReadBinaryImage(f, out, offset, limit);
        std::fclose(f);
        return end;
    };
    std::vector<uint8_t> out;
    EXPECT_EQ(run(0x4000, 0x2000, 0x5000, out), 0x1000u);
    EXPECT_EQ(out[0], data[0x4000]);
    EXPECT_EQ(out[0xFFF], data[0x4FFF]);
    EXPECT_EQ(out[0x1000], 0xFF);
    EXPECT_EQ(run(0x4000, 0x2000, 0x4000, out), 0u);  // not longer than the offset
    // Only offsets below the limit are stored.
    EXPECT_EQ(run(0, 0x100, 0x5000, out), 0x100u);
    EXPECT_EQ(out[0xFF], data[0xFF]);
    EXPECT_EQ(out[0x100], 0xFF);
}

}  // namespace
}  // namespace lumacrest
