#include "image/DeviceCatalogue.h"

#include <algorithm>
#include <vector>

#include "image/ImageBuffers.h"
#include "image/TextScanner.h"

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

void DeviceTypeFromName(Target& target, const std::string& name) {
    target.DeviceType = DeviceIndexOfName(name);
}

void DeviceNameFromType(Target& target, int32_t type) { target.mcuName = DeviceNameOfIndex(type); }

namespace {
constexpr uint32_t kMaxPageCount = 65535;  // block numbers travel as 16 bits
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

bool SetPageGeometry(Target& target, uint32_t flashPageSize, uint32_t flashPageCount,
                     uint32_t bootPageSize, uint32_t bootPageCount, std::string* why) {
    if (auto refused = CheckPageGeometry(flashPageSize, flashPageCount, bootPageSize, bootPageCount)) {
        if (why) *why = *refused;
        return false;
    }
    DeviceParams& d = target.dev;
    d.FlashPageSize = flashPageSize;
    d.FlashPageCount = flashPageCount;
    d.BootPageSize = bootPageSize;
    d.BootPageCount = bootPageCount;
    d.FlashSize = flashPageSize * flashPageCount;
    d.BootSize = bootPageSize * bootPageCount;
    target.FlashPagesToWrite = std::min(target.FlashPagesToWrite, d.FlashPageCount);
    target.BootPagesToWrite = std::min(target.BootPagesToWrite, d.BootPageCount);
    return true;
}

DeviceFileRead ReadDeviceFile(const std::string& programDir, const std::string& name) {
    DeviceFileRead read;
    TextScanner in;
    if (!in.Open(programDir + name + ".cfg")) return read;
    read.opened = true;
    const std::string incomplete = "Device file " + name + ".cfg is incomplete";
    in.ReadLine(kDeviceLineMax);  // description line, not used

    int32_t v[11];
    for (int32_t& value : v) {
        std::optional<int32_t> number = in.ReadInt();
        if (!number) {
            read.why = incomplete;
            return read;
        }
        value = *number;
    }
    const int32_t count = v[10];
    if (count < 0 || static_cast<std::size_t>(count) > kMaxSectors) {
        read.why = "Device file " + name + ".cfg lists " + std::to_string(count) +
                   " sectors, at most 19 are allowed";
        return read;
    }
    DeviceFile file;
    for (int32_t i = 0; i < count; ++i) {
        std::optional<int32_t> number = in.ReadInt();
        if (!number) {
            read.why = incomplete;
            return read;
        }
        file.SectorSizes.push_back(static_cast<uint32_t>(*number));
    }
    file.AdapterText = in.ReadLine(kDeviceLineMax).value_or("");
    // Values 3 and 4 of the file are not used.
    file.DeviceByte1 = static_cast<uint8_t>(v[0]);
    file.DeviceByte2 = static_cast<uint8_t>(v[1]);
    file.flashPageSize = static_cast<uint32_t>(v[4]);
    file.flashPageCount = static_cast<uint32_t>(v[5]);
    file.bootPageSize = static_cast<uint32_t>(v[6]);
    file.bootPageCount = static_cast<uint32_t>(v[7]);
    file.DeviceByte3 = static_cast<uint8_t>(v[8]);
    file.BootAreaEnabled = static_cast<uint8_t>(v[9]);
    read.file = std::move(file);
    return read;
}

bool ApplyDeviceFile(Target& target, const DeviceFile& file, std::string* why) {
    if (!SetPageGeometry(target, file.flashPageSize, file.flashPageCount, file.bootPageSize,
                         file.bootPageCount, why))
        return false;
    DeviceParams& d = target.dev;
    d.DeviceByte1 = file.DeviceByte1;
    d.DeviceByte2 = file.DeviceByte2;
    d.DeviceByte3 = file.DeviceByte3;
    d.BootAreaEnabled = file.BootAreaEnabled;
    d.SectorSizes = file.SectorSizes;
    d.AdapterText = file.AdapterText;
    return true;
}

void ClearReservedFlashWindow(Target& target) {
    switch (target.DeviceType) {
        case 15:
        case 17:
        case 19:
        case 20: {
            auto& flash = target.buf().flash;
            std::fill(flash.begin() + 0x10000, flash.begin() + 0x10000 + 0xD000, uint8_t{0xFF});
            break;
        }
        default:
            break;
    }
}

}  // namespace lumacrest
