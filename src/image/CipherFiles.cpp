#include "image/CipherFiles.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "image/Cipher.h"
#include "image/DeviceCatalogue.h"
#include "image/HexRecord.h"
#include "image/ImageBuffers.h"
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

// A file opened as raw bytes: at most `maxBytes` of it, and whether more followed. Nothing
// when the file cannot be opened.
struct RawFile {
    std::vector<uint8_t> bytes;
    bool tooLong = false;
};

std::optional<RawFile> ReadRawFile(const std::string& path, std::size_t maxBytes) {
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) return std::nullopt;
    RawFile file;
    file.bytes.resize(maxBytes);
    const std::size_t n = std::fread(file.bytes.data(), 1, maxBytes, f);
    file.bytes.resize(n);
    file.tooLong = n == maxBytes && std::fgetc(f) != EOF;
    std::fclose(f);
    return file;
}

// HEX and A90 records for the packager: every data byte goes to its record address plus
// the segment base, no load offset. Bytes at `limit` and above are dropped; a record that
// ends past `limit` stops the reading. Returns the end of the last data record read.
uint32_t ReadRecordsAtOwnAddresses(TextScanner& in, ImageBuffers& b, uint32_t limit,
                                   bool& tooLong) {
    uint32_t base = 0;
    uint32_t end = 0;
    while (std::optional<std::string> token = in.ReadWord(kMaxHexRecordLength)) {
        HexRecord r;
        if (!DecodeHexRecord(*token, r)) continue;
        if (r.type == kHexSegment) {
            base = 16u * r.SegmentValue();
            continue;
        }
        if (r.type == kHexEnd) break;
        if (r.type != kHexData) continue;
        const uint32_t address = base + r.address;
        for (std::size_t i = 0; i < r.count; ++i)
            if (address + i < limit) b.flash[address + i] = r.Byte(i);
        end = address + r.count;
        if (end > limit) {
            tooLong = true;
            end = limit;
            break;
        }
    }
    return end;
}

// The flash part of the reload command: the remembered file again, at the remembered
// offset, with the reload's log lines and messages. `end` receives the image end when the
// file was loaded.
enum class ReloadResult { Loaded, NoFile, OpenFailed };

ReloadResult ReloadFlashImage(Host& h, uint32_t& end) {
    const std::string path = h.FlashFilePath;
    if (path.empty() || path == " ") {
        h.ui.AppendLog("Open Flash File.......Can not find");
        return ReloadResult::NoFile;
    }
    h.ui.AppendLog("Open Flash File \"" + path + "\"  . . . . . . ");
    auto& flash = h.buf().flash;
    const uint32_t offset = h.FlashLoadOffset;
    const uint32_t size = h.dev.FlashSize;
    end = 0;
    if (HasExtension(path, ".HEX")) {
        TextScanner in;
        if (!in.Open(path)) {
            h.prompts().MessageBox("******Open Flash File Failed******   ", MsgIcon::Error);
            h.ui.AppendLogRaw("Failed");
            h.FlashFilePath = " ";
            return ReloadResult::OpenFailed;
        }
        flash.fill(0xFF);
        uint32_t base = 0;
        while (std::optional<std::string> token = in.ReadWord(kMaxHexRecordLength)) {
            HexRecord r;
            if (!DecodeHexRecord(*token, r)) continue;
            if (r.type == kHexSegment) {
                base = 16u * r.SegmentValue();
                continue;
            }
            if (r.type == kHexEnd) break;
            if (r.type != kHexData) continue;
            const uint32_t address = base + r.address;
            if (address < offset) continue;
            const uint32_t at = address - offset;
            for (std::size_t i = 0; i < r.count; ++i)
                if (at + i < flash.size()) flash[at + i] = r.Byte(i);
            end = at + r.count;
            if (end > size) {
                end = size;
                break;
            }
        }
    } else {
        std::FILE* f = std::fopen(path.c_str(), "rb");
        if (!f) {
            h.prompts().MessageBox("******Open Flash File Failed******   ", MsgIcon::Error);
            h.ui.AppendLogRaw("Failed");
            h.FlashFilePath = " ";
            return ReloadResult::OpenFailed;
        }
        flash.fill(0xFF);
        uint64_t i = 0;
        for (int c; (c = std::fgetc(f)) != EOF; ++i) {
            if (i < offset) continue;
            const uint64_t at = i - offset;
            if (at >= size) {
                end = size;
                break;
            }
            flash[at] = static_cast<uint8_t>(c);
            end = static_cast<uint32_t>(at + 1);
        }
        std::fclose(f);
    }
    h.ui.AppendLogRaw("OK");
    return ReloadResult::Loaded;
}

bool RefuseWhileBusy(Host& h) {
    if (h.replyAwaited == 0) return false;
    h.prompts().MessageBox(kCipherBusy, MsgIcon::Error);
    return true;
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
    if (RefuseWhileBusy(h)) return;
    if (!SetPageGeometry(h, kUpdatePageSize, kUpdatePageCount, h.dev.BootPageSize,
                         h.dev.BootPageCount))
        return;
    std::optional<std::string> path = h.prompts().OpenFile(kPackageFilter);
    if (!path) return;

    ImageBuffers& b = h.buf();
    const uint32_t limit = static_cast<uint32_t>(kUpdateFileMaxSize);
    uint32_t length = 0;
    bool tooLong = false;
    const bool a90 = HasExtension(*path, ".A90");
    if (a90 || HasExtension(*path, ".HEX")) {
        TextScanner in;
        if (!in.Open(*path)) {
            h.prompts().MessageBox(a90 ? kOpenA90Failed : kOpenHexFailed, MsgIcon::Error);
            return;
        }
        b.flash.fill(0xFF);
        length = ReadRecordsAtOwnAddresses(in, b, limit, tooLong);
    } else {
        std::optional<RawFile> raw = ReadRawFile(*path, kUpdateFileMaxSize);
        if (!raw) {
            h.prompts().MessageBox(kOpenBinFailed, MsgIcon::Error);
            return;
        }
        b.flash.fill(0xFF);
        std::copy(raw->bytes.begin(), raw->bytes.end(), b.flash.begin());
        length = static_cast<uint32_t>(raw->bytes.size());
        tooLong = raw->tooLong;
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
    if (RefuseWhileBusy(h)) return;
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
    if (RefuseWhileBusy(h)) return;
    h.ui.WriteSeparator();
    uint32_t end = 0;
    switch (ReloadFlashImage(h, end)) {
        case ReloadResult::OpenFailed:
            return;
        case ReloadResult::NoFile:
            break;
        case ReloadResult::Loaded: {
            const uint32_t pageSize = h.dev.FlashPageSize;
            h.FlashPagesToWrite = std::min((end + pageSize - 1) / pageSize, h.dev.FlashPageCount);
            break;
        }
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
    if (RefuseWhileBusy(h)) return;
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
