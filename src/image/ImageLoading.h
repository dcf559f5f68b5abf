// Loading the flash, boot and KeyCode buffers from Intel HEX, S-record or raw files. Every
// load reads the file into a scratch copy and takes it only when the whole file is good: a
// refused file changes no buffer.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "image/RecordReaders.h"
#include "image/Target.h"

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
std::optional<uint32_t> LoadImageFile(Target& t, ImageTarget target, const std::string& path,
                                      uint32_t offset, ReadError* refusal = nullptr);

}  // namespace lumacrest
