#include <gtest/gtest.h>

#include <filesystem>

#include "image/DeviceCatalogue.h"
#include "support/TestHost.h"
#include "ui/main/ResourceIds.h"
#include "host/DeviceCommands.h"

namespace lumacrest {
namespace {

using test::WriteText;

TEST(DeviceCatalogue, NamesAndTypes) {
    test::TestHost t;
    Host& h = t.h();
    DeviceTypeFromName(h.target, "MN90F25XA");
    EXPECT_EQ(h.target.DeviceType, 20);
    DeviceTypeFromName(h.target, "mn90f25xa");
    EXPECT_EQ(h.target.DeviceType, 0);
    DeviceTypeFromName(h.target, "MN101EF52A");
    EXPECT_EQ(h.target.DeviceType, 5);
    DeviceTypeFromName(h.target, "");
    EXPECT_EQ(h.target.DeviceType, 0);
    DeviceTypeFromName(h.target, "MN101EF51A_IAP");
    EXPECT_EQ(h.target.DeviceType, 0);
    DeviceNameFromType(h.target, 4);
    EXPECT_EQ(h.target.mcuName, "MN101EF51A");
    DeviceNameFromType(h.target, 21);
    EXPECT_EQ(h.target.mcuName, "");
    DeviceNameFromType(h.target, -1);
    EXPECT_EQ(h.target.mcuName, "");
    DeviceNameFromType(h.target, 0);
    EXPECT_EQ(h.target.mcuName, "MN101EF32D");
}

class DeviceFileTest : public ::testing::Test {
  protected:
    void Write(const std::string& text) { WriteText(t.dir.File("PART.cfg"), text); }
    test::TestHost t;
    Host& h = t.h();
};

TEST_F(DeviceFileTest, ReadsEveryFieldAndLogsTheAdapter) {
    Write(
        "description\n7\n300\n1\n2\n512\n100\n128\n8\n261\n0\n3\n1000\n2000\n3000\n  Adapter: X "
        "1\n");
    h.view.ShowOptions({.programBoot = true});
    ASSERT_TRUE(LoadDeviceParams(h, "PART"));
    EXPECT_EQ(h.target.dev.DeviceByte1, 7);
    EXPECT_EQ(h.target.dev.DeviceByte2, 300 & 0xFF);
    EXPECT_EQ(h.target.dev.FlashPageSize, 512u);
    EXPECT_EQ(h.target.dev.FlashPageCount, 100u);
    EXPECT_EQ(h.target.dev.FlashSize, 51200u);
    EXPECT_EQ(h.target.dev.BootPageSize, 128u);
    EXPECT_EQ(h.target.dev.BootPageCount, 8u);
    EXPECT_EQ(h.target.dev.BootSize, 1024u);
    EXPECT_EQ(h.target.dev.DeviceByte3, 261 & 0xFF);
    EXPECT_EQ(h.target.dev.BootAreaEnabled, 0);
    EXPECT_EQ(h.target.dev.SectorSizes, (std::vector<uint32_t>{1000, 2000, 3000}));
    EXPECT_EQ(h.target.dev.AdapterText, "Adapter: X 1");  // leading blanks skipped, inner kept
    EXPECT_EQ(t.LogLines().end()[-2], "Adapter: X 1");
    // Sectors that do not tile the flash are taken, with a warning.
    EXPECT_EQ(t.LogLines().back(), "Warning: the 3 sectors of PART add up to 6000 bytes, the flash has 51200");
    EXPECT_FALSE(h.view.BootOptionAvailable());
    EXPECT_FALSE(h.view.Options().programBoot);
    EXPECT_TRUE(t.prompts.messages.empty());
}

TEST_F(DeviceFileTest, NumbersOnOneLineAndUnusedValuesAndNoSectors) {
    Write("x\r\n1 16 9999 9999 256 288 256 16 3 1 0\r\nAdapter:A\r\n");
    ASSERT_TRUE(LoadDeviceParams(h, "PART"));
    EXPECT_EQ(h.target.dev.FlashSize, 73728u);
    EXPECT_TRUE(h.target.dev.SectorSizes.empty());
    EXPECT_EQ(h.target.dev.AdapterText, "Adapter:A");  // no carriage return kept
    EXPECT_TRUE(h.view.BootOptionAvailable());
}

TEST_F(DeviceFileTest, MissingFileChangesNothing) {
    DeviceParams before = h.target.dev;
    EXPECT_FALSE(LoadDeviceParams(h, "NOPE"));
    ASSERT_EQ(t.MessageTexts(), std::vector<std::string>{"******Open Config file failed******   "});
    EXPECT_EQ(t.prompts.messages[0].icon, MsgIcon::Error);
    EXPECT_EQ(h.target.dev.FlashPageSize, before.FlashPageSize);
    EXPECT_EQ(h.target.dev.AdapterText, before.AdapterText);
}

TEST_F(DeviceFileTest, BrokenFilesAreRefusedWhole) {
    const char* broken[] = {
        "x\n1\n16\n0\n0\n256\n",                           // ends early
        "x\n1 16 0 0 256 288 256 16 3 1 20\n",             // N above 19
        "x\n1 16 0 0 256 288 256 16 3 1 3\n100 200\nA\n",  // a length missing
        "x\n1 16 0 0 0 288 256 16 3 1 0\nA\n",             // zero flash page
        "x\n1 16 0 0 256 16 0 16 3 1 0\nA\n",              // zero boot page
        "x\n1 16 0 0 1024 300 256 16 3 1 0\nA\n",          // 307200 > 300000
        "x\n1 16 0 0 256 288 512 17 3 1 0\nA\n",           // 8704 > 8192
        "x\n1 16 0 0 1 70000 256 16 3 1 0\nA\n",           // 16-bit block numbers
        "x\n1 16 0 0 256 -1 256 16 3 1 0\nA\n",            // negative count
    };
    for (const char* text : broken) {
        SCOPED_TRACE(text);
        Write(text);
        t.prompts.messages.clear();
        ASSERT_TRUE(SetPageGeometry(h.target, 256, 10, 256, 4));
        h.target.dev.AdapterText = "old";
        EXPECT_FALSE(LoadDeviceParams(h, "PART"));
        EXPECT_EQ(t.prompts.messages.size(), 1u);
        EXPECT_EQ(h.target.dev.FlashSize, 2560u);
        EXPECT_EQ(h.target.dev.BootSize, 1024u);
        EXPECT_EQ(h.target.dev.AdapterText, "old");
    }
    EXPECT_NE(t.prompts.messages.back().text.find("the flash page count -1 is negative"),
              std::string::npos);
}

TEST_F(DeviceFileTest, NineteenSectorsAndLongLinesStayBounded) {
    std::string text = std::string(5000, 'd') + "\n1 16 0 0 256 288 256 16 3 1 19\n";
    for (int i = 1; i <= 19; ++i) text += std::to_string(i) + "\n";
    text += std::string(300, 'A') + "\n";
    Write(text);
    ASSERT_TRUE(LoadDeviceParams(h, "PART"));
    ASSERT_EQ(h.target.dev.SectorSizes.size(), 19u);
    EXPECT_EQ(h.target.dev.SectorSizes[18], 19u);
    EXPECT_EQ(h.target.dev.AdapterText, std::string(255, 'A'));
}

TEST_F(DeviceFileTest, ChangeOfPartLimitsThePagesToWrite) {
    Write("x\n1 16 0 0 256 64 256 4 3 1 0\nA\n");
    h.target.FlashPagesToWrite = 288;
    h.target.BootPagesToWrite = 16;
    ASSERT_TRUE(LoadDeviceParams(h, "PART"));
    EXPECT_EQ(h.target.FlashPagesToWrite, 64u);
    EXPECT_EQ(h.target.BootPagesToWrite, 4u);
}

TEST_F(DeviceFileTest, ReadOnlyFileStillLoads) {
    Write("x\n1 16 0 0 256 64 256 4 3 1 0\nA\n");
    std::filesystem::permissions(t.dir.File("PART.cfg"), std::filesystem::perms::owner_read);
    EXPECT_TRUE(LoadDeviceParams(h, "PART"));
}

// Every device file that ships lists sectors that tile its flash exactly.
TEST(ShippedDeviceFiles, SectorsTileTheFlash) {
    int files = 0;
    for (const auto& entry : std::filesystem::directory_iterator(LUMACREST_SOURCE_DIR "/res")) {
        if (entry.path().extension() != ".cfg") continue;
        SCOPED_TRACE(entry.path().filename().string());
        test::TestHost t;
        std::filesystem::copy_file(entry.path(), t.dir.File(entry.path().filename().string()));
        ASSERT_TRUE(LoadDeviceParams(t.h(), entry.path().stem().string()));
        uint64_t sum = 0;
        for (uint32_t sector : t.h().target.dev.SectorSizes) sum += sector;
        EXPECT_EQ(sum, t.h().target.dev.FlashSize);
        ++files;
    }
    EXPECT_GT(files, 0);
}

TEST(ClearReservedFlashWindow, OnlyForThePartsWithAWindow) {
    for (int type = 0; type < kDeviceCount; ++type) {
        test::TestHost t;
        Host& h = t.h();
        h.target.buf().flash.fill(0x00);
        h.target.DeviceType = type;
        ClearReservedFlashWindow(h.target);
        const bool cleared = type == 15 || type == 17 || type == 19 || type == 20;
        SCOPED_TRACE(type);
        EXPECT_EQ(h.target.buf().flash[0x10000], cleared ? 0xFF : 0x00);
        EXPECT_EQ(h.target.buf().flash[0x10000 + 0xD000 - 1], cleared ? 0xFF : 0x00);
        EXPECT_EQ(h.target.buf().flash[0xFFFF], 0x00);
        EXPECT_EQ(h.target.buf().flash[0x10000 + 0xD000], 0x00);
    }
}

TEST(SetPageGeometry, RecomputesSizesAndKeepsOldValuesOnRefusal) {
    test::TestHost t;
    Host& h = t.h();
    ASSERT_TRUE(SetPageGeometry(h.target, 512, 256, 256, 16));
    EXPECT_EQ(h.target.dev.FlashSize, 131072u);
    EXPECT_EQ(h.target.dev.BootSize, 4096u);
    EXPECT_TRUE(SetPageGeometry(h.target, 1, 65535, 1, 8192));  // the largest counts accepted
    std::string why;
    EXPECT_FALSE(SetPageGeometry(h.target, 300001, 1, 256, 16, &why));
    EXPECT_EQ(why, "the flash size 300001 is above 300000");
    EXPECT_EQ(h.target.dev.FlashSize, 65535u);
    // The command flows show the refusal.
    EXPECT_FALSE(ApplyPageGeometry(h, 300001, 1, 256, 16));
    EXPECT_EQ(t.MessageTexts(), std::vector<std::string>{
                                    "******Page setting refused: the flash size 300001 is above "
                                    "300000******   "});
    EXPECT_TRUE(SetPageGeometry(h.target, 300000, 1, 8192, 1));
}

}  // namespace
}  // namespace lumacrest
