#include "ui/edit/HexInput.h"

#include <cctype>
#include <cstdio>

#include "platform/Text.h"

namespace lumacrest {

namespace {
bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}
bool IsHexLetter(char c) {
    return HexDigitValue(c) >= 10;
}
bool IsX(char c) {
    return c == 'x' || c == 'X';
}

// Reads like scanf's "%d" (base 10) or "%x" (base 16, "0x" allowed): blanks, an optional
// sign, at least one digit. The value wraps to 32 bits the way a long read into an int does.
bool Scan(const std::string& s, unsigned base, int32_t& out) {
    std::size_t i = 0;
    while (i < s.size() && std::isspace(static_cast<unsigned char>(s[i]))) ++i;
    const std::optional<ScannedNumber> n =
        ScanNumber(std::string_view(s).substr(i), base, true, base == 16);
    if (!n) return false;
    out = static_cast<int32_t>(n->Wrapped());
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
    if (text.size() == 1) return Scan(text, 10, value) ? value : previous;
    if (IsX(text[1])) {
        if (text.size() == 2) return 0;
        return Scan(text, 16, value) ? value : previous;
    }
    return Scan(text, 10, value) ? value : previous;
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
