// Project files (".Prjt"): the MCU, the port, the options, the SN settings, the page geometry
// and the three buffers, as a header of one value a line followed by three HEX sections.
#pragma once

#include <optional>
#include <string>

#include "app/Host.h"
#include "ui/main/CommandRouter.h"

namespace lumacrest {

inline constexpr const char* kProjectFilter = "Pro Files (*.Prjt)|*.Prjt||";

// The project text of the current state; also stores the combo selections as the current MCU
// and port names and normalises blank remembered paths. Nothing when a section cannot be
// written as whole records; `why` tells the reason.
std::optional<std::string> BuildProjectText(Host& h, std::string* why);

// Applies a project file (everything after the open dialog and the first log line). The whole
// file is read and checked first: false, with nothing changed, when it cannot be opened or is
// not acceptable as a whole (the header, the page geometry, every record of the three
// sections); a refused file also gets a log line with the line number and the reason.
bool LoadProjectFile(Host& h, const std::string& path);

void SaveProject(Host& h);  // menu Save Prj File
void LoadProject(Host& h);  // menu Load Prj File

void RegisterProjectCommands(Host& h, CommandRouter& router);

}  // namespace lumacrest
