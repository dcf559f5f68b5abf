#include "host/CipherFileCommands.h"

#include <algorithm>
#include <cctype>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "host/Config.h"
#include "host/DeviceCommands.h"
#include "image/Cipher.h"
#include "image/DeviceCatalogue.h"
#include "image/ImageBuffers.h"
#include "image/ImageLoading.h"
#include "image/ImageReader.h"
#include "platform/AtomicFile.h"
#include "platform/Text.h"
#include "host/ImageFileCommands.h"

namespace lumacrest {

namespace {

// The encrypted image file counts 256 bytes per page whatever the device's page size is.
constexpr std::size_t kImagePageBytes = 256;
constexpr std::size_t kDecryptPageBytes = 64;

// A file opened as raw bytes: at most `maxBytes` of it, and whether more followed. Nothing
// when the file cannot be opened (or is not a regular file, or a read fails).
struct RawFile {
    std::vector<uint8_t> bytes;
    bool tooLong = false;
};

std::optional<RawFile> ReadRawFile(const std::string& path, std::size_t maxBytes) {
    RegularFile f;
    if (!f.Open(path)) return std::nullopt;
    RawFile file;
    file.bytes.resize(maxBytes);
    const long long n = f.ReadAt(0, file.bytes.data(), maxBytes);
    if (n < 0) return std::nullopt;
    file.bytes.resize(static_cast<std::size_t>(n));
    uint8_t extra = 0;
    const long long more = f.ReadAt(static_cast<uint64_t>(n), &extra, 1);
    if (more < 0) return std::nullopt;
    file.tooLong = more > 0;
    return file;
}

bool SaveOutput(Host& h, const std::string& path, const std::string& content) {
    if (!WriteFileAtomically(path, content)) {
        h.view.Tell(kFileSaveFailed, MessageKind::Error);
        return false;
    }
    h.view.Tell(kFileSaveSuccess, MessageKind::Information);
    return true;
}

std::string Bytes(const uint8_t* data, std::size_t size) {
    return std::string(reinterpret_cast<const char*>(data), size);
}

}  // namespace

bool PackageUpdateFile(Host& h, const std::string& file) {
    // Packaging rewrites the geometry and encrypts the flash buffer in place: never under a
    // write or verify that is still sending it.
    if (!ApplyPageGeometry(h, kUpdatePageSize, kUpdatePageCount, h.target.dev.BootPageSize,
                         h.target.dev.BootPageCount))
        return false;
    const std::optional<std::string> path = file;

    // The image is read into a scratch copy of the update area; the flash buffer changes only
    // when the whole file is good and fits it.
    const uint32_t limit = static_cast<uint32_t>(kUpdateFileMaxSize);
    const ImageNames names{.a90IsHex = true};
    const char* openFailed = EndsWithNoCase(*path, ".A90")       ? kOpenA90Failed
                             : IsTextImagePath(*path, names) ? kOpenHexFailed
                                                             : kOpenBinFailed;
    std::vector<uint8_t> scratch(kUpdateFileMaxSize, uint8_t{0xFF});
    ImageFileResult read =
        ReadImageFile(*path, scratch, {0, limit, ImageRules::AtLimit::Stop}, names);
    if (read.status == ImageFileResult::Status::Loaded) {
        // Nothing to package: an empty update file would replace a good one.
        if (std::optional<ReadError> nothing =
                NothingLands(read.image, {0, limit}, scratch.size(), "the update area")) {
            read.status = ImageFileResult::Status::Refused;
            read.refusal = std::move(*nothing);
        }
    }
    if (read.status != ImageFileResult::Status::Loaded) {
        h.view.Tell(openFailed, MessageKind::Error);
        if (read.status == ImageFileResult::Status::Refused)
            h.view.AppendLog(RefusalLine(read.refusal));
        return false;
    }
    const uint32_t length = read.image.end;
    // A firmware cut at 128 KB is no firmware: the update file it would replace is kept.
    const bool tooLong = read.image.passedLimit ||
                         (read.format == ImageFormat::Raw && read.fileSize > limit);
    if (tooLong) {
        h.view.Tell(kFileTooLong, MessageKind::Error);
        return false;
    }
    ImageBuffers& b = h.target.buf();
    b.flash.fill(0xFF);
    std::copy(scratch.begin(), scratch.end(), b.flash.begin());
    h.target.FlashLoaded();

    const uint32_t pages =
        std::min((length + kUpdatePageSize - 1) / kUpdatePageSize, kUpdatePageCount);
    h.target.FlashPagesToWrite = pages;
    const std::size_t size = std::size_t{pages} * kUpdatePageSize;
    CipherEncryptBytes(b.flash.data(), size, kUpdateFileKey);
    // The buffer holds neither the remembered flash file nor the chosen image any more.
    h.target.loaded.flashEdited = true;
    return SaveOutput(h, h.programDir + kUpdateFileName, Bytes(b.flash.data(), size));
}

bool UnpackUpdateFile(Host& h, const std::string& file) {
    if (!ApplyPageGeometry(h, kUpdatePageSize, kUpdatePageCount, h.target.dev.BootPageSize,
                         h.target.dev.BootPageCount))
        return false;
    const std::optional<std::string> path = file;
    h.target.FlashFilePath = *path;

    std::optional<RawFile> raw = ReadRawFile(*path, kUpdateFileMaxSize);
    if (!raw) {
        h.view.Tell(kOpenBinFailed, MessageKind::Error);
        return false;
    }
    // No update file is longer than the update buffer: unpacking the first part of one
    // would hand back a truncated firmware as if it were whole.
    if (raw->tooLong) {
        h.view.Tell(kFileTooLong, MessageKind::Error);
        return false;
    }
    ImageBuffers& b = h.target.buf();
    b.flash.fill(0xFF);
    std::copy(raw->bytes.begin(), raw->bytes.end(), b.flash.begin());
    h.target.FlashLoaded();
    h.target.FlashPagesToWrite = kUpdatePageCount;
    CipherDecryptBytes(b.flash.data(), kUpdateFileMaxSize, kUpdateFileKey);
    h.target.FlashFilePath += ".bin";
    return SaveOutput(h, h.target.FlashFilePath, Bytes(b.flash.data(), kUpdateFileMaxSize));
}

bool EncryptImageFile(Host& h) {
    h.view.WriteSeparator();
    const FlashReload flash = ReloadFlashFile(h, [&h](uint32_t end) {
        return PagesFor(end, h.target.dev.FlashPageSize, h.target.dev.FlashPageCount);
    });
    if (flash == FlashReload::Failed) return false;

    const CipherKey key = ImageFileKey(h.target.buf());
    ImageBuffers& b = h.target.buf();
    uint8_t keyCode[kKeyCodeLength];
    std::copy_n(b.keyCode.begin(), kKeyCodeLength, keyCode);
    CipherEncryptBytes(keyCode, kKeyCodeLength, key);

    // 256 bytes a page whatever the page size is, but never past the end of the buffer.
    const std::size_t pages =
        std::min<std::size_t>(h.target.FlashPagesToWrite, kFlashBufferSize / kImagePageBytes);
    const std::size_t size = pages * kImagePageBytes;
    CipherEncryptBytes(b.flash.data(), size, key);
    h.target.loaded.flashEdited = true;  // encrypted: no longer the image of the flash file
    return SaveOutput(h, h.programDir + kEncryptedImageFileName,
               Bytes(keyCode, kKeyCodeLength) + Bytes(b.flash.data(), size));
}

bool DecryptImageFile(Host& h, const std::string& file) {
    if (!ApplyPageGeometry(h, kDecryptPageSize, 256, h.target.dev.BootPageSize, h.target.dev.BootPageCount)) return false;
    const std::optional<std::string> path = file;
    std::optional<RawFile> raw = ReadRawFile(*path, kFlashBufferSize);
    if (!raw) {
        h.view.Tell(kOpenBinFailed, MessageKind::Error);
        return false;
    }
    if (raw->tooLong) {
        h.view.Tell(kEncryptedFileTooLong, MessageKind::Error);
        return false;
    }
    if (raw->bytes.size() < kKeyCodeLength) {
        h.view.Tell(kEncryptedFileTooShort, MessageKind::Error);
        return false;
    }
    ImageBuffers& b = h.target.buf();
    b.flash.fill(0xFF);
    std::copy(raw->bytes.begin(), raw->bytes.end(), b.flash.begin());
    h.target.FlashLoaded();
    const std::size_t pages = (raw->bytes.size() - kKeyCodeLength) / kDecryptPageBytes;
    // The pages to write never exceed the device's page count; the file itself is
    // decrypted and written whole.
    h.target.FlashPagesToWrite = static_cast<uint32_t>(std::min<std::size_t>(pages, h.target.dev.FlashPageCount));
    const std::size_t size = pages * kDecryptPageBytes;
    CipherDecryptBytes(b.flash.data(), kKeyCodeLength + size, ImageFileKey(h.target.buf()));
    // The buffer holds the decrypted file, not the image of the remembered flash file.
    h.target.loaded.flashEdited = true;
    return SaveOutput(h, *path + ".bin", Bytes(b.flash.data() + kKeyCodeLength, size));
}

}  // namespace lumacrest
