#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <vector>

#include "image/Checksums.h"
#include "image/DeviceCatalogue.h"
#include "image/ImageLoading.h"
#include "link/Crc16.h"
#include "support/TestHost.h"
#include "ui/main/CMainDlg.h"
#include "ui/main/ResourceIds.h"

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
        EXPECT_TRUE(SetPageGeometry(h, 256, 288, 256, 16));
        RegisterImageLoadCommands(h, router);
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
    h.buf().flash[0x500] = 0x12;  // erased by the load
    t.prompts.QueueFile(path);
    Run(id::LoadFlashFile);

    EXPECT_EQ(t.prompts.fileFilters.back(), kImageFilter);
    EXPECT_EQ(t.prompts.loadAddressAsked, 1);
    EXPECT_EQ(h.FlashLoadOffset, 0x4000u);
    EXPECT_EQ(h.FlashFilePath, path);
    EXPECT_EQ(h.buf().flash[0x0F], 0x0F);
    EXPECT_EQ(h.buf().flash[0x100], 0xFF);
    EXPECT_EQ(h.buf().flash[0x10F], 0x00);
    EXPECT_EQ(h.buf().flash[0x500], 0xFF);
    EXPECT_EQ(h.FlashPagesToWrite, 2u);  // end 0x110 -> 2 pages of 256

    auto lines = t.LogLines();
    ASSERT_GE(lines.size(), 4u);
    EXPECT_EQ(lines[lines.size() - 3], "Open Flash File \"" + path + "\"  . . . . . . OK");
    EXPECT_EQ(lines[lines.size() - 2],
              ChecksumLine("Flash Buffer Check Sum: ", h.buf().flash.data(), 288 * 256));
    EXPECT_EQ(lines.back().substr(0, 24), "Boot  Buffer Check Sum: ");
    EXPECT_TRUE(t.prompts.messages.empty());
}

TEST_F(ImageLoadTest, CancelAndAddressDialog) {
    // Cancel of the file dialog: nothing changes, only the separator is written.
    const std::string before = h.ui.LogText();
    Run(id::LoadFlashFile);
    EXPECT_EQ(t.LogLines().size(), test::Lines(before).size() + 1);
    EXPECT_EQ(h.FlashFilePath, "");

    // Cancel of the address dialog keeps the previous offset and still loads.
    h.FlashLoadOffset = 0x100;
    const std::string path = File("a.bin");
    WriteText(path, Bytes(0x300, Pattern));
    t.prompts.QueueFile(path);
    t.prompts.QueueLoadAddress(std::nullopt);
    Run(id::LoadFlashFile);
    EXPECT_EQ(h.FlashLoadOffset, 0x100u);
    EXPECT_EQ(h.buf().flash[0], Pattern(0x100));
    EXPECT_EQ(h.FlashPagesToWrite, 2u);

    // An address given in the dialog becomes the offset.
    t.prompts.QueueFile(path);
    t.prompts.QueueLoadAddress(0x200u);
    Run(id::LoadFlashFile);
    EXPECT_EQ(h.FlashLoadOffset, 0x200u);
    EXPECT_EQ(h.buf().flash[0], Pattern(0x200));
    EXPECT_EQ(h.FlashPagesToWrite, 1u);
}

TEST_F(ImageLoadTest, BinaryPageCounts) {
    h.dev.FlashPageSize = 512;
    h.dev.FlashPageCount = 100;
    h.dev.FlashSize = 51200;
    for (auto [size, pages] : {std::pair{513u, 2u}, {512u, 1u}, {0u, 0u}, {60000u, 100u}}) {
        const std::string path = File("img.bin");
        WriteText(path, Bytes(size, Pattern));
        t.prompts.QueueFile(path);
        t.prompts.QueueLoadAddress(0u);
        Run(id::LoadFlashFile);
        EXPECT_EQ(h.FlashPagesToWrite, pages) << size;
    }
    // The 60000-byte file stops at FlashSize: nothing stored beyond it.
    EXPECT_EQ(h.buf().flash[51199], Pattern(51199));
    EXPECT_EQ(h.buf().flash[51200], 0xFF);
}

TEST_F(ImageLoadTest, OpenFailureKeepsBufferAndRemembersPath) {
    h.buf().flash[0] = 0x42;
    const std::string missing = File("gone.hex");
    t.prompts.QueueFile(missing);
    Run(id::LoadFlashFile);
    EXPECT_EQ(t.MessageTexts(), std::vector<std::string>{"******Open Flash File Failed******   "});
    EXPECT_EQ(t.prompts.messages[0].icon, MsgIcon::Error);
    EXPECT_EQ(t.LogLines().back(), "Open Flash File \"" + missing + "\"  . . . . . . Failed");
    EXPECT_EQ(h.buf().flash[0], 0x42);
    EXPECT_EQ(h.FlashFilePath, missing);

    // A directory is not a file either.
    t.prompts.QueueFile(t.dir.path());
    Run(id::LoadBootFile);
    EXPECT_EQ(t.MessageTexts().back(), "******Open Boot File Failed******   ");
}

TEST_F(ImageLoadTest, ParserChosenByExtension) {
    const std::string hexText = ":0100000011EE\n:00000001FF\n";
    for (const char* name : {"x.hex", "x.HEX", "x.Hex"}) {
        WriteText(File(name), hexText);
        t.prompts.QueueFile(File(name));
        t.prompts.QueueLoadAddress(0u);
        Run(id::LoadFlashFile);
        EXPECT_EQ(h.buf().flash[0], 0x11) << name;
    }
    for (const char* name : {"x.hx", "hex"}) {
        WriteText(File(name), hexText);
        t.prompts.QueueFile(File(name));
        t.prompts.QueueLoadAddress(0u);
        Run(id::LoadFlashFile);
        EXPECT_EQ(h.buf().flash[0], ':') << name;
    }
    EXPECT_FALSE(IsHexPath("hex"));
    EXPECT_FALSE(IsHexPath(""));
    EXPECT_TRUE(IsHexPath(".hex"));
}

TEST_F(ImageLoadTest, ReservedFlashWindowFollowsDevice) {
    ASSERT_TRUE(SetPageGeometry(h, 256, 1000, 256, 16));
    const std::string path = File("big.bin");
    WriteText(path, std::string(0x20000, '\x5A'));
    h.DeviceType = 19;
    t.prompts.QueueFile(path);
    t.prompts.QueueLoadAddress(0u);
    Run(id::LoadFlashFile);
    EXPECT_EQ(h.buf().flash[0xFFFF], 0x5A);
    EXPECT_EQ(h.buf().flash[0x10000], 0xFF);
    EXPECT_EQ(h.buf().flash[0x1CFFF], 0xFF);
    EXPECT_EQ(h.buf().flash[0x1D000], 0x5A);
    // The checksum line is taken after the window was cleared.
    const auto lines = t.LogLines();
    EXPECT_EQ(lines[lines.size() - 2],
              ChecksumLine("Flash Buffer Check Sum: ", h.buf().flash.data(), 1000 * 256));

    h.DeviceType = 16;
    t.prompts.QueueFile(path);
    t.prompts.QueueLoadAddress(0u);
    Run(id::LoadFlashFile);
    EXPECT_EQ(h.buf().flash[0x10000], 0x5A);
}

TEST_F(ImageLoadTest, RangeFileButtonReadsRawFromOffsetZero) {
    h.FlashLoadOffset = 0x4000;
    const std::string path = File("part.ses");
    WriteText(path, Bytes(700, Pattern));
    t.prompts.QueueFile(path);
    Run(id::LoadFile);
    EXPECT_EQ(t.prompts.fileFilters.back(), kRangeFileFilter);
    EXPECT_EQ(t.prompts.loadAddressAsked, 0);
    EXPECT_EQ(h.FlashLoadOffset, 0u);
    EXPECT_EQ(h.buf().flash[0], Pattern(0));
    EXPECT_EQ(h.buf().flash[699], Pattern(699));
    EXPECT_EQ(h.FlashPagesToWrite, 3u);
}

TEST_F(ImageLoadTest, BootAndKeyCode) {
    const std::string boot = File("boot.hex");
    WriteText(boot, ":10400000000102030405060708090A0B0C0D0E0F38\n:00000001FF\n");
    t.prompts.QueueFile(boot);
    Run(id::LoadBootFile);
    EXPECT_EQ(h.BootFilePath, boot);
    EXPECT_EQ(h.buf().boot[15], 0x0F);
    EXPECT_EQ(h.BootPagesToWrite, 1u);
    EXPECT_EQ(t.LogLines().back(),
              ChecksumLine("Boot  Buffer Check Sum: ", h.buf().boot.data(), 16 * 256));

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
    EXPECT_EQ(h.KeyCodeFilePath, key);
    EXPECT_EQ(h.buf().keyCode[0], 0xA1);
    EXPECT_EQ(h.buf().keyCode[8], 0xB1);
    EXPECT_EQ(h.buf().keyCode[23], 0xC0);
    EXPECT_EQ(h.buf().keyCode[24], 0xFF);
    EXPECT_EQ(t.LogLines().size(), linesBefore + 2);  // separator and the open line, no sums
    EXPECT_EQ(t.LogLines().back(), "Open KeyCode File \"" + key + "\"  . . . . . . OK");

    // KeyCode raw: the first 18 bytes.
    const std::string raw = File("key.bin");
    WriteText(raw, Bytes(40, Pattern));
    t.prompts.QueueFile(raw);
    Run(id::LoadKeyCode);
    EXPECT_EQ(h.buf().keyCode[17], Pattern(17));
    EXPECT_EQ(h.buf().keyCode[18], 0xFF);
}

TEST_F(ImageLoadTest, ReloadSkipsEmptyPathsAndLoadsTheRest) {
    const std::string flash = File("f.hex");
    WriteText(flash, ":1040000000112233445566778899AABBCCDDEEFFB8\n:00000001FF\n");
    const std::string key = File("k.bin");
    WriteText(key, std::string(16, '\x33'));
    h.FlashFilePath = flash;
    h.BootFilePath = "W\\:";  // the placeholder counts as no file
    h.KeyCodeFilePath = key;
    h.FlashPagesToWrite = 1;
    h.DeviceType = 19;
    h.buf().flash[0x10000] = 0x00;
    Run(id::TbReload);
    EXPECT_EQ(h.buf().flash[1], 0x11);
    EXPECT_EQ(h.buf().flash[0x10000], 0xFF);
    EXPECT_EQ(h.FlashPagesToWrite, 288u);  // the whole flash
    EXPECT_EQ(h.buf().keyCode[0], 0x33);
    auto lines = t.LogLines();
    ASSERT_GE(lines.size(), 5u);
    EXPECT_EQ(lines[lines.size() - 5], "Open Flash File \"" + flash + "\"  . . . . . . OK");
    EXPECT_EQ(lines[lines.size() - 4], "Open Boot File.......Can not find");
    EXPECT_EQ(lines[lines.size() - 3], "Open Keycode File \"" + key + "\"  . . . . . . OK");
    EXPECT_EQ(lines[lines.size() - 2].substr(0, 24), "Flash Buffer Check Sum: ");
}

TEST_F(ImageLoadTest, ReloadStopsAtTheFirstFailure) {
    const std::string boot = File("b.bin");
    WriteText(boot, "boot");
    h.FlashFilePath = File("deleted.hex");
    h.BootFilePath = boot;
    h.KeyCodeFilePath = File("k.bin");
    h.buf().boot[0] = 0x77;
    Run(id::TbReload);
    EXPECT_EQ(t.MessageTexts(), std::vector<std::string>{"******Open Flash File Failed******   "});
    EXPECT_EQ(t.LogLines().back(),
              "Open Flash File \"" + File("deleted.hex") + "\"  . . . . . . Failed");
    EXPECT_EQ(h.FlashFilePath, " ");
    EXPECT_EQ(h.buf().boot[0], 0x77);

    // Missing KeyCode files: a HEX one is forgotten, a raw one stays remembered.
    h.FlashFilePath = "";
    h.BootFilePath = "";
    h.KeyCodeFilePath = File("k.hex");
    Run(id::TbReload);
    EXPECT_EQ(t.MessageTexts().back(), "******Open Keycode File Failed******   ");
    EXPECT_EQ(h.KeyCodeFilePath, " ");
    h.KeyCodeFilePath = File("k.bin");
    Run(id::TbReload);
    EXPECT_EQ(t.MessageTexts().back(), "******Open KeyCode File Failed******   ");
    EXPECT_EQ(h.KeyCodeFilePath, File("k.bin"));
    EXPECT_NE(t.LogLines().back().substr(0, 5), "Boot ");  // no checksum lines
}

TEST_F(ImageLoadTest, CommandsAreRoutedFromTheMainDialog) {
    CMainDlg dlg(h);
    const std::string path = File("r.ses");
    WriteText(path, "\x01\x02");
    t.prompts.QueueFile(path);
    dlg.OnCommand(id::LoadFile);
    EXPECT_EQ(h.buf().flash[1], 0x02);
}

// Standard tools' output of an image at 0x4000 that crosses a 64 KB boundary loads to exactly
// the image bytes, and the checksum line is the CRC of the used range.
TEST_F(ImageLoadTest, HexFromStandardToolsLoadsExactly) {
    const std::size_t size = 288 * 256;
    const std::string bin = File("image.bin");
    WriteText(bin, Bytes(size, Pattern));
    const std::string objcopyHex = File("objcopy.hex");
    const std::string srecHex = File("srec.hex");
    ASSERT_EQ(std::system(("objcopy -I binary -O ihex --change-addresses 0x4000 '" + bin + "' '" +
                           objcopyHex + "'")
                              .c_str()),
              0);
    ASSERT_EQ(std::system(("srec_cat '" + bin + "' -binary -offset 0x4000 -o '" + srecHex +
                           "' -intel -address-length=3 2>/dev/null")
                              .c_str()),
              0);
    for (const std::string& hex : {objcopyHex, srecHex}) {
        ASSERT_NE(test::ReadText(hex).find(":020000021000EC"), std::string::npos) << hex;
        h.buf().flash.fill(0);
        t.prompts.QueueFile(hex);
        Run(id::LoadFlashFile);
        for (std::size_t i = 0; i < size; ++i) ASSERT_EQ(h.buf().flash[i], Pattern(i)) << hex << i;
        EXPECT_EQ(h.buf().flash[size], 0xFF);
        EXPECT_EQ(h.FlashPagesToWrite, 288u);
        const auto lines = t.LogLines();
        EXPECT_EQ(lines[lines.size() - 2],
                  ChecksumLine("Flash Buffer Check Sum: ", h.buf().flash.data(), size));
    }
}

// A large file of junk and over-long tokens is refused in bounded time and changes nothing.
TEST_F(ImageLoadTest, JunkAndHugeFilesAreRefused) {
    std::string junk = ":0100000042BD\n";
    for (int i = 0; i < 200000; ++i) junk += static_cast<char>((i * 2654435761u) >> 24);
    junk += "\n:" + std::string(3 << 20, 'F') + "\n:00000001FF\n";
    const std::string path = File("junk.HEX");
    WriteText(path, junk);
    h.buf().flash[0] = 0x24;
    t.prompts.QueueFile(path);
    t.prompts.QueueLoadAddress(0u);
    Run(id::LoadFlashFile);
    const auto lines = t.LogLines();
    EXPECT_EQ(lines[lines.size() - 2], "Open Flash File \"" + path + "\"  . . . . . . Failed");
    EXPECT_EQ(lines.back().substr(0, 20), "File refused, line 2");
    EXPECT_EQ(h.buf().flash[0], 0x24);
    EXPECT_EQ(t.MessageTexts(), std::vector<std::string>{"******Open Flash File Failed******   "});
}

}  // namespace
}  // namespace lumacrest
