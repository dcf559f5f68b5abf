#include <gtest/gtest.h>

#include <cstdlib>
#include <vector>

#include "image/Checksums.h"
#include "image/DeviceCatalogue.h"
#include "image/ImageLoading.h"
#include "image/ProjectFile.h"
#include "support/TestHost.h"
#include "ui/main/ResourceIds.h"
#include "ops/OperatorView.h"
#include "app/Commands.h"

namespace lumacrest {
namespace {

using test::Lines;
using test::ReadText;
using test::WriteText;

uint8_t Pattern(std::size_t i) {
    return static_cast<uint8_t>(i * 151 + (i >> 10));
}

class ProjectTest : public ::testing::Test {
  protected:
    ProjectTest() {
        WireCommands(h, router);
        h.view.SetMcuItems({"MN101EF32D", "MN101EF51A_IAP", "MN101EFC3D"});
        h.view.SetPortItems({"COM1", "COM3", "USB"});
    }
    void FillImages() {
        for (std::size_t i = 0; i < h.target.buf().flash.size(); ++i) h.target.buf().flash[i] = Pattern(i);
        for (std::size_t i = 0; i < h.target.buf().boot.size(); ++i) h.target.buf().boot[i] = Pattern(i + 7);
        for (std::size_t i = 0; i < h.target.buf().keyCode.size(); ++i)
            h.target.buf().keyCode[i] = static_cast<uint8_t>(0xC0 + i);
    }
    // The two checksum lines of the last ShowChecksums.
    std::vector<std::string> Sums() {
        std::vector<std::string> sums;
        for (const auto& l : t.LogLines())
            if (l.find("Buffer Check Sum: ") != std::string::npos) sums.push_back(l);
        return {sums.end() - 2, sums.end()};
    }
    std::string Save(const std::string& name) {
        t.prompts.QueueFile(t.dir.File(name));
        router.Dispatch(id::SaveProject);
        return t.dir.File(name);
    }
    void Load(const std::string& path) {
        t.prompts.QueueFile(path);
        router.Dispatch(id::LoadProject);
    }

    test::TestHost t;
    Host& h = t.h();
    CommandRouter router;
};

TEST_F(ProjectTest, RoundTripKeepsEverything) {
    ASSERT_TRUE(SetPageGeometry(h.target, 256, 288, 256, 16));
    FillImages();
    h.view.SelectMcu(2);
    h.view.SelectPort(1);
    h.view.ShowOptions({.eraseChip = true, .programBoot = true, .programSn = true});
    h.view.counter = true;
    h.sn.SnAddress = 0x1234;
    h.sn.SnValue = 4000000000u;  // saved as a negative "%d" and read back the same
    h.sn.SnInBoot = 1;
    h.sn.SnWidth = 3;
    h.sn.SnLittleEndian = 0;
    h.target.dev.DeviceByte3 = 9;
    h.target.dev.AdapterText = "Adapter: ZK9 QFP64";
    h.target.FlashFilePath = "   ";
    ShowChecksums(h.view, h.target);
    const std::vector<std::string> before = Sums();
    const std::string keyBefore(h.target.buf().keyCode.begin(), h.target.buf().keyCode.begin() + 16);

    Save("job");
    EXPECT_EQ(t.prompts.fileFilters.back(), kProjectFilter);
    EXPECT_EQ(t.LogLines().back(), "Save Project File......OK");
    EXPECT_EQ(h.target.FlashFilePath, "W\\:");
    const auto lines = Lines(ReadText(t.dir.File("job.Prjt")));
    const std::vector<std::string> header = {"YES",
                                             "MN101EFC3D",
                                             "COM3",
                                             "W\\:",
                                             "W\\:",
                                             "W\\:",
                                             "37",
                                             "4660",
                                             "-294967296",
                                             "1",
                                             "1",
                                             "3",
                                             "0",
                                             "256",
                                             "288",
                                             "256",
                                             "16",
                                             "9",
                                             "1",
                                             "1",
                                             "Adapter: ZK9 QFP64",
                                             ":020000020000FC"};
    ASSERT_GT(lines.size(), header.size());
    EXPECT_EQ(std::vector<std::string>(lines.begin(), lines.begin() + header.size()), header);

    // Everything is changed, then the project brings it back.
    h.target.buf().Reset();
    ASSERT_TRUE(SetPageGeometry(h.target, 128, 10, 128, 2));
    h.view.SelectMcu(0);
    h.view.SelectPort(2);
    h.view.ShowOptions({.programFlash = true});
    h.sn.SnValue = 0;
    h.sn.SnAdvance = 0;
    h.englishUi = 0;
    h.target.dev.BootAreaEnabled = 0;
    h.target.FlashFilePath = h.target.BootFilePath = h.target.KeyCodeFilePath = "/x";
    Load(t.dir.File("job.Prjt"));

    EXPECT_TRUE(t.prompts.messages.empty());
    EXPECT_EQ(h.target.ProjectFilePath, t.dir.File("job.Prjt"));
    EXPECT_EQ(Sums(), before);
    EXPECT_EQ(std::string(h.target.buf().keyCode.begin(), h.target.buf().keyCode.begin() + 16), keyBefore);
    EXPECT_EQ(h.target.buf().keyCode[16], 0xFF);
    EXPECT_EQ(h.target.buf().flash[288 * 256], 0xFF);  // beyond the section: erased
    EXPECT_EQ(h.target.dev.FlashSize, 288u * 256);
    EXPECT_EQ(h.target.FlashPagesToWrite, 288u);
    EXPECT_EQ(h.target.BootPagesToWrite, 16u);
    EXPECT_EQ(h.target.mcuName, "MN101EFC3D");
    EXPECT_EQ(h.target.DeviceType, 15);
    EXPECT_EQ(h.view.McuList().selected, 2);
    EXPECT_EQ(h.view.PortList().selected, 1);
    EXPECT_TRUE(h.view.Options().eraseChip);
    EXPECT_FALSE(h.view.Options().programFlash);
    EXPECT_TRUE(h.view.Options().programBoot);
    EXPECT_TRUE(h.view.Options().programSn);
    EXPECT_EQ(h.sn.SnValue, 4000000000u);
    EXPECT_EQ(h.sn.SnAddress, 0x1234u);
    EXPECT_EQ(h.sn.SnInBoot, 1u);
    EXPECT_EQ(h.sn.SnWidth, 3u);
    EXPECT_EQ(h.sn.SnLittleEndian, 0);
    EXPECT_EQ(h.sn.SnAdvance, 1);
    EXPECT_EQ(h.englishUi, 1);
    EXPECT_EQ(h.target.dev.DeviceByte3, 9);
    EXPECT_EQ(h.target.dev.BootAreaEnabled, 1);
    EXPECT_EQ(h.target.dev.AdapterText, "Adapter: ZK9 QFP64");
    EXPECT_EQ(h.target.FlashFilePath, "");
    EXPECT_EQ(h.target.KeyCodeFilePath, "");
    // The reserved window of this device is not applied: the image is as saved.
    EXPECT_EQ(h.target.buf().flash[0x10000], Pattern(0x10000));

    const auto log = t.LogLines();
    const std::size_t n = log.size();
    EXPECT_EQ(log[n - 7], "Open Project File \"" + t.dir.File("job.Prjt") + "\" . . . . . . OK");
    EXPECT_EQ(log[n - 6], "Device  : MN101EFC3D");
    EXPECT_EQ(log[n - 5], "Adapter: ZK9 QFP64");
    EXPECT_EQ(log[n - 4].substr(0, 23), "Flash Buffer Check Sum:");
    EXPECT_EQ(log[n - 2].substr(0, 19), "Flash image 0x0000-");
    EXPECT_EQ(log[n - 1].substr(0, 18), "Boot image 0x0000-");

    // The image paths are forgotten: reload finds none of them.
    router.Dispatch(id::TbReload);
    const auto after = t.LogLines();
    EXPECT_EQ(after[after.size() - 5], "Open Flash File.......Can not find");
    EXPECT_EQ(after[after.size() - 4], "Open Boot File.......Can not find");
    EXPECT_EQ(after[after.size() - 3], "Open KeyCode File.......Can not find");
}

TEST_F(ProjectTest, NamesExtensionAndDefaults) {
    ASSERT_TRUE(SetPageGeometry(h.target, 256, 4, 256, 1));
    Save("job.prjt");
    EXPECT_EQ(Lines(ReadText(t.dir.File("job.prjt.Prjt")))[1], "ATMEGA48");
    EXPECT_EQ(Lines(ReadText(t.dir.File("job.prjt.Prjt")))[2], "USB");
    EXPECT_EQ(h.target.mcuName, "ATMEGA48");
    Save("other.Prjt");
    EXPECT_TRUE(std::filesystem::exists(t.dir.File("other.Prjt")));

    // A name outside the catalogue: type 0 and its name; the list selects nothing.
    h.view.SelectMcu(1);
    h.target.DeviceType = 5;
    Load(t.dir.File("job.prjt.Prjt"));
    EXPECT_EQ(h.target.DeviceType, 0);
    EXPECT_EQ(h.target.mcuName, "MN101EF32D");
    EXPECT_EQ(h.view.McuList().selected, -1);
    EXPECT_EQ(h.view.PortList().selected, 2);

    // A stored language flag of 0 still leaves English.
    std::string text = ReadText(t.dir.File("other.Prjt"));
    auto lines = Lines(text);
    lines[19] = "0";
    std::string edited;
    for (std::size_t i = 0; i + 1 < lines.size(); ++i) edited += lines[i] + "\n";
    WriteText(t.dir.File("lang.Prjt"), edited);
    Load(t.dir.File("lang.Prjt"));
    EXPECT_EQ(h.englishUi, 1);
    EXPECT_TRUE(t.prompts.messages.empty());
}

TEST_F(ProjectTest, OpenFailureAndCancel) {
    h.target.buf().flash[0] = 0x11;
    Load(t.dir.File("none.Prjt"));
    EXPECT_EQ(t.MessageTexts(), std::vector<std::string>{"******Open Pro File Failed******   "});
    EXPECT_EQ(t.LogLines().back(),
              "Open Project File \"" + t.dir.File("none.Prjt") + "\" . . . . . . Failed");
    EXPECT_EQ(h.target.buf().flash[0], 0x11);

    const std::size_t before = t.LogLines().size();
    router.Dispatch(id::SaveProject);  // save dialog cancelled
    EXPECT_EQ(t.LogLines().size(), before);
}

TEST_F(ProjectTest, ASectionThatPassesItsLimitKeepsTheOthersInStep) {
    const std::string header =
        "YES\nMN101EF32D\nUSB\nW\\:\nW\\:\nW\\:"
        "\n2\n0\n0\n1\n0\n2\n1\n16\n2\n16\n1\n3\n1\n1\nAdapter\n";
    const std::string flash =
        ":020000020000FC\n"
        ":1000000000112233445566778899AABBCCDDEEFFF8\n"
        ":10001000000102030405060708090A0B0C0D0E0F68\n"
        ":10002000AAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAA30\n"  // beyond the 32-byte flash
        ":10000000BBBBBBBBBBBBBBBBBBBBBBBBBBBBBBBB40\n"  // read on, not stored
        ":00000001FF\n";
    const std::string boot =
        ":020000020000FC\n:1000000055555555555555555555555555555555A0\n:00000001FF\n";
    const std::string key =
        ":020000020000FC\n:10000000A0A1A2A3A4A5A6A7A8A9AAABACADAEAF78\n:00000001FF\n";
    WriteText(t.dir.File("p.Prjt"), header + flash + boot + key);
    Load(t.dir.File("p.Prjt"));
    EXPECT_TRUE(t.prompts.messages.empty());
    EXPECT_EQ(h.target.dev.FlashSize, 32u);
    EXPECT_EQ(h.target.buf().flash[0], 0x00);
    EXPECT_EQ(h.target.buf().flash[0x20], 0xAA);  // the record that passed the limit
    EXPECT_EQ(h.target.buf().boot[0], 0x55);
    EXPECT_EQ(h.target.buf().boot[16], 0xFF);
    EXPECT_EQ(h.target.buf().keyCode[15], 0xAF);
    EXPECT_TRUE(h.view.Options().programFlash);
    EXPECT_FALSE(h.view.Options().eraseChip);
    EXPECT_EQ(h.sn.SnWidth, 2u);
    // The flash section's report counts the bytes past its limit as left out.
    EXPECT_EQ(t.LogLines().end()[-2],
              "Flash image 0x0000-0x001F: 32 bytes, 2 pages; left out 0x0020-0x002F (16 bytes, beyond the flash)");

    // Serial number settings the operations cannot use refuse the whole file: a width outside
    // 1 to 4, an address whose 4 bytes run past the flash (32 bytes here).
    const struct {
        const char* values;
        const char* why;
    } refused[] = {
        {"\n2\n0\n0\n1\n0\n9\n", "File refused, line 12: serial number width 9 (1 to 4)"},
        {"\n2\n0\n0\n1\n0\n0\n", "File refused, line 12: serial number width 0 (1 to 4)"},
        {"\n2\n29\n0\n1\n0\n4\n",
         "File refused, line 8: serial number address 29 with its 4 bytes beyond the flash (32 bytes)"},
    };
    for (const auto& r : refused) {
        SCOPED_TRACE(r.values);
        std::string text = header + flash + boot + key;
        text.replace(text.find("\n2\n0\n0\n1\n0\n2\n"), 13, r.values);
        WriteText(t.dir.File("bad.Prjt"), text);
        h.sn.SnWidth = 3;
        Load(t.dir.File("bad.Prjt"));
        EXPECT_EQ(t.LogLines().back(), r.why);
        EXPECT_EQ(h.sn.SnWidth, 3u);
    }
    std::string text = header + flash + boot + key;
    text.replace(text.find("\n2\n0\n0\n1\n0\n2\n"), 13, "\n2\n28\n0\n1\n0\n4\n");
    WriteText(t.dir.File("last.Prjt"), text);
    Load(t.dir.File("last.Prjt"));
    EXPECT_EQ(h.sn.SnAddress, 28u);
}

TEST_F(ProjectTest, RefusedGeometries) {
    // Saving: sections must be whole 16-byte records.
    ASSERT_TRUE(SetPageGeometry(h.target, 24, 3, 256, 1));
    const std::string path = t.dir.File("g.Prjt");
    WriteText(path, "previous");
    Save("g.Prjt");
    ASSERT_EQ(t.MessageTexts().size(), 1u);
    EXPECT_NE(t.MessageTexts()[0].find("the flash section of 72 bytes is not a multiple of 16"),
              std::string::npos);
    EXPECT_EQ(t.LogLines().back(), "Save Project File......Failed");
    EXPECT_EQ(ReadText(path), "previous");

    // Loading: a geometry the buffers cannot hold changes no image.
    ASSERT_TRUE(SetPageGeometry(h.target, 256, 288, 256, 16));
    h.target.buf().flash[0] = 0x42;
    WriteText(path,
              "YES\nMN101EF32D\nUSB\nW\\:\nW\\:\nW\\:"
              "\n0\n0\n0\n1\n0\n4\n1\n4096\n4096\n256\n16\n3\n1\n1\nA\n"
              ":020000020000FC\n:1000000000112233445566778899AABBCCDDEEFFF8\n:00000001FF\n");
    h.view.SelectMcu(0);
    h.target.dev.AdapterText = "Adapter: before";
    h.sn.SnWidth = 2;
    Load(path);
    ASSERT_EQ(t.MessageTexts().size(), 2u);
    EXPECT_EQ(t.MessageTexts()[1], "******Open Pro File Failed******   ");
    EXPECT_EQ(h.target.dev.FlashPageCount, 288u);
    EXPECT_EQ(h.target.buf().flash[0], 0x42);
    // Nothing of the file is in force: not the MCU, the options, the SN fields nor the adapter.
    EXPECT_EQ(h.view.McuList().selected, 0);
    EXPECT_EQ(h.sn.SnWidth, 2u);
    EXPECT_EQ(h.target.dev.AdapterText, "Adapter: before");
    const auto lines = t.LogLines();
    EXPECT_EQ(lines[lines.size() - 2], "Open Project File \"" + path + "\" . . . . . . Failed");
    EXPECT_EQ(lines.back(),
              "File refused, line 14: page setting refused: the flash size 16777216 is above "
              "300000");
}

// A truncated, damaged or junk project changes nothing, and says where it went wrong.
TEST_F(ProjectTest, ABadProjectIsRefusedWholeAndChangesNothing) {
    ASSERT_TRUE(SetPageGeometry(h.target, 256, 4, 256, 1));
    FillImages();
    h.target.dev.AdapterText = "Adapter: saved";
    h.sn.SnValue = 77;
    const std::string good = ReadText(Save("good") + ".Prjt");
    const auto goodLines = Lines(good);

    // What a refused load must leave as it was.
    h.target.buf().Reset();
    h.target.buf().flash[3] = 0x33;
    h.target.buf().keyCode[0] = 0x44;
    ASSERT_TRUE(SetPageGeometry(h.target, 128, 2, 128, 1));
    h.sn.SnValue = 5;
    h.target.dev.AdapterText = "Adapter: current";
    h.view.SelectPort(0);
    h.target.FlashFilePath = "/remembered.hex";
    ShowChecksums(h.view, h.target);
    const std::vector<std::string> sums = Sums();

    auto join = [](const std::vector<std::string>& lines, std::size_t n) {
        std::string text;
        for (std::size_t i = 0; i < n; ++i) text += lines[i] + "\n";
        return text;
    };
    std::string badSum = good;
    badSum[badSum.find(":10000000") + 12] ^= 1;  // one data digit changed
    std::string badNumber = good;
    badNumber.replace(badNumber.find("\n256\n") + 1, 3, "25x");
    std::string junk(5000, '\0');
    for (std::size_t i = 0; i < junk.size(); ++i) junk[i] = static_cast<char>(i * 2654435761u >> 24);
    const struct {
        const char* name;
        std::string text;
        std::string why;
    } cases[] = {
        {"truncated in the header", join(goodLines, 12), "File refused, line 13: the file ends inside the header"},
        {"cut before the boot section", join(goodLines, 21 + 66), "File refused, line 88: no boot section"},
        {"cut inside the flash section", join(goodLines, 40), "File refused, line 40: no end record"},
        {"a changed data byte", badSum, "File refused, line 23: bad record checksum"},
        {"a number that is not one", badNumber, "File refused, line 14: not a number"},
        {"junk", junk, ""},
        {"empty", "", "File refused, line 1: the file ends inside the header"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string path = t.dir.File("bad.Prjt");
        WriteText(path, c.text);
        const std::size_t shown = t.prompts.messages.size();
        Load(path);
        ASSERT_EQ(t.prompts.messages.size(), shown + 1);
        EXPECT_EQ(t.MessageTexts().back(), "******Open Pro File Failed******   ");
        const auto lines = t.LogLines();
        EXPECT_EQ(lines[lines.size() - 2], "Open Project File \"" + path + "\" . . . . . . Failed");
        if (!c.why.empty()) {
            EXPECT_EQ(lines.back(), c.why);
        }
        EXPECT_EQ(lines.back().substr(0, 13), "File refused,");
        EXPECT_EQ(h.target.buf().flash[3], 0x33);
        EXPECT_EQ(h.target.buf().flash[0], 0xFF);
        EXPECT_EQ(h.target.buf().keyCode[0], 0x44);
        EXPECT_EQ(h.target.dev.FlashPageSize, 128u);
        EXPECT_EQ(h.sn.SnValue, 5u);
        EXPECT_EQ(h.target.dev.AdapterText, "Adapter: current");
        EXPECT_EQ(h.view.PortList().selected, 0);
        EXPECT_EQ(h.target.FlashFilePath, "/remembered.hex");
        EXPECT_EQ(Sums(), sums);  // no checksum line was written
    }
    // The good file still loads.
    Load(t.dir.File("good.Prjt"));
    EXPECT_EQ(h.sn.SnValue, 77u);
    EXPECT_EQ(h.target.buf().flash[3], Pattern(3));
}

TEST_F(ProjectTest, AnEmptyAdapterTextComesBackEmpty) {
    ASSERT_TRUE(SetPageGeometry(h.target, 256, 4, 256, 1));
    FillImages();
    h.target.dev.AdapterText = "";
    const std::string path = Save("empty") + ".Prjt";
    EXPECT_EQ(Lines(ReadText(path))[20], "");
    h.target.dev.AdapterText = "something else";
    h.target.buf().Reset();
    Load(path);
    EXPECT_TRUE(t.prompts.messages.empty());
    EXPECT_EQ(h.target.dev.AdapterText, "");
    EXPECT_EQ(h.target.buf().flash[5], Pattern(5));
    EXPECT_EQ(h.target.buf().keyCode[0], 0xC0);

    // Lines ended by CR LF (a file from the original tool) read the same.
    std::string crlf;
    for (const std::string& line : Lines(ReadText(path))) crlf += line + "\r\n";
    WriteText(t.dir.File("crlf.Prjt"), "\xEF\xBB\xBF" + crlf);
    h.target.dev.AdapterText = "x";
    h.target.buf().Reset();
    Load(t.dir.File("crlf.Prjt"));
    EXPECT_TRUE(t.prompts.messages.empty());
    EXPECT_EQ(h.target.dev.AdapterText, "");
    EXPECT_EQ(h.target.buf().flash[5], Pattern(5));
}

// Our sections are standard HEX, and standard HEX sections load as ours do.
TEST_F(ProjectTest, SectionsInterworkWithStandardTools) {
    ASSERT_TRUE(SetPageGeometry(h.target, 256, 288, 256, 16));
    FillImages();
    const std::string path = Save("std");
    const std::string text = ReadText(path + ".Prjt");
    const std::size_t start = text.find(":020000020000FC");
    const std::size_t end = text.find(":00000001FF\n", start) + 12;
    const std::string sectionFile = t.dir.File("flash.hex");
    WriteText(sectionFile, text.substr(start, end - start));
    const std::string bin = t.dir.File("flash.bin");
    ASSERT_EQ(
        std::system(
            ("srec_cat '" + sectionFile + "' -intel -o '" + bin + "' -binary 2>/dev/null").c_str()),
        0);
    EXPECT_EQ(ReadText(bin), std::string(h.target.buf().flash.begin(), h.target.buf().flash.begin() + 288 * 256));

    // Replace the flash section by srec_cat's segmented output of the same bytes.
    const std::string segmented = t.dir.File("seg.hex");
    ASSERT_EQ(std::system(("srec_cat '" + bin + "' -binary -o '" + segmented +
                           "' -intel -address-length=3 2>/dev/null")
                              .c_str()),
              0);
    const std::string replaced = text.substr(0, start) + ReadText(segmented) + text.substr(end);
    WriteText(t.dir.File("seg.Prjt"), replaced);
    ShowChecksums(h.view, h.target);
    const std::vector<std::string> sums = Sums();
    h.target.buf().Reset();
    Load(t.dir.File("seg.Prjt"));
    EXPECT_EQ(Sums(), sums);
    EXPECT_EQ(h.target.buf().keyCode[0], 0xC0);
}

}  // namespace
}  // namespace lumacrest
