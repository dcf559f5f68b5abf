#include <gtest/gtest.h>

#include <cstdlib>
#include <vector>

#include "image/DeviceCatalogue.h"
#include "image/HexWriter.h"
#include "image/ImageReader.h"
#include "support/TestHost.h"
#include "app/CMainDlg.h"
#include "ui/main/ResourceIds.h"
#include "app/Commands.h"

namespace lumacrest {
namespace {

using test::Lines;
using test::ReadText;
using test::WriteText;

uint8_t Pattern(std::size_t i) {
    return static_cast<uint8_t>(i * 13 + (i >> 9));
}

TEST(HexWriter, RecordTextAndChecksums) {
    std::string out;
    std::vector<uint8_t> block(16, 0xFF);
    WriteHexSection(out, block);
    EXPECT_EQ(out, ":020000020000FC\n:10000000FFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFF00\n:00000001FF\n");

    out.clear();
    std::vector<uint8_t> bytes = {0x0A, 0x00, 0x1F, 0xA0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xFF};
    HexRecordWriter w(out, 0x4010);
    w.Blocks(bytes);
    // 0x10 + 0x40 + 0x10 + 0x0A + 0x1F + 0xA0 + 0xFF = 0x228 -> checksum 0xD8
    EXPECT_EQ(out, ":104010000A001FA00000000000000000000000FFD8\n");

    // Segment records 1 to 5 are the standard extended segment address records.
    out.clear();
    HexRecordWriter s(out, 0);
    for (uint32_t k = 1; k <= 5; ++k) s.Segment(k);
    EXPECT_EQ(out,
              ":020000021000EC\n:020000022000DC\n:020000023000CC\n:020000024000BC\n"
              ":020000025000AC\n");
}

TEST(HexWriter, SectionsCrossSegmentsAndReadBackExactly) {
    std::vector<uint8_t> image(288 * 256);
    for (std::size_t i = 0; i < image.size(); ++i) image[i] = Pattern(i);
    std::string out;
    WriteHexSection(out, image);
    const auto lines = Lines(out);
    ASSERT_EQ(lines.size(), 1 + 4608 + 1 + 1 + 1u);  // the piece after the last line feed
    EXPECT_EQ(lines[0], ":020000020000FC");
    EXPECT_EQ(lines[4096], ":10FFF000" + lines[4096].substr(9));
    EXPECT_EQ(lines[4097], ":020000021000EC");
    EXPECT_EQ(lines[4098].substr(0, 9), ":10000000");
    EXPECT_EQ(lines[4608 + 2], ":00000001FF");

    std::vector<uint8_t> back(image.size(), 0);
    ImagePlacer placer(back, {0, static_cast<uint32_t>(image.size())});
    TextCursor in(out);
    EXPECT_FALSE(ReadHexRecords(in, [&placer](const DataRecord& r) { return placer(r); }));
    EXPECT_EQ(placer.result().end, image.size());
    EXPECT_EQ(back, image);
}

class CombineTest : public ::testing::Test {
  protected:
    CombineTest() { WireCommands(h, router_); }
    void Fill() {
        for (std::size_t i = 0; i < h.target.buf().flash.size(); ++i) h.target.buf().flash[i] = Pattern(i);
        for (std::size_t i = 0; i < h.target.buf().boot.size(); ++i)
            h.target.buf().boot[i] = static_cast<uint8_t>(~Pattern(i));
    }
    test::TestHost t;
    Host& h = t.h();
    CommandRouter router_;
};

TEST_F(CombineTest, ExampleGeometryAndStandardToolReadsItBack) {
    ASSERT_TRUE(SetPageGeometry(h.target, 256, 288, 256, 16));
    Fill();
    t.prompts.QueueFile(t.dir.File("out.HEX"));
    router_.Dispatch(id::Combine);
    EXPECT_EQ(t.prompts.fileFilters.back(), kCombineFilter);
    EXPECT_EQ(t.LogLines().back(), "Save Project File......OK");
    const std::string path = t.dir.File("out.HEX.hex");
    const auto lines = Lines(ReadText(path));
    // Main part 0x11000 bytes at 0x4000 (0x1100 records), boot 0x1000 bytes (0x100 records).
    ASSERT_EQ(lines.size(), 0x1100 + 1 + 0x100 + 1 + 1u);
    EXPECT_EQ(lines[0].substr(0, 9), ":10400000");
    EXPECT_EQ(lines[0xBFF].substr(0, 9), ":10FFF000");
    EXPECT_EQ(lines[0xC00], ":020000021000EC");
    EXPECT_EQ(lines[0x1100].substr(0, 9), ":104FF000");  // last main record, 0x14FF0
    EXPECT_EQ(lines[0x1101].substr(0, 9), ":10500000");  // boot starts at 0x15000
    EXPECT_EQ(lines[0x1101].substr(7, 2), "00");
    EXPECT_EQ(lines[0x1200].substr(0, 9), ":105FF000");
    EXPECT_EQ(lines[0x1201], ":00000001FF");
    for (const auto& l : lines) ASSERT_EQ(l.find_first_of("abcdef"), std::string::npos) << l;

    // srec_cat reads it back to the same bytes.
    const std::string bin = t.dir.File("back.bin");
    ASSERT_EQ(std::system(("srec_cat '" + path + "' -intel -offset -0x4000 -o '" + bin +
                           "' -binary 2>/dev/null")
                              .c_str()),
              0);
    const std::string back = ReadText(bin);
    ASSERT_EQ(back.size(), 0x12000u);
    for (std::size_t i = 0; i < 0x11000; ++i)
        ASSERT_EQ(static_cast<uint8_t>(back[i]), h.target.buf().flash[i]) << i;
    for (std::size_t i = 0; i < 0x1000; ++i)
        ASSERT_EQ(static_cast<uint8_t>(back[0x11000 + i]), h.target.buf().boot[i]) << i;
}

TEST_F(CombineTest, SmallMainPartAndBootCrossingTheBoundary) {
    // Main part 0xB000 bytes (0x4000..0xEFFF), boot 0x2000 bytes crossing 0x10000.
    ASSERT_TRUE(SetPageGeometry(h.target, 256, 0xB0 + 0x20, 256, 0x20));
    Fill();
    std::string why;
    std::optional<std::string> text = BuildCombinedHex(h.target, &why);
    ASSERT_TRUE(text) << why;
    const auto lines = Lines(*text);
    ASSERT_EQ(lines[0xB00].substr(0, 9), ":10F00000");  // first boot record, no segment before
    EXPECT_EQ(lines[0xBFF].substr(0, 9), ":10FFF000");
    EXPECT_EQ(lines[0xC00], ":020000021000EC");
    EXPECT_EQ(lines[0xC01].substr(0, 9), ":10000000");
}

TEST_F(CombineTest, UnwritableGeometriesAreRefused) {
    ASSERT_TRUE(SetPageGeometry(h.target, 256, 10, 256, 16));  // more boot pages than flash pages
    const std::string path = t.dir.File("x.hex");
    WriteText(path, "old");
    t.prompts.QueueFile(path);
    router_.Dispatch(id::Combine);
    ASSERT_EQ(t.MessageTexts().size(), 1u);
    EXPECT_NE(t.MessageTexts()[0].find("the main part is -1536 bytes"), std::string::npos);
    EXPECT_EQ(t.LogLines().back(), "Save Project File......Failed");
    EXPECT_EQ(ReadText(path), "old");

    ASSERT_TRUE(SetPageGeometry(h.target, 20, 100, 256, 1));  // 99 x 20 bytes: not whole records
    std::string why;
    EXPECT_FALSE(BuildCombinedHex(h.target, &why));
    EXPECT_NE(why.find("not a multiple of 16"), std::string::npos);
    ASSERT_TRUE(SetPageGeometry(h.target, 256, 100, 256, 0));  // no boot part
    EXPECT_FALSE(BuildCombinedHex(h.target, &why));
}

TEST_F(CombineTest, FailedWriteIsReportedNotLoggedOk) {
    ASSERT_TRUE(SetPageGeometry(h.target, 256, 288, 256, 16));
    t.prompts.QueueFile(t.dir.File("no/such/dir/out.hex"));
    router_.Dispatch(id::Combine);
    EXPECT_EQ(t.MessageTexts(), std::vector<std::string>{"******File Save Failed******"});
    EXPECT_EQ(t.LogLines().back(), "Save Project File......Failed");
}

}  // namespace
}  // namespace lumacrest
