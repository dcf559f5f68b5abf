#include <gtest/gtest.h>

#include "ui/chrome/ProgressFace.h"

namespace lumacrest {
namespace {

TEST(ProgressFace, TextAndBarAcrossTheRange) {
    EXPECT_EQ(ProgressText(50, 1, 100), std::optional<std::string>(" 49 %"));
    EXPECT_EQ(ProgressText(100, 1, 100), std::optional<std::string>("100 %"));
    EXPECT_EQ(ProgressText(2, 1, 100), std::optional<std::string>("  1 %"));
    EXPECT_EQ(ProgressText(1, 1, 100), std::nullopt);  // the lower bound: background only
    EXPECT_EQ(ProgressText(0, 1, 100), std::nullopt);
    EXPECT_EQ(ProgressText(101, 1, 100), std::nullopt);
    EXPECT_EQ(ProgressText(5, 5, 5), std::nullopt);  // an empty range never divides by zero
    EXPECT_EQ(ProgressExtent(50, 100, 200), 100);
    EXPECT_EQ(ProgressExtent(100, 100, 200), 200);
    EXPECT_EQ(ProgressExtent(150, 100, 200), 200);
    EXPECT_EQ(ProgressExtent(10, 0, 200), 0);
}

TEST(ProgressFace, GradientRunsFromRedToBlue) {
    const int steps = GradientSteps(kProgressStartColor, kProgressEndColor);
    EXPECT_EQ(steps, 255);
    EXPECT_EQ(GradientColor(kProgressStartColor, kProgressEndColor, 0, steps), 0x0000FFu);
    EXPECT_EQ(GradientColor(kProgressStartColor, kProgressEndColor, steps, steps), 0xFF0000u);
    EXPECT_EQ(GradientColor(kProgressStartColor, kProgressEndColor, 128, steps), 0x80007Fu);
    EXPECT_EQ(GradientSteps(0x101010, 0x101010), 1);
}

TEST(ProgressFace, TextColourReadsWellOnWhatIsBehindIt) {
    EXPECT_EQ(LegibleTextColor(0x000000, 0xF0F0F0), 0x000000u);  // black on the light face
    EXPECT_EQ(LegibleTextColor(0x000000, kProgressStartColor), 0x000000u);  // and on red
    EXPECT_EQ(LegibleTextColor(0x000000, kProgressEndColor), 0xFFFFFFu);    // white on blue
    EXPECT_EQ(LegibleTextColor(0x000000, 0x80007F), 0xFFFFFFu);  // the middle of the gradient
    EXPECT_EQ(LegibleTextColor(0xFFFFFF, 0x00FFFF), 0x000000u);  // black on yellow
}

}  // namespace
}  // namespace lumacrest
