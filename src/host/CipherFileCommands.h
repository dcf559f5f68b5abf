// The four file commands around the block cipher: packaging a firmware image into an
// encrypted programmer update file and back, and encrypting the flash image with the
// KeyCode into "JiaMi.bin" and back.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "host/Host.h"

namespace lumacrest {

// The largest update file: 256 pages of 512 bytes. Also the size of the update buffer the
// programmer firmware rewrite reads "update.dat" into.
inline constexpr std::size_t kUpdateFileMaxSize = 131072;
inline constexpr uint32_t kUpdatePageSize = 512;
inline constexpr uint32_t kUpdatePageCount = 256;
// The page size the decrypted image is counted in.
inline constexpr uint32_t kDecryptPageSize = 64;

inline constexpr const char* kUpdateFileName = "Tervolo_Update.dat";
inline constexpr const char* kEncryptedImageFileName = "JiaMi.bin";

inline constexpr const char* kFileSaveFailed = "******File Save Failed******";
inline constexpr const char* kFileSaveSuccess = "******File Save success******   ";
inline constexpr const char* kFileTooLong =
    "******File length is too long than Flash Size ******   ";
inline constexpr const char* kOpenA90Failed = "******Open *.A90 file failed******   ";
inline constexpr const char* kOpenHexFailed = "******Open Hex File Failed******   ";
inline constexpr const char* kOpenBinFailed = "******Open Bin File Failed******   ";
inline constexpr const char* kEncryptedFileTooShort =
    "******Encrypted file is shorter than its 16-byte header: nothing decrypted******   ";
inline constexpr const char* kEncryptedFileTooLong =
    "******Encrypted file is longer than the 300000-byte flash buffer: nothing "
    "decrypted******   ";

// Each is true when its output file was written; otherwise the operator was told why.
// Reserve_Jia: a firmware image (HEX, A90 or raw) to the program directory's
// "Tervolo_Update.dat".
[[nodiscard]] bool PackageUpdateFile(Host& h, const std::string& path);
// Reserve_Jie: an update file to "<file>.bin", always 131072 plain bytes.
[[nodiscard]] bool UnpackUpdateFile(Host& h, const std::string& path);
// File_JiaMi: reloads the flash image and writes the KeyCode and the image, encrypted with
// the image-file key, to the program directory's "JiaMi.bin".
[[nodiscard]] bool EncryptImageFile(Host& h);
// File_JieMi: an encrypted image file to "<file>.bin" without its KeyCode header.
[[nodiscard]] bool DecryptImageFile(Host& h, const std::string& path);

}  // namespace lumacrest
