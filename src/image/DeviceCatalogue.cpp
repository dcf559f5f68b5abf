#include "image/DeviceCatalogue.h"

#include <algorithm>
#include <vector>

#include "image/ImageBuffers.h"
#include "image/TextScanner.h"
#include "ui/main/ResourceIds.h"

namespace lumacrest {

const std::array<const char*, kDeviceCount> kDeviceCatalogue = {
    "MN101EF32D", "MN101EF31D", "MN101EF31G", "MN101EF29G", "MN101EF51A", "MN101EF52A",
    "MN101EF57G", "MN101EF57D", "MN101EF50D", "MN101AF68G", "MN101AFA5F", "MN101AFA5G",
    "MN103AFR3G", "MN101AF68D", "MN101AF68F", "MN101EFC3D", "MN101EFC3G", "MN101EFD3D",
    "MN101EFD3G", "MN90F24XW",  "MN90F25XA"};

int32_t DeviceIndexOfName(const std::string& name) {
    for (int32_t i = 0; i < kDeviceCount; ++i)
        if (name == kDeviceCatalogue[static_cast<std::size_t>(i)]) return i;
    return 0;
}

std::string DeviceNameOfIndex(int32_t type) {
    if (type < 0 || type >= kDeviceCount) return {};
    return kDeviceCatalogue[static_cast<std::size_t>(type)];
}

void DeviceTypeFromName(Host& h, const std::string& name) {
    h.target.DeviceType = DeviceIndexOfName(name);
}

void DeviceNameFromType(Host& h, int32_t type) { h.target.mcuName = DeviceNameOfIndex(type); }

namespace {
constexpr uint32_t kMaxPageCount = 65535;  // block numbers travel as 16 bits
constexpr const char* kOpenFailed = "******Open Config file failed******   ";
constexpr std::size_t kDeviceLineMax = 255;
}  // namespace

std::optional<std::string> CheckPageGeometry(uint32_t flashPageSize, uint32_t flashPageCount,
                                             uint32_t bootPageSize, uint32_t bootPageCount) {
    if (flashPageSize == 0) return "the flash page size is 0";
    if (bootPageSize == 0) return "the boot page size is 0";
    if (flashPageCount > kMaxPageCount)
        return "the flash page count " + std::to_string(flashPageCount) + " is above 65535";
    if (bootPageCount > kMaxPageCount)
        return "the boot page count " + std::to_string(bootPageCount) + " is above 65535";
    uint64_t flashSize = uint64_t{flashPageSize} * flashPageCount;
    uint64_t bootSize = uint64_t{bootPageSize} * bootPageCount;
    if (flashSize > kFlashBufferSize)
        return "the flash size " + std::to_string(flashSize) + " is above " +
               std::to_string(kFlashBufferSize);
    if (bootSize > kBootBufferSize)
        return "the boot size " + std::to_string(bootSize) + " is above " +
               std::to_string(kBootBufferSize);
    return std::nullopt;
}

bool SetPageGeometry(Host& h, uint32_t flashPageSize, uint32_t flashPageCount,
                     uint32_t bootPageSize, uint32_t bootPageCount) {
    if (auto why = CheckPageGeometry(flashPageSize, flashPageCount, bootPageSize, bootPageCount)) {
        h.prompts().MessageBox("******Page setting refused: " + *why + "******   ",
                               MsgIcon::Error);
        return false;
    }
    DeviceParams& d = h.target.dev;
    d.FlashPageSize = flashPageSize;
    d.FlashPageCount = flashPageCount;
    d.BootPageSize = bootPageSize;
    d.BootPageCount = bootPageCount;
    d.FlashSize = flashPageSize * flashPageCount;
    d.BootSize = bootPageSize * bootPageCount;
    h.target.FlashPagesToWrite = std::min(h.target.FlashPagesToWrite, d.FlashPageCount);
    h.target.BootPagesToWrite = std::min(h.target.BootPagesToWrite, d.BootPageCount);
    return true;
}

void ApplyBootAreaEnabled(Host& h) {
    if (h.target.dev.BootAreaEnabled != 0) {
        h.ui.SetEnabled(id::ProgramBoot, true);
    } else {
        h.ui.SetEnabled(id::ProgramBoot, false);
        h.ui.SetCheck(id::ProgramBoot, 0);
    }
}

bool LoadDeviceParams(Host& h, const std::string& name) {
    TextScanner in;
    const std::string path = h.programDir + name + ".cfg";
    if (!in.Open(path)) {
        h.prompts().MessageBox(kOpenFailed, MsgIcon::Error);
        return false;
    }
    in.ReadLine(kDeviceLineMax);  // description line, not used

    int32_t v[11];
    for (int32_t& value : v) {
        std::optional<int32_t> read = in.ReadInt();
        if (!read) {
            h.prompts().MessageBox("******Device file " + name + ".cfg is incomplete******   ",
                                   MsgIcon::Error);
            return false;
        }
        value = *read;
    }
    const int32_t count = v[10];
    if (count < 0 || static_cast<std::size_t>(count) > kMaxSectors) {
        h.prompts().MessageBox("******Device file " + name + ".cfg lists " +
                                   std::to_string(count) + " sectors, at most 19 are allowed******   ",
                               MsgIcon::Error);
        return false;
    }
    std::vector<uint32_t> sectors;
    for (int32_t i = 0; i < count; ++i) {
        std::optional<int32_t> read = in.ReadInt();
        if (!read) {
            h.prompts().MessageBox("******Device file " + name + ".cfg is incomplete******   ",
                                   MsgIcon::Error);
            return false;
        }
        sectors.push_back(static_cast<uint32_t>(*read));
    }
    std::string adapter = in.ReadLine(kDeviceLineMax).value_or("");

    // Values 3 and 4 of the file are not used.
    if (!SetPageGeometry(h, static_cast<uint32_t>(v[4]), static_cast<uint32_t>(v[5]),
                         static_cast<uint32_t>(v[6]), static_cast<uint32_t>(v[7])))
        return false;
    DeviceParams& d = h.target.dev;
    d.DeviceByte1 = static_cast<uint8_t>(v[0]);
    d.DeviceByte2 = static_cast<uint8_t>(v[1]);
    d.DeviceByte3 = static_cast<uint8_t>(v[8]);
    d.BootAreaEnabled = static_cast<uint8_t>(v[9]);
    d.SectorSizes = std::move(sectors);
    d.AdapterText = adapter;
    ApplyBootAreaEnabled(h);
    h.ui.AppendLog(d.AdapterText);
    return true;
}

void ClearReservedFlashWindow(Host& h) {
    switch (h.target.DeviceType) {
        case 15:
        case 17:
        case 19:
        case 20: {
            auto& flash = h.target.buf().flash;
            std::fill(flash.begin() + 0x10000, flash.begin() + 0x10000 + 0xD000, uint8_t{0xFF});
            break;
        }
        default:
            break;
    }
}

}  // namespace lumacrest
