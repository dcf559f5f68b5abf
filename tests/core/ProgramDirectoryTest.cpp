#include <gtest/gtest.h>

#include <filesystem>

#include "host/ProgramDirectory.h"
#include "host/Sha256.h"
#include "cli/SerialDevices.h"
#include "support/TestHost.h"

namespace lumacrest {
namespace {

namespace fs = std::filesystem;

// An installed tree: the programs in usr/bin, their data in usr/share/lumacrest.
TEST(ProgramDirectory, AnInstalledProgramUsesTheUsersFolderFilledFromItsData) {
    test::TempDir root;
    const std::string bin = root.File("usr/bin"), share = root.File("usr/share/lumacrest/");
    fs::create_directories(bin);
    fs::create_directories(share);
    test::WriteText(share + "Config.dat", "YES\nMN101EF32D\n");
    test::WriteText(share + "Ports.dat", "COM1 /dev/ttyUSB0\n");
    test::WriteText(share + "MN101EF51A_IAP.cfg", "cfg\n");
    const UserFolders user{"", root.File("home")};

    const ProgramDirectory dir = ChooseProgramDirectory(bin, "", user);
    EXPECT_EQ(dir.path, root.File("home/.local/share/lumacrest/"));
    EXPECT_EQ(dir.installedData, share);
    EXPECT_TRUE(FillProgramDirectory(dir).problems.empty());
    EXPECT_EQ(test::ReadText(dir.path + "MN101EF51A_IAP.cfg"), "cfg\n");

    // The next start copies what is missing and leaves the user's own files alone.
    test::WriteText(dir.path + "Config.dat", "YES\nMN101EF51A_IAP\n");
    fs::remove(dir.path + "Ports.dat");
    EXPECT_TRUE(FillProgramDirectory(dir).problems.empty());
    EXPECT_EQ(test::ReadText(dir.path + "Config.dat"), "YES\nMN101EF51A_IAP\n");
    EXPECT_EQ(test::ReadText(dir.path + "Ports.dat"), "COM1 /dev/ttyUSB0\n");

    // $XDG_DATA_HOME when it is an absolute path; --dir over everything; a folder of the
    // program's own with a Config.dat (the build tree, a portable copy) is used as it is.
    EXPECT_EQ(ChooseProgramDirectory(bin, "", {root.File("data"), user.home}).path,
              root.File("data/lumacrest/"));
    EXPECT_EQ(ChooseProgramDirectory(bin, "", {"data", user.home}).path, dir.path);
    EXPECT_EQ(ChooseProgramDirectory(bin, root.File("station2"), user).path, root.File("station2/"));
    EXPECT_EQ(ChooseProgramDirectory(bin, root.File("station2"), user).installedData, share);
    test::WriteText(bin + "/Config.dat", "YES\n");
    EXPECT_EQ(ChooseProgramDirectory(bin, "", user).path, bin + "/");
    EXPECT_EQ(ChooseProgramDirectory(bin, "", user).installedData, "");
}

TEST(ProgramDirectory, Sha256IsTheStandardOne) {
    EXPECT_EQ(Sha256Hex(""), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
    EXPECT_EQ(Sha256Hex("abc"), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
    // 56 bytes: the length goes into a second padding block.
    EXPECT_EQ(Sha256Hex("abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq"),
              "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1");
    EXPECT_EQ(Sha256Hex(std::string(1000000, 'a')),
              "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0");
}

// What an upgrade does to the user's copies: the installed data changes under a folder that
// was filled from an older version.
TEST(ProgramDirectory, AnUpgradeRefreshesUnchangedCopiesAndTellsOfChangedOnesOnce) {
    test::TempDir root;
    const std::string share = root.File("usr/share/lumacrest/");
    fs::create_directories(share);
    auto ship = [&share](const std::string& ports, const std::string& cfg, const std::string& sums) {
        test::WriteText(share + "Config.dat", "YES\n" + cfg);
        test::WriteText(share + "Ports.dat", ports);
        test::WriteText(share + "A.cfg", cfg);
        test::WriteText(share + "B.cfg", cfg);
        test::WriteText(share + kDataSumsFileName, sums);
    };
    auto line = [](const std::string& content, const std::string& name) {
        return Sha256Hex(content) + "  " + name + "\n";
    };
    ship("COM1 /dev/ttyUSB0\n", "v1\n", line("COM1 /dev/ttyUSB0\n", "Ports.dat") + line("v1\n", "A.cfg"));
    const ProgramDirectory dir{root.File("home/lumacrest/"), share};
    FillReport report = FillProgramDirectory(dir);
    EXPECT_TRUE(report.problems.empty());
    EXPECT_TRUE(report.notices.empty());
    EXPECT_FALSE(fs::exists(dir.path + kDataSumsFileName));

    // The user maps a port of their own and changes B.cfg; the same installed version: nothing
    // is said, nothing refreshed.
    test::WriteText(dir.path + "Ports.dat", "COM1 /dev/serial/by-id/mine\n");
    test::WriteText(dir.path + "B.cfg", "mine\n");
    report = FillProgramDirectory(dir);
    EXPECT_TRUE(report.notices.empty());
    EXPECT_EQ(test::ReadText(dir.path + "Ports.dat"), "COM1 /dev/serial/by-id/mine\n");

    // Version 2 changes every file. A.cfg was the user's unchanged copy of version 1: refreshed.
    // Ports.dat and B.cfg (not in the list: never shipped as the user has it) are kept and told.
    // Config.dat is the user's settings: never refreshed, never told.
    ship("COM1 /dev/ttyUSB0\nCOM2 /dev/ttyUSB1\n", "v2\n",
         line("COM1 /dev/ttyUSB0\n", "Ports.dat") + line("COM1 /dev/ttyUSB0\nCOM2 /dev/ttyUSB1\n", "Ports.dat") +
             line("v1\n", "A.cfg") + line("v2\n", "A.cfg") + line("v2\n", "B.cfg"));
    report = FillProgramDirectory(dir);
    EXPECT_TRUE(report.problems.empty());
    EXPECT_EQ(test::ReadText(dir.path + "A.cfg"), "v2\n");
    EXPECT_EQ(test::ReadText(dir.path + "B.cfg"), "mine\n");
    EXPECT_EQ(test::ReadText(dir.path + "Ports.dat"), "COM1 /dev/serial/by-id/mine\n");
    EXPECT_EQ(test::ReadText(dir.path + "Config.dat"), "YES\nv1\n");
    ASSERT_EQ(report.notices.size(), 2u);
    EXPECT_EQ(report.notices[0], dir.path + "B.cfg is kept as you changed it; the installed B.cfg is newer: " +
                                     share + "B.cfg");
    EXPECT_EQ(report.notices[1], dir.path + "Ports.dat is kept as you changed it; the installed "
                                            "Ports.dat is newer: " + share + "Ports.dat");
    EXPECT_TRUE(FillProgramDirectory(dir).notices.empty());  // once

    // A copy the user deletes comes back; one the user made equal to the installed one stays.
    fs::remove(dir.path + "A.cfg");
    test::WriteText(dir.path + "B.cfg", "v2\n");
    report = FillProgramDirectory(dir);
    EXPECT_TRUE(report.notices.empty());
    EXPECT_EQ(test::ReadText(dir.path + "A.cfg"), "v2\n");
}

// A folder the user prepared (its own Ports.dat) before it ever met the installed data: kept,
// and nothing is said, as nothing tells that the installed one is newer.
TEST(ProgramDirectory, AFolderPreparedByHandIsKeptSilently) {
    test::TempDir root;
    const std::string share = root.File("share/");
    fs::create_directories(share);
    test::WriteText(share + "Ports.dat", "COM1 /dev/ttyUSB0\n");
    test::WriteText(share + kDataSumsFileName, Sha256Hex("COM1 /dev/ttyUSB0\n") + "  Ports.dat\n");
    const ProgramDirectory dir{root.File("bench/"), share};
    fs::create_directories(dir.path);
    test::WriteText(dir.path + "Ports.dat", "COM3 /dev/serial/by-id/box\n");
    const FillReport report = FillProgramDirectory(dir);
    EXPECT_TRUE(report.notices.empty());
    EXPECT_TRUE(report.problems.empty());
    EXPECT_EQ(test::ReadText(dir.path + "Ports.dat"), "COM3 /dev/serial/by-id/box\n");
}

// --dir on a folder that is not there yet: made and filled.
TEST(ProgramDirectory, AnOverriddenFolderIsMadeAndFilled) {
    test::TempDir root;
    const std::string bin = root.File("usr/bin"), share = root.File("usr/share/lumacrest/");
    fs::create_directories(bin);
    fs::create_directories(share);
    test::WriteText(share + "Config.dat", "YES\n");
    const ProgramDirectory dir = ChooseProgramDirectory(bin, root.File("new/station"), {"", ""});
    EXPECT_TRUE(FillProgramDirectory(dir).problems.empty());
    EXPECT_EQ(test::ReadText(root.File("new/station/Config.dat")), "YES\n");
}

TEST(SerialDevices, ListsAdaptersTheirStableNamesAndComNames) {
    test::TempDir root;
    const std::string dev = root.File("dev");
    fs::create_directories(dev + "/serial/by-id");
    for (const char* name : {"ttyUSB0", "ttyUSB1", "ttyACM0", "ttyS0", "null"})
        test::WriteText(dev + "/" + name, "");
    fs::create_symlink("../../ttyUSB1", dev + "/serial/by-id/usb-FTDI_Box_A1-if00-port0");
    fs::create_symlink(dev + "/null", root.File("com3"));
    const std::string programDir = root.File("pd/");
    fs::create_directories(programDir);
    // The first line naming a COM port wins; a device is found through its by-id name too.
    test::WriteText(programDir + "Ports.dat", "COM3 " + root.File("com3") + "\nCOM1 " + dev +
                                                  "/ttyUSB0\nCOM2 " + dev +
                                                  "/serial/by-id/usb-FTDI_Box_A1-if00-port0\n"
                                                  "COM1 " + dev + "/ttyACM0\nCOM4 /nowhere\n");
    const PortMap ports(programDir);
    const std::vector<cli::SerialDevice> devices = cli::ListSerialDevices(dev, ports);
    ASSERT_EQ(devices.size(), 4u);
    EXPECT_EQ(devices[0].path, root.File("com3"));
    EXPECT_EQ(devices[0].comName, "COM3");
    EXPECT_EQ(devices[1].path, dev + "/ttyACM0");
    EXPECT_EQ(devices[1].comName, "");
    EXPECT_EQ(devices[2].path, dev + "/ttyUSB0");
    EXPECT_EQ(devices[2].comName, "COM1");
    EXPECT_EQ(devices[3].path, dev + "/ttyUSB1");
    EXPECT_EQ(devices[3].comName, "COM2");
    EXPECT_EQ(devices[3].byId, std::vector<std::string>{dev + "/serial/by-id/usb-FTDI_Box_A1-if00-port0"});
    const std::string table = cli::SerialDeviceTable(devices);
    EXPECT_NE(table.find(dev + "/ttyACM0  -      -\n"), std::string::npos) << table;
    EXPECT_EQ(cli::SerialDeviceTable({}).rfind("No serial device found", 0), 0u);
}

}  // namespace
}  // namespace lumacrest
