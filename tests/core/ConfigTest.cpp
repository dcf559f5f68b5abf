#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include "app/CMainApp.h"
#include "host/Config.h"
#include "image/DeviceCatalogue.h"
#include "support/TestHost.h"
#include "app/Application.h"
#include "app/CMainDlg.h"
#include "ui/main/ResourceIds.h"

namespace lumacrest {
namespace {

using test::Lines;
using test::ReadText;
using test::WriteText;

class ConfigTest : public ::testing::Test {
  protected:
    std::string ConfigPath() { return t.dir.File("Config.dat"); }
    void WriteConfigFile(const std::string& text) { WriteText(ConfigPath(), text); }
    // Runs the main window's start and returns its log lines.
    std::vector<std::string> Start() {
        dlg.OnInitDialog();
        return t.LogLines();
    }
    test::TestHost t;
    Host& h = t.h();
    Application dlgApp{h};
    CMainDlg& dlg = dlgApp.dlg;
};

// A full file in the layout written at close, with every field set to a distinct value.
std::string SampleConfig(const std::string& flashPath = "/home/op/images/main image.hex",
                         int sectorCount = 2) {
    std::string s = "YES\nMN101EF51A\nCOM3\n" + flashPath +
                    "\n/b/boot.hex\nW\\:\n/p/job.Prjt\n"
                    "43\n77\n2\n17\n"
                    "512\n200\n256\n288\n128\n32\n"
                    "258\n256\n9\n9\n9\n0\n"
                    "5\n1\n8192\n12288\n7\n1\n" +
                    std::to_string(sectorCount) + "\n";
    for (int i = 0; i < sectorCount; ++i) s += std::to_string(1000 + i) + "\n";
    s += "Adapter:ZK9_QFP64_001(51A)\n1\n";
    return s;
}

TEST_F(ConfigTest, FirstRunDefaultFile) {
    WriteConfigFile(DefaultConfigText());
    EXPECT_EQ(Lines(DefaultConfigText()).size(), 32u);  // 31 lines and the final newline
    auto log = Start();
    EXPECT_EQ(log, (std::vector<std::string>{"Adapter:ZK9_QFP64_001(32D)", "SEP1:  Connect Device",
                                             "SEP2:  Select MCU MN101EF51A_IAP", "SEP3:  Load File",
                                             "SEP4:  Update Device"}));
    EXPECT_EQ(h.target.mcuName, "MN101EF32D");
    EXPECT_EQ(h.target.DeviceType, 0);
    EXPECT_EQ(h.view.McuList().selected, -1);  // no list entry begins with it
    EXPECT_EQ(h.view.PortList().SelectedText(), "USB");
    EXPECT_TRUE(h.view.Options().eraseChip);
    EXPECT_TRUE(h.view.Options().programFlash);
    EXPECT_FALSE(h.view.Options().programBoot);
    EXPECT_EQ(h.target.dev.FlashSize, 73728u);
    EXPECT_EQ(h.target.dev.BootSize, 4096u);
    EXPECT_EQ(h.target.FlashPagesToWrite, 288u);
    EXPECT_EQ(h.target.BootPagesToWrite, 16u);
    EXPECT_EQ(h.target.FlashLoadOffset, 0x4000u);
    EXPECT_EQ(h.target.dev.DeviceByte1, 1);
    EXPECT_EQ(h.target.dev.DeviceByte2, 16);
    EXPECT_EQ(h.target.dev.DeviceByte3, 3);
    EXPECT_TRUE(h.target.dev.SectorSizes.empty());
    EXPECT_EQ(h.target.FlashFilePath, "");
    EXPECT_EQ(h.sn.SnWidth, 4u);
    EXPECT_TRUE(t.prompts.messages.empty());

    // Closing writes the file back in the full layout, with its list-count line.
    dlg.OnDestroy();
    auto lines = Lines(ReadText(ConfigPath()));
    ASSERT_EQ(lines.size(), 33u);
    EXPECT_EQ(lines[0], "YES");
    EXPECT_EQ(lines[1], "MN101EF32D");
    EXPECT_EQ(lines[2], "USB");
    EXPECT_EQ(lines[3], "W\\:");
    EXPECT_EQ(lines[7], "3");
    EXPECT_EQ(lines[11], "256");
    EXPECT_EQ(lines[12], "288");
    EXPECT_EQ(lines[13], "256");
    EXPECT_EQ(lines[14], "288");
    EXPECT_EQ(lines[21], "4");  // SnWidth as start-up imposed it
    EXPECT_EQ(lines[29], "0");  // sector count
    EXPECT_EQ(lines[30], "Adapter:ZK9_QFP64_001(32D)");
    EXPECT_EQ(lines[31], "1");
    EXPECT_EQ(lines[32], "");
}

// The Config.dat that ships names the MCU whose parameter file ships, with that file's values:
// a fresh window shows the MCU selected and its adapter.
TEST_F(ConfigTest, ShippedFileAgreesWithTheShippedDeviceFile) {
    const std::string shipped = ReadText(LUMACREST_SOURCE_DIR "/res/Config.dat");
    const std::vector<std::string> config = Lines(shipped);
    ASSERT_GE(config.size(), 31u);
    const std::vector<std::string> cfg = Lines(ReadText(LUMACREST_SOURCE_DIR "/res/" + config[1] + ".cfg"));
    ASSERT_EQ(cfg.size(), 18u) << config[1] << ".cfg ships";  // 17 lines and the final newline
    // Lines of the device file and the Config.dat lines that carry the same values.
    const std::vector<std::pair<std::size_t, std::size_t>> same = {
        {1, 9}, {2, 10}, {3, 11}, {4, 12}, {5, 13}, {6, 14}, {7, 15}, {8, 16}, {9, 27}, {10, 28},
        {11, 29}, {12, 30}, {13, 31}, {14, 32}, {15, 33}, {16, 34}};
    for (const auto& [c, d] : same) {
        ASSERT_LT(d, config.size());
        EXPECT_EQ(config[d], cfg[c]) << "Config.dat line " << d + 1;
    }
    WriteConfigFile(shipped);
    const auto log = Start();
    ASSERT_FALSE(log.empty());
    EXPECT_EQ(log[0], cfg[16]);
    EXPECT_EQ(h.view.McuList().SelectedText(), config[1]);
}

TEST_F(ConfigTest, EveryFieldRoundTrips) {
    WriteConfigFile(SampleConfig());
    Start();
    EXPECT_EQ(h.target.mcuName, "MN101EF51A");
    EXPECT_EQ(h.target.DeviceType, 4);
    EXPECT_EQ(h.view.McuList().SelectedText(), "MN101EF51A_IAP");  // prefix match
    EXPECT_EQ(h.view.PortList().SelectedText(), "COM3");
    EXPECT_EQ(h.target.FlashFilePath, "/home/op/images/main image.hex");
    EXPECT_EQ(h.target.BootFilePath, "/b/boot.hex");
    EXPECT_EQ(h.target.KeyCodeFilePath, "");
    EXPECT_EQ(h.target.ProjectFilePath, "/p/job.Prjt");
    // 43 = 0b0101011: Erase, Flash, KeyCode, Program SN
    EXPECT_TRUE(h.view.Options().eraseChip);
    EXPECT_TRUE(h.view.Options().programFlash);
    EXPECT_FALSE(h.view.Options().programBoot);
    EXPECT_TRUE(h.view.Options().programKeyCode);
    EXPECT_FALSE(h.view.Options().enableProtect);
    EXPECT_TRUE(h.view.Options().programSn);
    EXPECT_FALSE(h.view.counter);
    EXPECT_EQ(h.spareValue, 77);
    EXPECT_EQ(h.target.dev.FlashPageSize, 256u);  // lines 14 and 15 win over 12 and 13
    EXPECT_EQ(h.target.dev.FlashPageCount, 288u);
    EXPECT_EQ(h.target.dev.BootPageSize, 128u);
    EXPECT_EQ(h.target.dev.BootPageCount, 32u);
    EXPECT_EQ(h.sn.SnValue, 258u);
    EXPECT_EQ(h.sn.SnAddress, 256u);
    EXPECT_EQ(h.sn.SnAdvance, 1);  // lines 20-23 have no effect
    EXPECT_EQ(h.sn.SnInBoot, 0u);
    EXPECT_EQ(h.sn.SnWidth, 4u);
    EXPECT_EQ(h.sn.SnLittleEndian, 1);
    EXPECT_EQ(h.spareByte, 5);
    EXPECT_EQ(h.view.configer, 1);
    EXPECT_EQ(h.target.FlashLoadOffset, 8192u);
    EXPECT_EQ(h.target.BootLoadOffset, 12288u);
    EXPECT_EQ(h.target.dev.DeviceByte3, 7);
    EXPECT_EQ(h.target.dev.SectorSizes, (std::vector<uint32_t>{1000, 1001}));
    EXPECT_EQ(h.target.dev.AdapterText, "Adapter:ZK9_QFP64_001(51A)");

    dlg.OnDestroy();
    std::string written = ReadText(ConfigPath());
    // Read back by a second host, the file gives the same settings.
    test::TestHost t2;
    WriteText(t2.dir.File("Config.dat"), written);
    Application app2(t2.h());
    CMainDlg& dlg2 = app2.dlg;
    dlg2.OnInitDialog();
    dlg2.OnDestroy();
    EXPECT_EQ(ReadText(t2.dir.File("Config.dat")), written);
    auto lines = Lines(written);
    EXPECT_EQ(lines[1], "MN101EF51A_IAP");  // the list's text is what is written
    EXPECT_EQ(lines[3], "/home/op/images/main image.hex");
    EXPECT_EQ(lines[5], "W\\:");
    EXPECT_EQ(lines[7], "43");
}

TEST_F(ConfigTest, BlankPathsAreSavedAsPlaceholder) {
    WriteConfigFile(SampleConfig("   "));
    Start();
    EXPECT_EQ(h.target.FlashFilePath, "   ");
    dlg.OnDestroy();
    EXPECT_EQ(Lines(ReadText(ConfigPath()))[3], "W\\:");
    EXPECT_EQ(h.target.FlashFilePath, "W\\:");  // the replacement stays in memory
    EXPECT_TRUE(IsNoPath(h.target.FlashFilePath));
}

TEST_F(ConfigTest, SectorListOfNineteenAndTooMany) {
    WriteConfigFile(SampleConfig("/f.hex", 19));
    Start();
    ASSERT_EQ(h.target.dev.SectorSizes.size(), 19u);
    EXPECT_EQ(h.target.dev.SectorSizes[18], 1018u);
    EXPECT_EQ(h.target.dev.AdapterText, "Adapter:ZK9_QFP64_001(51A)");

    test::TestHost t2;
    WriteText(t2.dir.File("Config.dat"), SampleConfig("/f.hex", 25));
    Application app2(t2.h());
    CMainDlg& dlg2 = app2.dlg;
    dlg2.OnInitDialog();
    EXPECT_EQ(t2.h().target.dev.SectorSizes.size(), 19u);  // the rest is read and dropped
    EXPECT_EQ(t2.h().target.dev.AdapterText, "Adapter:ZK9_QFP64_001(51A)");
}

TEST_F(ConfigTest, AdapterWithBlankIsReadUpToTheBlank) {
    std::string text = SampleConfig();
    text.replace(text.find("Adapter:ZK9_QFP64_001(51A)"), 26, "Adapter: ZK9_QFP64_001");
    WriteConfigFile(text);
    Start();
    EXPECT_EQ(h.target.dev.AdapterText, "Adapter:");
}

TEST_F(ConfigTest, EmptyAdapterAndNoSelectionAtClose) {
    WriteConfigFile(DefaultConfigText());
    Start();
    h.target.dev.AdapterText.clear();
    h.view.SelectPort(-1);
    dlg.OnDestroy();
    auto lines = Lines(ReadText(ConfigPath()));
    EXPECT_EQ(lines[1], "MN101EF32D");
    EXPECT_EQ(lines[2], "USB");
    EXPECT_EQ(lines[30], "Adapter:VQN_IAP(51A)");
    EXPECT_EQ(h.target.dev.AdapterText, "Adapter:VQN_IAP(51A)");
}

TEST_F(ConfigTest, WindowsLineEndingsAndOverlongLines) {
    std::string text = SampleConfig(std::string(700, 'p'));
    std::string crlf;
    for (char c : text) crlf += (c == '\n') ? std::string("\r\n") : std::string(1, c);
    WriteConfigFile(crlf);
    Start();
    EXPECT_EQ(h.target.FlashFilePath, std::string(495, 'p'));
    EXPECT_EQ(h.target.BootFilePath, "/b/boot.hex");
    EXPECT_EQ(h.target.KeyCodeFilePath, "");  // "W\:" followed by a carriage return
    EXPECT_EQ(h.target.dev.FlashSize, 73728u);
    EXPECT_EQ(h.target.dev.AdapterText, "Adapter:ZK9_QFP64_001(51A)");
}

TEST_F(ConfigTest, NonNumericTextKeepsValuesAndBytesAreTruncated) {
    std::string text = SampleConfig();
    text.replace(text.find("\n77\n"), 4, "\n77\n");
    text.replace(text.find("\n2\n17\n"), 6, "\n258\n17\n");         // DeviceByte1 = 258 -> 2
    text.replace(text.find("\n258\n256\n9"), 10, "\nabc\n256\n9");  // SnValue not a number
    WriteConfigFile(text);
    h.sn.SnValue = 5;
    Start();
    EXPECT_EQ(h.target.dev.DeviceByte1, 2);
    EXPECT_EQ(h.sn.SnValue, 5u);  // unread line: value unchanged
    // "abc" stays in place and is taken by the next number read as nothing, and so on:
    // nothing crashes and the geometry read before it stands.
    EXPECT_EQ(h.target.dev.FlashSize, 73728u);
}

TEST_F(ConfigTest, RefusedGeometryKeepsTheStartValues) {
    std::string text = SampleConfig();
    text.replace(text.find("\n256\n288\n128\n32\n"), 16, "\n4096\n288\n128\n32\n");
    WriteConfigFile(text);
    Start();
    EXPECT_EQ(t.prompts.messages.size(), 1u);
    EXPECT_EQ(h.target.dev.FlashPageSize, 256u);
    EXPECT_EQ(h.target.dev.FlashPageCount, 256u);
    EXPECT_EQ(h.target.dev.FlashSize, 65536u);
    EXPECT_EQ(h.target.FlashPagesToWrite, 256u);
}

TEST_F(ConfigTest, MissingFileAtInitUsesDefaultsWithSizes) {
    std::filesystem::create_directory(ConfigPath());  // a directory is no settings file
    auto log = Start();
    EXPECT_EQ(t.MessageTexts(), std::vector<std::string>{"Open Config file failed*** "});
    EXPECT_EQ(log[0], "Adapter: ZK9_QFP64_001");
    EXPECT_EQ(h.target.dev.FlashSize, 73728u);  // computed, not left 0
    EXPECT_EQ(h.target.dev.BootSize, 4096u);
    EXPECT_EQ(h.sn.SnWidth, 1u);
    EXPECT_EQ(h.view.PortList().selected, -1);
    EXPECT_EQ(h.target.FlashPagesToWrite, 288u);
}

TEST_F(ConfigTest, UnwritableFileIsReported) {
    WriteConfigFile(SampleConfig());
    Start();
    // A directory where the file should go: the rename fails, nothing is left behind.
    std::filesystem::remove(ConfigPath());
    std::filesystem::create_directory(ConfigPath());
    EXPECT_FALSE(WriteConfig(h));
    EXPECT_EQ(t.MessageTexts().back(), "******Open Config file failed******   ");
    EXPECT_TRUE(std::filesystem::is_directory(ConfigPath()));
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(t.dir.path()),
                            std::filesystem::directory_iterator()),
              1);
    // A program directory that does not exist.
    h.programDir = t.dir.File("missing/");
    EXPECT_FALSE(WriteConfig(h));
    EXPECT_EQ(t.prompts.messages.size(), 2u);
}

TEST_F(ConfigTest, WriteGoesThroughATemporaryFile) {
    WriteConfigFile(SampleConfig());
    Start();
    // A directory squatting the temporary name pattern does not matter; what matters is
    // that no partial file is ever left: the target is replaced by rename.
    struct stat before {};
    ::stat(ConfigPath().c_str(), &before);
    ASSERT_TRUE(WriteConfig(h));
    struct stat after {};
    ::stat(ConfigPath().c_str(), &after);
    EXPECT_NE(before.st_ino, after.st_ino);
    int leftovers = 0;
    for (auto& e : std::filesystem::directory_iterator(t.dir.path()))
        if (e.path().filename().string() != "Config.dat") ++leftovers;
    EXPECT_EQ(leftovers, 0);
}

TEST(StartUp, ConfigFileDecides) {
    test::TestHost t;
    StartDecision d = CMainApp::InitInstance(t.dir.path(), t.prompts);
    EXPECT_FALSE(d.runMainWindow);
    EXPECT_EQ(d.exitCode, 1);
    ASSERT_EQ(t.MessageTexts(), std::vector<std::string>{"******Open Config file failed******"});
    EXPECT_EQ(t.prompts.messages[0].icon, MsgIcon::Error);

    std::filesystem::create_directory(t.dir.File("Config.dat"));  // unreadable as a file
    t.prompts.messages.clear();
    d = CMainApp::InitInstance(t.dir.path(), t.prompts);
    EXPECT_EQ(d.exitCode, 1);
    ASSERT_EQ(t.MessageTexts(), std::vector<std::string>{"******Open Config file failed******"});
    std::filesystem::remove(t.dir.File("Config.dat"));

    WriteText(t.dir.File("Config.dat"), "no\nMN101EF32D\n");
    t.prompts.messages.clear();
    d = CMainApp::InitInstance(t.dir.path(), t.prompts);
    EXPECT_TRUE(d.runMainWindow);
    EXPECT_TRUE(t.prompts.messages.empty());

    WriteText(t.dir.File("Config.dat"), "NO\nsomething else\n");
    d = CMainApp::InitInstance(t.dir.path(), t.prompts);
    EXPECT_FALSE(d.runMainWindow);
    EXPECT_EQ(d.exitCode, 1);
    ASSERT_EQ(t.MessageTexts(),
              std::vector<std::string>{" *******Init Ok ,Please Restart Softwar*******  "});
    EXPECT_EQ(t.prompts.messages[0].icon, MsgIcon::Information);
    EXPECT_EQ(ReadText(t.dir.File("Config.dat")), DefaultConfigText());
}

}  // namespace
}  // namespace lumacrest
