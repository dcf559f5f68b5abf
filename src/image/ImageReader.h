// Image files: one reader interface for Intel HEX, Motorola S-records and raw bytes, chosen in
// one place for every command that loads an image, and the one way an image is placed into a
// buffer.
//
// The choice: a name ending in ".hex" (any case; ".a90" too where the command reads A90 files)
// or in ".s19", ".s28", ".s37", ".srec" or ".mot" is a text image, read as S-records when its
// first record starts with "S" and as Intel HEX otherwise; any other name is raw bytes,
// whatever its content.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>

#include "image/RecordReaders.h"
#include "platform/AtomicFile.h"

namespace lumacrest {

enum class ImageFormat { IntelHex, SRecord, Raw };

// Which names a command reads as text images besides the common ones.
struct ImageNames {
    bool a90IsHex = false;  // the update-file packager reads ".a90" files as Intel HEX
};

// True when the name makes the file a text image (HEX or S-records).
bool IsTextImagePath(const std::string& path, const ImageNames& names = {});

// The addresses the caller stores: a raw reader reads only these bytes of the file.
struct AddressWindow {
    uint64_t start = 0;
    uint64_t length = 0;
};

// An opened image file as a reader sees it.
struct ImageInput {
    RegularFile& file;
    std::string_view text;    // the whole file, read for the text formats
    bool readFailed = false;  // set by a reader when reading the file failed
};

// A reader of one format: hands the file's data to the sink in file order, each piece at its
// full address, and checks the whole file. Nothing when the file is whole and good.
class ImageReader {
  public:
    virtual ~ImageReader() = default;
    virtual ImageFormat format() const = 0;
    virtual std::optional<ReadError> Read(ImageInput& in, const AddressWindow& wanted,
                                          const DataSink& sink) const = 0;
};

// The reader of each format.
const ImageReader& ReaderOf(ImageFormat format);
// The format of a file of that name whose text (for a text image name) begins `text`.
ImageFormat FormatOf(const std::string& path, std::string_view text, const ImageNames& names = {});

// The largest text image read (far beyond any image of the buffers).
inline constexpr std::size_t kMaxTextImageSize = 64u << 20;

// How an image is placed into a buffer.
struct ImageRules {
    uint32_t offset = 0;  // address of buffer offset 0; records below it are not stored
    uint32_t limit = 0;   // end cap of the image (FlashSize, BootSize, ...)
    enum class AtLimit {
        Continue,  // a record ending beyond the limit only caps the image end
        Stop,      // nothing is stored after a record that ends beyond the limit
    } atLimit = AtLimit::Continue;
};

struct PlacedImage {
    // Image end: the highest end (buffer offset) of the stored records, at most `limit`.
    uint32_t end = 0;
    bool passedLimit = false;  // a stored record ended beyond the limit
    // The lowest buffer offset a byte was stored at; nothing when no byte was.
    std::optional<uint64_t> lowestStored;
};

// Hands every data record to the buffer by the rules: a record at address A >= offset goes to
// buffer offsets A - offset onward (bytes beyond the buffer are dropped); a record below the
// offset is not stored. Usable as the sink of any reader.
class ImagePlacer {
  public:
    ImagePlacer(std::span<uint8_t> buffer, const ImageRules& rules)
        : buffer_(buffer), rules_(rules) {}
    DataFlow operator()(const DataRecord& record);
    const PlacedImage& result() const { return result_; }

  private:
    std::span<uint8_t> buffer_;
    ImageRules rules_;
    PlacedImage result_;
};

// Reading an image file into a buffer.
struct ImageFileResult {
    enum class Status {
        Loaded,
        OpenFailed,  // cannot be opened, not a regular file, or a read error
        Refused,     // opened, but not a whole, good file of its format: see `refusal`
    } status = Status::OpenFailed;
    ImageFormat format = ImageFormat::Raw;
    uint64_t fileSize = 0;
    PlacedImage image;
    ReadError refusal;
};

// Opens `path`, chooses its reader and places its data into `buffer` by `rules`. The buffer
// is written only as the file is read: callers pass a scratch copy and keep it only when the
// result is Loaded. Raw bytes follow the raw rules: file byte i goes to buffer offset i - offset
// when i >= offset, and only offsets below the limit (and the buffer's size) are stored.
ImageFileResult ReadImageFile(const std::string& path, std::span<uint8_t> buffer,
                              const ImageRules& rules, const ImageNames& names = {});

}  // namespace lumacrest
