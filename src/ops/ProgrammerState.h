// What the host knows of the programmer box: its kind from the last identify reply, the
// firmware versions it works with, and the firmware to rewrite it with.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace lumacrest {

// The largest update file the packager writes, and the buffer update.dat is read into.
inline constexpr std::size_t kUpdateBufferSize = 131072;

struct ProgrammerState {
    uint8_t kind = 0;  // byte 12 of the identify reply: 1, 2, or 5 while its loader runs
    // Its name and number and its firmware version, as the identification logged them.
    std::string name;
    std::string firmware;
    // The number in its identity block, whatever its kind.
    std::optional<unsigned> number;
    // What the last program-mode reply (or the loader's erase reply) said of the KeyCode of the
    // chip in the socket.
    bool keyCodeEnabled = false;
    uint8_t firmwareMajor = 2, firmwareMinor = 0;        // current programmer firmware
    uint8_t maintenanceMajor = 0, maintenanceMinor = 2;  // firmware that gets rewritten
    // The decrypted update.dat and its length.
    std::vector<uint8_t> updateBuffer = std::vector<uint8_t>(kUpdateBufferSize, 0xFF);
    uint32_t updateLength = 0;
};

}  // namespace lumacrest
