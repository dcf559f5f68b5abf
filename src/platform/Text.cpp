#include "platform/Text.h"

#include <algorithm>

namespace lumacrest {

namespace {
char Lower(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}
}  // namespace

bool EndsWith(std::string_view text, std::string_view suffix) {
    return text.size() >= suffix.size() && text.substr(text.size() - suffix.size()) == suffix;
}

bool EndsWithNoCase(std::string_view text, std::string_view suffix) {
    if (text.size() < suffix.size()) return false;
    const std::string_view tail = text.substr(text.size() - suffix.size());
    for (std::size_t i = 0; i < suffix.size(); ++i)
        if (Lower(tail[i]) != Lower(suffix[i])) return false;
    return true;
}

std::optional<ScannedNumber> ScanNumber(std::string_view text, unsigned base, bool sign,
                                        bool hexPrefix) {
    ScannedNumber n;
    std::size_t i = 0;
    if (sign && i < text.size() && (text[i] == '+' || text[i] == '-')) n.negative = text[i++] == '-';
    auto digit = [base](char c) {
        const int v = base == 16 ? HexDigitValue(c) : (c >= '0' && c <= '9' ? c - '0' : -1);
        return v;
    };
    // A "0x" counts only when a digit follows it; "0" alone is the number 0.
    if (base == 16 && hexPrefix && i + 2 < text.size() && text[i] == '0' &&
        (text[i + 1] == 'x' || text[i + 1] == 'X') && digit(text[i + 2]) >= 0)
        i += 2;
    if (i >= text.size() || digit(text[i]) < 0) return std::nullopt;
    constexpr uint64_t kCap = 0x100000001ull;  // enough to tell every number that does not fit
    for (; i < text.size() && digit(text[i]) >= 0; ++i) {
        const unsigned d = static_cast<unsigned>(digit(text[i]));
        n.magnitude = std::min<uint64_t>(n.magnitude * base + d, kCap);
        n.low = n.low * base + d;
    }
    n.length = i;
    return n;
}

}  // namespace lumacrest
