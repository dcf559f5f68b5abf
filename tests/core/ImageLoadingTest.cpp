#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>
#include <vector>

#include "image/Checksums.h"
#include "image/DeviceCatalogue.h"
#include "image/ImageLoading.h"
#include "image/ImageReader.h"
#include "image/Crc16.h"
#include "support/TestHost.h"
#include "app/Application.h"
#include "app/CMainDlg.h"
#include "ui/main/ResourceIds.h"
#include "host/ImageFileCommands.h"
#include "ops/OperatorView.h"
#include "app/Commands.h"

namespace lumacrest {
namespace {

using test::WriteText;

std::string Bytes(std::size_t n, uint8_t (*f)(std::size_t)) {
    std::string s(n, '\0');
    for (std::size_t i = 0; i < n; ++i) s[i] = static_cast<char>(f(i));
    return s;
}
uint8_t Pattern(std::size_t i) {
    return static_cast<uint8_t>(i * 31 + (i >> 8));
}

std::string ChecksumLine(const std::string& label, const uint8_t* data, std::size_t n) {
    return label + FormatChecksum(Crc16(data, static_cast<int32_t>(n)) & 0xFFFF);
}

class ImageLoadTest : public ::testing::Test {
  protected:
    ImageLoadTest() {
        EXPECT_TRUE(SetPageGeometry(h.target, 256, 288, 256, 16));
        WireCommands(h, router);
    }
    void Run(int id) { router.Dispatch(id); }
    std::string File(const std::string& name) { return t.dir.File(name); }
    bool LogHas(const std::string& line) {
        for (const auto& l : t.LogLines())
            if (l == line) return true;
        return false;
    }

    test::TestHost t;
    Host& h = t.h();
    CommandRouter router;
};

TEST_F(ImageLoadTest, LoadFlashFileLogsLoadsAndCountsPages) {
    const std::string path = File("app.hex");
    WriteText(path,
              ":10400000000102030405060708090A0B0C0D0E0F38\n"
              ":10410000FFEEDDCCBBAA99887766554433221100B7\n"
              ":00000001FF\n");
    h.target.buf().flash[0x500] = 0x12;  // erased by the load
    t.prompts.QueueFile(path);
    Run(id::LoadFlashFile);

    EXPECT_EQ(t.prompts.fileFilters.back(), kImageFilter);
    EXPECT_EQ(t.prompts.loadAddressAsked, 1);
    EXPECT_EQ(h.target.FlashLoadOffset, 0x4000u);
    EXPECT_EQ(h.target.FlashFilePath, path);
    EXPECT_EQ(h.target.buf().flash[0x0F], 0x0F);
    EXPECT_EQ(h.target.buf().flash[0x100], 0xFF);
    EXPECT_EQ(h.target.buf().flash[0x10F], 0x00);
    EXPECT_EQ(h.target.buf().flash[0x500], 0xFF);
    EXPECT_EQ(h.target.FlashPagesToWrite, 2u);  // end 0x110 -> 2 pages of 256

    auto lines = t.LogLines();
    ASSERT_GE(lines.size(), 5u);
    EXPECT_EQ(lines[lines.size() - 4], "Open Flash File \"" + path + "\"  . . . . . . OK");
    EXPECT_EQ(lines[lines.size() - 3],
              ChecksumLine("Flash Buffer Check Sum: ", h.target.buf().flash.data(), 288 * 256));
    EXPECT_EQ(lines[lines.size() - 2].substr(0, 24), "Boot  Buffer Check Sum: ");
    EXPECT_EQ(lines.back(), "Flash image 0x4000-0x400F, 0x4100-0x410F: 32 bytes, 2 pages");
    EXPECT_TRUE(t.prompts.messages.empty());
}

TEST_F(ImageLoadTest, CancelAndAddressDialog) {
    // Cancel of the file dialog: nothing changes, only the separator is written.
    const std::string before = h.view.LogText();
    Run(id::LoadFlashFile);
    EXPECT_EQ(t.LogLines().size(), test::Lines(before).size() + 1);
    EXPECT_EQ(h.target.FlashFilePath, "");

    // Cancel of the address dialog keeps the previous offset and still loads.
    h.target.FlashLoadOffset = 0x100;
    const std::string path = File("a.bin");
    WriteText(path, Bytes(0x300, Pattern));
    t.prompts.QueueFile(path);
    t.prompts.QueueLoadAddress(std::nullopt);
    Run(id::LoadFlashFile);
    EXPECT_EQ(h.target.FlashLoadOffset, 0x100u);
    EXPECT_EQ(h.target.buf().flash[0], Pattern(0x100));
    EXPECT_EQ(h.target.FlashPagesToWrite, 2u);

    // An address given in the dialog becomes the offset.
    t.prompts.QueueFile(path);
    t.prompts.QueueLoadAddress(0x200u);
    Run(id::LoadFlashFile);
    EXPECT_EQ(h.target.FlashLoadOffset, 0x200u);
    EXPECT_EQ(h.target.buf().flash[0], Pattern(0x200));
    EXPECT_EQ(h.target.FlashPagesToWrite, 1u);
}

TEST_F(ImageLoadTest, BinaryPageCounts) {
    h.target.dev.FlashPageSize = 512;
    h.target.dev.FlashPageCount = 100;
    h.target.dev.FlashSize = 51200;
    for (auto [size, pages] : {std::pair{513u, 2u}, {512u, 1u}, {60000u, 100u}}) {
        const std::string path = File("img.bin");
        WriteText(path, Bytes(size, Pattern));
        t.prompts.QueueFile(path);
        t.prompts.QueueLoadAddress(0u);
        Run(id::LoadFlashFile);
        EXPECT_EQ(h.target.FlashPagesToWrite, pages) << size;
    }
    // The 60000-byte file stops at FlashSize: nothing stored beyond it.
    EXPECT_EQ(h.target.buf().flash[51199], Pattern(51199));
    EXPECT_EQ(h.target.buf().flash[51200], 0xFF);
    EXPECT_EQ(t.LogLines().back(), "Flash image 0x0000-0xC7FF: 51200 bytes, 100 pages; left out "
                                   "0xC800-0xEA5F (8800 bytes, beyond the flash)");
}

TEST_F(ImageLoadTest, OpenFailureKeepsBufferAndRemembersPath) {
    h.target.buf().flash[0] = 0x42;
    const std::string missing = File("gone.hex");
    t.prompts.QueueFile(missing);
    Run(id::LoadFlashFile);
    EXPECT_EQ(t.MessageTexts(), std::vector<std::string>{"******Open Flash File Failed******   "});
    EXPECT_EQ(t.prompts.messages[0].icon, MsgIcon::Error);
    EXPECT_EQ(t.LogLines().back(), "Open Flash File \"" + missing + "\"  . . . . . . Failed");
    EXPECT_EQ(h.target.buf().flash[0], 0x42);
    EXPECT_EQ(h.target.FlashFilePath, missing);

    // A directory is not a file either.
    t.prompts.QueueFile(t.dir.path());
    Run(id::LoadBootFile);
    EXPECT_EQ(t.MessageTexts().back(), "******Open Boot File Failed******   ");
}

TEST_F(ImageLoadTest, ParserChosenByContentThenExtension) {
    const std::string hexText = ":0100000011EE\n:00000001FF\n";
    for (const char* name : {"x.hex", "x.HEX", "x.Hex", "x.hx", "x.ihx", "hex"}) {
        WriteText(File(name), hexText);
        t.prompts.QueueFile(File(name));
        t.prompts.QueueLoadAddress(0u);
        Run(id::LoadFlashFile);
        EXPECT_EQ(h.target.buf().flash[0], 0x11) << name;
    }
    // A range file or a .bin file stays raw bytes, with a word about what it holds.
    WriteText(File("x.bin"), hexText);
    t.prompts.QueueFile(File("x.bin"));
    t.prompts.QueueLoadAddress(0u);
    Run(id::LoadFlashFile);
    EXPECT_EQ(h.target.buf().flash[0], ':');
    const auto lines = t.LogLines();
    EXPECT_EQ(lines.end()[-2], "Read as raw bytes, as its name says, although it holds Intel HEX");
    EXPECT_EQ(lines.end()[-1], "Flash image 0x0000-0x0019: 26 bytes, 1 page");
    // Text that is no record: the name decides.
    WriteText(File("x.hx"), "?" + hexText);
    t.prompts.QueueFile(File("x.hx"));
    t.prompts.QueueLoadAddress(0u);
    Run(id::LoadFlashFile);
    EXPECT_EQ(h.target.buf().flash[0], '?');
    EXPECT_FALSE(IsTextImagePath("hex"));
    EXPECT_FALSE(IsTextImagePath(""));
    EXPECT_TRUE(IsTextImagePath(".hex"));
}

TEST_F(ImageLoadTest, ReservedFlashWindowFollowsDevice) {
    ASSERT_TRUE(SetPageGeometry(h.target, 256, 1000, 256, 16));
    const std::string path = File("big.bin");
    WriteText(path, std::string(0x20000, '\x5A'));
    h.target.DeviceType = 19;
    t.prompts.QueueFile(path);
    t.prompts.QueueLoadAddress(0u);
    Run(id::LoadFlashFile);
    EXPECT_EQ(h.target.buf().flash[0xFFFF], 0x5A);
    EXPECT_EQ(h.target.buf().flash[0x10000], 0xFF);
    EXPECT_EQ(h.target.buf().flash[0x1CFFF], 0xFF);
    EXPECT_EQ(h.target.buf().flash[0x1D000], 0x5A);
    // The checksum line is taken after the window was cleared.
    const auto lines = t.LogLines();
    EXPECT_EQ(lines[lines.size() - 3],
              ChecksumLine("Flash Buffer Check Sum: ", h.target.buf().flash.data(), 1000 * 256));

    h.target.DeviceType = 16;
    t.prompts.QueueFile(path);
    t.prompts.QueueLoadAddress(0u);
    Run(id::LoadFlashFile);
    EXPECT_EQ(h.target.buf().flash[0x10000], 0x5A);
}

TEST_F(ImageLoadTest, RangeFileButtonReadsRawFromOffsetZero) {
    h.target.FlashLoadOffset = 0x4000;
    const std::string path = File("part.ses");
    WriteText(path, Bytes(700, Pattern));
    t.prompts.QueueFile(path);
    Run(id::LoadFile);
    EXPECT_EQ(t.prompts.fileFilters.back(), kRangeFileFilter);
    EXPECT_EQ(t.prompts.loadAddressAsked, 0);
    EXPECT_EQ(h.target.FlashLoadOffset, 0u);
    EXPECT_EQ(h.target.buf().flash[0], Pattern(0));
    EXPECT_EQ(h.target.buf().flash[699], Pattern(699));
    EXPECT_EQ(h.target.FlashPagesToWrite, 3u);
}

TEST_F(ImageLoadTest, BootAndKeyCode) {
    const std::string boot = File("boot.hex");
    WriteText(boot, ":10400000000102030405060708090A0B0C0D0E0F38\n:00000001FF\n");
    t.prompts.QueueFile(boot);
    Run(id::LoadBootFile);
    EXPECT_EQ(h.target.BootFilePath, boot);
    EXPECT_EQ(h.target.buf().boot[15], 0x0F);
    EXPECT_EQ(h.target.BootPagesToWrite, 1u);
    EXPECT_EQ(t.LogLines().end()[-2],
              ChecksumLine("Boot  Buffer Check Sum: ", h.target.buf().boot.data(), 16 * 256));
    EXPECT_EQ(t.LogLines().back(), "Boot image 0x4000-0x400F: 16 bytes, 1 page");

    // KeyCode HEX: addresses are buffer offsets; reading stops once a record passes 16.
    const std::string key = File("key.hex");
    WriteText(key,
              ":08000000A1A2A3A4A5A6A7A8D4\n"
              ":10000800B1B2B3B4B5B6B7B8B9BABBBCBDBEBFC060\n"
              ":010000009966\n"
              ":00000001FF\n");
    const std::size_t linesBefore = t.LogLines().size();
    t.prompts.QueueFile(key);
    Run(id::LoadKeyCode);
    EXPECT_EQ(t.prompts.loadAddressAsked, 1);  // only the boot load asked
    EXPECT_EQ(h.target.KeyCodeFilePath, key);
    EXPECT_EQ(h.target.buf().keyCode[0], 0xA1);
    EXPECT_EQ(h.target.buf().keyCode[8], 0xB1);
    EXPECT_EQ(h.target.buf().keyCode[23], 0xC0);
    EXPECT_EQ(h.target.buf().keyCode[24], 0xFF);
    EXPECT_EQ(t.LogLines().size(), linesBefore + 2);  // separator and the open line, no sums
    EXPECT_EQ(t.LogLines().back(), "Open KeyCode File \"" + key + "\"  . . . . . . OK");

    // KeyCode raw: the first 18 bytes.
    const std::string raw = File("key.bin");
    WriteText(raw, Bytes(40, Pattern));
    t.prompts.QueueFile(raw);
    Run(id::LoadKeyCode);
    EXPECT_EQ(h.target.buf().keyCode[17], Pattern(17));
    EXPECT_EQ(h.target.buf().keyCode[18], 0xFF);

    // A KeyCode file that gives fewer than the 16 bytes loads, and says which it did not give.
    WriteText(key, ":03000000A1A2A317\n:020008000102F3\n:00000001FF\n");
    t.prompts.QueueFile(key);
    Run(id::LoadKeyCode);
    EXPECT_EQ(t.LogLines().back(), "KeyCode file gives 5 of the 16 KeyCode bytes: bytes 3-7, 10-15 stay 0xFF");
    EXPECT_EQ(h.target.buf().keyCode[2], 0xA3);
    EXPECT_EQ(h.target.buf().keyCode[3], 0xFF);
}

TEST_F(ImageLoadTest, ReloadSkipsEmptyPathsAndLoadsTheRest) {
    const std::string flash = File("f.hex");
    WriteText(flash, ":1040000000112233445566778899AABBCCDDEEFFB8\n:00000001FF\n");
    const std::string key = File("k.bin");
    WriteText(key, std::string(16, '\x33'));
    h.target.FlashFilePath = flash;
    h.target.BootFilePath = "W\\:";  // the placeholder counts as no file
    h.target.KeyCodeFilePath = key;
    h.target.FlashPagesToWrite = 1;
    h.target.DeviceType = 19;
    h.target.buf().flash[0x10000] = 0x00;
    Run(id::TbReload);
    EXPECT_EQ(h.target.buf().flash[1], 0x11);
    EXPECT_EQ(h.target.buf().flash[0x10000], 0xFF);
    EXPECT_EQ(h.target.FlashPagesToWrite, 288u);  // the whole flash
    EXPECT_EQ(h.target.buf().keyCode[0], 0x33);
    auto lines = t.LogLines();
    ASSERT_GE(lines.size(), 6u);
    EXPECT_EQ(lines[lines.size() - 6], "Open Flash File \"" + flash + "\"  . . . . . . OK");
    // The report follows its file's line: the pages are the whole flash, as the reload sets them.
    EXPECT_EQ(lines[lines.size() - 5], "Flash image 0x4000-0x400F: 16 bytes, 288 pages");
    EXPECT_EQ(lines[lines.size() - 4], "Open Boot File.......Can not find");
    EXPECT_EQ(lines[lines.size() - 3], "Open Keycode File \"" + key + "\"  . . . . . . OK");
    EXPECT_EQ(lines[lines.size() - 2].substr(0, 24), "Flash Buffer Check Sum: ");
}

TEST_F(ImageLoadTest, ReloadStopsAtTheFirstFailure) {
    const std::string boot = File("b.bin");
    WriteText(boot, "boot");
    h.target.FlashFilePath = File("deleted.hex");
    h.target.BootFilePath = boot;
    h.target.KeyCodeFilePath = File("k.bin");
    h.target.buf().boot[0] = 0x77;
    Run(id::TbReload);
    EXPECT_EQ(t.MessageTexts(), std::vector<std::string>{"******Open Flash File Failed******   "});
    EXPECT_EQ(t.LogLines().back(),
              "Open Flash File \"" + File("deleted.hex") + "\"  . . . . . . Failed");
    EXPECT_EQ(h.target.FlashFilePath, " ");
    EXPECT_EQ(h.target.buf().boot[0], 0x77);

    // Missing KeyCode files: a HEX one is forgotten, a raw one stays remembered.
    h.target.FlashFilePath = "";
    h.target.BootFilePath = "";
    h.target.KeyCodeFilePath = File("k.hex");
    Run(id::TbReload);
    EXPECT_EQ(t.MessageTexts().back(), "******Open Keycode File Failed******   ");
    EXPECT_EQ(h.target.KeyCodeFilePath, " ");
    h.target.KeyCodeFilePath = File("k.bin");
    Run(id::TbReload);
    EXPECT_EQ(t.MessageTexts().back(), "******Open KeyCode File Failed******   ");
    EXPECT_EQ(h.target.KeyCodeFilePath, File("k.bin"));
    EXPECT_NE(t.LogLines().back().substr(0, 5), "Boot ");  // no checksum lines
}

TEST_F(ImageLoadTest, CommandsAreRoutedFromTheMainDialog) {
    Application dlgApp(h);
    CMainDlg& dlg = dlgApp.dlg;
    const std::string path = File("r.ses");
    WriteText(path, "\x01\x02");
    t.prompts.QueueFile(path);
    dlg.OnCommand(id::LoadFile);
    EXPECT_EQ(h.target.buf().flash[1], 0x02);
}

bool Installed(const char* tool) {
    return std::system((std::string("command -v ") + tool + " >/dev/null 2>&1").c_str()) == 0;
}

// Files written by tools nobody here wrote load byte-exact: an image of 0x11000 bytes at 0x4000
// (past 64 KB) as Intel HEX with linear (04) or segment (02) address records in several record
// sizes, and as S-records, also in a file named .hex.
TEST_F(ImageLoadTest, FilesFromStandardToolsLoadExactly) {
    if (!Installed("srec_cat") || !Installed("objcopy"))
        GTEST_SKIP() << "srec_cat (package srecord) or objcopy (package binutils) is not installed";
    const std::size_t size = 0x11000;
    const std::string bin = File("image.bin");
    WriteText(bin, Bytes(size, Pattern));
    const std::string srec = "srec_cat '" + bin + "' -binary -offset 0x4000 -o ";
    const std::string objcopy = "objcopy -I binary --change-addresses 0x4000 '" + bin + "' ";
    const struct {
        const char* name;
        std::string command;  // OUT stands for the file
        const char* mustHold;
    } tools[] = {
        {"linear.hex", srec + "OUT -intel", ":02000004"},
        {"linear16.hex", srec + "OUT -intel -obs=16", ":02000004"},
        {"linear255.hex", srec + "OUT -intel -obs=255", ":02000004"},
        {"segment.hex", srec + "OUT -intel -address-length=3", ":020000021000EC"},
        {"image.s19", srec + "OUT -motorola", "S2"},
        {"image.s37", srec + "OUT -motorola -address-length=4 -obs=64", "S3"},
        {"srecords.hex", srec + "OUT -motorola", "S5"},
        {"objcopy.hex", objcopy + "-O ihex OUT", ":020000021000EC"},
        {"objcopy.srec", objcopy + "-O srec OUT", "S8"},
    };
    for (const auto& tool : tools) {
        SCOPED_TRACE(tool.name);
        std::string command = tool.command;
        command.replace(command.find("OUT"), 3, "'" + File(tool.name) + "'");
        ASSERT_EQ(std::system((command + " 2>/dev/null").c_str()), 0) << command;
        ASSERT_NE(test::ReadText(File(tool.name)).find(tool.mustHold), std::string::npos);
        h.target.buf().flash.fill(0);
        t.prompts.QueueFile(File(tool.name));
        Run(id::LoadFlashFile);
        for (std::size_t i = 0; i < size; ++i) ASSERT_EQ(h.target.buf().flash[i], Pattern(i)) << i;
        EXPECT_EQ(h.target.buf().flash[size], 0xFF);
        EXPECT_EQ(h.target.FlashPagesToWrite, size / 256);
        const auto lines = t.LogLines();
        EXPECT_EQ(lines[lines.size() - 4],
                  "Open Flash File \"" + File(tool.name) + "\"  . . . . . . OK");
        EXPECT_EQ(lines[lines.size() - 3],
                  ChecksumLine("Flash Buffer Check Sum: ", h.target.buf().flash.data(), 288 * 256));
        EXPECT_EQ(lines.back(), "Flash image 0x4000-0x14FFF: 69632 bytes, 272 pages");
    }
    EXPECT_TRUE(t.prompts.messages.empty());
}

// Every fault of a file ends in the open failure of its command plus a line that says where
// and why; the buffers, the checksums and the remembered paths are as after an open failure.
TEST_F(ImageLoadTest, ARefusedFileChangesNothing) {
    const std::string good = ":040000001122334452\n";
    const struct {
        const char* name;
        std::string text;
        std::string why;
    } cases[] = {
        {"changed.hex", ":0400000011223345\n:00000001FF\n", "File refused, line 1: record shorter than its byte count"},
        {"byte.hex", good + ":0400100011223345" "42\n:00000001FF\n", "File refused, line 2: bad record checksum"},
        {"cut.hex", good + ":04001000112233\n:00000001FF\n", "File refused, line 2: record shorter than its byte count"},
        {"noend.hex", good + good, "File refused, line 2: no end record"},
        {"junk.hex", "\x7f" "ELF\x01\x02 junk", "File refused: not an ELF file"},
        {"junk.txt", "\x7f" "ELF\x01\x02\x01" + std::string(60, '\0'), "File refused: no loadable segment with bytes in the file"},
        {"empty.hex", "", "File refused, line 1: no end record"},
        {"cut.s19", "S1070000112233444E\nS107001011223344", "File refused, line 2: record shorter than its byte count"},
        {"noend.srec", "S1070000112233444E\n", "File refused, line 1: no termination record (S7, S8 or S9)"},
    };
    h.target.buf().flash[0] = 0x42;
    h.target.buf().boot[0] = 0x43;
    h.target.FlashPagesToWrite = 7;
    ShowChecksums(h.view, h.target);
    const std::string logBefore = h.view.LogText();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        WriteText(File(c.name), c.text);
        for (int id : {id::LoadFlashFile, id::LoadBootFile}) {
            t.prompts.QueueFile(File(c.name));
            Run(id);
            const auto lines = t.LogLines();
            const char* what = id == id::LoadFlashFile ? "Flash" : "Boot";
            EXPECT_EQ(lines[lines.size() - 2], std::string("Open ") + what + " File \"" +
                                                   File(c.name) + "\"  . . . . . . Failed");
            EXPECT_EQ(lines.back(), c.why);
            EXPECT_EQ(t.MessageTexts().back(),
                      std::string("******Open ") + what + " File Failed******   ");
        }
        EXPECT_EQ(h.target.FlashFilePath, File(c.name));  // remembered, as after an open failure
        EXPECT_EQ(h.target.buf().flash[0], 0x42);
        EXPECT_EQ(h.target.buf().flash[4], 0xFF);
        EXPECT_EQ(h.target.buf().boot[0], 0x43);
        EXPECT_EQ(h.target.FlashPagesToWrite, 7u);
    }
    // No checksum line was written by any of them.
    EXPECT_EQ(h.view.LogText().find("Check Sum", logBefore.size()), std::string::npos);

    // The reload stops at a refused file and forgets its path, as at an open failure.
    h.target.FlashFilePath = File("byte.hex");
    h.target.BootFilePath = File("boot.bin");
    WriteText(h.target.BootFilePath, "boot");
    Run(id::TbReload);
    EXPECT_EQ(t.LogLines().back(), "File refused, line 2: bad record checksum");
    EXPECT_EQ(h.target.FlashFilePath, " ");
    EXPECT_EQ(h.target.buf().boot[0], 0x43);
}

TEST_F(ImageLoadTest, KeyCodeFilesMustReachTheKeyCode) {
    h.target.buf().keyCode[0] = 0x5A;
    // Written with an offset of 0x4000: every byte lies outside the KeyCode buffer.
    WriteText(File("key.hex"), ":10400000A0A1A2A3A4A5A6A7A8A9AAABACADAEAF38\n:00000001FF\n");
    WriteText(File("key.bin"), "");
    for (const char* name : {"key.hex", "key.bin"}) {
        t.prompts.QueueFile(File(name));
        Run(id::LoadKeyCode);
        EXPECT_EQ(t.MessageTexts().back(), "******Open KeyCode File Failed******   ") << name;
        EXPECT_EQ(t.LogLines().back(),
                  "File refused: no byte of it lands in the KeyCode (offsets 0-15)");
        EXPECT_EQ(h.target.buf().keyCode[0], 0x5A);
        EXPECT_EQ(h.target.buf().keyCode[1], 0x00);
    }
    // S-records serve as well; the byte-order mark of a UTF-8 editor is skipped.
    WriteText(File("key.s19"), "\xEF\xBB\xBFS1070000112233444E\nS9030000FC\n");
    t.prompts.QueueFile(File("key.s19"));
    Run(id::LoadKeyCode);
    EXPECT_EQ(t.LogLines().end()[-2], "Open KeyCode File \"" + File("key.s19") + "\"  . . . . . . OK");
    EXPECT_EQ(t.LogLines().back(), "KeyCode file gives 4 of the 16 KeyCode bytes: bytes 4-15 stay 0xFF");
    EXPECT_EQ(h.target.buf().keyCode[0], 0x11);
    EXPECT_EQ(h.target.buf().keyCode[4], 0xFF);
}

TEST_F(ImageLoadTest, OnlyRegularFilesAreOpenedAndNeverWaitedFor) {
    h.target.buf().flash[0] = 0x42;
    const std::string fifo = File("pipe.hex");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const std::string zero = File("zero.hex");
    std::filesystem::create_symlink("/dev/zero", zero);
    // A file whose reading fails: memory of this process at address 0.
    const std::string unreadable = File("mem.bin");
    std::filesystem::create_symlink("/proc/self/mem", unreadable);
    for (const std::string& path : {fifo, zero, unreadable}) {
        t.prompts.QueueFile(path);
        t.prompts.QueueLoadAddress(0u);
        Run(id::LoadFlashFile);
        EXPECT_EQ(t.LogLines().back(), "Open Flash File \"" + path + "\"  . . . . . . Failed");
        EXPECT_EQ(t.MessageTexts().back(), "******Open Flash File Failed******   ");
        EXPECT_EQ(h.target.buf().flash[0], 0x42);
    }
    // A raw file stays raw whatever it holds.
    WriteText(File("srec.bin"), "S9030000FC\n");
    t.prompts.QueueFile(File("srec.bin"));
    t.prompts.QueueLoadAddress(0u);
    Run(id::LoadFlashFile);
    EXPECT_EQ(h.target.buf().flash[0], 'S');
    EXPECT_EQ(h.target.FlashPagesToWrite, 1u);
}

// A large file of junk and over-long tokens is refused in bounded time and changes nothing.
TEST_F(ImageLoadTest, JunkAndHugeFilesAreRefused) {
    std::string junk = ":0100000042BD\n";
    for (int i = 0; i < 200000; ++i) junk += static_cast<char>((i * 2654435761u) >> 24);
    junk += "\n:" + std::string(3 << 20, 'F') + "\n:00000001FF\n";
    const std::string path = File("junk.HEX");
    WriteText(path, junk);
    h.target.buf().flash[0] = 0x24;
    t.prompts.QueueFile(path);
    t.prompts.QueueLoadAddress(0u);
    Run(id::LoadFlashFile);
    const auto lines = t.LogLines();
    EXPECT_EQ(lines[lines.size() - 2], "Open Flash File \"" + path + "\"  . . . . . . Failed");
    EXPECT_EQ(lines.back().substr(0, 20), "File refused, line 2");
    EXPECT_EQ(h.target.buf().flash[0], 0x24);
    EXPECT_EQ(t.MessageTexts(), std::vector<std::string>{"******Open Flash File Failed******   "});
}

}  // namespace
}  // namespace lumacrest
