// What the buffer editor and the serial-number dialog work on, without their windows: the
// working copy, the range fields, and the Save and Fill actions with their checks and
// messages. The prompts hand these sessions to the dialogs.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace lumacrest {

class Prompts;

// The editor's private copy; no edited length exceeds it.
inline constexpr uint32_t kWorkingCopySize = 0x42000;
inline constexpr uint32_t kSizelessEditLength = 0x40000;  // shown when the area size is 0
inline constexpr const char* kSesFilter = "Ses Files (*.ses)|*.SES||";

struct BufferEditSession {
    BufferEditSession() : work(kWorkingCopySize, 0xFF) {}

    std::string title;
    uint32_t length = 0;        // bytes being edited, at most kWorkingCopySize
    std::vector<uint8_t> work;  // kWorkingCopySize bytes, erased to 0xFF

    // Field values, compared as unsigned 32-bit numbers
    uint32_t fillStart = 0;
    uint32_t fillEnd = 0;
    uint32_t fillValue = 0;
    uint32_t saveStart = 0;
    uint32_t saveEnd = 0;
    uint32_t addValue = 0;  // shown, never used

    // Presets of a fresh dialog: starts, fill value and "Add" 0, both ends at `rangeEnd`.
    void Preset(uint32_t rangeEnd);

    // Save: checks the save range, asks for a ".ses" file and writes the bytes from save
    // start up to save end. Returns whether a file was written.
    bool Save(Prompts& prompts);
    // Fill: checks the value and the fill range and sets fill start through fill end, both
    // included, to the value. Returns whether the working copy was filled.
    bool Fill(Prompts& prompts);
};

// The path a ".ses" file is written to: the chosen one when it ends in ".ses" or ".SES",
// else the chosen one with ".ses" appended.
std::string SesPath(const std::string& chosen);

struct SnSetSession {
    uint32_t value = 0;    // SnValue
    uint32_t address = 0;  // SnAddress
    uint32_t flashSize = 0;

    // OK pressed: shows the first failing check and returns false (the dialog stays open),
    // else returns true.
    bool Accept(Prompts& prompts) const;
    // The message of the first failing check; nothing when the values pass.
    std::optional<std::string> Problem() const;
};

// The message that refuses the flash editor when the flash area does not fit its copy.
std::string FlashTooLargeMessage(uint32_t flashSize);

}  // namespace lumacrest
