#include "host/ImageFileCommands.h"

#include "host/Config.h"
#include "image/DeviceCatalogue.h"
#include "image/ImageLoading.h"
#include "image/ImageReader.h"

namespace lumacrest {

namespace {

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

void AfterFlashLoad(Host& h, uint32_t end, const ImageLoad& load) {
    ClearReservedFlashWindow(h.target);
    h.target.FlashPagesToWrite = PagesFor(end, h.target.dev.FlashPageSize, h.target.dev.FlashPageCount);
    h.target.dev.FlashSize = h.target.dev.FlashPageSize * h.target.dev.FlashPageCount;
    ShowChecksums(h.view, h.target);
    ReportLoad(h, ImageTarget::Flash, load, h.target.FlashPagesToWrite);
}

void AfterBootLoad(Host& h, uint32_t end, const ImageLoad& load) {
    h.target.BootPagesToWrite = PagesFor(end, h.target.dev.BootPageSize, h.target.dev.BootPageCount);
    h.target.dev.BootSize = h.target.dev.BootPageSize * h.target.dev.BootPageCount;
    ShowChecksums(h.view, h.target);
    ReportLoad(h, ImageTarget::Boot, load, h.target.BootPagesToWrite);
}

// Steps 3 to 7 of an interactive load: remember the path, log, open, fill, parse.
std::optional<uint32_t> LoadLogged(Host& h, ImageTarget target, const Names& names,
                                   const std::string& path, uint32_t offset, ImageLoad& load,
                                   ReadError* why) {
    h.view.AppendLog(OpenLine(names.logStart, path));
    ReadError refusal;
    std::optional<uint32_t> end = LoadImageFile(h.target, target, path, offset, &refusal, &load);
    if (why) *why = refusal;
    if (!end) {
        ReportLoadFailure(h, names.failed, refusal);
        return std::nullopt;
    }
    h.view.AppendLogRaw("OK");
    return end;
}

}  // namespace

bool LoadFlashImage(Host& h, const std::string& path, std::optional<uint32_t> offset, ReadError* why) {
    if (offset) h.target.FlashLoadOffset = *offset;
    h.target.FlashFilePath = path;
    ImageLoad load;
    const auto end = LoadLogged(h, ImageTarget::Flash, kFlashNames, path, h.target.FlashLoadOffset, load, why);
    if (end) AfterFlashLoad(h, *end, load);
    return end.has_value();
}

bool LoadBootImage(Host& h, const std::string& path, std::optional<uint32_t> offset, ReadError* why) {
    if (offset) h.target.BootLoadOffset = *offset;
    h.target.BootFilePath = path;
    ImageLoad load;
    const auto end = LoadLogged(h, ImageTarget::Boot, kBootNames, path, h.target.BootLoadOffset, load, why);
    if (end) AfterBootLoad(h, *end, load);
    return end.has_value();
}

bool LoadKeyCodeImage(Host& h, const std::string& path, ReadError* why) {
    h.target.KeyCodeFilePath = path;
    ImageLoad load;
    if (!LoadLogged(h, ImageTarget::KeyCode, kKeyCodeNames, path, 0, load, why)) return false;
    ReportLoad(h, ImageTarget::KeyCode, load, 0);
    return true;
}

void ReportLoad(Host& h, ImageTarget target, const ImageLoad& load, uint32_t pages) {
    if (target != ImageTarget::KeyCode)
        (target == ImageTarget::Flash ? h.target.flashLoad : h.target.bootLoad) =
            LoadAccount{load.image.placed, load.image.leftOutBytes};
    if (load.heldAsRaw) h.view.AppendLog(HeldAsRawLine(*load.heldAsRaw));
    if (target == ImageTarget::KeyCode) {
        if (std::optional<std::string> gaps = KeyCodeGapsLine(load.image)) h.view.AppendLog(*gaps);
        return;
    }
    h.view.AppendLog(LoadReportLine(target, load.image, pages));
}

void ReportLoadFailure(Host& h, const std::string& message, const ReadError& refusal) {
    h.view.Tell(message, MessageKind::Error);
    h.view.AppendLogRaw("Failed");
    if (!refusal.reason.empty()) h.view.AppendLog(RefusalLine(refusal));
}

FlashReload ReloadFlashFile(Host& h, const std::function<uint32_t(uint32_t end)>& pagesFor) {
    if (IsNoPath(h.target.FlashFilePath)) {
        h.view.AppendLog("Open Flash File.......Can not find");
        return FlashReload::NoFile;
    }
    h.view.AppendLog(OpenLine(kFlashNames.logStart, h.target.FlashFilePath));
    ReadError refusal;
    ImageLoad load;
    const std::optional<uint32_t> loaded = LoadImageFile(
        h.target, ImageTarget::Flash, h.target.FlashFilePath, h.target.FlashLoadOffset, &refusal, &load);
    if (!loaded) {
        ReportLoadFailure(h, kFlashNames.failed, refusal);
        h.target.FlashFilePath.assign(1, ' ');
        return FlashReload::Failed;
    }
    h.view.AppendLogRaw("OK");
    h.target.FlashPagesToWrite = pagesFor(*loaded);
    ReportLoad(h, ImageTarget::Flash, load, h.target.FlashPagesToWrite);
    return FlashReload::Loaded;
}

bool ReloadImageFiles(Host& h) {
    h.view.WriteSeparator();

    // An open failure (or a refused file) ends the whole reload; the remembered path is
    // dropped.
    ReadError refusal;
    auto failed = [&h, &refusal](const char* message, std::string& rememberedPath,
                                 bool forgetPath) {
        ReportLoadFailure(h, message, refusal);
        if (forgetPath) rememberedPath.assign(1, ' ');
    };

    // A reloaded flash image is written whole.
    const FlashReload flash = ReloadFlashFile(h, [&h](uint32_t) {
        h.target.dev.FlashSize = h.target.dev.FlashPageSize * h.target.dev.FlashPageCount;
        return h.target.dev.FlashPageCount;
    });
    if (flash == FlashReload::Failed) return false;
    ImageLoad load;

    if (IsNoPath(h.target.BootFilePath)) {
        h.view.AppendLog("Open Boot File.......Can not find");
    } else {
        h.view.AppendLog(OpenLine(kBootNames.logStart, h.target.BootFilePath));
        std::optional<uint32_t> end = LoadImageFile(h.target, ImageTarget::Boot, h.target.BootFilePath,
                                                    h.target.BootLoadOffset, &refusal, &load);
        if (!end) {
            failed(kBootNames.failed, h.target.BootFilePath, true);
            return false;
        }
        h.view.AppendLogRaw("OK");
        h.target.BootPagesToWrite = PagesFor(*end, h.target.dev.BootPageSize, h.target.dev.BootPageCount);
        h.target.dev.BootSize = h.target.dev.BootPageSize * h.target.dev.BootPageCount;
        ReportLoad(h, ImageTarget::Boot, load, h.target.BootPagesToWrite);
    }

    if (IsNoPath(h.target.KeyCodeFilePath)) {
        h.view.AppendLog("Open KeyCode File.......Can not find");
    } else {
        h.view.AppendLog(OpenLine("Open Keycode File \"", h.target.KeyCodeFilePath));
        if (!LoadImageFile(h.target, ImageTarget::KeyCode, h.target.KeyCodeFilePath, 0, &refusal, &load)) {
            // A HEX (or S-record) KeyCode file is forgotten; a raw one stays remembered. The
            // message follows the name, the path the reader the file was chosen for.
            const char* message = IsTextImagePath(h.target.KeyCodeFilePath)
                                      ? "******Open Keycode File Failed******   "
                                      : kKeyCodeNames.failed;
            const bool raw = FormatOf(h.target.KeyCodeFilePath, {}, {.byContent = false}) == ImageFormat::Raw;
            failed(message, h.target.KeyCodeFilePath, !raw);
            return false;
        }
        h.view.AppendLogRaw("OK");
        ReportLoad(h, ImageTarget::KeyCode, load, 0);
    }
    ShowChecksums(h.view, h.target);
    return true;
}

}  // namespace lumacrest
