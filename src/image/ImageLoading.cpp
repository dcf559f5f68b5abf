#include "image/ImageLoading.h"

#include <algorithm>
#include <span>
#include <vector>

#include "app/Config.h"
#include "image/Checksums.h"
#include "image/DeviceCatalogue.h"
#include "image/ImageReader.h"
#include "ui/main/ResourceIds.h"

namespace lumacrest {

namespace {

// KeyCode files: HEX and S-record storing stops once a record ends beyond the KeyCode; a raw
// file gives its first 18 bytes.
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

std::span<uint8_t> TargetBuffer(Host& h, ImageTarget target) {
    switch (target) {
        case ImageTarget::Flash:
            return h.target.buf().flash;
        case ImageTarget::Boot:
            return h.target.buf().boot;
        case ImageTarget::KeyCode:
            break;
    }
    return h.target.buf().keyCode;
}

void AfterFlashLoad(Host& h, uint32_t end) {
    ClearReservedFlashWindow(h);
    h.target.FlashPagesToWrite = PagesFor(end, h.target.dev.FlashPageSize, h.target.dev.FlashPageCount);
    h.target.dev.FlashSize = h.target.dev.FlashPageSize * h.target.dev.FlashPageCount;
    ShowChecksums(h);
}

void AfterBootLoad(Host& h, uint32_t end) {
    h.target.BootPagesToWrite = PagesFor(end, h.target.dev.BootPageSize, h.target.dev.BootPageCount);
    h.target.dev.BootSize = h.target.dev.BootPageSize * h.target.dev.BootPageCount;
    ShowChecksums(h);
}

// Steps 3 to 7 of an interactive load: remember the path, log, open, fill, parse.
std::optional<uint32_t> LoadLogged(Host& h, ImageTarget target, const Names& names,
                                   const std::string& path, uint32_t offset) {
    h.ui.AppendLog(OpenLine(names.logStart, path));
    ReadError refusal;
    std::optional<uint32_t> end = LoadImageFile(h, target, path, offset, &refusal);
    if (!end) {
        ReportLoadFailure(h, names.failed, refusal);
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
        h.target.FlashLoadOffset = 0;
    } else if (std::optional<uint32_t> address = h.prompts().AskLoadAddress()) {
        h.target.FlashLoadOffset = *address;
    }
    h.target.FlashFilePath = *path;
    if (auto end = LoadLogged(h, ImageTarget::Flash, kFlashNames, *path, h.target.FlashLoadOffset))
        AfterFlashLoad(h, *end);
}

}  // namespace

uint32_t PagesFor(uint32_t end, uint32_t pageSize, uint32_t pageCount) {
    if (pageSize == 0) return 0;
    const uint64_t pages = (uint64_t{end} + pageSize - 1) / pageSize;
    return static_cast<uint32_t>(std::min<uint64_t>(pages, pageCount));
}

std::optional<uint32_t> LoadImageFile(Host& h, ImageTarget target, const std::string& path,
                                      uint32_t offset, ReadError* refusal) {
    if (refusal) *refusal = ReadError{};
    std::span<uint8_t> buffer = TargetBuffer(h, target);
    ImageRules rules{offset, 0, ImageRules::AtLimit::Continue};
    switch (target) {
        case ImageTarget::Flash:
            rules.limit = h.target.dev.FlashSize;
            break;
        case ImageTarget::Boot:
            rules.limit = h.target.dev.BootSize;
            break;
        case ImageTarget::KeyCode:
            rules = {0, IsTextImagePath(path) ? kKeyCodeHexLimit : kKeyCodeRawBytes,
                     ImageRules::AtLimit::Stop};
            break;
    }

    // The scratch copy starts erased, as the buffer would.
    std::vector<uint8_t> scratch(buffer.size(), uint8_t{0xFF});
    ImageFileResult read = ReadImageFile(path, scratch, rules);
    if (read.status == ImageFileResult::Status::Loaded && target == ImageTarget::KeyCode &&
        (!read.image.lowestStored || *read.image.lowestStored >= kKeyCodeLength)) {
        read.status = ImageFileResult::Status::Refused;
        read.refusal = {0, "no byte of it lands in the KeyCode (offsets 0-15)"};
    }
    if (read.status != ImageFileResult::Status::Loaded) {
        if (refusal && read.status == ImageFileResult::Status::Refused)
            *refusal = std::move(read.refusal);
        return std::nullopt;
    }
    std::copy(scratch.begin(), scratch.end(), buffer.begin());
    return read.image.end;
}

void ReportLoadFailure(Host& h, const std::string& message, const ReadError& refusal) {
    h.prompts().MessageBox(message, MsgIcon::Error);
    h.ui.AppendLogRaw("Failed");
    if (!refusal.reason.empty()) h.ui.AppendLog(RefusalLine(refusal));
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
    if (std::optional<uint32_t> address = h.prompts().AskLoadAddress()) h.target.BootLoadOffset = *address;
    h.target.BootFilePath = *path;
    if (auto end = LoadLogged(h, ImageTarget::Boot, kBootNames, *path, h.target.BootLoadOffset))
        AfterBootLoad(h, *end);
}

void LoadKeyCodeFile(Host& h) {
    h.ui.WriteSeparator();
    std::optional<std::string> path = h.prompts().OpenFile(kImageFilter);
    if (!path) return;
    h.target.KeyCodeFilePath = *path;
    LoadLogged(h, ImageTarget::KeyCode, kKeyCodeNames, *path, 0);
}

void ReloadImageFiles(Host& h) {
    h.ui.WriteSeparator();

    // An open failure (or a refused file) ends the whole reload; the remembered path is
    // dropped.
    ReadError refusal;
    auto failed = [&h, &refusal](const char* message, std::string& rememberedPath,
                                 bool forgetPath) {
        ReportLoadFailure(h, message, refusal);
        if (forgetPath) rememberedPath.assign(1, ' ');
    };

    if (IsNoPath(h.target.FlashFilePath)) {
        h.ui.AppendLog("Open Flash File.......Can not find");
    } else {
        h.ui.AppendLog(OpenLine(kFlashNames.logStart, h.target.FlashFilePath));
        if (!LoadImageFile(h, ImageTarget::Flash, h.target.FlashFilePath, h.target.FlashLoadOffset, &refusal)) {
            failed(kFlashNames.failed, h.target.FlashFilePath, true);
            return;
        }
        h.ui.AppendLogRaw("OK");
        h.target.FlashPagesToWrite = h.target.dev.FlashPageCount;
        h.target.dev.FlashSize = h.target.dev.FlashPageSize * h.target.dev.FlashPageCount;
    }

    if (IsNoPath(h.target.BootFilePath)) {
        h.ui.AppendLog("Open Boot File.......Can not find");
    } else {
        h.ui.AppendLog(OpenLine(kBootNames.logStart, h.target.BootFilePath));
        std::optional<uint32_t> end =
            LoadImageFile(h, ImageTarget::Boot, h.target.BootFilePath, h.target.BootLoadOffset, &refusal);
        if (!end) {
            failed(kBootNames.failed, h.target.BootFilePath, true);
            return;
        }
        h.ui.AppendLogRaw("OK");
        h.target.BootPagesToWrite = PagesFor(*end, h.target.dev.BootPageSize, h.target.dev.BootPageCount);
        h.target.dev.BootSize = h.target.dev.BootPageSize * h.target.dev.BootPageCount;
    }

    if (IsNoPath(h.target.KeyCodeFilePath)) {
        h.ui.AppendLog("Open KeyCode File.......Can not find");
    } else {
        h.ui.AppendLog(OpenLine("Open Keycode File \"", h.target.KeyCodeFilePath));
        if (!LoadImageFile(h, ImageTarget::KeyCode, h.target.KeyCodeFilePath, 0, &refusal)) {
            // A HEX (or S-record) KeyCode file is forgotten; a raw one stays remembered.
            if (IsTextImagePath(h.target.KeyCodeFilePath)) {
                failed("******Open Keycode File Failed******   ", h.target.KeyCodeFilePath, true);
            } else {
                failed(kKeyCodeNames.failed, h.target.KeyCodeFilePath, false);
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
