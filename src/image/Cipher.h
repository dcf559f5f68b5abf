// The 64-bit block cipher that protects update files and encrypted image files: GOST
// 28147-89 in simple substitution mode (every 8-byte block on its own) with the S-boxes of
// the GOST R 34.11-94 test parameter set. Words are least significant byte first.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "image/ImageBuffers.h"

namespace lumacrest {

inline constexpr std::size_t kCipherBlockSize = 8;
inline constexpr std::size_t kCipherKeySize = 32;
using CipherKey = std::array<uint8_t, kCipherKeySize>;

// One block, in place.
void CipherEncryptBlock(uint8_t* block, const uint8_t* key);
void CipherDecryptBlock(uint8_t* block, const uint8_t* key);

// Every whole block of `size` bytes, in place; a trailing part block is left as it is.
void CipherEncryptBytes(uint8_t* data, std::size_t size, const CipherKey& key);
void CipherDecryptBytes(uint8_t* data, std::size_t size, const CipherKey& key);

// The key of the programmer's update files ("Tervolo_Update.dat", "update.dat").
extern const CipherKey kUpdateFileKey;
// The fixed second half of the image-file key.
extern const std::array<uint8_t, 16> kImageFileKeyTail;

// The image-file key as it stands now: the first 16 bytes of the boot buffer, then the
// fixed tail.
CipherKey ImageFileKey(const ImageBuffers& buffers);

}  // namespace lumacrest
