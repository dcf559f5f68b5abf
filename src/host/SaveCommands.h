// The end of the save commands and Main && Boot Combine.
#pragma once

#include <optional>
#include <string>

#include "host/Host.h"

namespace lumacrest {

// The end of a save command whose log line "Save Project File......" is open: adds `suffix`
// when the path does not end in it (exact case), writes `text` atomically and appends "OK";
// when `text` is missing (the content was refused because of `why`) or cannot be written,
// shows the message and appends "Failed". The previous file stays in place on failure. True
// when the file was written.
[[nodiscard]] bool FinishSave(Host& h, std::string path, const std::string& suffix,
                const std::optional<std::string>& text, const std::string& refusal,
                const std::string& why);

// Main && Boot Combine: the main and boot images as one HEX file at `path` (".hex" added when
// missing). True when the file was written.
[[nodiscard]] bool CombineMainAndBoot(Host& h, const std::string& path);

}  // namespace lumacrest
