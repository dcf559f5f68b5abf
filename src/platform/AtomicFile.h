// Files as the tool reads and writes them.
//
// Writing replaces a file without ever leaving a truncated one: the content goes to a
// temporary file beside the target (beside the link's target when the name is a symbolic
// link), is flushed to disk, takes the old file's mode, and is renamed over the target. Where
// the folder admits no new file but the file itself may be written (a shared bench PC), the
// file is written over in place and cut to its new length only once the content is on disk.
//
// Reading opens regular files only, and never blocks on the open: a FIFO, a device or a
// directory is a file that cannot be opened. A read error is a failure, never a short file.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace lumacrest {

// Returns false (and leaves any existing file untouched) when the file cannot be written or
// cannot keep the mode of the file it replaces.
[[nodiscard]] bool WriteFileAtomically(const std::string& path, const std::string& content);

// Appends `line` to `path` (created when missing) with one write on a descriptor opened for
// appending, so that lines appended by several programs at once never mix. False when the
// file cannot be opened or the whole line was not written.
[[nodiscard]] bool AppendLine(const std::string& path, const std::string& line);

// Reads a whole regular file, at most `maxBytes`; false when it cannot be opened, is not a
// regular file, is larger, or a read fails.
[[nodiscard]] bool ReadWholeFile(const std::string& path, std::string& out, std::size_t maxBytes);

// Opens `path` (links followed) for reading, without blocking on the open: the descriptor of a
// regular file (its size in `*size`), or -1 when it cannot be opened or is anything else.
// With `followLinks` false a symbolic link is no regular file either.
[[nodiscard]] int OpenRegularFile(const std::string& path, uint64_t* size = nullptr, bool followLinks = true);

// Why OpenRegularFile(path) fails, in a few words: kNoSuchFile, "not a regular file", or
// "cannot be opened (" and the system's reason ")".
inline constexpr const char* kNoSuchFile = "no such file";
std::string WhyNotRegularFile(const std::string& path);

// A regular file opened for reading.
class RegularFile {
  public:
    RegularFile() = default;
    ~RegularFile();
    RegularFile(const RegularFile&) = delete;
    RegularFile& operator=(const RegularFile&) = delete;

    // Opens `path` without blocking; false when it cannot be opened or is not a regular file
    // (nor is a symbolic link, with Links::Refuse).
    enum class Links { Follow, Refuse };
    [[nodiscard]] bool Open(const std::string& path, Links links = Links::Follow);
    void Close();
    bool IsOpen() const { return fd_ >= 0; }
    int fd() const { return fd_; }
    // The size when it was opened.
    uint64_t size() const { return size_; }

    // Reads up to `n` bytes from `position`: the number read (less only at the end of the
    // file), or -1 on a read error.
    [[nodiscard]] long long ReadAt(uint64_t position, void* into, std::size_t n);
    // The whole file from its start; false on a read error or when it holds more than
    // `maxBytes`.
    [[nodiscard]] bool ReadAll(std::string& out, std::size_t maxBytes);

  private:
    int fd_ = -1;
    uint64_t size_ = 0;
};

}  // namespace lumacrest
