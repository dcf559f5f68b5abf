#include "image/Crc16.h"

#include <array>

namespace lumacrest {

namespace {
constexpr std::array<uint16_t, 256> MakeTable() {
    std::array<uint16_t, 256> table{};
    for (uint32_t i = 0; i < 256; ++i) {
        uint32_t crc = i;
        for (int bit = 0; bit < 8; ++bit) crc = (crc & 1u) ? (crc >> 1) ^ 0x8408u : crc >> 1;
        table[i] = static_cast<uint16_t>(crc);
    }
    return table;
}
constexpr std::array<uint16_t, 256> kTable = MakeTable();
}  // namespace

uint16_t Crc16(const uint8_t* data, int32_t count) {
    if (count <= 0 || data == nullptr) return 0x0000;
    uint16_t crc = 0xFFFF;
    for (int32_t i = 0; i < count; ++i)
        crc = static_cast<uint16_t>(kTable[(crc ^ data[i]) & 0xFFu] ^ (crc >> 8));
    return static_cast<uint16_t>(~crc);
}

}  // namespace lumacrest
