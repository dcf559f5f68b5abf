// The commands that load images: Load Flash File, the "Load File" button, Load Boot File,
// Load KeyCode and reload, with their dialogs, log lines and messages.
#pragma once

#include <string>

#include "host/Host.h"
#include "image/ImageLoading.h"
#include "image/RecordReaders.h"

namespace lumacrest {

// The open failure of a load (images and projects): the error box, "Failed" on the open line,
// and for a refused file the line that says why (RefusalLine).
void ReportLoadFailure(Host& h, const std::string& message, const ReadError& refusal);

void LoadFlashFile(Host& h);     // menu Load Flash File
void LoadRangeFile(Host& h);     // the "Load File" button: raw range files from offset 0
void LoadBootFile(Host& h);      // menu Load Boot File
void LoadKeyCodeFile(Host& h);   // menu Load KeyCode
void ReloadImageFiles(Host& h);  // toolbar reload: all three from the remembered paths

// The lines after a load that say what the file held (LoadReportLine, HeldAsRawLine,
// KeyCodeGapsLine), `pages` the pages to write as the load set them.
void ReportLoad(Host& h, ImageTarget target, const ImageLoad& load, uint32_t pages);

// The flash part of a reload: the remembered file again at the remembered offset, with the
// reload's lines and messages; a file that cannot be loaded is forgotten. `end` receives the
// image end and `load` the account; each caller takes its own rule for the pages to write and
// reports the load.
enum class FlashReload { Loaded, NoFile, Failed };
FlashReload ReloadFlashFile(Host& h, uint32_t& end, ImageLoad& load);

}  // namespace lumacrest
