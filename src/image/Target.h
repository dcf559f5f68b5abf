// The chip being programmed as the host holds it: the device chosen and its geometry, the
// image buffers, and what is known of the files the images came from.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "image/AddressRange.h"
#include "image/DeviceParams.h"
#include "image/ImageBuffers.h"

namespace lumacrest {

// What the last load of an image placed (merged target address ranges) and left out.
struct LoadAccount {
    std::vector<AddressRange> placed;
    uint64_t leftOutBytes = 0;
};

struct Target {
    // The device
    std::string mcuName = "MN101EF32D";
    int32_t DeviceType = 0;
    DeviceParams dev;

    // The images and how much of them is written and verified
    std::unique_ptr<ImageBuffers> buffers = std::make_unique<ImageBuffers>();
    uint32_t FlashPagesToWrite = 0;
    uint32_t BootPagesToWrite = 0;

    // Where they came from
    uint32_t FlashLoadOffset = 0x4000;
    uint32_t BootLoadOffset = 0x4000;
    std::string FlashFilePath;
    std::string BootFilePath;
    std::string KeyCodeFilePath;
    std::string ProjectFilePath;
    LoadAccount flashLoad;
    LoadAccount bootLoad;

    // What filled the buffers since the start: a load of any kind (a file, a project, a
    // read-back, a decryption, Ex-to-Hex) or the editor's OK; and whether the editor changed
    // a buffer after it was loaded.
    struct Loads {
        bool flash = false;
        bool boot = false;
        bool flashEdited = false;
        bool bootEdited = false;
    } loaded;
    void FlashLoaded() { loaded.flash = true, loaded.flashEdited = false; }
    void BootLoaded() { loaded.boot = true, loaded.bootEdited = false; }

    // The last buffer checksum shown
    uint32_t BufferChecksum = 0;

    ImageBuffers& buf() { return *buffers; }
    const ImageBuffers& buf() const { return *buffers; }
};

}  // namespace lumacrest
