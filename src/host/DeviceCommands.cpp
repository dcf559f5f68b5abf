#include "host/DeviceCommands.h"

#include "image/DeviceCatalogue.h"

namespace lumacrest {

namespace {
constexpr const char* kOpenFailed = "******Open Config file failed******   ";
}  // namespace

bool ApplyPageGeometry(Host& h, uint32_t flashPageSize, uint32_t flashPageCount,
                       uint32_t bootPageSize, uint32_t bootPageCount) {
    std::string why;
    if (SetPageGeometry(h.target, flashPageSize, flashPageCount, bootPageSize, bootPageCount,
                        &why))
        return true;
    h.view.Tell("******Page setting refused: " + why + "******   ", MessageKind::Error);
    return false;
}

bool LoadDeviceParams(Host& h, const std::string& name) {
    const DeviceFileRead read = ReadDeviceFile(h.programDir, name);
    if (!read.opened) {
        h.view.Tell(kOpenFailed, MessageKind::Error);
        return false;
    }
    if (!read.file) {
        h.view.Tell("******" + read.why + "******   ", MessageKind::Error);
        return false;
    }
    std::string why;
    if (!ApplyDeviceFile(h.target, *read.file, &why)) {
        h.view.Tell("******Page setting refused: " + why + "******   ", MessageKind::Error);
        return false;
    }
    ApplyBootAreaEnabled(h);
    h.view.AppendLog(h.target.dev.AdapterText);
    // Any sector lengths within the limits are taken; sectors that do not tile the flash are
    // worth a word, as the sums the programmer asks for after a loader transfer follow them.
    const DeviceParams& d = h.target.dev;
    uint64_t sum = 0;
    for (uint32_t sector : d.SectorSizes) sum += sector;
    if (!d.SectorSizes.empty() && sum != d.FlashSize)
        h.view.AppendLog("Warning: the " + std::to_string(d.SectorSizes.size()) + " sectors of " + name +
                       " add up to " + std::to_string(sum) + " bytes, the flash has " +
                       std::to_string(d.FlashSize));
    return true;
}

void ApplyBootAreaEnabled(Host& h) {
    h.view.SetBootOptionAvailable(h.target.dev.BootAreaEnabled != 0);
}

bool OnSelchangeMcu(Host& h) {
    const std::string previousName = h.target.mcuName;
    const int32_t previousType = h.target.DeviceType;
    const std::string name = h.view.SelectedMcu();
    h.target.mcuName = name;
    DeviceTypeFromName(h.target, name);
    h.link.Close();
    if (!LoadDeviceParams(h, name)) {
        // Nothing of the new device applies: keep the device that is in force.
        h.target.mcuName = previousName;
        h.target.DeviceType = previousType;
        h.view.ShowMcu(previousName);
        return false;
    }
    return true;
}

}  // namespace lumacrest
