#include <gtest/gtest.h>

#include <filesystem>

#include "app/ProgramDirectory.h"
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
    EXPECT_TRUE(FillProgramDirectory(dir).empty());
    EXPECT_EQ(test::ReadText(dir.path + "MN101EF51A_IAP.cfg"), "cfg\n");

    // The next start copies what is missing and leaves the user's own files alone.
    test::WriteText(dir.path + "Config.dat", "YES\nMN101EF51A_IAP\n");
    fs::remove(dir.path + "Ports.dat");
    EXPECT_TRUE(FillProgramDirectory(dir).empty());
    EXPECT_EQ(test::ReadText(dir.path + "Config.dat"), "YES\nMN101EF51A_IAP\n");
    EXPECT_EQ(test::ReadText(dir.path + "Ports.dat"), "COM1 /dev/ttyUSB0\n");

    // $XDG_DATA_HOME when it is an absolute path; --dir over everything; a folder of the
    // program's own with a Config.dat (the build tree, a portable copy) is used as it is.
    EXPECT_EQ(ChooseProgramDirectory(bin, "", {root.File("data"), user.home}).path,
              root.File("data/lumacrest/"));
    EXPECT_EQ(ChooseProgramDirectory(bin, "", {"data", user.home}).path, dir.path);
    EXPECT_EQ(ChooseProgramDirectory(bin, root.File("station2"), user).path, root.File("station2/"));
    test::WriteText(bin + "/Config.dat", "YES\n");
    EXPECT_EQ(ChooseProgramDirectory(bin, "", user).path, bin + "/");
    EXPECT_EQ(ChooseProgramDirectory(bin, "", user).installedData, "");
}

}  // namespace
}  // namespace lumacrest
