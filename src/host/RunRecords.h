// A record of every run of the programmer: one JSON object a line, appended to a file that
// several programs may write at once, so that what went into each chip can be shown later.
#pragma once

#include <ctime>
#include <string>

#include "host/Host.h"

namespace lumacrest {

// A JSON string of `text`; a byte that is no part of valid UTF-8 becomes U+FFFD.
std::string Quoted(const std::string& text);

// The record of a run that ended with `outcome` on `h`, written at `endedAt` (seconds since the
// epoch): time (ISO 8601, UTC), port, device, programmer, firmware, mcu, options, flash and
// boot (file and buffer checksum), flash_placed and boot_placed (the ranges the last loads
// placed), flash_left_out and boot_left_out (the bytes they left out), sn (when one was written), outcome, stage and reason (when
// it failed), seconds. One line, without its line end.
std::string FormatRunRecord(const Host& h, const Outcome& outcome, std::time_t endedAt);

// Appends the record of every device command run `h` ends to `path`; `onError` hears once of
// a file that cannot be written.
void RecordRuns(Host& h, const std::string& path,
                std::function<void(const std::string&)> onError = nullptr);

}  // namespace lumacrest
