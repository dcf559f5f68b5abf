#include "image/HexRecord.h"

#include <algorithm>

#include "image/Checksums.h"

namespace lumacrest {

namespace {
char At(std::string_view s, std::size_t i) { return i < s.size() ? s[i] : '0'; }
uint8_t PairAt(std::string_view s, std::size_t i) { return HexPairValue(At(s, i), At(s, i + 1)); }
}  // namespace

bool DecodeHexRecord(std::string_view token, HexRecord& out) {
    if (token.size() < 9) return false;
    out.token = token;
    out.type = PairAt(token, 7);
    out.address = static_cast<uint16_t>(PairAt(token, 3) << 8 | PairAt(token, 5));
    const std::size_t present = (token.size() - 9) / 2;
    out.count = static_cast<uint8_t>(std::min<std::size_t>(PairAt(token, 1), present));
    return true;
}

uint8_t HexRecord::Byte(std::size_t i) const { return PairAt(token, 9 + 2 * i); }

uint16_t HexRecord::SegmentValue() const {
    return static_cast<uint16_t>(PairAt(token, 9) << 8 | PairAt(token, 11));
}

}  // namespace lumacrest
