// The host's operations as functions: values in, results out. A front end (the window, the
// command line, a test jig) sets up a Host with its platform, observes its view
// (HostEvents: log, progress, controls, messages, outcomes), and calls these. One host per
// programmer port; several live in one process. Questions asked during a run (yes/no) go to
// the platform's Prompts; no file dialog is ever shown from here.
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>

#include "host/ExToHexCommand.h"
#include "host/Host.h"
#include "image/ImageLoading.h"
#include "ops/OperationCommands.h"

namespace lumacrest::api {

// What a command brought. When it failed or was refused, `message` holds what the operator
// was told (in the system's own words) and `detail` what failed in plain words (the file and
// why), when there is more to say. Nothing is a success unless the command says so: a Result
// made without a word is a failure; Ok() is the command's success.
struct [[nodiscard]] Result {
    static Result Ok() { return {true, {}, {}}; }

    bool ok = false;
    std::string message;
    std::string detail;

    explicit operator bool() const { return ok; }
    // "Open Flash File Failed: image.hex: line 3: bad record checksum": the message without
    // its frame of asterisks and trailing blanks, then the detail.
    std::string Describe() const;
};

// ---- the station ----
// Connects the host's operations to its platform's serial port and timers (set them first).
void Attach(Host& h);
// Clears the buffers, reads Config.dat (the defaults when it cannot be read) and logs the
// start lines: what the window does as it opens.
void Open(Host& h);
// The program goes away: a run under way ends now, abandoned; waits end at once.
void Abandon(Host& h);
// The program closes: a run under way ends as abandoned, Config.dat is written back; ok only
// when it was.
Result Close(Host& h);
// A run of the programmer (or a port scan) is under way.
bool Busy(const Host& h);

// ---- settings ----
// The MCU by name: its device parameter file is loaded, or the device in force stays.
Result ChooseMcu(Host& h, const std::string& name);
// The program options; the boot option is refused on a device without a boot area.
Result SetOptions(Host& h, const ProgramOptions& options);
// The serial number's value and address, with the checks of the SN dialog.
Result SetSerialNumber(Host& h, uint32_t value, uint32_t address);

// ---- images and files ----
// An image file into the flash or boot buffer at `offset` (none: the offset in force), or the
// KeyCode file (offset unused). The load report follows in the log.
Result LoadImage(Host& h, ImageTarget area, const std::string& path,
                 std::optional<uint32_t> offset = std::nullopt);
// The three remembered files again; a path that names no file is passed over, one that cannot
// be loaded fails the reload.
Result Reload(Host& h);
Result LoadProject(Host& h, const std::string& path);
// The commands that write a file are ok when their file was written.
Result SaveProject(Host& h, const std::string& path);
Result Combine(Host& h, const std::string& path);
Result PackageUpdate(Host& h, const std::string& path);
Result UnpackUpdate(Host& h, const std::string& path);
Result EncryptImage(Host& h);
Result DecryptImage(Host& h, const std::string& path);
// Ok when the HEX file was written, or the converter still runs: its result then comes later,
// from the front end's event loop, as a message.
Result ConvertExToHex(Host& h, const std::string& path,
                      std::chrono::milliseconds timeout = kConverterTimeout);
void LogChecksums(Host& h);

// ---- runs of the programmer: started or refused; the outcome arrives as RunEnded ----
// Ok when the run is under way as the call returns, or has already passed; a run that ended
// as it started (no programmer on the port, nothing to program) fails with its own words.
// Chooses the port (USB, COM1..COM16) and identifies the programmer there (USB scans).
Result Connect(Host& h, const std::string& port);
Result StartUpdate(Host& h);
Result StartOperation(Host& h, SingleOperation operation,
                      std::optional<bool> verifyAfterWrite = std::nullopt);
// Rewrites the programmer's firmware from update.dat, without asking.
Result StartFirmwareRewrite(Host& h);
// Stops the run under way as the operator's stop does (the chip is failed).
void Stop(Host& h, const std::string& why);

}  // namespace lumacrest::api
