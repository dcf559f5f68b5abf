// One device under several names: the device tells, not the spelling of its path.
#include <gtest/gtest.h>
#include <unistd.h>

#include "link/Ports.h"
#include "platform/DeviceIdentity.h"
#include "support/TestHost.h"

namespace lumacrest {
namespace {

TEST(DeviceIdentity, LinksAndRealPathsAreOneDeviceOthersAreNot) {
    test::TempDir dir;
    // A terminal device under its own name and through a link, as /dev/serial/by-id gives.
    ASSERT_EQ(::symlink("/dev/tty", dir.File("by-id").c_str()), 0);
    EXPECT_TRUE(SameDevice("/dev/tty", dir.File("by-id")));
    EXPECT_TRUE(SameDevice("/dev/tty", "/dev/../dev/./tty"));
    EXPECT_FALSE(SameDevice("/dev/tty", "/dev/null"));
    // Files: the same file through a link and a hard link, not a copy of it.
    test::WriteText(dir.File("a"), "x");
    test::WriteText(dir.File("copy"), "x");
    ASSERT_EQ(::link(dir.File("a").c_str(), dir.File("hard").c_str()), 0);
    EXPECT_TRUE(SameDevice(dir.File("a"), dir.File("hard")));
    EXPECT_FALSE(SameDevice(dir.File("a"), dir.File("copy")));
    // What does not exist is no device, not even the same one twice.
    EXPECT_FALSE(SameDevice(dir.File("none"), dir.File("none")));
    EXPECT_FALSE(IdentifyDevice(dir.File("none")).has_value());
}

TEST(DeviceIdentity, PortsDatNamesADeviceGivenByAnotherName) {
    test::TempDir dir;
    ASSERT_EQ(::symlink("/dev/null", dir.File("com5").c_str()), 0);
    ASSERT_EQ(::symlink("/dev/null", dir.File("by-id").c_str()), 0);
    test::WriteText(dir.File("Ports.dat"), "COM2 /dev/zero\nCOM5 " + dir.File("com5") + "\n");
    PortMap ports(dir.path());
    EXPECT_EQ(ports.NamingDevice(dir.File("by-id")), std::optional<unsigned>(5));
    EXPECT_EQ(ports.NamingDevice("/dev/null"), std::optional<unsigned>(5));
    EXPECT_EQ(ports.NamingDevice("/dev/zero"), std::optional<unsigned>(2));
    EXPECT_EQ(ports.NamingDevice("/dev/full"), std::nullopt);
}

}  // namespace
}  // namespace lumacrest
