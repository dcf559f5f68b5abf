// Save Prj File and Load Prj File: the project file of the current settings and images, and
// applying one whole or not at all.
#pragma once

#include <optional>
#include <string>

#include "host/Host.h"

namespace lumacrest {

// The project text of the current state; also stores the combo selections as the current MCU
// and port names and normalises blank remembered paths. Nothing when a section cannot be
// written as whole records; `why` tells the reason.
std::optional<std::string> BuildProjectText(Host& h, std::string* why);

// Applies a project file (everything after the open dialog and the first log line). The whole
// file is read and checked first: false, with nothing changed, when it cannot be opened or is
// not acceptable as a whole; a refused file also gets a log line with the line number and the
// reason.
bool LoadProjectFile(Host& h, const std::string& path);

// Save Prj File: the project of the current state to `path` (".Prjt" added when missing).
// True when the file was written.
[[nodiscard]] bool SaveProject(Host& h, const std::string& path);
// Load Prj File: remembers the path, logs the open line and applies the file. False when it
// was not applied.
[[nodiscard]] bool LoadProject(Host& h, const std::string& path);

}  // namespace lumacrest
