// Image files: one reader interface for Intel HEX, Motorola S-records, ELF and raw bytes, chosen
// in one place for every command that loads an image, and the one way an image is placed into a
// buffer, every byte of the file accounted for.
//
// The choice: what the file begins with decides where it is plain: the ELF magic, or a first
// record that is an Intel HEX record (":" and hex digits) or an S-record ("S", a digit, hex
// digits). A name ending in ".bin" or ".ses" is raw bytes whatever it holds. Otherwise the name
// decides: ".hex", ".ihx", ".ihex" (any case; ".a90" too where the command reads A90 files),
// ".s19", ".s28", ".s37", ".srec" or ".mot" is a text image (S-records when its first record
// starts with "S"), ".elf" is ELF, any other name raw bytes.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>

#include <vector>

#include "image/RecordReaders.h"
#include "image/AddressRange.h"
#include "platform/AtomicFile.h"

namespace lumacrest {

enum class ImageFormat { IntelHex, SRecord, Elf, Raw };

// "Intel HEX", "S-records", "ELF", "raw bytes".
const char* FormatName(ImageFormat format);

// How a command chooses the reader besides the common rules.
struct ImageNames {
    bool a90IsHex = false;  // the update-file packager reads ".a90" files as Intel HEX
    // KeyCode files are chosen by their name only, and never read as ELF.
    bool byContent = true;
};

// True when the name makes the file a text image (HEX or S-records). The texts that follow
// the name (the messages of an open failure) use this; the reader is chosen by ChooseFormat.
bool IsTextImagePath(const std::string& path, const ImageNames& names = {});

// The format the first bytes of a file show plainly: the ELF magic, a first Intel HEX record
// or a first S-record. Nothing when they show none of them.
[[nodiscard]] std::optional<ImageFormat> FormatOfContent(std::string_view head);

// The one choice of a reader for a file of that name beginning with `head` (the whole file or
// its first bytes; empty when the file is not read).
struct FormatChoice {
    ImageFormat format = ImageFormat::Raw;
    // A file read as raw bytes by its name although it plainly holds this format.
    std::optional<ImageFormat> heldAsRaw;
};
[[nodiscard]] FormatChoice ChooseFormat(const std::string& path, std::string_view head,
                          const ImageNames& names = {});

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
// ChooseFormat's format.
ImageFormat FormatOf(const std::string& path, std::string_view head, const ImageNames& names = {});

// The largest text or ELF image read (far beyond any image of the buffers).
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

// Why bytes of a file were left out of the image.
enum class LeftOutWhy {
    BelowOffset,   // below the load offset
    BeyondLimit,   // at buffer offsets from the limit on (beyond the flash, the boot area, ...)
    BeyondBuffer,  // beyond the buffer, which is smaller than the limit
};

struct LeftOutRange {
    AddressRange range;
    LeftOutWhy why = LeftOutWhy::BelowOffset;
};

struct PlacedImage {
    // Image end: the highest end (buffer offset) of the data from the offset on, at most `limit`.
    uint32_t end = 0;
    bool passedLimit = false;  // data ended beyond the limit
    // The lowest buffer offset a byte was stored at; nothing when no byte was.
    std::optional<uint64_t> lowestStored;

    // The account of the file's bytes, as target addresses, ranges merged and in order.
    std::vector<AddressRange> placed;  // in the area: from the offset, below the limit
    uint64_t placedBytes = 0;
    std::vector<LeftOutRange> leftOut;
    uint64_t leftOutBytes = 0;
    std::optional<AddressRange> data;  // the lowest and the highest address the file gave
};

// Hands every data record to the buffer by the rules: the bytes of a record at addresses A >=
// offset go to buffer offsets A - offset (a record that starts below the offset gives its
// bytes from the offset on); bytes beyond the buffer are dropped. Bytes that land where an
// earlier record put different ones refuse the file. Usable as the sink of any reader.
class ImagePlacer {
  public:
    ImagePlacer(std::span<uint8_t> buffer, const ImageRules& rules);
    DataFlow operator()(const DataRecord& record);
    // Bytes of the file no reader hands over (the raw reader reads only the area).
    void LeftOut(uint64_t first, uint64_t end, LeftOutWhy why);
    void SawData(uint64_t first, uint64_t end);
    // The account so far, ranges merged.
    const PlacedImage& result();
    // Two records that gave one address different bytes.
    const std::optional<ReadError>& conflict() const { return conflict_; }

  private:
    struct Stored {
        uint64_t first, end;  // buffer offsets
        std::size_t line;
    };
    void Place(const DataRecord& record, uint64_t first, uint64_t end);

    std::span<uint8_t> buffer_;
    ImageRules rules_;
    PlacedImage result_;
    std::vector<uint8_t> written_;  // per buffer byte: stored by a record
    std::vector<Stored> stored_;
    std::optional<ReadError> conflict_;
};

// "0x4000-0x8E1F": a range as the log shows it.
std::string FormatRange(const AddressRange& range);

// Reading an image file into a buffer.
struct ImageFileResult {
    enum class Status {
        Loaded,
        OpenFailed,  // cannot be opened, not a regular file, or a read error
        Refused,     // opened, but not a whole, good file of its format: see `refusal`
    } status = Status::OpenFailed;
    ImageFormat format = ImageFormat::Raw;
    std::optional<ImageFormat> heldAsRaw;  // see FormatChoice
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

// The refusal of an image of which no byte landed in the area (offset to offset + the smaller
// of the limit and `bufferSize`), saying where the file's data lies; nothing when some did.
// `area` names it: "the flash area".
[[nodiscard]] std::optional<ReadError> NothingLands(const PlacedImage& image, const ImageRules& rules,
                                      std::size_t bufferSize, const std::string& area);

}  // namespace lumacrest
