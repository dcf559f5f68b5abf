// Loading images into the host's buffers: the flash, boot and KeyCode images from a file and
// reloading all three from the remembered paths, with their log lines and messages.
#pragma once

#include <cstdint>
#include <optional>
#include <functional>
#include <string>

#include "host/Host.h"
#include "image/ImageLoading.h"
#include "image/RecordReaders.h"

namespace lumacrest {

// The open failure of a load (images and projects): the error box, "Failed" on the open line,
// and for a refused file the line that says why (RefusalLine).
void ReportLoadFailure(Host& h, const std::string& message, const ReadError& refusal);

// The image at `path` into the flash or boot buffer, placed at `offset` (none: the offset in
// force), remembered for a reload; the KeyCode file. False when it could not be loaded: the
// operator was told, and `why` receives the refusal (no reason: the file could not be opened).
[[nodiscard]] bool LoadFlashImage(Host& h, const std::string& path, std::optional<uint32_t> offset,
                    ReadError* why = nullptr);
[[nodiscard]] bool LoadBootImage(Host& h, const std::string& path, std::optional<uint32_t> offset,
                   ReadError* why = nullptr);
[[nodiscard]] bool LoadKeyCodeImage(Host& h, const std::string& path, ReadError* why = nullptr);
// All three again from the remembered paths; false when a remembered file could not be
// loaded (the reload ends there). A path that names no file is passed over.
[[nodiscard]] bool ReloadImageFiles(Host& h);

// The lines after a load that say what the file held (LoadReportLine, HeldAsRawLine,
// KeyCodeGapsLine), `pages` the pages to write as the load set them.
void ReportLoad(Host& h, ImageTarget target, const ImageLoad& load, uint32_t pages);

// The flash part of a reload: the remembered file again at the remembered offset, with the
// reload's lines and messages; a file that cannot be loaded is forgotten. A loaded file gets
// the pages to write from `pagesFor` (each caller has its own rule, given the image end), and
// its load report.
enum class FlashReload { Loaded, NoFile, Failed };
[[nodiscard]] FlashReload ReloadFlashFile(Host& h, const std::function<uint32_t(uint32_t end)>& pagesFor);

}  // namespace lumacrest
