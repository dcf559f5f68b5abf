#include <gtest/gtest.h>

#include "cli/CliOptions.h"

namespace lumacrest::cli {
namespace {

ParseResult Parse(std::vector<std::string> args) {
    return ParseCommandLine(args);
}

TEST(CliOptions, FullCommandLine) {
    ParseResult r = Parse({"--port", "COM3", "--mcu", "MN101EF51A_IAP", "--flash", "image.hex",
                           "--flash-at", "0x4000", "--boot-at", "16384", "--options", "erase,flash",
                           "--sn", "0x102", "--sn-at", "256", "--save-config", "update"});
    ASSERT_EQ(r.error, "");
    const CliOptions& o = r.options;
    EXPECT_EQ(o.ports, std::vector<std::string>{"COM3"});
    EXPECT_EQ(o.mcu, "MN101EF51A_IAP");
    EXPECT_EQ(o.flash, "image.hex");
    EXPECT_EQ(o.flashAt, 0x4000u);
    EXPECT_EQ(o.bootAt, 16384u);
    EXPECT_EQ(o.optionMask, 3u);
    EXPECT_EQ(o.sn, 0x102u);
    EXPECT_EQ(o.snAt, 256u);
    EXPECT_TRUE(o.saveConfig);
    ASSERT_NE(o.command, nullptr);
    EXPECT_EQ(o.command->action, Action::Update);
    EXPECT_TRUE(o.command->needsDevice);
}

TEST(CliOptions, ArgumentsAndUsageErrors) {
    ParseResult r = Parse({"read-flash", "out.bin"});
    ASSERT_EQ(r.error, "");
    EXPECT_EQ(r.options.argument, "out.bin");
    EXPECT_NE(Parse({"read-flash"}).error, "");
    EXPECT_NE(Parse({"update", "extra"}).error, "");
    EXPECT_NE(Parse({}).error, "");
    EXPECT_NE(Parse({"frobnicate"}).error, "");
    EXPECT_NE(Parse({"--bogus", "update"}).error, "");
    EXPECT_NE(Parse({"--flash-at", "0x", "update"}).error, "");
    EXPECT_NE(Parse({"--flash-at", "12ab", "update"}).error, "");
    EXPECT_NE(Parse({"--sn", "0x100000000", "update"}).error, "");
    EXPECT_NE(Parse({"--options", "erase,fly", "update"}).error, "");
    EXPECT_NE(Parse({"update", "--port"}).error, "");
    // A wait the timer cannot hold; one file read from several chips.
    EXPECT_EQ(Parse({"--wait-box", "2147483", "identify"}).error, "");
    EXPECT_NE(Parse({"--wait-box", "4294968", "identify"}).error, "");
    EXPECT_NE(Parse({"--port", "COM3,COM4", "read-flash", "out.bin"}).error, "");
    EXPECT_NE(Parse({"--port", "COM3,COM4", "read-boot", "out.bin"}).error, "");
    // Several ports at once; a name the COM list does not have, USB among several, a port
    // twice: usage errors.
    EXPECT_EQ(Parse({"--port", "COM3,COM4,/dev/ttyUSB2", "update"}).options.ports,
              (std::vector<std::string>{"COM3", "COM4", "/dev/ttyUSB2"}));
    for (const char* bad : {"COM20", "COM3,USB", "COM3,COM3", "COM3,"})
        EXPECT_NE(Parse({"--port", bad, "update"}).error, "") << bad;
    EXPECT_TRUE(Parse({"--help"}).options.help);
    EXPECT_EQ(Parse({"--options", "", "update"}).options.optionMask, 0u);
    EXPECT_EQ(ParseOptionList("keycode,protect,sn,boot"), (8u | 16u | 32u | 4u));
}

TEST(CliOptions, UsageNamesEveryOptionAndCommand) {
    const std::string usage = UsageText();
    for (const char* option :
         {"--dir", "--port", "--mcu", "--flash", "--flash-at", "--boot", "--boot-at", "--keycode",
          "--project", "--options", "--sn", "--sn-at", "--save-config", "--help"})
        EXPECT_NE(usage.find(option), std::string::npos) << option;
    for (const CommandSpec& c : Commands())
        EXPECT_NE(usage.find(std::string("  ") + c.name), std::string::npos) << c.name;
}

}  // namespace
}  // namespace lumacrest::cli
