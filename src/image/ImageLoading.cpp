#include "image/ImageLoading.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <filesystem>
#include <span>

#include "app/Config.h"
#include "image/Checksums.h"
#include "image/DeviceCatalogue.h"
#include "image/HexReader.h"
#include "image/TextScanner.h"
#include "ui/main/ResourceIds.h"

namespace lumacrest {

namespace {

// KeyCode files: HEX reading stops once a record ends beyond the KeyCode; a raw file gives
// its first 18 bytes.
constexpr uint32_t kKeyCodeHexLimit = 16;
constexpr uint32_t kKeyCodeRawBytes = 18;

struct Names {
    const char* logStart;  // "Open Flash File \""
    const char* failed;    // the error box
};

constexpr Names kFlashNames{"Open Flash File \"", "******Open Flash File Failed******   "};
constexpr Names kBootNames{"Open Boot File \"", "******Open Boot File Failed******   "};
constexpr Names kKeyCodeNames{"Open KeyCode File \"", "******Open KeyCode File Failed******   "};
constexpr const char* kPathEnd = "\"  . . . . . . ";

// "Open Flash File \"<path>\"  . . . . . . "
std::string OpenLine(const char* start, const std::string& path) {
    std::string line(start);
    line += path;
    line += kPathEnd;
    return line;
}

bool IsDirectory(const std::string& path) {
    std::error_code ec;
    return std::filesystem::is_directory(path, ec);
}

std::span<uint8_t> TargetBuffer(Host& h, ImageTarget target) {
    switch (target) {
        case ImageTarget::Flash:
            return h.buf().flash;
        case ImageTarget::Boot:
            return h.buf().boot;
        case ImageTarget::KeyCode:
            break;
    }
    return h.buf().keyCode;
}

void AfterFlashLoad(Host& h, uint32_t end) {
    ClearReservedFlashWindow(h);
    h.FlashPagesToWrite = PagesFor(end, h.dev.FlashPageSize, h.dev.FlashPageCount);
    h.dev.FlashSize = h.dev.FlashPageSize * h.dev.FlashPageCount;
    ShowChecksums(h);
}

void AfterBootLoad(Host& h, uint32_t end) {
    h.BootPagesToWrite = PagesFor(end, h.dev.BootPageSize, h.dev.BootPageCount);
    h.dev.BootSize = h.dev.BootPageSize * h.dev.BootPageCount;
    ShowChecksums(h);
}

// Steps 3 to 7 of an interactive load: remember the path, log, open, fill, parse.
std::optional<uint32_t> LoadLogged(Host& h, ImageTarget target, const Names& names,
                                   const std::string& path, uint32_t offset) {
    h.ui.AppendLog(OpenLine(names.logStart, path));
    std::optional<uint32_t> end = LoadImageFile(h, target, path, offset);
    if (!end) {
        h.prompts().MessageBox(names.failed, MsgIcon::Error);
        h.ui.AppendLogRaw("Failed");
        return std::nullopt;
    }
    h.ui.AppendLogRaw("OK");
    return end;
}

void LoadFlash(Host& h, bool rangeFile) {
    h.ui.WriteSeparator();
    std::optional<std::string> path =
        h.prompts().OpenFile(rangeFile ? kRangeFileFilter : kImageFilter);
    if (!path) return;
    if (rangeFile) {
        h.FlashLoadOffset = 0;
    } else if (std::optional<uint32_t> address = h.prompts().AskLoadAddress()) {
        h.FlashLoadOffset = *address;
    }
    h.FlashFilePath = *path;
    if (auto end = LoadLogged(h, ImageTarget::Flash, kFlashNames, *path, h.FlashLoadOffset))
        AfterFlashLoad(h, *end);
}

}  // namespace

bool IsHexPath(const std::string& path) {
    if (path.size() < 4) return false;
    std::string tail = path.substr(path.size() - 4);
    for (char& c : tail) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return tail == ".HEX";
}

uint32_t PagesFor(uint32_t end, uint32_t pageSize, uint32_t pageCount) {
    if (pageSize == 0) return 0;
    const uint64_t pages = (uint64_t{end} + pageSize - 1) / pageSize;
    return static_cast<uint32_t>(std::min<uint64_t>(pages, pageCount));
}

std::optional<uint32_t> LoadImageFile(Host& h, ImageTarget target, const std::string& path,
                                      uint32_t offset) {
    if (IsDirectory(path)) return std::nullopt;
    std::span<uint8_t> buffer = TargetBuffer(h, target);
    uint32_t limit = 0;
    switch (target) {
        case ImageTarget::Flash:
            limit = h.dev.FlashSize;
            break;
        case ImageTarget::Boot:
            limit = h.dev.BootSize;
            break;
        case ImageTarget::KeyCode:
            offset = 0;
            break;
    }

    if (IsHexPath(path)) {
        TextScanner in;
        if (!in.Open(path)) return std::nullopt;
        std::fill(buffer.begin(), buffer.end(), uint8_t{0xFF});
        HexImageRules rules{offset, limit, HexImageRules::AtLimit::Continue};
        if (target == ImageTarget::KeyCode) {
            rules.limit = kKeyCodeHexLimit;
            rules.atLimit = HexImageRules::AtLimit::Stop;
        }
        return ReadHexImage(in, buffer, rules).end;
    }

    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (!file) return std::nullopt;
    std::fill(buffer.begin(), buffer.end(), uint8_t{0xFF});
    if (target == ImageTarget::KeyCode) limit = kKeyCodeRawBytes;
    const uint32_t end = ReadBinaryImage(file, buffer, offset, limit);
    std::fclose(file);
    return end;
}

void LoadFlashFile(Host& h) {
    LoadFlash(h, false);
}

void LoadRangeFile(Host& h) {
    LoadFlash(h, true);
}

void LoadBootFile(Host& h) {
    h.ui.WriteSeparator();
    std::optional<std::string> path = h.prompts().OpenFile(kImageFilter);
    if (!path) return;
    if (std::optional<uint32_t> address = h.prompts().AskLoadAddress()) h.BootLoadOffset = *address;
    h.BootFilePath = *path;
    if (auto end = LoadLogged(h, ImageTarget::Boot, kBootNames, *path, h.BootLoadOffset))
        AfterBootLoad(h, *end);
}

void LoadKeyCodeFile(Host& h) {
    h.ui.WriteSeparator();
    std::optional<std::string> path = h.prompts().OpenFile(kImageFilter);
    if (!path) return;
    h.KeyCodeFilePath = *path;
    LoadLogged(h, ImageTarget::KeyCode, kKeyCodeNames, *path, 0);
}

void ReloadImageFiles(Host& h) {
    h.ui.WriteSeparator();

    // An open failure ends the whole reload; the remembered path is dropped.
    auto failed = [&h](const char* message, std::string& rememberedPath, bool forgetPath) {
        h.prompts().MessageBox(message, MsgIcon::Error);
        h.ui.AppendLogRaw("Failed");
        if (forgetPath) rememberedPath.assign(1, ' ');
    };

    if (IsNoPath(h.FlashFilePath)) {
        h.ui.AppendLog("Open Flash File.......Can not find");
    } else {
        h.ui.AppendLog(OpenLine(kFlashNames.logStart, h.FlashFilePath));
        if (!LoadImageFile(h, ImageTarget::Flash, h.FlashFilePath, h.FlashLoadOffset)) {
            failed(kFlashNames.failed, h.FlashFilePath, true);
            return;
        }
        h.ui.AppendLogRaw("OK");
        h.FlashPagesToWrite = h.dev.FlashPageCount;
        h.dev.FlashSize = h.dev.FlashPageSize * h.dev.FlashPageCount;
    }

    if (IsNoPath(h.BootFilePath)) {
        h.ui.AppendLog("Open Boot File.......Can not find");
    } else {
        h.ui.AppendLog(OpenLine(kBootNames.logStart, h.BootFilePath));
        std::optional<uint32_t> end =
            LoadImageFile(h, ImageTarget::Boot, h.BootFilePath, h.BootLoadOffset);
        if (!end) {
            failed(kBootNames.failed, h.BootFilePath, true);
            return;
        }
        h.ui.AppendLogRaw("OK");
        h.BootPagesToWrite = PagesFor(*end, h.dev.BootPageSize, h.dev.BootPageCount);
        h.dev.BootSize = h.dev.BootPageSize * h.dev.BootPageCount;
    }

    if (IsNoPath(h.KeyCodeFilePath)) {
        h.ui.AppendLog("Open KeyCode File.......Can not find");
    } else {
        h.ui.AppendLog(OpenLine("Open Keycode File \"", h.KeyCodeFilePath));
        if (!LoadImageFile(h, ImageTarget::KeyCode, h.KeyCodeFilePath, 0)) {
            // A HEX KeyCode file is forgotten; a raw one stays remembered.
            if (IsHexPath(h.KeyCodeFilePath)) {
                failed("******Open Keycode File Failed******   ", h.KeyCodeFilePath, true);
            } else {
                failed(kKeyCodeNames.failed, h.KeyCodeFilePath, false);
            }
            return;
        }
        h.ui.AppendLogRaw("OK");
    }
    ShowChecksums(h);
}

void RegisterImageLoadCommands(Host& h, CommandRouter& router) {
    router.Add(id::LoadFlashFile, [&h] { LoadFlashFile(h); });
    router.Add(id::LoadFile, [&h] { LoadRangeFile(h); });
    router.Add(id::LoadBootFile, [&h] { LoadBootFile(h); });
    router.Add(id::LoadKeyCode, [&h] { LoadKeyCodeFile(h); });
    router.Add(id::TbReload, [&h] { ReloadImageFiles(h); });
}

}  // namespace lumacrest
