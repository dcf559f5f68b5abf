#include "image/CipherFiles.h"

#include <sys/stat.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "app/Config.h"
#include "image/Cipher.h"
#include "image/DeviceCatalogue.h"
#include "image/HexReader.h"
#include "image/ImageBuffers.h"
#include "image/ImageLoading.h"
#include "image/TextScanner.h"
#include "platform/AtomicFile.h"
#include "ui/main/ResourceIds.h"

namespace lumacrest {

namespace {

constexpr const char* kPackageFilter =
    "Hex Files (*.hex)|*.hex|A90 Files (*.a90)|*.a90|Bin Files (*.bin)|*.bin||";
constexpr const char* kUnpackFilter =
    "Hex Files (*.dat)|*.DAT|A90 Files (*.a90)|*.a90|Bin Files (*.bin)|*.bin||";
constexpr const char* kEncryptedFilter = "Bin Files (*.bin)|*.bin||";

// The encrypted image file counts 256 bytes per page whatever the device's page size is.
constexpr std::size_t kImagePageBytes = 256;
constexpr std::size_t kDecryptPageBytes = 64;
constexpr uint32_t kDecryptPageSize = 64;

// The last four characters of `path`, upper-cased, equal `ext`.
bool HasExtension(const std::string& path, const char* ext) {
    const std::string want(ext);
    if (path.size() < want.size()) return false;
    for (std::size_t i = 0; i < want.size(); ++i) {
        const char c = path[path.size() - want.size() + i];
        if (std::toupper(static_cast<unsigned char>(c)) != want[i]) return false;
    }
    return true;
}

// Opens a file for reading raw bytes; a directory counts as a file that cannot be opened.
std::FILE* OpenRaw(const std::string& path) {
    std::FILE* f = std::fopen(path.c_str(), "rb");
    struct stat st;
    if (f && ::fstat(::fileno(f), &st) == 0 && S_ISDIR(st.st_mode)) {
        std::fclose(f);
        return nullptr;
    }
    return f;
}

// A file opened as raw bytes: at most `maxBytes` of it, and whether more followed. Nothing
// when the file cannot be opened.
struct RawFile {
    std::vector<uint8_t> bytes;
    bool tooLong = false;
};

std::optional<RawFile> ReadRawFile(const std::string& path, std::size_t maxBytes) {
    std::FILE* f = OpenRaw(path);
    if (!f) return std::nullopt;
    RawFile file;
    file.bytes.resize(maxBytes);
    const std::size_t n = std::fread(file.bytes.data(), 1, maxBytes, f);
    file.bytes.resize(n);
    file.tooLong = n == maxBytes && std::fgetc(f) != EOF;
    const bool readError = std::ferror(f) != 0;
    std::fclose(f);
    if (readError) return std::nullopt;
    return file;
}

// The flash part of the reload command: the remembered file again, at the remembered
// offset, with the reload's log lines and messages. `end` receives the image end when the
// file was loaded.
enum class ReloadResult { Loaded, NoFile, OpenFailed };

ReloadResult ReloadFlashImage(Host& h, uint32_t& end) {
    if (IsNoPath(h.FlashFilePath)) {
        h.ui.AppendLog("Open Flash File.......Can not find");
        return ReloadResult::NoFile;
    }
    h.ui.AppendLog("Open Flash File \"" + h.FlashFilePath + "\"  . . . . . . ");
    std::optional<uint32_t> loaded =
        LoadImageFile(h, ImageTarget::Flash, h.FlashFilePath, h.FlashLoadOffset);
    if (!loaded) {
        h.prompts().MessageBox("******Open Flash File Failed******   ", MsgIcon::Error);
        h.ui.AppendLogRaw("Failed");
        h.FlashFilePath = " ";
        return ReloadResult::OpenFailed;
    }
    h.ui.AppendLogRaw("OK");
    end = *loaded;
    return ReloadResult::Loaded;
}

void SaveOutput(Host& h, const std::string& path, const std::string& content) {
    if (!WriteFileAtomically(path, content)) {
        h.prompts().MessageBox(kFileSaveFailed, MsgIcon::Error);
        return;
    }
    h.prompts().MessageBox(kFileSaveSuccess, MsgIcon::Information);
}

std::string Bytes(const uint8_t* data, std::size_t size) {
    return std::string(reinterpret_cast<const char*>(data), size);
}

}  // namespace

void PackageUpdateFile(Host& h) {
    // Packaging rewrites the geometry and encrypts the flash buffer in place: never under a
    // write or verify that is still sending it.
    if (!SetPageGeometry(h, kUpdatePageSize, kUpdatePageCount, h.dev.BootPageSize,
                         h.dev.BootPageCount))
        return;
    std::optional<std::string> path = h.prompts().OpenFile(kPackageFilter);
    if (!path) return;

    ImageBuffers& b = h.buf();
    const uint32_t limit = static_cast<uint32_t>(kUpdateFileMaxSize);
    // Only the update area: record bytes at 128 KB and above go nowhere.
    const std::span<uint8_t> area(b.flash.data(), kUpdateFileMaxSize);
    uint32_t length = 0;
    bool tooLong = false;
    const bool a90 = HasExtension(*path, ".A90");
    if (a90 || IsHexPath(*path)) {
        TextScanner in;
        if (!in.Open(*path)) {
            h.prompts().MessageBox(a90 ? kOpenA90Failed : kOpenHexFailed, MsgIcon::Error);
            return;
        }
        b.flash.fill(0xFF);
        const HexImageResult image =
            ReadHexImage(in, area, HexImageRules{0, limit, HexImageRules::AtLimit::Stop});
        length = image.end;
        tooLong = image.passedLimit;
    } else {
        std::FILE* f = OpenRaw(*path);
        if (!f) {
            h.prompts().MessageBox(kOpenBinFailed, MsgIcon::Error);
            return;
        }
        b.flash.fill(0xFF);
        length = ReadBinaryImage(f, area, 0, limit);
        tooLong = length == limit && std::fgetc(f) != EOF;
        std::fclose(f);
    }
    if (tooLong) {
        h.prompts().MessageBox(kFileTooLong, MsgIcon::Error);
        length = limit;
    }

    const uint32_t pages =
        std::min((length + kUpdatePageSize - 1) / kUpdatePageSize, kUpdatePageCount);
    h.FlashPagesToWrite = pages;
    const std::size_t size = std::size_t{pages} * kUpdatePageSize;
    CipherEncryptBytes(b.flash.data(), size, kUpdateFileKey);
    SaveOutput(h, h.programDir + kUpdateFileName, Bytes(b.flash.data(), size));
}

void UnpackUpdateFile(Host& h) {
    if (!SetPageGeometry(h, kUpdatePageSize, kUpdatePageCount, h.dev.BootPageSize,
                         h.dev.BootPageCount))
        return;
    std::optional<std::string> path = h.prompts().OpenFile(kUnpackFilter);
    if (!path) return;
    h.FlashFilePath = *path;

    std::optional<RawFile> raw = ReadRawFile(*path, kUpdateFileMaxSize);
    if (!raw) {
        h.prompts().MessageBox(kOpenBinFailed, MsgIcon::Error);
        return;
    }
    // No update file is longer than the update buffer: unpacking the first part of one
    // would hand back a truncated firmware as if it were whole.
    if (raw->tooLong) {
        h.prompts().MessageBox(kFileTooLong, MsgIcon::Error);
        return;
    }
    ImageBuffers& b = h.buf();
    b.flash.fill(0xFF);
    std::copy(raw->bytes.begin(), raw->bytes.end(), b.flash.begin());
    h.FlashPagesToWrite = kUpdatePageCount;
    CipherDecryptBytes(b.flash.data(), kUpdateFileMaxSize, kUpdateFileKey);
    h.FlashFilePath += ".bin";
    SaveOutput(h, h.FlashFilePath, Bytes(b.flash.data(), kUpdateFileMaxSize));
}

void EncryptImageFile(Host& h) {
    h.ui.WriteSeparator();
    uint32_t end = 0;
    switch (ReloadFlashImage(h, end)) {
        case ReloadResult::OpenFailed:
            return;
        case ReloadResult::NoFile:
            break;
        case ReloadResult::Loaded:
            h.FlashPagesToWrite = PagesFor(end, h.dev.FlashPageSize, h.dev.FlashPageCount);
            break;
    }

    const CipherKey key = ImageFileKey(h);
    ImageBuffers& b = h.buf();
    uint8_t keyCode[kKeyCodeLength];
    std::copy_n(b.keyCode.begin(), kKeyCodeLength, keyCode);
    CipherEncryptBytes(keyCode, kKeyCodeLength, key);

    // 256 bytes a page whatever the page size is, but never past the end of the buffer.
    const std::size_t pages =
        std::min<std::size_t>(h.FlashPagesToWrite, kFlashBufferSize / kImagePageBytes);
    const std::size_t size = pages * kImagePageBytes;
    CipherEncryptBytes(b.flash.data(), size, key);
    SaveOutput(h, h.programDir + kEncryptedImageFileName,
               Bytes(keyCode, kKeyCodeLength) + Bytes(b.flash.data(), size));
}

void DecryptImageFile(Host& h) {
    if (!SetPageGeometry(h, kDecryptPageSize, 256, h.dev.BootPageSize, h.dev.BootPageCount)) return;
    std::optional<std::string> path = h.prompts().OpenFile(kEncryptedFilter);
    if (!path) return;
    std::optional<RawFile> raw = ReadRawFile(*path, kFlashBufferSize);
    if (!raw) {
        h.prompts().MessageBox(kOpenBinFailed, MsgIcon::Error);
        return;
    }
    if (raw->tooLong) {
        h.prompts().MessageBox(kEncryptedFileTooLong, MsgIcon::Error);
        return;
    }
    if (raw->bytes.size() < kKeyCodeLength) {
        h.prompts().MessageBox(kEncryptedFileTooShort, MsgIcon::Error);
        return;
    }
    ImageBuffers& b = h.buf();
    b.flash.fill(0xFF);
    std::copy(raw->bytes.begin(), raw->bytes.end(), b.flash.begin());
    const std::size_t pages = (raw->bytes.size() - kKeyCodeLength) / kDecryptPageBytes;
    // The pages to write never exceed the device's page count; the file itself is
    // decrypted and written whole.
    h.FlashPagesToWrite = static_cast<uint32_t>(std::min<std::size_t>(pages, h.dev.FlashPageCount));
    const std::size_t size = pages * kDecryptPageBytes;
    CipherDecryptBytes(b.flash.data(), kKeyCodeLength + size, ImageFileKey(h));
    SaveOutput(h, *path + ".bin", Bytes(b.flash.data() + kKeyCodeLength, size));
}

void RegisterCipherFileCommands(Host& h, CommandRouter& router) {
    router.Add(id::ReserveJia, [&h] { PackageUpdateFile(h); });
    router.Add(id::ReserveJie, [&h] { UnpackUpdateFile(h); });
    router.Add(id::FileJiaMi, [&h] { EncryptImageFile(h); });
    router.Add(id::FileJieMi, [&h] { DecryptImageFile(h); });
}

}  // namespace lumacrest
