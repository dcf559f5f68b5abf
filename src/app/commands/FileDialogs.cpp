#include "app/commands/FileDialogs.h"

#include "host/CipherFileCommands.h"
#include "host/DeviceCommands.h"
#include "host/ImageFileCommands.h"
#include "host/ProjectCommands.h"
#include "host/SaveCommands.h"
#include "image/HexWriter.h"
#include "image/ImageLoading.h"
#include "image/ProjectFile.h"

namespace lumacrest {

namespace {

constexpr const char* kPackageFilter =
    "Hex Files (*.hex)|*.hex|A90 Files (*.a90)|*.a90|S-Record Files "
    "(*.s19;*.s28;*.s37;*.srec;*.mot)|*.s19;*.s28;*.s37;*.srec;*.mot|ELF Files (*.elf)|*.elf|Bin "
    "Files (*.bin)|*.bin||";
constexpr const char* kUnpackFilter =
    "Hex Files (*.dat)|*.DAT|A90 Files (*.a90)|*.a90|Bin Files (*.bin)|*.bin||";
constexpr const char* kEncryptedFilter = "Bin Files (*.bin)|*.bin||";
constexpr const char* kExFilter = "Ex Files (*.ex)|*.ex||";

}  // namespace

void OnLoadFlashFile(Host& h) {
    h.view.WriteSeparator();
    const std::optional<std::string> path = h.prompts().OpenFile(kImageFilter);
    if (!path) return;
    const std::optional<uint32_t> address = h.prompts().AskLoadAddress();
    (void)LoadFlashImage(h, *path, address);
}

void OnLoadRangeFile(Host& h) {
    h.view.WriteSeparator();
    const std::optional<std::string> path = h.prompts().OpenFile(kRangeFileFilter);
    if (!path) return;
    (void)LoadFlashImage(h, *path, 0);
}

void OnLoadBootFile(Host& h) {
    h.view.WriteSeparator();
    const std::optional<std::string> path = h.prompts().OpenFile(kImageFilter);
    if (!path) return;
    const std::optional<uint32_t> address = h.prompts().AskLoadAddress();
    (void)LoadBootImage(h, *path, address);
}

void OnLoadKeyCode(Host& h) {
    h.view.WriteSeparator();
    const std::optional<std::string> path = h.prompts().OpenFile(kImageFilter);
    if (!path) return;
    (void)LoadKeyCodeImage(h, *path);
}

void OnSaveProject(Host& h) {
    // The names and blank paths are taken as the command starts, whatever the dialog answers.
    std::string why;
    (void)BuildProjectText(h, &why);
    const std::optional<std::string> path = h.prompts().SaveFile(kProjectFilter);
    if (!path) return;
    (void)SaveProject(h, *path);
}

void OnLoadProject(Host& h) {
    h.view.WriteSeparator();
    const std::optional<std::string> path = h.prompts().OpenFile(kProjectFilter);
    if (!path) return;
    (void)LoadProject(h, *path);
}

void OnCombine(Host& h) {
    const std::optional<std::string> path = h.prompts().SaveFile(kCombineFilter);
    if (!path) return;
    (void)CombineMainAndBoot(h, *path);
}

void OnPackageUpdate(Host& h) {
    // The geometry of the update file is set before the file is asked for.
    if (!ApplyPageGeometry(h, kUpdatePageSize, kUpdatePageCount, h.target.dev.BootPageSize,
                           h.target.dev.BootPageCount))
        return;
    const std::optional<std::string> path = h.prompts().OpenFile(kPackageFilter);
    if (!path) return;
    (void)PackageUpdateFile(h, *path);
}

void OnUnpackUpdate(Host& h) {
    if (!ApplyPageGeometry(h, kUpdatePageSize, kUpdatePageCount, h.target.dev.BootPageSize,
                           h.target.dev.BootPageCount))
        return;
    const std::optional<std::string> path = h.prompts().OpenFile(kUnpackFilter);
    if (!path) return;
    (void)UnpackUpdateFile(h, *path);
}

void OnDecryptImage(Host& h) {
    if (!ApplyPageGeometry(h, kDecryptPageSize, 256, h.target.dev.BootPageSize,
                           h.target.dev.BootPageCount))
        return;
    const std::optional<std::string> path = h.prompts().OpenFile(kEncryptedFilter);
    if (!path) return;
    (void)DecryptImageFile(h, *path);
}

void OnConvertExToHex(Host& h, std::chrono::milliseconds timeout) {
    const std::optional<std::string> path = h.prompts().OpenFile(kExFilter);
    if (!path) return;
    (void)ConvertExToHex(h, *path, timeout);
}

}  // namespace lumacrest
