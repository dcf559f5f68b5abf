// Loading the flash, boot and KeyCode buffers from Intel HEX or raw files, and the commands
// that do it: Load Flash File, the "Load File" button, Load Boot File, Load KeyCode and reload.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "app/Host.h"
#include "ui/main/CommandRouter.h"

namespace lumacrest {

inline constexpr const char* kImageFilter = "Hex Files (*.hex)|*.hex|Bin Files (*.bin)|*.bin||";
inline constexpr const char* kRangeFileFilter = "Ses Files (*.ses)|*.ses||";

enum class ImageTarget { Flash, Boot, KeyCode };

// True when the path's last four characters are ".HEX" in any case. A shorter path is not.
bool IsHexPath(const std::string& path);

// Pages an image of `end` bytes occupies, rounded up, at most `pageCount`.
uint32_t PagesFor(uint32_t end, uint32_t pageSize, uint32_t pageCount);

// Erases the target buffer and reads the file into it, HEX or raw by the path's extension.
// Flash and boot use `offset` and stop storing at FlashSize/BootSize; KeyCode files address
// the KeyCode buffer directly. Returns the image end, or nothing (buffer unchanged) when
// the file cannot be opened.
std::optional<uint32_t> LoadImageFile(Host& h, ImageTarget target, const std::string& path,
                                      uint32_t offset);

// The commands.
void LoadFlashFile(Host& h);     // menu Load Flash File
void LoadRangeFile(Host& h);     // the "Load File" button: raw range files from offset 0
void LoadBootFile(Host& h);      // menu Load Boot File
void LoadKeyCodeFile(Host& h);   // menu Load KeyCode
void ReloadImageFiles(Host& h);  // toolbar reload: all three from the remembered paths

void RegisterImageLoadCommands(Host& h, CommandRouter& router);

}  // namespace lumacrest
