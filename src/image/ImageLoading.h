// Loading the flash, boot and KeyCode buffers from Intel HEX, S-record or raw files, and the
// commands that do it: Load Flash File, the "Load File" button, Load Boot File, Load KeyCode
// and reload. Every load reads the file into a scratch copy and takes it only when the whole
// file is good: a refused file changes no buffer.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "app/Host.h"
#include "image/RecordReaders.h"
#include "ui/main/CommandRouter.h"

namespace lumacrest {

inline constexpr const char* kImageFilter =
    "Hex Files (*.hex)|*.hex|S-Record Files (*.s19;*.s28;*.s37;*.srec;*.mot)|"
    "*.s19;*.s28;*.s37;*.srec;*.mot|Bin Files (*.bin)|*.bin||";
inline constexpr const char* kRangeFileFilter = "Ses Files (*.ses)|*.ses||";

enum class ImageTarget { Flash, Boot, KeyCode };

// Pages an image of `end` bytes occupies, rounded up, at most `pageCount`.
uint32_t PagesFor(uint32_t end, uint32_t pageSize, uint32_t pageCount);

// Erases the target buffer and reads the file into it, through the reader its name and text
// choose (ImageReader.h). Flash and boot use `offset`; KeyCode files address the KeyCode
// buffer directly, and one of which no byte lands in the KeyCode is refused. Returns the
// image end, or nothing with the buffer unchanged: when `refusal` is given it then holds the
// line and reason of a refused file, and stays empty for a file that could not be opened.
std::optional<uint32_t> LoadImageFile(Host& h, ImageTarget target, const std::string& path,
                                      uint32_t offset, ReadError* refusal = nullptr);

// The open failure of a load (images and projects): the error box, "Failed" on the open line,
// and for a refused file the line that says why (RefusalLine).
void ReportLoadFailure(Host& h, const std::string& message, const ReadError& refusal);

// The commands.
void LoadFlashFile(Host& h);     // menu Load Flash File
void LoadRangeFile(Host& h);     // the "Load File" button: raw range files from offset 0
void LoadBootFile(Host& h);      // menu Load Boot File
void LoadKeyCodeFile(Host& h);   // menu Load KeyCode
void ReloadImageFiles(Host& h);  // toolbar reload: all three from the remembered paths

void RegisterImageLoadCommands(Host& h, CommandRouter& router);

}  // namespace lumacrest
