// Project files (".Prjt"): the MCU, the port, the options, the SN settings, the page geometry
// and the three buffers, as a header of one value a line followed by three HEX sections.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "image/ImageBuffers.h"
#include "image/ImageReader.h"
#include "image/RecordReaders.h"
#include "image/SerialNumber.h"
#include "image/Target.h"

namespace lumacrest {

inline constexpr const char* kProjectFilter = "Pro Files (*.Prjt)|*.Prjt||";

// Everything a project file gives, read whole before any of it is applied.
struct Project {
    std::string mcu;
    std::string port;
    int32_t options = 0;
    uint32_t snAddress = 0, snValue = 0, snInBoot = 0, snWidth = 0;
    uint8_t snLittleEndian = 0;
    uint32_t flashPageSize = 0, flashPageCount = 0, bootPageSize = 0, bootPageCount = 0;
    uint8_t deviceByte3 = 0, bootAreaEnabled = 0;
    std::string adapter;
    std::vector<uint8_t> flash = std::vector<uint8_t>(kFlashBufferSize, 0xFF);
    std::vector<uint8_t> boot = std::vector<uint8_t>(kBootBufferSize, 0xFF);
    std::vector<uint8_t> keyCode = std::vector<uint8_t>(kKeyCodeBufferSize, 0xFF);
    // What the flash and boot sections held.
    PlacedImage flashPlaced, bootPlaced;
};

// Reads and checks a whole project file: nothing when all of it is acceptable (the header,
// the page geometry, serial number settings the operations can use, every record of the three
// sections), else why not. A file that cannot be
// opened gives a refusal without a reason.
std::optional<ReadError> ReadProjectFile(const std::string& path, Project& project);

// The names a project file keeps: the MCU, the port, and the placeholder of the three path
// lines.
struct ProjectNames {
    std::string mcu;
    std::string port;
    std::string noPath;
};

// The project text of `target` with these names, option bits and serial number. Nothing when
// a section cannot be written as whole records; `why` tells the reason.
std::optional<std::string> FormatProject(const ProjectNames& names, int32_t options,
                                         const SerialNumber& sn, const Target& target,
                                         uint8_t englishUi, std::string* why);

}  // namespace lumacrest
