#include <gtest/gtest.h>

#include "ui/edit/HexInput.h"

namespace lumacrest {
namespace {

int32_t Typed(const std::string& keys) {
    HexInputValue field;
    field.SetText("");
    for (char c : keys) field.Type(c);
    return field.Value();
}

TEST(HexInput, TypedTextGivesItsValue) {
    EXPECT_EQ(Typed("0x1f"), 0x1F);
    EXPECT_EQ(Typed("0X1F"), 0x1F);
    EXPECT_EQ(Typed("12"), 12);
    EXPECT_EQ(Typed("0x"), 0);
    EXPECT_EQ(Typed("7"), 7);
    EXPECT_EQ(Typed("4294967295"), -1);  // wraps like a long read into an int
    EXPECT_EQ(Typed("0xffffffff"), -1);
}

TEST(HexInput, TypingRulesByPosition) {
    HexInputValue field;
    field.SetText("");
    EXPECT_FALSE(field.Type('x'));  // a letter first is refused
    EXPECT_FALSE(field.Type('a'));
    EXPECT_TRUE(field.Type('1'));
    EXPECT_FALSE(field.Type('a'));  // decimal text takes digits only
    EXPECT_TRUE(field.Type('x'));   // position 1 takes x
    EXPECT_EQ(field.Text(), "1x");
    EXPECT_TRUE(field.Type('A'));
    EXPECT_FALSE(field.Type('g'));
    EXPECT_EQ(field.Value(), 1);  // "1xA" reads as hexadecimal up to the x
}

TEST(HexInput, FullFieldRefusesEverythingUnlessSelected) {
    const std::string full = "0x12345678";
    EXPECT_FALSE(HexInputAccepts(full, 10, false, '9'));
    EXPECT_FALSE(HexInputAccepts(full, 10, false, kBackspace));
    EXPECT_TRUE(HexInputAccepts(full, 2, true, '9'));
    EXPECT_TRUE(HexInputAccepts(full, 0, true, kBackspace));
    EXPECT_TRUE(HexInputAccepts("0x1234567", 9, false, kBackspace));
}

TEST(HexInput, UnreadableTextKeepsTheValue) {
    EXPECT_EQ(ParseHexInput("", 55), 0);
    EXPECT_EQ(ParseHexInput("z", 55), 55);
    EXPECT_EQ(ParseHexInput("--5", 55), 55);
    EXPECT_EQ(ParseHexInput("0xzz", 55), 0);  // the leading 0 is read, as by "%x"
    EXPECT_EQ(ParseHexInput("12abc", 55), 12);
    EXPECT_EQ(ParseHexInput("0x10", 55), 16);
}

TEST(HexInput, ProgramSetValuesShowInLowerCaseHex) {
    HexInputValue field;
    field.SetValue(0xABCDEF01u);
    EXPECT_EQ(field.Text(), "0xabcdef01");
    EXPECT_EQ(field.Unsigned(), 0xABCDEF01u);
    field.SetText(field.Text());
    EXPECT_EQ(field.Unsigned(), 0xABCDEF01u);
}

}  // namespace
}  // namespace lumacrest
