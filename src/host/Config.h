// "Config.dat": the settings of the last run, one value a line, in the program directory.
#pragma once

#include <optional>
#include <string>

#include "host/Host.h"

namespace lumacrest {

inline constexpr const char* kConfigFileName = "Config.dat";
inline constexpr const char* kNoPathPlaceholder = "W\\:";  // W, backslash, colon
inline constexpr std::size_t kConfigLineMax = 495;

// The 31-line file written by the first-run step (it has no sector-count line).
std::string DefaultConfigText();

class TextScanner;

// Opens Config.dat for reading. Anything but a regular file (a directory of that name, say)
// counts as a file that cannot be opened.
bool OpenConfigFile(TextScanner& in, const std::string& path);

// True for a remembered path that means "no file": empty, only blanks, or the placeholder.
bool IsNoPath(const std::string& path);

// Reads the settings into the host (main window initialisation). When the file cannot be
// opened the defaults apply and the operator is told. Either way the adapter text is
// written to the log and FlashPagesToWrite set.
void ReadConfig(Host& h);

// Writes the settings back (window closing). The old file is replaced atomically; false
// (after a message box) when it cannot be written.
[[nodiscard]] bool WriteConfig(Host& h);

// The text WriteConfig writes; also normalises blank paths and the names in memory.
std::string BuildConfigText(Host& h);

}  // namespace lumacrest
