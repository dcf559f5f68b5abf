#include <gtest/gtest.h>

#include <sys/stat.h>

#include <filesystem>
#include <string>

#include "image/Cipher.h"
#include "app/commands/FileDialogs.h"
#include "host/CipherFileCommands.h"
#include "host/RunRecords.h"
#include "image/DeviceCatalogue.h"
#include "support/TestHost.h"
#include "app/Application.h"
#include "app/CMainDlg.h"
#include "ui/main/ResourceIds.h"

namespace lumacrest {
namespace {

using test::ReadText;
using test::WriteText;

std::string Pattern(std::size_t size, uint8_t seed = 1) {
    std::string s(size, '\0');
    for (std::size_t i = 0; i < size; ++i) s[i] = static_cast<char>((i * 7 + seed) & 0xFF);
    return s;
}

std::string Decrypted(std::string data, const CipherKey& key) {
    CipherDecryptBytes(reinterpret_cast<uint8_t*>(data.data()), data.size(), key);
    return data;
}

std::string Encrypted(std::string data, const CipherKey& key) {
    CipherEncryptBytes(reinterpret_cast<uint8_t*>(data.data()), data.size(), key);
    return data;
}

std::string FlashBytes(Host& h, std::size_t from, std::size_t size) {
    return std::string(reinterpret_cast<const char*>(h.target.buf().flash.data() + from), size);
}

// The flash image a run record would name for a run started now.
std::string RecordedFlash(const Host& h) {
    const std::string record = FormatRunRecord(h, Outcome{}, 0);
    const std::size_t at = record.find("\"flash\":{");
    return record.substr(at, record.find('}', at) - at + 1);
}

std::string KeyCode(Host& h) {
    return std::string(reinterpret_cast<const char*>(h.target.buf().keyCode.data()), 16);
}

class CipherFilesTest : public ::testing::Test {
  protected:
    std::string UpdateFile() const { return t.dir.File(kUpdateFileName); }
    std::string JiaMiFile() const { return t.dir.File(kEncryptedImageFileName); }
    bool Exists(const std::string& p) const { return std::filesystem::exists(p); }
    const ScriptedPrompts::Message& LastMessage() const { return t.prompts.messages.back(); }

    test::TestHost t;
    Host& h = t.h();
};

TEST_F(CipherFilesTest, PackagesARawImageIntoWholeEncryptedPages) {
    const std::string image = Pattern(1000);
    WriteText(t.dir.File("fw.bin"), image);
    t.prompts.QueueFile(t.dir.File("fw.bin"));
    Application dlgApp(h);
    CMainDlg& dlg = dlgApp.dlg;
    dlg.OnCommand(id::ReserveJia);

    EXPECT_EQ(t.prompts.fileFilters.back(),
              "Hex Files (*.hex)|*.hex|A90 Files (*.a90)|*.a90|S-Record Files "
              "(*.s19;*.s28;*.s37;*.srec;*.mot)|*.s19;*.s28;*.s37;*.srec;*.mot|ELF Files "
              "(*.elf)|*.elf|Bin Files (*.bin)|*.bin||");
    const std::string file = ReadText(UpdateFile());
    ASSERT_EQ(file.size(), 1024u);
    const std::string plain = Decrypted(file, kUpdateFileKey);
    EXPECT_EQ(plain.substr(0, 1000), image);
    EXPECT_EQ(plain.substr(1000), std::string(24, '\xFF'));
    // The geometry stays at the update file's, and the buffer keeps the encrypted bytes.
    EXPECT_EQ(h.target.dev.FlashPageSize, 512u);
    EXPECT_EQ(h.target.dev.FlashPageCount, 256u);
    EXPECT_EQ(h.target.dev.FlashSize, 131072u);
    EXPECT_EQ(h.target.FlashPagesToWrite, 2u);
    EXPECT_EQ(FlashBytes(h, 0, 1024), file);
    // A run from that buffer is not a run of the remembered flash file.
    EXPECT_NE(RecordedFlash(h).find("\"edited\":true"), std::string::npos) << RecordedFlash(h);
    EXPECT_EQ(LastMessage().text, "******File Save success******   ");
    EXPECT_EQ(LastMessage().icon, MsgIcon::Information);
}

TEST_F(CipherFilesTest, PackagesHexAndA90RecordsAtTheirOwnAddresses) {
    // Load offset is not subtracted; a segment record moves the records that follow.
    h.target.FlashLoadOffset = 0x4000;
    const std::string hex =
        ":020000020000FC\n"
        ":04000000A1B2C3D412\n"
        ":020000021000EC\n"
        ":0200100055AAEF\n"
        ":04002000DEADBEEFA4\n"
        ":02000004FFFFFC\n"  // moves nothing: no data record follows
        ":00000001FF\n"
        ":020030001111AC\n";  // after the end record: not read
    for (const char* name : {"fw.hex", "FW.A90"}) {
        SCOPED_TRACE(name);
        WriteText(t.dir.File(name), hex);
        EXPECT_TRUE(PackageUpdateFile(h, t.dir.File(name)));
        const std::string plain = Decrypted(ReadText(UpdateFile()), kUpdateFileKey);
        // The image ends with the last data record: 0x10024 bytes, 129 pages of 512.
        ASSERT_EQ(plain.size(), 129u * 512);
        EXPECT_EQ(plain.substr(0, 4), "\xA1\xB2\xC3\xD4");
        EXPECT_EQ(plain.substr(0x10010, 2), "\x55\xAA");
        EXPECT_EQ(plain.substr(0x10020, 4), "\xDE\xAD\xBE\xEF");
        EXPECT_EQ(plain.substr(0x10030, 2), "\xFF\xFF");
        EXPECT_EQ(plain.substr(4, 0x10010 - 4), std::string(0x10010 - 4, '\xFF'));
        EXPECT_EQ(h.target.FlashPagesToWrite, 129u);
    }
}

TEST_F(CipherFilesTest, AnImageLongerThanTheUpdateFileIsRefusedAndTheOldFileKept) {
    const std::string good = Encrypted(Pattern(1024, 9), kUpdateFileKey);
    WriteText(UpdateFile(), good);
    h.target.buf().flash[0] = 0x12;
    h.target.FlashPagesToWrite = 3;
    // A record that starts below 128 KB and runs past it; a raw file one byte too long.
    WriteText(t.dir.File("big.hex"),
              ":020000021000EC\n"
              ":08FFFC000102030405060708D9\n"
              ":00000001FF\n");
    WriteText(t.dir.File("big.bin"), Pattern(131072 + 1));
    for (const char* name : {"big.hex", "big.bin"}) {
        SCOPED_TRACE(name);
        t.prompts.messages.clear();
        EXPECT_FALSE(PackageUpdateFile(h, t.dir.File(name)));
        ASSERT_EQ(t.prompts.messages.size(), 1u);
        EXPECT_EQ(LastMessage().text, "******File length is too long than Flash Size ******   ");
        EXPECT_EQ(LastMessage().icon, MsgIcon::Error);
        EXPECT_EQ(ReadText(UpdateFile()), good);
        EXPECT_EQ(h.target.buf().flash[0], 0x12);
        EXPECT_EQ(h.target.FlashPagesToWrite, 3u);
    }
    // Exactly 128 KB still fits.
    WriteText(t.dir.File("full.bin"), Pattern(131072));
    EXPECT_TRUE(PackageUpdateFile(h, t.dir.File("full.bin")));
    EXPECT_EQ(LastMessage().text, "******File Save success******   ");
    EXPECT_EQ(Decrypted(ReadText(UpdateFile()), kUpdateFileKey), Pattern(131072));
}

TEST_F(CipherFilesTest, PackagerOpenFailuresAndCancel) {
    const struct {
        const char* name;
        const char* message;
    } cases[] = {
        {"gone.a90", "******Open *.A90 file failed******   "},
        {"gone.HEX", "******Open Hex File Failed******   "},
        {"gone.hx", "******Open Bin File Failed******   "},
        {"", "******Open Bin File Failed******   "},  // the directory itself
    };
    h.target.buf().flash[0] = 0x12;
    for (const auto& c : cases) {
        EXPECT_FALSE(PackageUpdateFile(h, t.dir.File(c.name)));
        EXPECT_EQ(LastMessage().text, c.message);
        EXPECT_EQ(LastMessage().icon, MsgIcon::Error);
    }
    t.prompts.QueueFile(std::nullopt);
    OnPackageUpdate(h);
    EXPECT_EQ(t.prompts.messages.size(), 4u);
    EXPECT_FALSE(Exists(UpdateFile()));
    EXPECT_EQ(h.target.buf().flash[0], 0x12);
}

// Nothing is packaged from a file that is not a whole, good image, nor from an empty one: the
// update file already there and the flash buffer stay as they are.
TEST_F(CipherFilesTest, PackagerRefusesBadAndEmptyImages) {
    WriteText(UpdateFile(), "a good update file");
    std::filesystem::create_directory(t.dir.File("dir.hex"));
    WriteText(t.dir.File("empty.hex"), ":00000001FF\n");
    WriteText(t.dir.File("empty.bin"), "");
    WriteText(t.dir.File("bad.hex"), ":0400000011223344AA\n:00000001FF\n");
    WriteText(t.dir.File("cut.a90"), ":0400000011223344\n");
    h.target.buf().flash[0] = 0x12;
    const struct {
        const char* name;
        const char* message;
        const char* logLine;  // nothing: an open failure
    } cases[] = {
        {"dir.hex", "******Open Hex File Failed******   ", nullptr},
        {"empty.hex", "******Open Hex File Failed******   ",
         "File refused: no byte of it lands in the update area 0x0000-0x1FFFF; it holds no data"},
        {"empty.bin", "******Open Bin File Failed******   ",
         "File refused: no byte of it lands in the update area 0x0000-0x1FFFF; it holds no data"},
        {"bad.hex", "******Open Hex File Failed******   ", "File refused, line 1: bad record checksum"},
        {"cut.a90", "******Open *.A90 file failed******   ",
         "File refused, line 1: record shorter than its byte count"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::size_t logLines = t.LogLines().size();
        EXPECT_FALSE(PackageUpdateFile(h, t.dir.File(c.name)));
        EXPECT_EQ(LastMessage().text, c.message);
        if (c.logLine) {
            EXPECT_EQ(t.LogLines().back(), c.logLine);
        } else {
            EXPECT_EQ(t.LogLines().size(), logLines);
        }
        EXPECT_EQ(ReadText(UpdateFile()), "a good update file");
        EXPECT_EQ(h.target.buf().flash[0], 0x12);
    }

    // S-records package like HEX.
    WriteText(t.dir.File("fw.s19"), "S1070000112233444E\nS9030000FC\n");
    EXPECT_TRUE(PackageUpdateFile(h, t.dir.File("fw.s19")));
    EXPECT_EQ(LastMessage().text, "******File Save success******   ");
    EXPECT_EQ(Decrypted(ReadText(UpdateFile()), kUpdateFileKey).substr(0, 5), "\x11\x22\x33\x44\xFF");
}

TEST_F(CipherFilesTest, PackagerReportsAnOutputItCannotCreate) {
    WriteText(t.dir.File("fw.bin"), Pattern(10));
    h.programDir = t.dir.File("missing/");
    EXPECT_FALSE(PackageUpdateFile(h, t.dir.File("fw.bin")));
    EXPECT_EQ(LastMessage().text, "******File Save Failed******");
    EXPECT_EQ(LastMessage().icon, MsgIcon::Error);
}

TEST_F(CipherFilesTest, UnpackingGivesTheWholeUpdateAreaBack) {
    const std::string image = Pattern(1000, 9);
    WriteText(t.dir.File("fw.bin"), image);
    EXPECT_TRUE(PackageUpdateFile(h, t.dir.File("fw.bin")));

    h.target.FlashPagesToWrite = 3;
    t.prompts.QueueFile(UpdateFile());
    OnUnpackUpdate(h);  // the window's command: its dialog, then the host's
    ASSERT_FALSE(t.prompts.fileFilters.empty());
    EXPECT_EQ(t.prompts.fileFilters.back(),
              "Hex Files (*.dat)|*.DAT|A90 Files (*.a90)|*.a90|Bin Files (*.bin)|*.bin||");
    EXPECT_EQ(h.target.FlashFilePath, UpdateFile() + ".bin");
    const std::string plain = ReadText(UpdateFile() + ".bin");
    ASSERT_EQ(plain.size(), 131072u);  // also for a 1024-byte input
    EXPECT_EQ(plain.substr(0, 1000), image);
    EXPECT_EQ(plain.substr(1000, 24), std::string(24, '\xFF'));
    EXPECT_EQ(FlashBytes(h, 0, 131072), plain);
    EXPECT_EQ(h.target.FlashPagesToWrite, 256u);
    EXPECT_EQ(h.target.dev.FlashPageSize, 512u);
    EXPECT_EQ(LastMessage().text, "******File Save success******   ");
}

TEST_F(CipherFilesTest, UnpackingRefusesAFileLongerThanTheUpdateBuffer) {
    WriteText(t.dir.File("huge.dat"), Pattern(131073));
    h.target.buf().flash[0] = 0x12;
    EXPECT_FALSE(UnpackUpdateFile(h, t.dir.File("huge.dat")));
    EXPECT_EQ(LastMessage().text, "******File length is too long than Flash Size ******   ");
    EXPECT_EQ(t.prompts.messages.size(), 1u);
    EXPECT_FALSE(Exists(t.dir.File("huge.dat.bin")));
    EXPECT_EQ(h.target.buf().flash[0], 0x12);

    // Exactly the limit is fine; a missing file is reported as such.
    WriteText(t.dir.File("full.dat"), Pattern(131072));
    EXPECT_TRUE(UnpackUpdateFile(h, t.dir.File("full.dat")));
    EXPECT_EQ(ReadText(t.dir.File("full.dat.bin")), Decrypted(Pattern(131072), kUpdateFileKey));
    EXPECT_FALSE(UnpackUpdateFile(h, t.dir.File("none.dat")));
    EXPECT_EQ(LastMessage().text, "******Open Bin File Failed******   ");
    EXPECT_EQ(h.target.FlashFilePath, t.dir.File("none.dat"));  // remembered before the open

    // A FIFO is not waited for: it cannot be opened.
    ASSERT_EQ(::mkfifo(t.dir.File("pipe.dat").c_str(), 0600), 0);
    EXPECT_FALSE(UnpackUpdateFile(h, t.dir.File("pipe.dat")));
    EXPECT_EQ(LastMessage().text, "******Open Bin File Failed******   ");
}

class ImageFileTest : public CipherFilesTest {
  protected:
    void SetUp() override {
        for (std::size_t i = 0; i < 16; ++i) {
            h.target.buf().boot[i] = static_cast<uint8_t>(0xB0 + i);
            h.target.buf().keyCode[i] = static_cast<uint8_t>(0x10 + i);
        }
        h.target.FlashLoadOffset = 0;
        ASSERT_TRUE(SetPageGeometry(h.target, 256, 256, 256, 16));
    }
};

TEST_F(ImageFileTest, EncryptsTheReloadedImageAndDecryptsItBack) {
    const std::string image = Pattern(700);
    WriteText(t.dir.File("app.bin"), image);
    h.target.FlashFilePath = t.dir.File("app.bin");
    h.target.FlashPagesToWrite = 256;
    h.target.buf().flash[1000] = 0x00;  // the reload erases what was there before

    Application dlgApp(h);
    CMainDlg& dlg = dlgApp.dlg;
    dlg.OnCommand(id::FileJiaMi);
    const auto lines = t.LogLines();
    EXPECT_EQ(lines.end()[-2], "Open Flash File \"" + t.dir.File("app.bin") + "\"  . . . . . . OK");
    EXPECT_EQ(lines.end()[-1], "Flash image 0x0000-0x02BB: 700 bytes, 3 pages");
    EXPECT_EQ(h.target.FlashPagesToWrite, 3u);

    const std::string expectedPlain = image + std::string(68, '\xFF');
    const CipherKey key = ImageFileKey(h.target.buf());
    const std::string file = ReadText(JiaMiFile());
    ASSERT_EQ(file.size(), 16u + 768u);
    EXPECT_EQ(file.substr(0, 16), Encrypted(KeyCode(h), key));
    EXPECT_EQ(file.substr(16), Encrypted(expectedPlain, key));
    EXPECT_EQ(FlashBytes(h, 0, 768), file.substr(16));  // the buffer keeps the encrypted image
    EXPECT_NE(RecordedFlash(h).find("\"edited\":true"), std::string::npos) << RecordedFlash(h);
    EXPECT_EQ(LastMessage().text, "******File Save success******   ");

    // Back again, with the same boot buffer: 12 pages of 64 bytes, the header dropped.
    WriteText(t.dir.File("copy.bin"), file);
    t.prompts.QueueFile(t.dir.File("copy.bin"));
    dlg.OnCommand(id::FileJieMi);
    EXPECT_EQ(t.prompts.fileFilters.back(), "Bin Files (*.bin)|*.bin||");
    EXPECT_EQ(ReadText(t.dir.File("copy.bin.bin")), expectedPlain);
    EXPECT_EQ(h.target.FlashPagesToWrite, 12u);
    EXPECT_EQ(h.target.dev.FlashPageSize, 64u);
    EXPECT_EQ(h.target.dev.FlashPageCount, 256u);
    // The buffer holds the decrypted file, KeyCode header included.
    EXPECT_EQ(FlashBytes(h, 0, 16), KeyCode(h));
    EXPECT_EQ(FlashBytes(h, 16, 768), expectedPlain);
    EXPECT_NE(RecordedFlash(h).find("\"edited\":true"), std::string::npos) << RecordedFlash(h);

    // Another boot buffer is another key: garbage of the right length, still "success".
    h.target.buf().boot[0] ^= 0xFF;
    EXPECT_TRUE(DecryptImageFile(h, t.dir.File("copy.bin")));
    const std::string garbage = ReadText(t.dir.File("copy.bin.bin"));
    EXPECT_EQ(garbage.size(), 768u);
    EXPECT_NE(garbage, expectedPlain);
    EXPECT_EQ(LastMessage().text, "******File Save success******   ");
}

TEST_F(ImageFileTest, ReloadsAHexImageAtTheLoadOffset) {
    h.target.FlashLoadOffset = 0x4000;
    WriteText(t.dir.File("app.HEX"),
              ":10400000000102030405060708090A0B0C0D0E0F38\n"
              ":043FF000EEEEEEEE15\n"  // below the load offset: dropped
              ":02410000AABB58\n"
              ":00000001FF\n");
    h.target.FlashFilePath = t.dir.File("app.HEX");
    EXPECT_TRUE(EncryptImageFile(h));
    // The image ends at 0x102: two pages of 256.
    EXPECT_EQ(h.target.FlashPagesToWrite, 2u);
    const std::string plain = Decrypted(ReadText(JiaMiFile()).substr(16), ImageFileKey(h.target.buf()));
    ASSERT_EQ(plain.size(), 512u);
    EXPECT_EQ(plain.substr(0, 16), std::string("\x00\x01\x02\x03\x04\x05\x06\x07"
                                               "\x08\x09\x0A\x0B\x0C\x0D\x0E\x0F",
                                               16));
    EXPECT_EQ(plain.substr(0x100, 2), "\xAA\xBB");
    EXPECT_EQ(plain.substr(0x102), std::string(512 - 0x102, '\xFF'));
}

TEST_F(ImageFileTest, EncryptingWithoutAFileUsesTheBufferAsItIs) {
    for (const char* path : {"", " "}) {
        h.target.FlashFilePath = path;
        h.target.FlashPagesToWrite = 1;
        h.target.buf().flash.fill(0x3C);
        EXPECT_TRUE(EncryptImageFile(h));
        EXPECT_EQ(t.LogLines().back(), "Open Flash File.......Can not find");
        const std::string file = ReadText(JiaMiFile());
        ASSERT_EQ(file.size(), 16u + 256u);
        EXPECT_EQ(Decrypted(file.substr(16), ImageFileKey(h.target.buf())), std::string(256, '\x3C'));
    }
}

TEST_F(ImageFileTest, EncryptionNeverRunsPastTheFlashBuffer) {
    // 64-byte pages leave room for more pages than 256-byte "pages" fit in the buffer.
    ASSERT_TRUE(SetPageGeometry(h.target, 64, 4687, 256, 16));
    h.target.FlashPagesToWrite = 4687;
    h.target.FlashFilePath = "";
    EXPECT_TRUE(EncryptImageFile(h));
    EXPECT_EQ(ReadText(JiaMiFile()).size(), 16u + 1171u * 256u);
    // The last whole 256-byte page of the buffer is encrypted, the bytes after it are not.
    EXPECT_NE(h.target.buf().flash[1171 * 256 - 1], 0xFF);
    EXPECT_EQ(h.target.buf().flash[1171 * 256], 0xFF);
}

TEST_F(ImageFileTest, EncryptingStopsWhenTheImageCannotBeOpened) {
    h.target.FlashFilePath = t.dir.File("deleted.bin");
    h.target.buf().flash[0] = 0x12;
    EXPECT_FALSE(EncryptImageFile(h));
    EXPECT_EQ(LastMessage().text, "******Open Flash File Failed******   ");
    EXPECT_EQ(t.LogLines().back(),
              "Open Flash File \"" + t.dir.File("deleted.bin") + "\"  . . . . . . Failed");
    EXPECT_EQ(h.target.FlashFilePath, " ");
    EXPECT_EQ(h.target.buf().flash[0], 0x12);
    EXPECT_FALSE(Exists(JiaMiFile()));
}

TEST_F(ImageFileTest, DecryptionRefusesFilesOutsideTheBufferLimits) {
    h.target.buf().flash[0] = 0x12;
    WriteText(t.dir.File("short.bin"), Pattern(15));
    EXPECT_FALSE(DecryptImageFile(h, t.dir.File("short.bin")));
    EXPECT_EQ(LastMessage().text, kEncryptedFileTooShort);
    WriteText(t.dir.File("long.bin"), Pattern(300001));
    EXPECT_FALSE(DecryptImageFile(h, t.dir.File("long.bin")));
    EXPECT_EQ(LastMessage().text, kEncryptedFileTooLong);
    EXPECT_FALSE(Exists(t.dir.File("short.bin.bin")));
    EXPECT_FALSE(Exists(t.dir.File("long.bin.bin")));
    EXPECT_EQ(h.target.buf().flash[0], 0x12);

    // The limits themselves are accepted: a bare header gives an empty output, a file that
    // fills the buffer is decrypted whole while the pages to write stay within the device.
    WriteText(t.dir.File("header.bin"), Pattern(16));
    EXPECT_TRUE(DecryptImageFile(h, t.dir.File("header.bin")));
    EXPECT_EQ(ReadText(t.dir.File("header.bin.bin")), "");
    WriteText(t.dir.File("full.bin"), Pattern(300000));
    EXPECT_TRUE(DecryptImageFile(h, t.dir.File("full.bin")));
    EXPECT_EQ(ReadText(t.dir.File("full.bin.bin")).size(), 4687u * 64u);
    EXPECT_EQ(h.target.FlashPagesToWrite, 256u);
    EXPECT_FALSE(DecryptImageFile(h, t.dir.File("absent.bin")));
    EXPECT_EQ(LastMessage().text, "******Open Bin File Failed******   ");
}

}  // namespace
}  // namespace lumacrest
