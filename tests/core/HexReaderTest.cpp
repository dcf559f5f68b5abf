// The record readers (Intel HEX, S-records) and the placing of an image into a buffer.
#include <gtest/gtest.h>

#include <array>
#include <string>
#include <vector>

#include "image/ImageReader.h"
#include "image/RecordReaders.h"
#include "support/TestHost.h"

namespace lumacrest {
namespace {

using Rules = ImageRules;

struct Parsed {
    std::vector<uint8_t> buf;
    PlacedImage image;
    std::optional<ReadError> error;
};

Parsed ParseWith(std::optional<ReadError> (*reader)(TextCursor&, const DataSink&),
                 const std::string& text, Rules rules, std::size_t size) {
    Parsed p;
    p.buf.assign(size, 0xFF);
    ImagePlacer placer(p.buf, rules);
    TextCursor in(text);
    in.SkipByteOrderMark();
    p.error = reader(in, [&placer](const DataRecord& r) { return placer(r); });
    p.image = placer.result();
    return p;
}
Parsed Hex(const std::string& text, Rules rules, std::size_t size = 0x20000) {
    return ParseWith(ReadHexRecords, text, rules, size);
}
Parsed Srec(const std::string& text, Rules rules, std::size_t size = 0x20000) {
    return ParseWith(ReadSRecords, text, rules, size);
}

// An Intel HEX record with its checksum.
std::string Rec(uint8_t type, uint16_t address, std::vector<uint8_t> data) {
    char text[16];
    std::string out = ":";
    unsigned sum = static_cast<unsigned>(data.size()) + (address >> 8) + (address & 0xFF) + type;
    std::snprintf(text, sizeof text, "%02X%04X%02X", static_cast<unsigned>(data.size()), address,
                  type);
    out += text;
    for (uint8_t b : data) {
        std::snprintf(text, sizeof text, "%02X", b);
        out += text;
        sum += b;
    }
    std::snprintf(text, sizeof text, "%02X", (0x100 - (sum & 0xFF)) & 0xFF);
    return out + text + "\n";
}
const std::string kEnd = ":00000001FF\n";

TEST(HexReader, LoadOffsetAndRecordsBelowIt) {
    // 0x3FF0 runs into 0x4000 but starts below the offset: dropped whole.
    Parsed p = Hex(":10400000000102030405060708090A0B0C0D0E0F38\n" +
                       Rec(0, 0x3FF0, std::vector<uint8_t>(16, 0xAA)) + kEnd,
                   {0x4000, 0x10000});
    ASSERT_FALSE(p.error) << p.error->reason;
    for (int i = 0; i < 16; ++i) EXPECT_EQ(p.buf[i], i);
    EXPECT_EQ(p.buf[16], 0xFF);
    EXPECT_EQ(p.image.end, 16u);
}

TEST(HexReader, SegmentAndLinearAddressRecords) {
    Parsed p = Hex(Rec(2, 0, {0x10, 0x00}) + Rec(0, 0, {0x11, 0x22}) +  // 0x10000
                       Rec(2, 0, {0x1A, 0x00}) + Rec(0, 0, {0x55}) +  // base 0x1A000
                       Rec(4, 0, {0x00, 0x01}) + Rec(0, 0x1010, {0x66}) +  // linear 0x11010
                       Rec(3, 0, {0, 0, 0, 0}) + Rec(5, 0, {0, 0, 0x40, 0}) + kEnd +
                       Rec(0, 0, {0x77}),  // after the end record: not read
                   {0x4000, 0x20000});
    ASSERT_FALSE(p.error) << p.error->reason;
    EXPECT_EQ(p.buf[0xC000], 0x11);
    EXPECT_EQ(p.buf[0xC001], 0x22);
    EXPECT_EQ(p.buf[0x1A000 - 0x4000], 0x55);
    EXPECT_EQ(p.buf[0x11010 - 0x4000], 0x66);
    EXPECT_EQ(p.buf[0x1A010 - 0x4000], 0xFF);
    EXPECT_EQ(p.buf[0], 0xFF);
}

TEST(HexReader, LowerCaseDigitsByteOrderMarkAndLineEndings) {
    Parsed p = Hex("\xEF\xBB\xBF:04000000deadbeefc4\r\n\r\n  :00000001ff\r\n", {0, 0x1000});
    ASSERT_FALSE(p.error) << p.error->reason;
    EXPECT_EQ(p.buf[0], 0xDE);
    EXPECT_EQ(p.buf[3], 0xEF);
    EXPECT_EQ(p.image.end, 4u);
}

TEST(HexReader, EveryFaultIsRefusedWithItsLine) {
    struct Case {
        std::string text;
        std::size_t line;
        std::string reason;
    };
    const std::string good = Rec(0, 0, {1, 2, 3});
    const std::vector<Case> cases = {
        {good + ":03000000010204F7\n" + kEnd, 2, "bad record checksum"},   // a changed byte
        {good + ":0300000001\n" + kEnd, 2, "record shorter than its byte count"},  // cut in half
        {good + ":0300000001020304F7\n" + kEnd, 2, "record longer than its byte count"},
        {good + good, 2, "no end record"},                            // cut before its end
        {"", 1, "no end record"},
        {good + "hello\n" + kEnd, 2, "not a HEX record"},            // junk
        {good + ":0300000001G203F7\n" + kEnd, 2, "not a hex digit"},
        {good + ":030000000102030\n" + kEnd, 2, "odd number of hex digits"},
        {good + ":0000\n" + kEnd, 2, "record too short"},
        {good + Rec(6, 0, {}) + kEnd, 2, "unknown record type 06"},
        {good + Rec(4, 0, {1}) + kEnd, 2, "linear address record of wrong length"},
        {good + Rec(2, 0, {1, 2, 3}) + kEnd, 2, "segment address record of wrong length"},
        {good + Rec(5, 0, {1}) + kEnd, 2, "start address record of wrong length"},
        {good + Rec(1, 0, {1}), 2, "end record with data"},
        {"\n\n" + good + ":" + std::string(600, '0') + "\n" + kEnd, 4,
         "record longer than its byte count"},
    };
    for (const Case& c : cases) {
        Parsed p = Hex(c.text, {0, 0x1000});
        ASSERT_TRUE(p.error) << c.text;
        EXPECT_EQ(p.error->line, c.line) << c.text;
        EXPECT_EQ(p.error->reason, c.reason) << c.text;
    }
    EXPECT_EQ(RefusalLine({12, "bad record checksum"}), "File refused, line 12: bad record checksum");
    EXPECT_EQ(RefusalLine({0, "the image is empty"}), "File refused: the image is empty");
}

TEST(HexReader, LongestRecordIsReadInFull) {
    std::vector<uint8_t> data(255, 0x5A);
    Parsed p = Hex(Rec(0, 0, data) + kEnd, {0, 0x1000});
    ASSERT_FALSE(p.error) << p.error->reason;
    EXPECT_EQ(p.buf[254], 0x5A);
    EXPECT_EQ(p.image.end, 255u);
}

TEST(HexReader, ImageEndIsHighestStoredEndCappedAtLimit) {
    // Out of address order: the end follows the highest record, not the last one.
    Parsed p = Hex(Rec(0, 0x100, {0x11}) + Rec(0, 0x10, {0x22}) + kEnd, {0, 0x1000});
    EXPECT_EQ(p.image.end, 0x101u);
    EXPECT_EQ(p.image.lowestStored, 0x10u);

    // Passing the limit caps the end but the rest of the file is still read.
    p = Hex(Rec(0, 0xFFE, {0x11, 0x22, 0x33, 0x44}) + Rec(0, 0, {0x77}) + kEnd, {0, 0x1000});
    EXPECT_EQ(p.image.end, 0x1000u);
    EXPECT_TRUE(p.image.passedLimit);
    EXPECT_EQ(p.buf[0], 0x77);
    EXPECT_EQ(p.buf[0xFFE], 0x11);

    // Addresses far beyond the buffer are dropped without harm.
    p = Hex(Rec(4, 0, {0xFF, 0xFF}) + Rec(0, 0xFFF0, std::vector<uint8_t>(16, 1)) + kEnd,
            {0, 0x100}, 0x100);
    EXPECT_FALSE(p.error);
    EXPECT_EQ(p.image.end, 0x100u);
    EXPECT_FALSE(p.image.lowestStored);
    for (std::size_t i = 0; i < 0x100; ++i) ASSERT_EQ(p.buf[i], 0xFF);
}

TEST(HexReader, StopAtTheLimitStillChecksTheRest) {
    const std::string head = Rec(0, 0, std::vector<uint8_t>(16, 0x00)) + Rec(0, 0x10, {0x12, 0x34}) +
                             Rec(0, 0, {0x99});
    Parsed stop = Hex(head + kEnd, {0, 16, Rules::AtLimit::Stop});
    EXPECT_FALSE(stop.error);
    EXPECT_EQ(stop.buf[0x10], 0x12);  // the record that passes the limit is stored
    EXPECT_EQ(stop.buf[0], 0x00);     // but nothing after it

    // A bad record after the stop still refuses the file.
    stop = Hex(head + ":0100000098AA\n" + kEnd, {0, 16, Rules::AtLimit::Stop});
    ASSERT_TRUE(stop.error);
    EXPECT_EQ(stop.error->line, 4u);

    // The cursor is left just after the end record, so a following section reads in step.
    const std::string text = head + kEnd + Rec(0, 5, {0x77});
    TextCursor in(text);
    EXPECT_FALSE(ReadHexRecords(in, [](const DataRecord&) { return DataFlow::Continue; }));
    in.SkipSpace();
    EXPECT_EQ(in.line, 5u);
    EXPECT_EQ(in.text.substr(in.pos), ":0100050077" "83\n");
}

// S-records with their checksum.
std::string S(int type, uint64_t address, std::vector<uint8_t> data) {
    const int addressBytes = (type == 2 || type == 6 || type == 8) ? 3 : (type == 3 || type == 7) ? 4 : 2;
    std::vector<uint8_t> body;
    body.push_back(static_cast<uint8_t>(addressBytes + data.size() + 1));
    for (int i = addressBytes - 1; i >= 0; --i) body.push_back(static_cast<uint8_t>(address >> (8 * i)));
    body.insert(body.end(), data.begin(), data.end());
    unsigned sum = 0;
    for (uint8_t b : body) sum += b;
    body.push_back(static_cast<uint8_t>(~sum));
    std::string out = "S" + std::to_string(type);
    char text[8];
    for (uint8_t b : body) {
        std::snprintf(text, sizeof text, "%02X", b);
        out += text;
    }
    return out + "\n";
}

TEST(SRecordReader, AllAddressSizesAndCounts) {
    Parsed p = Srec(S(0, 0, {'h', 'd', 'r'}) + S(1, 0x4000, {1, 2}) + S(2, 0x14000, {3}) +
                        S(3, 0x4010, {4, 5, 6}) + S(5, 3, {}) + S(9, 0x4000, {}),
                    {0x4000, 0x20000});
    ASSERT_FALSE(p.error) << p.error->reason;
    EXPECT_EQ(p.buf[0], 1);
    EXPECT_EQ(p.buf[1], 2);
    EXPECT_EQ(p.buf[0x10000], 3);
    EXPECT_EQ(p.buf[0x10], 4);
    EXPECT_EQ(p.buf[0x12], 6);
    EXPECT_EQ(p.image.end, 0x10001u);
    for (int t : {7, 8}) EXPECT_FALSE(Srec(S(1, 0, {1}) + S(t, 0, {}), {0, 16}).error) << t;
    // Without a start address the count record may end the file.
    EXPECT_FALSE(Srec(S(1, 0, {1}) + S(5, 1, {}) + "\n", {0, 16}).error);
}

TEST(SRecordReader, EveryFaultIsRefusedWithItsLine) {
    struct Case {
        std::string text;
        std::size_t line;
        std::string reason;
    };
    const std::string good = S(1, 0, {1, 2, 3});
    const std::vector<Case> cases = {
        {good + "S106000001020405\n" + S(9, 0, {}), 2, "bad record checksum"},
        {good + "S1060000010203\n" + S(9, 0, {}), 2, "record shorter than its byte count"},
        {good + good, 2, "no termination record (S7, S8 or S9)"},
        {good + ":00000001FF\n", 2, "not an S-record"},
        {good + S(4, 0, {}) + S(9, 0, {}), 2, "unknown record type S4"},
        {good + S(5, 7, {}) + S(9, 0, {}), 2, "count record says 7 data records, the file has 1"},
        {good + S(9, 0, {1}), 2, "termination record with data"},
        {good + "S10200FD\n" + S(9, 0, {}), 2, "record too short"},
    };
    for (const Case& c : cases) {
        Parsed p = Srec(c.text, {0, 0x1000});
        ASSERT_TRUE(p.error) << c.text;
        EXPECT_EQ(p.error->line, c.line) << c.text;
        EXPECT_EQ(p.error->reason, c.reason) << c.text;
    }
}

TEST(ImageFormat, NamesAndContentChooseTheReader) {
    EXPECT_EQ(FormatOf("a.hex", ":00000001FF"), ImageFormat::IntelHex);
    EXPECT_EQ(FormatOf("a.HEX", "\xEF\xBB\xBF\n S0030000FC"), ImageFormat::SRecord);
    for (const char* name : {"a.s19", "a.S28", "a.s37", "a.srec", "a.MOT"})
        EXPECT_EQ(FormatOf(name, "S0030000FC"), ImageFormat::SRecord) << name;
    EXPECT_EQ(FormatOf("a.s19", ":00000001FF"), ImageFormat::IntelHex);
    EXPECT_EQ(FormatOf("a.bin", "S0030000FC"), ImageFormat::Raw);
    // What the file plainly holds decides, whatever the name; .bin and .ses stay raw bytes.
    EXPECT_EQ(FormatOf("a.hx", ":00000001FF"), ImageFormat::IntelHex);
    EXPECT_EQ(FormatOf("a.ihx", ":10000000"), ImageFormat::IntelHex);
    EXPECT_EQ(FormatOf("fw", "\x7f" "ELF\x01"), ImageFormat::Elf);
    EXPECT_EQ(FormatOf("fw.hex", "\x7f" "ELF\x01"), ImageFormat::Elf);
    EXPECT_EQ(FormatOf("a.txt", " \r\nS1130000"), ImageFormat::SRecord);
    EXPECT_EQ(ChooseFormat("a.ses", ":00000001FF").heldAsRaw, ImageFormat::IntelHex);
    EXPECT_EQ(ChooseFormat("a.BIN", "\x7f" "ELF").heldAsRaw, ImageFormat::Elf);
    EXPECT_EQ(ChooseFormat("a.bin", "\x7f" "ELx").heldAsRaw, std::nullopt);
    // Otherwise the name: raw bytes, a text image, an ELF file that then must be one.
    EXPECT_EQ(FormatOf("a.hx", ":0G"), ImageFormat::Raw);
    EXPECT_EQ(FormatOf("a.a90", "junk"), ImageFormat::Raw);
    EXPECT_EQ(FormatOf("a.a90", "junk", {.a90IsHex = true}), ImageFormat::IntelHex);
    EXPECT_EQ(FormatOf("a.ihex", "junk"), ImageFormat::IntelHex);
    EXPECT_EQ(FormatOf("a.elf", "junk"), ImageFormat::Elf);
    // KeyCode files are chosen by their name.
    EXPECT_EQ(FormatOf("k.key", ":00000001FF", {.byContent = false}), ImageFormat::Raw);
    EXPECT_EQ(FormatOf("k.elf", "\x7f" "ELF", {.byContent = false}), ImageFormat::Raw);
    EXPECT_EQ(&ReaderOf(ImageFormat::SRecord), &ReaderOf(FormatOf("x.srec", "S")));
}

TEST(ImageFile, RawOffsetAndLimit) {
    test::TempDir dir;
    std::string data(0x5000, '\0');
    for (std::size_t i = 0; i < data.size(); ++i) data[i] = static_cast<char>(i * 7);
    auto run = [&](uint32_t offset, uint32_t limit, std::size_t fileSize, std::vector<uint8_t>& out) {
        test::WriteText(dir.File("raw.bin"), data.substr(0, fileSize));
        out.assign(0x2000, 0xFF);
        ImageFileResult r = ReadImageFile(dir.File("raw.bin"), out, {offset, limit});
        EXPECT_EQ(r.status, ImageFileResult::Status::Loaded);
        EXPECT_EQ(r.fileSize, fileSize);
        return r.image.end;
    };
    std::vector<uint8_t> out;
    EXPECT_EQ(run(0x4000, 0x2000, 0x5000, out), 0x1000u);
    EXPECT_EQ(out[0], static_cast<uint8_t>(data[0x4000]));
    EXPECT_EQ(out[0xFFF], static_cast<uint8_t>(data[0x4FFF]));
    EXPECT_EQ(out[0x1000], 0xFF);
    EXPECT_EQ(run(0x4000, 0x2000, 0x4000, out), 0u);  // not longer than the offset
    EXPECT_EQ(run(0, 0x100, 0x5000, out), 0x100u);     // only offsets below the limit
    EXPECT_EQ(out[0xFF], static_cast<uint8_t>(data[0xFF]));
    EXPECT_EQ(out[0x100], 0xFF);
}

}  // namespace
}  // namespace lumacrest
