// Loading the flash, boot and KeyCode buffers from Intel HEX, S-record or raw files. Every
// load reads the file into a scratch copy and takes it only when the whole file is good: a
// refused file changes no buffer.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "image/ImageReader.h"
#include "image/RecordReaders.h"
#include "image/Target.h"

namespace lumacrest {

inline constexpr const char* kImageFilter =
    "Hex Files (*.hex)|*.hex|S-Record Files (*.s19;*.s28;*.s37;*.srec;*.mot)|"
    "*.s19;*.s28;*.s37;*.srec;*.mot|ELF Files (*.elf)|*.elf|Bin Files (*.bin)|*.bin||";
inline constexpr const char* kRangeFileFilter = "Ses Files (*.ses)|*.ses||";

enum class ImageTarget { Flash, Boot, KeyCode };

// Pages an image of `end` bytes occupies, rounded up, at most `pageCount`.
uint32_t PagesFor(uint32_t end, uint32_t pageSize, uint32_t pageCount);

// What a load found in the file, for the lines that report it.
struct ImageLoad {
    PlacedImage image;
    ImageFormat format = ImageFormat::Raw;
    std::optional<ImageFormat> heldAsRaw;
};

// Erases the target buffer and reads the file into it, through the reader its name and content
// choose (ImageReader.h). Flash and boot use `offset`, and a file of which no byte lands in
// the area (the offset to the offset + FlashSize, resp. BootSize) is refused; KeyCode files
// address the KeyCode buffer directly, and one of which no byte lands in the KeyCode is
// refused. Returns the image end, or nothing with the buffer unchanged: when `refusal` is given
// it then holds the line and reason of a refused file, and stays empty for a file that could
// not be opened. `load`, when given, gets the account of a loaded file.
std::optional<uint32_t> LoadImageFile(Target& t, ImageTarget target, const std::string& path,
                                      uint32_t offset, ReadError* refusal = nullptr,
                                      ImageLoad* load = nullptr);

// The line after a flash or boot load that says what the file held: "Flash image
// 0x4000-0x8E1F: 20000 bytes, 79 pages; left out 0x16000-0x16FFF (4096 bytes, beyond the
// flash)".
std::string LoadReportLine(ImageTarget target, const PlacedImage& image, uint32_t pages);

// The line for a file read as raw bytes by its name that plainly holds another format.
std::string HeldAsRawLine(ImageFormat held);

// The line for a KeyCode file that gives fewer than the 16 KeyCode bytes, naming those it did
// not give; nothing when it gives them all.
[[nodiscard]] std::optional<std::string> KeyCodeGapsLine(const PlacedImage& image);

}  // namespace lumacrest
