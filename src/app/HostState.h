// Everything the main window owns for the whole run: settings, device parameters, image
// buffers and their bookkeeping, serial-number settings, link state, the run, and the
// window model. One instance per host; nothing of it is global.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "image/DeviceParams.h"
#include "image/ImageBuffers.h"
#include "link/Link.h"
#include "ops/Run.h"
#include "ui/main/MainModel.h"

namespace lumacrest {

// The largest update file the packager writes.
inline constexpr std::size_t kUpdateBufferSize = 131072;

struct HostState {
    // Program directory, ending in '/'
    std::string programDir;

    // Window model (log, progress, controls, options, lists)
    MainModel ui;

    // Current device
    std::string mcuName = "MN101EF32D";
    int32_t DeviceType = 0;
    DeviceParams dev;

    // Images
    std::unique_ptr<ImageBuffers> buffers = std::make_unique<ImageBuffers>();
    uint32_t FlashPagesToWrite = 0;
    uint32_t BootPagesToWrite = 0;
    uint32_t FlashLoadOffset = 0x4000;
    uint32_t BootLoadOffset = 0x4000;
    std::string FlashFilePath;
    std::string BootFilePath;
    std::string KeyCodeFilePath;
    std::string ProjectFilePath;
    uint32_t BufferChecksum = 0;

    // Serial number
    uint32_t SnValue = 0;
    uint32_t SnAddress = 0;
    uint32_t SnWidth = 1;
    uint8_t SnLittleEndian = 1;
    uint32_t SnInBoot = 0;
    uint8_t SnAdvance = 1;

    // Settings file values without another use
    int32_t spareValue = 0;
    uint8_t spareByte = 0;
    uint8_t englishUi = 1;

    // Link (serial port and discovery)
    std::string portName = "USB";
    uint8_t portNumber = 0;
    PortMap ports{programDir};
    Link link{ports};
    uint8_t programmerKind = 0;
    bool shutdownRequested = false;  // the window is closing: waits end at once
    uint8_t firmwareMajor = 2, firmwareMinor = 0;        // current programmer firmware
    uint8_t maintenanceMajor = 0, maintenanceMinor = 2;  // firmware that gets rewritten

    // The run of the programmer under way, if any, and how the last one ended.
    Run run;
    // Told of every run's outcome as it ends (the command-line front end).
    std::function<void(const Outcome&)> onRunEnded;

    // Programmer maintenance: the decrypted firmware of update.dat.
    std::vector<uint8_t> updateBuffer = std::vector<uint8_t>(kUpdateBufferSize, 0xFF);
    uint32_t updateLength = 0;

    ImageBuffers& buf() { return *buffers; }
    const ImageBuffers& buf() const { return *buffers; }
};

}  // namespace lumacrest
