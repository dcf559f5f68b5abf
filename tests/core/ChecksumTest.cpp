#include <gtest/gtest.h>

#include <cstring>

#include "image/Checksums.h"
#include "image/DeviceCatalogue.h"
#include "image/Crc16.h"
#include "support/TestHost.h"
#include "ops/OperatorView.h"

namespace lumacrest {
namespace {

TEST(Crc16, KnownValues) {
    const char* check = "123456789";
    EXPECT_EQ(Crc16(reinterpret_cast<const uint8_t*>(check), 9), 0x906E);
    EXPECT_EQ(Crc16(reinterpret_cast<const uint8_t*>(check), 0), 0x0000);
    EXPECT_EQ(Crc16(reinterpret_cast<const uint8_t*>(check), -5), 0x0000);
    const uint8_t one[] = {0x00};
    EXPECT_EQ(Crc16(one, 1), 0xF078);  // CRC-16/X-25 of a single zero byte
}

TEST(HexPairValue, DigitsInBothPositions) {
    EXPECT_EQ(HexPairValue('1', 'F'), 0x1F);
    EXPECT_EQ(HexPairValue('0', '0'), 0x00);
    EXPECT_EQ(HexPairValue('A', 'g'), 0xA0);  // a non-digit low character counts 0
    EXPECT_EQ(HexPairValue('a', 'f'), 0xAF);  // lower case is valid Intel HEX
    EXPECT_EQ(HexPairValue('f', 'A'), 0xFA);
    EXPECT_EQ(HexPairValue('9', '9'), 0x99);
    EXPECT_EQ(HexPairValue(':', '1'), 0x01);
}

TEST(FormatChecksum, AlwaysFourLowerCaseDigits) {
    EXPECT_EQ(FormatChecksum(0x0000), "0x0000");
    EXPECT_EQ(FormatChecksum(0x000A), "0x000a");
    EXPECT_EQ(FormatChecksum(0x00FF), "0x00ff");
    EXPECT_EQ(FormatChecksum(0x0ABC), "0x0abc");
    EXPECT_EQ(FormatChecksum(0xC0DE), "0xc0de");
}

TEST(ShowChecksums, LogsBothLinesAndCopiesTheUsedRanges) {
    test::TestHost t;
    Host& h = t.h();
    ASSERT_TRUE(SetPageGeometry(h.target, 256, 4, 256, 2));
    std::memcpy(h.target.buf().flash.data(), "123456789", 9);
    h.target.buf().flashReadBack[1023] = 0x00;
    h.target.buf().flashReadBack[1024] = 0x11;  // past the used range: untouched
    ShowChecksums(h.view, h.target);

    uint8_t expected[1024];
    std::memset(expected, 0xFF, sizeof expected);
    std::memcpy(expected, "123456789", 9);
    auto lines = t.LogLines();
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[1], "Flash Buffer Check Sum: " + FormatChecksum(Crc16(expected, 1024)));
    uint8_t blank[512];
    std::memset(blank, 0xFF, sizeof blank);
    EXPECT_EQ(lines[2], "Boot  Buffer Check Sum: " + FormatChecksum(Crc16(blank, 512)));
    EXPECT_EQ(h.target.buf().flashReadBack[1023], 0xFF);
    EXPECT_EQ(h.target.buf().flashReadBack[1024], 0x11);
    EXPECT_EQ(h.target.BufferChecksum, Crc16(blank, 512));
}

TEST(ShowChecksums, EmptyRangesGiveZero) {
    test::TestHost t;
    Host& h = t.h();
    ASSERT_TRUE(SetPageGeometry(h.target, 256, 0, 256, 0));
    ShowChecksums(h.view, h.target);
    auto lines = t.LogLines();
    EXPECT_EQ(lines[1], "Flash Buffer Check Sum: 0x0000");
    EXPECT_EQ(lines[2], "Boot  Buffer Check Sum: 0x0000");
}

TEST(ImageBuffers, StartErasedWithAZeroKeyCode) {
    ImageBuffers b;
    EXPECT_EQ(b.flash[0], 0xFF);
    EXPECT_EQ(b.flash[kFlashBufferSize - 1], 0xFF);
    EXPECT_EQ(b.bootReadBack[kBootBufferSize - 1], 0xFF);
    for (uint8_t v : b.keyCode) EXPECT_EQ(v, 0x00);
}

}  // namespace
}  // namespace lumacrest
