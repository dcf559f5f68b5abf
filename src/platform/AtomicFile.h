// Replacing a file without ever leaving a truncated one: the content goes to a temporary
// file beside the target, is flushed to disk, and is renamed over the target.
#pragma once

#include <string>

namespace lumacrest {

// Returns false (and leaves any existing file untouched) when the file cannot be written.
bool WriteFileAtomically(const std::string& path, const std::string& content);

// Reads a whole file, at most `maxBytes`; false when it cannot be opened or is larger.
bool ReadWholeFile(const std::string& path, std::string& out, std::size_t maxBytes);

}  // namespace lumacrest
