#include "host/Config.h"

#include <cstdio>
#include <filesystem>
#include <vector>

#include "host/DeviceCommands.h"
#include "image/DeviceCatalogue.h"
#include "image/TextScanner.h"
#include "platform/AtomicFile.h"

namespace lumacrest {

namespace {

void ApplyDefaults(Host& h) {
    h.target.mcuName = "MN101EF32D";
    h.target.DeviceType = 0;
    h.port.name = "USB";
    DeviceParams& d = h.target.dev;
    d.DeviceByte1 = 1;
    d.DeviceByte2 = 16;
    d.DeviceByte3 = 3;
    d.BootAreaEnabled = 1;
    d.AdapterText = "Adapter: ZK9_QFP64_001";
    ApplyPageGeometry(h, 256, 288, 256, 16);
    h.sn.SnValue = 0;
    h.sn.SnAddress = 0;
    h.sn.SnAdvance = 1;
    h.sn.SnInBoot = 0;
    h.sn.SnWidth = 1;
    h.sn.SnLittleEndian = 1;
    h.spareByte = 0;
    h.spareValue = 0;
    h.target.FlashLoadOffset = 0x4000;
    h.target.BootLoadOffset = 0x4000;
    h.view.SetBootOptionAvailable(true);
    h.englishUi = 1;
}

// Reads an integer line; a line that is not a number leaves `target` as it was.
template <typename T>
void ReadInto(TextScanner& in, T& target) {
    if (std::optional<int32_t> v = in.ReadInt()) target = static_cast<T>(*v);
}

// Why a path line of Config.dat cannot carry `path` (read back, it would be another path and
// shift every line after it); nothing when it can.
std::optional<std::string> PathNotHeld(const std::string& path) {
    if (path.find('\n') != std::string::npos) return "it holds a line break";
    if (!path.empty() && path.back() == '\r') return "it ends in a carriage return";
    if (path.size() > kConfigLineMax)
        return "it is longer than " + std::to_string(kConfigLineMax) + " characters";
    return std::nullopt;
}

// The path as a log line can show it: control characters as escapes.
std::string Printable(const std::string& path) {
    std::string out;
    for (unsigned char c : path) {
        if (c == '\n') {
            out += "\\n";
        } else if (c == '\r') {
            out += "\\r";
        } else if (c < 0x20 || c == 0x7F) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\x%02X", c);
            out += escaped;
        } else {
            out += static_cast<char>(c);
        }
    }
    return out;
}

}  // namespace

std::string DefaultConfigText() {
    static const char* const kLines[] = {
        "YES", "MN101EF32D", "USB", "W\\:", "W\\:", "W\\:", "W\\:", "3",     "0",     "1",
        "16",  "64",         "1024", "256", "288", "256",  "16",  "0",     "0",     "0",
        "0",   "0",          "0",    "0",   "0",   "16384", "16384", "3", "1",
        "Adapter:ZK9_QFP64_001(32D)", "0"};
    std::string text;
    for (const char* line : kLines) {
        text += line;
        text += '\n';
    }
    return text;
}

bool OpenConfigFile(TextScanner& in, const std::string& path) {
    return in.Open(path);  // regular files only: a directory of that name cannot be opened
}

bool IsNoPath(const std::string& path) {
    if (path == kNoPathPlaceholder) return true;
    return path.find_first_not_of(' ') == std::string::npos;
}

void ReadConfig(Host& h) {
    TextScanner in;
    if (!OpenConfigFile(in, h.programDir + kConfigFileName)) {
        h.view.Tell("Open Config file failed*** ", MessageKind::Error);
        ApplyDefaults(h);
    } else {
        in.ReadWord(kConfigLineMax);  // first-run marker
        if (auto mcu = in.ReadWord(kConfigLineMax)) h.target.mcuName = *mcu;
        DeviceTypeFromName(h.target, h.target.mcuName);
        h.view.SelectMcu(h.view.McuList().FindPrefix(h.target.mcuName));
        // The path lines follow: only the rest of this line is skipped, so a path line
        // made only of blanks keeps its place.
        if (auto com = in.ReadWordLine(kConfigLineMax)) h.port.name = *com;
        h.view.SelectPort(h.view.PortList().FindPrefix(h.port.name));

        std::string* paths[] = {&h.target.FlashFilePath, &h.target.BootFilePath, &h.target.KeyCodeFilePath,
                                &h.target.ProjectFilePath};
        for (std::string* path : paths) *path = in.ReadLine(kConfigLineMax).value_or("");
        for (std::string* path : paths)
            if (*path == kNoPathPlaceholder) path->clear();

        int32_t mask = 0;
        ReadInto(in, mask);
        h.view.SetOptionBits(h.view.OptionBits() | (static_cast<uint32_t>(mask) & 0x7Fu));

        DeviceParams& d = h.target.dev;
        ReadInto(in, h.spareValue);
        ReadInto(in, d.DeviceByte1);
        ReadInto(in, d.DeviceByte2);
        uint32_t flashPageSize = d.FlashPageSize, flashPageCount = d.FlashPageCount;
        uint32_t bootPageSize = d.BootPageSize, bootPageCount = d.BootPageCount;
        ReadInto(in, flashPageSize);  // first copies, replaced by the next two lines
        ReadInto(in, flashPageCount);
        ReadInto(in, flashPageSize);
        ReadInto(in, flashPageCount);
        ReadInto(in, bootPageSize);
        ReadInto(in, bootPageCount);
        ApplyPageGeometry(h, flashPageSize, flashPageCount, bootPageSize, bootPageCount);
        ReadInto(in, h.sn.SnValue);
        ReadInto(in, h.sn.SnAddress);
        int32_t dropped = 0;
        for (int i = 0; i < 4; ++i) ReadInto(in, dropped);  // SN settings start-up imposes
        h.sn.SnAdvance = 1;
        h.sn.SnInBoot = 0;
        h.sn.SnWidth = 4;
        h.sn.SnLittleEndian = 1;
        ReadInto(in, h.spareByte);
        ReadInto(in, h.view.configer);
        ReadInto(in, h.target.FlashLoadOffset);
        ReadInto(in, h.target.BootLoadOffset);
        ReadInto(in, d.DeviceByte3);
        ReadInto(in, d.BootAreaEnabled);
        ApplyBootAreaEnabled(h);

        // The sector list. The first-run file has no count line: the adapter text stands
        // there, the count reads as nothing and the list stays empty.
        int32_t count = 0;
        ReadInto(in, count);
        std::vector<uint32_t> sectors;
        for (int32_t i = 0; i < count; ++i) {
            std::optional<int32_t> v = in.ReadInt();
            if (!v) break;
            if (sectors.size() < kMaxSectors) sectors.push_back(static_cast<uint32_t>(*v));
        }
        d.SectorSizes = std::move(sectors);
        if (auto adapter = in.ReadWord(kConfigLineMax)) d.AdapterText = *adapter;
        while (in.ReadInt()) {
        }  // the stored language flag
        h.englishUi = 1;
    }
    h.target.FlashPagesToWrite = h.target.dev.FlashPageCount;
    h.view.AppendLogRaw(h.target.dev.AdapterText);
}

std::string BuildConfigText(Host& h) {
    std::string* paths[] = {&h.target.FlashFilePath, &h.target.BootFilePath, &h.target.KeyCodeFilePath,
                            &h.target.ProjectFilePath};
    for (std::string* path : paths)
        if (IsNoPath(*path)) *path = kNoPathPlaceholder;

    const int32_t mask = static_cast<int32_t>(h.view.OptionBits());

    const ChoiceList& mcu = h.view.McuList();
    h.target.mcuName = mcu.selected >= 0 ? mcu.SelectedText() : "MN101EF32D";
    const ChoiceList& com = h.view.PortList();
    h.port.name = com.selected >= 0 ? com.SelectedText() : "USB";

    DeviceParams& d = h.target.dev;
    if (d.AdapterText.empty()) d.AdapterText = "Adapter:VQN_IAP(51A)";

    std::string text;
    auto line = [&text](const std::string& s) {
        text += s;
        text += '\n';
    };
    auto num = [&line](int64_t v) { line(std::to_string(static_cast<int32_t>(v))); };
    line("YES");
    line(h.target.mcuName);
    line(h.port.name);
    // A path the format cannot carry is saved as no path; the path stays in memory.
    static const char* const kPathNames[] = {"flash file", "boot file", "KeyCode file", "project file"};
    for (std::size_t i = 0; i < 4; ++i) {
        if (const std::optional<std::string> why = PathNotHeld(*paths[i])) {
            h.view.AppendLog(std::string("Config.dat does not keep the ") + kPathNames[i] + " path \"" +
                           Printable(*paths[i]) + "\": " + *why);
            line(kNoPathPlaceholder);
        } else {
            line(*paths[i]);
        }
    }
    num(mask);
    num(h.spareValue);
    num(d.DeviceByte1);
    num(d.DeviceByte2);
    num(d.FlashPageSize);
    num(d.FlashPageCount);
    num(d.FlashPageSize);
    num(d.FlashPageCount);
    num(d.BootPageSize);
    num(d.BootPageCount);
    num(h.sn.SnValue);
    num(h.sn.SnAddress);
    num(h.sn.SnAdvance);
    num(h.sn.SnInBoot);
    num(h.sn.SnWidth);
    num(h.sn.SnLittleEndian);
    num(h.spareByte);
    num(h.view.configer);
    num(h.target.FlashLoadOffset);
    num(h.target.BootLoadOffset);
    num(d.DeviceByte3);
    num(d.BootAreaEnabled);
    num(static_cast<int64_t>(d.SectorSizes.size()));
    for (uint32_t size : d.SectorSizes) num(size);
    line(d.AdapterText);
    num(h.englishUi);
    return text;
}

bool WriteConfig(Host& h) {
    std::string text = BuildConfigText(h);
    if (!WriteFileAtomically(h.programDir + kConfigFileName, text)) {
        h.view.Tell("******Open Config file failed******   ", MessageKind::Error);
        return false;
    }
    return true;
}

}  // namespace lumacrest
