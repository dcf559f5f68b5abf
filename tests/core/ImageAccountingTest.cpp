// Every byte of an image file is accounted for: what lands in the area reaches the chip, a
// file of which nothing lands is refused, overlapping records that disagree are refused, and
// ELF files and .ihx files are read by what they hold.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "cli/CliOptions.h"
#include "cli/CliRunner.h"
#include "image/DeviceCatalogue.h"
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
    cli::CliRunner runner(t.h(), *t.dlg, t.prompts);
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

// SDCC names its Intel HEX output .ihx: it is read as HEX, not programmed as text.
TEST(ImageAccounting, IhxIsReadAsIntelHex) {
    EngineHost t;
    const std::string path = t.dir.File("main.ihx");
    WriteText(path, HexImage(0x4000, 0x40, 16));
    ASSERT_EQ(Cli(t, {"update", "--flash", path, "--options", "erase,flash"}), 0);
    for (uint32_t i = 0; i < 0x40; ++i) ASSERT_EQ(t.box->flash()[i], At(0x4000 + i)) << i;
    EXPECT_EQ(t.box->flash()[0x40], 0xFF);
}

}  // namespace
}  // namespace lumacrest
