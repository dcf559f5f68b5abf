#include "ui/edit/HexInput.h"

#include <cctype>
#include <cstdio>

namespace lumacrest {

namespace {
bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}
bool IsHexLetter(char c) {
    return (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f');
}
bool IsX(char c) {
    return c == 'x' || c == 'X';
}
int HexDigitValue(char c) {
    if (IsDigit(c)) return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// Reads like scanf's "%d": blanks, an optional sign, at least one digit. The value wraps to
// 32 bits the way a long read into an int does.
bool ScanDecimal(const std::string& s, int32_t& out) {
    std::size_t i = 0;
    while (i < s.size() && std::isspace(static_cast<unsigned char>(s[i]))) ++i;
    bool negative = false;
    if (i < s.size() && (s[i] == '+' || s[i] == '-')) negative = s[i++] == '-';
    if (i >= s.size() || !IsDigit(s[i])) return false;
    uint32_t v = 0;
    for (; i < s.size() && IsDigit(s[i]); ++i) v = v * 10u + static_cast<uint32_t>(s[i] - '0');
    out = static_cast<int32_t>(negative ? 0u - v : v);
    return true;
}

// Reads like scanf's "%x": blanks, an optional sign, an optional "0x", at least one digit.
bool ScanHex(const std::string& s, int32_t& out) {
    std::size_t i = 0;
    while (i < s.size() && std::isspace(static_cast<unsigned char>(s[i]))) ++i;
    bool negative = false;
    if (i < s.size() && (s[i] == '+' || s[i] == '-')) negative = s[i++] == '-';
    if (i + 2 < s.size() && s[i] == '0' && IsX(s[i + 1]) && HexDigitValue(s[i + 2]) >= 0) i += 2;
    if (i >= s.size() || HexDigitValue(s[i]) < 0) return false;
    uint32_t v = 0;
    for (; i < s.size() && HexDigitValue(s[i]) >= 0; ++i)
        v = v * 16u + static_cast<uint32_t>(HexDigitValue(s[i]));
    out = static_cast<int32_t>(negative ? 0u - v : v);
    return true;
}
}  // namespace

std::string FormatHexInput(uint32_t value) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%x", value);
    return text;
}

bool HexInputAccepts(const std::string& text, std::size_t position, bool hasSelection, char c) {
    if (text.size() == kHexInputMaxTyped && !hasSelection) return false;
    if (c == kBackspace) return true;
    if (position == 0) return IsDigit(c);
    if (position == 1) return IsDigit(c) || IsX(c);
    if (text.size() >= 2 && IsX(text[1])) return IsDigit(c) || IsHexLetter(c);
    return IsDigit(c);
}

int32_t ParseHexInput(const std::string& text, int32_t previous) {
    if (text.empty()) return 0;
    int32_t value = previous;
    if (text.size() == 1) return ScanDecimal(text, value) ? value : previous;
    if (IsX(text[1])) {
        if (text.size() == 2) return 0;
        return ScanHex(text, value) ? value : previous;
    }
    return ScanDecimal(text, value) ? value : previous;
}

bool HexInputValue::Type(char c) {
    if (!HexInputAccepts(text_, text_.size(), false, c)) return false;
    if (c == kBackspace) {
        if (!text_.empty()) text_.pop_back();
    } else {
        text_.push_back(c);
    }
    value_ = ParseHexInput(text_, value_);
    return true;
}

}  // namespace lumacrest
