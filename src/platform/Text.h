// Small text rules every floor reads names and numbers with: suffixes, hex digits and the
// digits of a number. Each caller keeps its own rule around them (which suffixes, whether a
// sign or blanks may come, what happens to a number that does not fit).
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>

namespace lumacrest {

// Whether `text` ends in `suffix`, to the letter or ignoring ASCII case.
bool EndsWith(std::string_view text, std::string_view suffix);
bool EndsWithNoCase(std::string_view text, std::string_view suffix);

// The value of a hex digit, or -1. With `lowerOnly`, 'A' to 'F' are no digits.
constexpr int HexDigitValue(char c, bool lowerOnly = false) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (!lowerOnly && c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

struct ScannedNumber {
    uint64_t magnitude = 0;  // at most 2^32 + 1: larger ones only say they do not fit
    uint32_t low = 0;        // the digits' value modulo 2^32
    bool negative = false;
    std::size_t length = 0;  // characters taken from the text, sign and prefix included
    // The value as a 32-bit store keeps it (the way scanf's %d and %x store into an int).
    uint32_t Wrapped() const { return negative ? 0u - low : low; }
    bool FitsUnsigned32() const { return !negative && magnitude <= 0xFFFFFFFFull; }
    // Fits a 32-bit int or a 32-bit unsigned.
    bool Fits32() const { return negative ? magnitude <= 0x80000000ull : magnitude <= 0xFFFFFFFFull; }
};

// The number at the start of `text`: an optional sign (when `sign`), for base 16 an optional
// "0x" (when `hexPrefix`), then the digits of `base` (10 or 16) as far as they go. Nothing
// when no digit follows.
std::optional<ScannedNumber> ScanNumber(std::string_view text, unsigned base, bool sign,
                                        bool hexPrefix = false);

}  // namespace lumacrest
