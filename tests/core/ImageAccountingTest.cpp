// Every byte of an image file is accounted for: what lands in the area reaches the chip, a
// file of which nothing lands is refused, overlapping records that disagree are refused, and
// ELF files and .ihx files are read by what they hold.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include <filesystem>

#include "app/Commands.h"
#include "host/RunRecords.h"
#include "host/CipherFileCommands.h"
#include "host/DeviceCommands.h"
#include "image/Checksums.h"
#include "image/Crc16.h"
#include "cli/CliOptions.h"
#include "cli/CliRunner.h"
#include "image/DeviceCatalogue.h"
#include "image/HexWriter.h"
#include "image/ImageReader.h"
#include "platform/Text.h"
#include "support/EngineHost.h"
#include "ui/main/ResourceIds.h"

namespace lumacrest {
namespace {

using test::EngineHost;
using test::WriteText;
using Bytes = std::vector<uint8_t>;

uint8_t At(uint64_t address) { return static_cast<uint8_t>(address * 13 + (address >> 7)); }

std::string HexByte(unsigned v) {
    char text[4];
    std::snprintf(text, sizeof text, "%02X", v & 0xFF);
    return text;
}

// One Intel HEX record with its checksum.
std::string Record(uint8_t type, uint16_t address, const Bytes& data) {
    unsigned sum = static_cast<unsigned>(data.size()) + (address >> 8) + (address & 0xFF) + type;
    std::string out = ":" + HexByte(static_cast<unsigned>(data.size())) + HexByte(address >> 8) +
                      HexByte(address) + HexByte(type);
    for (uint8_t b : data) {
        out += HexByte(b);
        sum += b;
    }
    return out + HexByte(0x100 - (sum & 0xFF)) + "\n";
}

// `size` bytes of At() from `base` in records of `perRecord` bytes, with linear address
// records, as a HEX writer with that record length writes them.
std::string HexImage(uint64_t base, std::size_t size, std::size_t perRecord) {
    std::string text;
    uint64_t upper = ~uint64_t{0};
    for (std::size_t at = 0; at < size;) {
        const uint64_t address = base + at;
        if ((address >> 16) != upper) {
            upper = address >> 16;
            text += Record(4, 0, {static_cast<uint8_t>(upper >> 8), static_cast<uint8_t>(upper)});
        }
        std::size_t n = std::min(perRecord, size - at);
        n = std::min<std::size_t>(n, 0x10000 - (address & 0xFFFF));  // records stay in a segment
        Bytes data;
        for (std::size_t i = 0; i < n; ++i) data.push_back(At(address + i));
        text += Record(0, static_cast<uint16_t>(address), data);
        at += n;
    }
    return text + ":00000001FF\n";
}

// lumacrest-cli against the in-process box of `t`.
int Cli(EngineHost& t, std::vector<std::string> args) {
    args.insert(args.end(), {"--port", "COM1"});
    cli::ParseResult parsed = cli::ParseCommandLine(args);
    EXPECT_TRUE(parsed.error.empty()) << parsed.error;
    cli::CliRunner runner(t.h());
    return runner.Run(parsed.options, "COM1");
}

std::string LastMessage(const EngineHost& t) {
    const auto texts = t.MessageTexts();
    return texts.empty() ? "" : texts.back();
}

bool HasLine(const std::vector<std::string>& lines, const std::string& line) {
    return std::find(lines.begin(), lines.end(), line) != lines.end();
}

// The engine host's flash: 16 pages of 64 bytes, its area 0x4000-0x43FF at the usual offset.
constexpr uint32_t kFlash = 16 * 64;

// From 0x3F80 in 255-byte records the first record runs from below the offset into the area:
// its bytes from 0x4000 on are the image's first bytes and reach the chip.
TEST(ImageAccounting, StraddlingRecordReachesTheChip) {
    for (std::size_t perRecord : {16u, 32u, 255u}) {
        SCOPED_TRACE(perRecord);
        EngineHost t;
        const std::string path = t.dir.File("app.hex");
        WriteText(path, HexImage(0x3F80, 0x80 + kFlash, perRecord));
        ASSERT_EQ(Cli(t, {"update", "--flash", path, "--options", "erase,flash"}), 0);
        for (uint32_t i = 0; i < kFlash; ++i) ASSERT_EQ(t.box->flash()[i], At(0x4000 + i)) << i;
        EXPECT_EQ(t.h().target.FlashPagesToWrite, 16u);
        // The load says what it placed and what it left out, and the run's record carries it.
        EXPECT_TRUE(HasLine(t.LogLines(), "Flash image 0x4000-0x43FF: 1024 bytes, 16 pages; left out "
                                          "0x3F80-0x3FFF (128 bytes, below the offset)"));
        EXPECT_NE(FormatRunRecord(t.h(), Outcome{}, 0)
                      .find(R"("flash_placed":["0x4000-0x43FF"],"flash_left_out":128,"boot_placed":[])"),
                  std::string::npos);
    }
}

// A file of which no byte lands in the area is refused like a file that cannot be loaded, with
// a line that says where its data lies and where the area is; the chip is not touched.
TEST(ImageAccounting, NothingLandsIsRefusedAndTheChipIsLeftAlone) {
    const struct {
        const char* name;
        std::string content;
        std::string where;
    } cases[] = {
        {"below.hex", HexImage(0x0000, 0x1000, 32), "its data lies at 0x0000-0x0FFF"},
        {"beyond.hex", HexImage(0x4400, 0x100, 16), "its data lies at 0x4400-0x44FF"},
        {"far.hex", HexImage(0x08000000, 0x40, 16), "its data lies at 0x8000000-0x800003F"},
        {"empty.hex", ":00000001FF\n", "it holds no data"},
        {"short.bin", std::string(0x4000, '\x11'), "its data lies at 0x0000-0x3FFF"},
        {"empty.bin", "", "it holds no data"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EngineHost t;
        std::fill(t.box->flash().begin(), t.box->flash().end(), uint8_t{0x5A});
        const std::string path = t.dir.File(c.name);
        WriteText(path, c.content);
        EXPECT_EQ(Cli(t, {"update", "--flash", path, "--options", "erase,flash"}), 1);
        EXPECT_EQ(t.box->flash()[0], 0x5A);
        EXPECT_EQ(t.box->flash()[kFlash - 1], 0x5A);
        const auto lines = t.LogLines();
        EXPECT_TRUE(HasLine(lines, "Open Flash File \"" + path + "\"  . . . . . . Failed"));
        EXPECT_TRUE(HasLine(lines, "File refused: no byte of it lands in the flash area "
                                   "0x4000-0x43FF; " + c.where));
        EXPECT_EQ(LastMessage(t), "******Open Flash File Failed******   ");
    }

    // The boot area and the reload: the same refusal, the reload forgets the path and stops.
    EngineHost t;
    const std::string below = t.dir.File("below.hex");
    WriteText(below, HexImage(0x0000, 0x100, 16));
    t.prompts.QueueFile(below);
    t.Command(id::LoadBootFile);
    EXPECT_TRUE(HasLine(t.LogLines(), "File refused: no byte of it lands in the boot area "
                                      "0x4000-0x407F; its data lies at 0x0000-0x00FF"));
    EXPECT_EQ(LastMessage(t), "******Open Boot File Failed******   ");
    t.h().target.FlashFilePath = below;
    t.Command(id::TbReload);
    EXPECT_EQ(LastMessage(t), "******Open Flash File Failed******   ");
    EXPECT_EQ(t.h().target.FlashFilePath, " ");
}

// Records that give one address two different bytes are refused, naming both lines; records
// that repeat the same bytes are taken.
TEST(ImageAccounting, OverlapsWithDifferentBytesAreRefused) {
    EngineHost t;
    const std::string clash = t.dir.File("clash.hex");
    WriteText(clash, Record(0, 0x4000, Bytes(16, 0x11)) + Record(0, 0x4100, {1}) +
                         Record(0, 0x4008, {0x11, 0x11, 0x22}) + ":00000001FF\n");
    t.h().target.buf().flash[0] = 0x42;
    t.prompts.QueueFile(clash);
    t.Command(id::LoadFlashFile);
    EXPECT_TRUE(HasLine(t.LogLines(),
                        "File refused, line 3: overlaps line 1 with different bytes at 0x400A"));
    EXPECT_EQ(t.h().target.buf().flash[0], 0x42);

    const std::string same = t.dir.File("same.hex");
    WriteText(same, Record(0, 0x4000, Bytes(16, 0x11)) + Record(0, 0x4008, Bytes(8, 0x11)) +
                        ":00000001FF\n");
    t.prompts.QueueFile(same);
    t.Command(id::LoadFlashFile);
    EXPECT_TRUE(HasLine(t.LogLines(), "Open Flash File \"" + same + "\"  . . . . . . OK"));
    EXPECT_EQ(t.h().target.buf().flash[15], 0x11);
}

std::string Interop(const std::string& name) {
    return std::string(LUMACREST_SOURCE_DIR) + "/tests/images/" + name;
}

// An ELF file as ld links it: the loadable segments by their physical addresses (the data's
// load address, not the RAM it is copied to), exactly as objcopy turns it into HEX.
TEST(ImageAccounting, LdElfLoadsByPhysicalAddress) {
    for (const char* elf : {"ld32.elf", "ld64.elf"}) {
        SCOPED_TRACE(elf);
        EngineHost t;
        t.prompts.QueueFile(Interop("ld32.elf.hex"));
        t.Command(id::LoadFlashFile);
        const Bytes fromHex(t.h().target.buf().flash.begin(), t.h().target.buf().flash.begin() + kFlash);
        ASSERT_EQ(fromHex[0], 0x01);
        ASSERT_EQ(fromHex[0x100], 'i');

        ASSERT_EQ(Cli(t, {"update", "--flash", Interop(elf), "--options", "erase,flash"}), 0);
        EXPECT_EQ(Bytes(t.box->flash().begin(), t.box->flash().begin() + kFlash), fromHex);
    }
}

bool Installed(const char* tool) {
    return std::system((std::string("command -v ") + tool + " >/dev/null 2>&1").c_str()) == 0;
}

// Files that srec_cat and objcopy wrote (records of 16, 32 and 255 bytes, address records 02
// and 04, start records 03 and 05, S19, S28 and S37, data across 64 KB), an ld-made ELF file
// and a HEX file a Debian package ships: each loads exactly as srec_cat reads it.
TEST(ImageAccounting, TheInteropSetLoadsAsSrecCatReadsIt) {
    if (!Installed("srec_cat")) GTEST_SKIP() << "srec_cat (package srecord) is not installed";
    const struct {
        const char* file;
        uint32_t offset;
        const char* reading;  // the file srec_cat reads, when it cannot read this one
    } set[] = {
        {"srec-obs16.hex", 0x4000, nullptr}, {"srec-obs32.hex", 0x4000, nullptr},
        {"srec-obs255.hex", 0x4000, nullptr}, {"srec-segment.hex", 0x4000, nullptr},
        {"srec-start.hex", 0x4000, nullptr}, {"srec.s19", 0x4000, nullptr},
        {"srec.s28", 0x4000, nullptr}, {"srec.s37", 0x4000, nullptr},
        {"objcopy.hex", 0xFF00, nullptr}, {"objcopy.srec", 0xFF00, nullptr},
        {"objcopy-s3.srec", 0xFF00, nullptr}, {"objcopy.ihx", 0x4000, nullptr},
        {"ld32.elf", 0x4000, "ld32.elf.hex"}, {"ld64.elf", 0x4000, "ld32.elf.hex"},
        {"ld32.elf.hex", 0x4000, nullptr}, {"fxload-a3load.hex", 0, nullptr},
    };
    for (const auto& f : set) {
        SCOPED_TRACE(f.file);
        test::TestHost t;
        Host& h = t.h();
        CommandRouter router;
        WireCommands(h, router);
        ASSERT_TRUE(SetPageGeometry(h.target, 256, 288, 256, 16));
        t.prompts.QueueFile(Interop(f.file));
        t.prompts.QueueLoadAddress(f.offset);
        router.Dispatch(id::LoadFlashFile);
        ASSERT_TRUE(t.prompts.messages.empty()) << t.LogLines().back();

        const std::string read = f.reading ? f.reading : f.file;
        const std::string format = EndsWithNoCase(read, "hex") || EndsWithNoCase(read, "ihx") ? "-intel" : "-motorola";
        const std::string bin = t.dir.File("srec_cat.bin");
        char range[96];
        std::snprintf(range, sizeof range, " -offset -0x%X -crop 0 0x12000 -fill 0xFF 0 0x12000 ", f.offset);
        ASSERT_EQ(std::system(("srec_cat '" + Interop(read) + "' " + format + range + "-o '" + bin +
                               "' -binary 2>/dev/null").c_str()),
                  0);
        const std::string expected = test::ReadText(bin);
        ASSERT_EQ(expected.size(), 0x12000u);
        for (std::size_t i = 0; i < expected.size(); ++i)
            ASSERT_EQ(h.target.buf().flash[i], static_cast<uint8_t>(expected[i])) << i;
        if (std::string(f.file) == "srec-obs255.hex") {
            EXPECT_EQ(t.LogLines().back(), "Flash image 0x4000-0x40FF, 0xFF00-0x100FF: 768 bytes, 193 pages");
        }
    }
}

// The update-file packager takes an ELF file as it takes the HEX file objcopy made of it, and
// refuses one of which nothing lands in the update area.
TEST(ImageAccounting, ThePackagerReadsElfAndRefusesNothingLanding) {
    test::TestHost t;
    Host& h = t.h();
    std::string packaged[2];
    for (int i = 0; i < 2; ++i) {
        EXPECT_TRUE(PackageUpdateFile(h, Interop(i == 0 ? "ld32.elf.hex" : "ld32.elf")));
        packaged[i] = test::ReadText(t.dir.File(kUpdateFileName));
    }
    EXPECT_EQ(packaged[0].size(), 0x4200u);  // up to 0x4133, in 512-byte pages
    EXPECT_EQ(packaged[1], packaged[0]);

    WriteText(t.dir.File("far.hex"), HexImage(0x20000, 0x10, 16));
    EXPECT_FALSE(PackageUpdateFile(h, t.dir.File("far.hex")));
    EXPECT_EQ(t.LogLines().back(), "File refused: no byte of it lands in the update area 0x0000-0x1FFFF; "
                                   "its data lies at 0x20000-0x2000F");
}

// SDCC names its Intel HEX output .ihx: it is read as HEX, not programmed as text.
TEST(ImageAccounting, IhxIsReadAsIntelHex) {
    EngineHost t;
    const std::string path = t.dir.File("main.ihx");
    WriteText(path, HexImage(0x4000, 0x40, 16));
    ASSERT_EQ(Cli(t, {"update", "--flash", path, "--options", "erase,flash"}), 0);
    for (uint32_t i = 0; i < 0x40; ++i) ASSERT_EQ(t.box->flash()[i], At(0x4000 + i)) << i;
    EXPECT_EQ(t.box->flash()[0x40], 0xFF);
}

// Left out, and why: below the offset, beyond the flash.
TEST(ImageAccounting, TheReportNamesWhatWasLeftOutAndWhy) {
    EngineHost t;
    const std::string path = t.dir.File("parts.hex");
    std::string text = HexImage(0x3000, 0x10, 16) + HexImage(0x4000, 0x100, 16) + HexImage(0x4300, 0x200, 32) +
                       HexImage(0x60000, 0x20, 16);
    // One file: drop the end records but the last.
    for (std::size_t at; (at = text.find(":00000001FF\n")) != text.rfind(":00000001FF\n");) text.erase(at, 12);
    WriteText(path, text);
    t.prompts.QueueFile(path);
    t.Command(id::LoadFlashFile);
    EXPECT_EQ(t.LogLines().back(),
              "Flash image 0x4000-0x40FF, 0x4300-0x43FF: 512 bytes, 16 pages; left out 0x3000-0x300F "
              "(16 bytes, below the offset), 0x4400-0x44FF (256 bytes, beyond the flash), 0x60000-0x6001F "
              "(32 bytes, beyond the flash)");

}

// The tool's own Main && Boot Combine file on the shipped device: as flash at 0x4000 all of it
// lands (the boot part in the last flash pages); as boot at 0 nothing does; as boot where the
// combine put the boot part, the boot part loads.
TEST(ImageAccounting, TheCombinedFileLoadsThreeWays) {
    test::TestHost t;
    Host& h = t.h();
    CommandRouter router;
    WireCommands(h, router);
    std::filesystem::copy_file(LUMACREST_SOURCE_DIR "/res/MN101EF51A_IAP.cfg", t.dir.File("MN101EF51A_IAP.cfg"));
    ASSERT_TRUE(LoadDeviceParams(h, "MN101EF51A_IAP"));
    const DeviceParams& d = h.target.dev;
    const uint32_t mainLength = (d.FlashPageCount - d.BootPageCount) * d.FlashPageSize;
    ASSERT_EQ(d.FlashSize, 0x12000u);
    ASSERT_EQ(d.BootSize, 0x1000u);
    for (uint32_t i = 0; i < kFlashBufferSize; ++i) h.target.buf().flash[i] = At(i);
    for (uint32_t i = 0; i < kBootBufferSize; ++i) h.target.buf().boot[i] = static_cast<uint8_t>(~At(i));
    std::optional<std::string> combined = BuildCombinedHex(h.target, nullptr);
    ASSERT_TRUE(combined);
    const std::string path = t.dir.File("combined.hex");
    WriteText(path, *combined);
    auto load = [&](int command, uint32_t offset) {
        t.prompts.QueueFile(path);
        t.prompts.QueueLoadAddress(offset);
        router.Dispatch(command);
        return t.LogLines();
    };

    auto lines = load(id::LoadFlashFile, 0x4000);
    for (uint32_t i = 0; i < mainLength; ++i) ASSERT_EQ(h.target.buf().flash[i], At(i)) << i;
    for (uint32_t i = 0; i < d.BootSize; ++i)
        ASSERT_EQ(h.target.buf().flash[mainLength + i], static_cast<uint8_t>(~At(i))) << i;
    EXPECT_EQ(lines.end()[-3], "Flash Buffer Check Sum: " +
                                   FormatChecksum(Crc16(h.target.buf().flash.data(), 0x12000) & 0xFFFF));
    EXPECT_EQ(lines.back(), "Flash image 0x4000-0x15FFF: 73728 bytes, 288 pages");

    lines = load(id::LoadBootFile, 0);
    EXPECT_EQ(lines.back(), "File refused: no byte of it lands in the boot area 0x0000-0x0FFF; its data "
                            "lies at 0x4000-0x15FFF");

    for (uint32_t i = 0; i < kBootBufferSize; ++i) h.target.buf().boot[i] = 0;
    lines = load(id::LoadBootFile, 0x4000 + mainLength);
    for (uint32_t i = 0; i < d.BootSize; ++i) ASSERT_EQ(h.target.buf().boot[i], static_cast<uint8_t>(~At(i))) << i;
    EXPECT_EQ(lines.back(), "Boot image 0x15000-0x15FFF: 4096 bytes, 16 pages; left out 0x4000-0x14FFF "
                            "(69632 bytes, below the offset)");
}

// ELF files as this test writes them: 32 or 64 bits, either byte order.
struct Segment {
    uint32_t type = 1;  // PT_LOAD
    uint64_t physical = 0;
    Bytes bytes;
    uint64_t extraMemory = 0;  // memory beyond the file bytes (.bss)
};

std::string Elf(bool is64, bool bigEndian, uint16_t type, const std::vector<Segment>& segments) {
    std::string out;
    auto put = [&](uint64_t v, int n) {
        for (int i = 0; i < n; ++i)
            out += static_cast<char>(v >> (8 * (bigEndian ? n - 1 - i : i)));
    };
    const int word = is64 ? 8 : 4;
    const uint64_t header = is64 ? 64 : 52, entry = is64 ? 56 : 32;
    out = std::string("\x7f" "ELF") + char(is64 ? 2 : 1) + char(bigEndian ? 2 : 1) + '\x01';
    out.resize(16, '\0');
    put(type, 2);
    put(is64 ? 183 : 40, 2);  // a machine: libelf does not look at it
    put(1, 4);
    put(0x4000, word);   // entry
    put(header, word);   // program headers
    put(0, word);        // no section headers
    put(0, 4);
    put(header, 2);
    put(entry, 2);
    put(segments.size(), 2);
    put(is64 ? 64 : 40, 2);
    put(0, 2);
    put(0, 2);
    uint64_t data = header + entry * segments.size();
    for (const Segment& s : segments) {
        const uint64_t filesz = s.bytes.size(), memsz = filesz + s.extraMemory;
        put(s.type, 4);
        if (is64) put(6, 4);
        put(data, word);
        put(0x20000000 + s.physical, word);  // where it runs, not where it is stored
        put(s.physical, word);
        put(filesz, word);
        put(memsz, word);
        if (!is64) put(6, 4);
        put(1, word);
        data += filesz;
    }
    for (const Segment& s : segments) out.append(s.bytes.begin(), s.bytes.end());
    return out;
}

TEST(ElfReader, LoadableSegmentsByPhysicalAddressAndRefusals) {
    test::TempDir dir;
    const std::string path = dir.File("fw.elf");
    Bytes code(40), data(16);
    for (std::size_t i = 0; i < code.size(); ++i) code[i] = At(i);
    for (std::size_t i = 0; i < data.size(); ++i) data[i] = static_cast<uint8_t>(0xC0 + i);
    const std::vector<Segment> segments = {
        {1, 0x4000, code, 0},
        {4, 0x4080, Bytes(8, 0xEE), 0},  // a note: not loaded
        {1, 0x4100, data, 48},           // data with its .bss
        {1, 0x4200, {}, 64},             // only .bss: nothing in the file
    };
    for (bool is64 : {false, true})
        for (bool big : {false, true}) {
            SCOPED_TRACE(std::to_string(is64) + std::to_string(big));
            WriteText(path, Elf(is64, big, 2, segments));
            std::vector<uint8_t> buffer(0x1000, 0xFF);
            ImageFileResult r = ReadImageFile(path, buffer, {0x4000, 0x1000});
            ASSERT_EQ(r.status, ImageFileResult::Status::Loaded) << r.refusal.reason;
            EXPECT_EQ(r.format, ImageFormat::Elf);
            EXPECT_EQ(Bytes(buffer.begin(), buffer.begin() + 40), code);
            EXPECT_EQ(buffer[0x80], 0xFF);
            EXPECT_EQ(Bytes(buffer.begin() + 0x100, buffer.begin() + 0x110), data);
            EXPECT_EQ(buffer[0x110], 0xFF);
            EXPECT_EQ(r.image.placed, (std::vector<AddressRange>{{0x4000, 0x4027}, {0x4100, 0x410F}}));
            EXPECT_EQ(r.image.end, 0x110u);
        }

    const std::string whole = Elf(false, false, 2, segments);
    const struct {
        const char* name;
        std::string content;
        std::string reason;
    } refused[] = {
        {"object", Elf(false, false, 1, segments), "an object file, not linked: it has no load addresses"},
        {"no segments", Elf(true, true, 2, {{4, 0x4000, code, 0}}), "no loadable segment with bytes in the file"},
        {"cut", whole.substr(0, whole.size() - 4), "segment 3 lies beyond the end of the file"},
        {"overlap", Elf(false, true, 2, {{1, 0x4000, code, 0}, {1, 0x4020, data, 0}}),
         "segment 2 overlaps segment 1 with different bytes at 0x4020"},
        {"header", whole.substr(0, 30), "not an ELF file"},
    };
    for (const auto& c : refused) {
        SCOPED_TRACE(c.name);
        WriteText(path, c.content);
        std::vector<uint8_t> buffer(0x1000, 0xFF);
        ImageFileResult r = ReadImageFile(path, buffer, {0x4000, 0x1000});
        EXPECT_EQ(r.status, ImageFileResult::Status::Refused);
        EXPECT_EQ(r.refusal.reason, c.reason);
    }
    // Segments that repeat the same bytes are taken; the object file as as(1) writes it is refused.
    WriteText(path, Elf(false, false, 2, {{1, 0x4000, code, 0}, {1, 0x4010, Bytes(code.begin() + 16, code.end()), 0}}));
    std::vector<uint8_t> buffer(0x1000, 0xFF);
    EXPECT_EQ(ReadImageFile(path, buffer, {0x4000, 0x1000}).status, ImageFileResult::Status::Loaded);
    ImageFileResult object = ReadImageFile(Interop("relocatable.o"), buffer, {0x4000, 0x1000});
    EXPECT_EQ(object.refusal.reason, "an object file, not linked: it has no load addresses");
}

}  // namespace
}  // namespace lumacrest
