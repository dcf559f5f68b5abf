#include "image/Cipher.h"

#include <algorithm>

namespace lumacrest {

namespace {

// The eight substitution tables; table 0 replaces bits 0-3 of the round value, table 7
// bits 28-31.
constexpr uint8_t kSBox[8][16] = {
    {4, 10, 9, 2, 13, 8, 0, 14, 6, 11, 1, 12, 7, 15, 5, 3},
    {14, 11, 4, 12, 6, 13, 15, 10, 2, 3, 8, 1, 0, 7, 5, 9},
    {5, 8, 1, 13, 10, 3, 4, 2, 14, 15, 12, 7, 6, 0, 9, 11},
    {7, 13, 10, 1, 0, 8, 9, 15, 14, 4, 6, 12, 11, 2, 5, 3},
    {6, 12, 7, 1, 5, 15, 13, 8, 4, 10, 9, 14, 0, 3, 11, 2},
    {4, 11, 10, 0, 7, 2, 1, 13, 3, 6, 8, 5, 9, 12, 15, 14},
    {13, 11, 4, 1, 3, 15, 5, 9, 0, 10, 14, 7, 6, 8, 2, 12},
    {1, 15, 13, 0, 5, 7, 10, 4, 9, 2, 3, 14, 6, 11, 8, 12},
};

// Subkey index of each of the 32 rounds; decryption reads the list backwards.
constexpr uint8_t kEncryptOrder[32] = {0, 1, 2, 3, 4, 5, 6, 7, 0, 1, 2, 3, 4, 5, 6, 7,
                                       0, 1, 2, 3, 4, 5, 6, 7, 7, 6, 5, 4, 3, 2, 1, 0};

uint32_t LoadWord(const uint8_t* p) {
    return uint32_t{p[0]} | uint32_t{p[1]} << 8 | uint32_t{p[2]} << 16 | uint32_t{p[3]} << 24;
}

void StoreWord(uint8_t* p, uint32_t v) {
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
    p[2] = static_cast<uint8_t>(v >> 16);
    p[3] = static_cast<uint8_t>(v >> 24);
}

uint32_t RoundFunction(uint32_t n1, uint32_t subkey) {
    uint32_t t = n1 + subkey;
    uint32_t s = 0;
    for (int i = 0; i < 8; ++i) s |= uint32_t{kSBox[i][(t >> (4 * i)) & 0xF]} << (4 * i);
    return s << 11 | s >> 21;
}

template <bool kDecrypt>
void Transform(uint8_t* block, const uint8_t* key) {
    uint32_t k[8];
    for (int i = 0; i < 8; ++i) k[i] = LoadWord(key + 4 * i);
    uint32_t n1 = LoadWord(block);
    uint32_t n2 = LoadWord(block + 4);
    for (int round = 0; round < 32; ++round) {
        const int index = kDecrypt ? kEncryptOrder[31 - round] : kEncryptOrder[round];
        uint32_t next = n2 ^ RoundFunction(n1, k[index]);
        n2 = n1;
        n1 = next;
    }
    // The exchange of the last round is undone.
    StoreWord(block, n2);
    StoreWord(block + 4, n1);
}

}  // namespace

void CipherEncryptBlock(uint8_t* block, const uint8_t* key) {
    Transform<false>(block, key);
}
void CipherDecryptBlock(uint8_t* block, const uint8_t* key) {
    Transform<true>(block, key);
}

void CipherEncryptBytes(uint8_t* data, std::size_t size, const CipherKey& key) {
    for (std::size_t i = 0; i + kCipherBlockSize <= size; i += kCipherBlockSize)
        CipherEncryptBlock(data + i, key.data());
}

void CipherDecryptBytes(uint8_t* data, std::size_t size, const CipherKey& key) {
    for (std::size_t i = 0; i + kCipherBlockSize <= size; i += kCipherBlockSize)
        CipherDecryptBlock(data + i, key.data());
}

const CipherKey kUpdateFileKey = {0x3A, 0x71, 0xC4, 0x0E, 0x95, 0x2B, 0xD8, 0x66, 0x1F, 0xB3, 0x48,
                                  0xE7, 0x5C, 0x02, 0x9A, 0x7D, 0xE1, 0x64, 0x2F, 0xB8, 0x07, 0xCD,
                                  0x53, 0x9E, 0x76, 0x19, 0xA2, 0x4B, 0xF0, 0x3D, 0x88, 0xC5};

const std::array<uint8_t, 16> kImageFileKeyTail = {0x5D, 0x92, 0x0B, 0xE6, 0x37, 0xA8, 0x71, 0x4C,
                                                   0xD3, 0x1A, 0x8F, 0x65, 0xBE, 0x29, 0xF4, 0x03};

CipherKey ImageFileKey(const ImageBuffers& buffers) {
    CipherKey key;
    std::copy_n(buffers.boot.begin(), 16, key.begin());
    std::copy(kImageFileKeyTail.begin(), kImageFileKeyTail.end(), key.begin() + 16);
    return key;
}

}  // namespace lumacrest
