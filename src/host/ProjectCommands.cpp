#include "host/ProjectCommands.h"

#include <algorithm>

#include "host/Config.h"
#include "host/DeviceCommands.h"
#include "host/ImageFileCommands.h"
#include "host/SaveCommands.h"
#include "image/DeviceCatalogue.h"
#include "image/ProjectFile.h"

namespace lumacrest {

namespace {

constexpr const char* kOpenProjectFailed = "******Open Pro File Failed******   ";

}  // namespace

std::optional<std::string> BuildProjectText(Host& h, std::string* why) {
    for (std::string* path :
         {&h.target.FlashFilePath, &h.target.BootFilePath, &h.target.KeyCodeFilePath})
        if (IsNoPath(*path)) *path = kNoPathPlaceholder;
    const int32_t options = static_cast<int32_t>(h.view.OptionBits() & 0x3Fu);
    const ChoiceList& mcu = h.view.McuList();
    h.target.mcuName = mcu.selected >= 0 ? mcu.SelectedText() : "ATMEGA48";
    const ChoiceList& com = h.view.PortList();
    h.port.name = com.selected >= 0 ? com.SelectedText() : "USB";
    return FormatProject({h.target.mcuName, h.port.name, kNoPathPlaceholder}, options, h.sn,
                         h.target, h.englishUi, why);
}

bool SaveProject(Host& h, const std::string& path) {
    std::string why;
    std::optional<std::string> text = BuildProjectText(h, &why);
    h.view.AppendLog("Save Project File......");
    return FinishSave(h, path, ".Prjt", text, "Project File refused", why);
}

bool LoadProjectFile(Host& h, const std::string& path) {
    // The whole file is read and checked first; a file that is not acceptable as a whole
    // changes nothing.
    Project p;
    if (std::optional<ReadError> refusal = ReadProjectFile(path, p)) {
        ReportLoadFailure(h, kOpenProjectFailed, *refusal);
        return false;
    }
    h.view.AppendLogRaw("OK");

    // Names: the MCU list and the COM list select the first entry that begins with them.
    DeviceTypeFromName(h.target, p.mcu);
    h.view.SelectMcu(h.view.McuList().FindPrefix(p.mcu));
    DeviceNameFromType(h.target, h.target.DeviceType);
    h.view.SelectPort(h.view.PortList().FindPrefix(p.port));

    h.view.SetOptionBits((static_cast<uint32_t>(p.options) & 0x3Fu) | (h.view.counter ? 0x40u : 0u));
    h.sn.SnAddress = p.snAddress;
    h.sn.SnValue = p.snValue;
    h.sn.SnAdvance = 1;
    h.sn.SnInBoot = p.snInBoot;
    h.sn.SnWidth = p.snWidth;
    h.sn.SnLittleEndian = p.snLittleEndian;
    DeviceParams& d = h.target.dev;
    SetPageGeometry(h.target, p.flashPageSize, p.flashPageCount, p.bootPageSize, p.bootPageCount);
    d.DeviceByte3 = p.deviceByte3;
    d.BootAreaEnabled = p.bootAreaEnabled;
    h.englishUi = 1;
    ApplyBootAreaEnabled(h);
    d.AdapterText = p.adapter;
    h.view.AppendLog("Device  : " + h.target.mcuName);
    h.view.AppendLog(d.AdapterText);

    std::copy(p.flash.begin(), p.flash.end(), h.target.buf().flash.begin());
    h.target.FlashPagesToWrite = d.FlashPageCount;
    std::copy(p.boot.begin(), p.boot.end(), h.target.buf().boot.begin());
    h.target.FlashLoaded();
    h.target.BootLoaded();
    h.target.BootPagesToWrite = d.BootPageCount;
    ShowChecksums(h.view, h.target);
    ReportLoad(h, ImageTarget::Flash, {p.flashPlaced, ImageFormat::IntelHex, std::nullopt}, h.target.FlashPagesToWrite);
    ReportLoad(h, ImageTarget::Boot, {p.bootPlaced, ImageFormat::IntelHex, std::nullopt}, h.target.BootPagesToWrite);
    std::copy(p.keyCode.begin(), p.keyCode.end(), h.target.buf().keyCode.begin());

    h.target.FlashFilePath.clear();
    h.target.BootFilePath.clear();
    h.target.KeyCodeFilePath.clear();
    return true;
}

bool LoadProject(Host& h, const std::string& path) {
    h.target.ProjectFilePath = path;
    std::string line = "Open Project File \"";
    line += path;
    line += "\" . . . . . . ";
    h.view.AppendLog(line);
    return LoadProjectFile(h, path);
}

}  // namespace lumacrest
