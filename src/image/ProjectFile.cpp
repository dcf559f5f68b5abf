#include "image/ProjectFile.h"

#include <algorithm>
#include <filesystem>
#include <span>

#include "app/Config.h"
#include "image/Checksums.h"
#include "image/DeviceCatalogue.h"
#include "image/HexReader.h"
#include "image/HexWriter.h"
#include "image/TextScanner.h"
#include "platform/AtomicFile.h"
#include "ui/main/ResourceIds.h"

namespace lumacrest {

namespace {

constexpr int kOptionBoxes[] = {id::EraseChip,      id::ProgramFlash,  id::ProgramBoot,
                                id::ProgramKeyCode, id::EnableProtect, id::ProgramSn};
constexpr std::size_t kNameMax = 255;
constexpr std::size_t kAdapterMax = 255;

void Line(std::string& out, const std::string& text) {
    out += text;
    out += '\n';
}

void Number(std::string& out, int64_t value) {
    Line(out, std::to_string(static_cast<int32_t>(value)));
}

// Reads one header number; a value that cannot be read leaves `target` as it was.
template <typename T>
void ReadInto(TextScanner& in, T& target) {
    if (std::optional<int32_t> v = in.ReadInt()) target = static_cast<T>(*v);
}

// One buffer section: erased, then read up to its end record; a record that ends beyond
// `limit` ends the storing but the section is still read to its end record.
void ReadSection(TextScanner& in, std::span<uint8_t> buffer, uint32_t limit) {
    std::fill(buffer.begin(), buffer.end(), uint8_t{0xFF});
    ReadHexImage(in, buffer, {0, limit, HexImageRules::AtLimit::SkipToEnd});
}

}  // namespace

std::optional<std::string> BuildProjectText(Host& h, std::string* why) {
    for (std::string* path : {&h.FlashFilePath, &h.BootFilePath, &h.KeyCodeFilePath})
        if (IsNoPath(*path)) *path = kNoPathPlaceholder;

    int32_t options = 0;
    for (int bit = 0; bit < 6; ++bit)
        if (h.ui.Check(kOptionBoxes[bit]) == 1) options |= 1 << bit;
    const ComboModel& mcu = h.ui.Combo(id::McuList);
    h.mcuName = mcu.selected >= 0 ? mcu.SelectedText() : "ATMEGA48";
    const ComboModel& com = h.ui.Combo(id::ComList);
    h.portName = com.selected >= 0 ? com.SelectedText() : "USB";

    const DeviceParams& d = h.dev;
    const int64_t flashLength = int64_t{d.FlashPageCount} * d.FlashPageSize;
    const int64_t bootLength = int64_t{d.BootPageCount} * d.BootPageSize;
    std::optional<std::string> refused = CheckRecordLength("the flash section", flashLength, true);
    if (!refused) refused = CheckRecordLength("the boot section", bootLength, true);
    if (!refused && (flashLength > static_cast<int64_t>(h.buf().flash.size()) ||
                     bootLength > static_cast<int64_t>(h.buf().boot.size())))
        refused = "the page setting is larger than the buffers";
    if (refused) {
        if (why) *why = *refused;
        return std::nullopt;
    }

    std::string out;
    out.reserve(static_cast<std::size_t>(flashLength + bootLength) * 3 + 1024);
    Line(out, "YES");
    Line(out, h.mcuName);
    Line(out, h.portName);
    for (int i = 0; i < 3; ++i) Line(out, kNoPathPlaceholder);
    Number(out, options);
    Number(out, h.SnAddress);
    Number(out, h.SnValue);
    Number(out, h.SnAdvance);
    Number(out, h.SnInBoot);
    Number(out, h.SnWidth);
    Number(out, h.SnLittleEndian);
    Number(out, d.FlashPageSize);
    Number(out, d.FlashPageCount);
    Number(out, d.BootPageSize);
    Number(out, d.BootPageCount);
    Number(out, d.DeviceByte3);
    Number(out, d.BootAreaEnabled);
    Number(out, h.englishUi);
    Line(out, d.AdapterText);
    WriteHexSection(
        out, std::span<const uint8_t>(h.buf().flash.data(), static_cast<std::size_t>(flashLength)));
    WriteHexSection(
        out, std::span<const uint8_t>(h.buf().boot.data(), static_cast<std::size_t>(bootLength)));
    WriteHexSection(out, std::span<const uint8_t>(h.buf().keyCode.data(), kKeyCodeLength));
    return out;
}

void SaveProject(Host& h) {
    std::string why;
    std::optional<std::string> text = BuildProjectText(h, &why);
    std::optional<std::string> path = h.prompts().SaveFile(kProjectFilter);
    if (!path) return;
    h.ui.AppendLog("Save Project File......");
    FinishSave(h, *path, ".Prjt", text, "Project File refused", why);
}

bool LoadProjectFile(Host& h, const std::string& path) {
    TextScanner in;
    std::error_code ec;
    if (std::filesystem::is_directory(path, ec) || !in.Open(path)) {
        h.prompts().MessageBox("******Open Pro File Failed******   ", MsgIcon::Error);
        h.ui.AppendLogRaw("Failed");
        return false;
    }
    h.ui.AppendLogRaw("OK");

    // Names: the MCU list and the COM list select the first entry that begins with them.
    in.ReadWord(kNameMax);  // "YES"
    const std::string mcu = in.ReadWord(kNameMax).value_or("");
    DeviceTypeFromName(h, mcu);
    h.ui.Select(id::McuList, h.ui.Combo(id::McuList).FindPrefix(mcu));
    DeviceNameFromType(h, h.DeviceType);
    if (std::optional<std::string> port = in.ReadWordLine(kNameMax))
        h.ui.Select(id::ComList, h.ui.Combo(id::ComList).FindPrefix(*port));
    for (int i = 0; i < 3; ++i) in.SkipLine();

    // The numbers. A value that cannot be read keeps the one before.
    std::optional<int32_t> options = in.ReadInt();
    if (options) {
        for (int bit = 0; bit < 6; ++bit) h.ui.SetCheck(kOptionBoxes[bit], (*options >> bit) & 1);
    }
    ReadInto(in, h.SnAddress);
    ReadInto(in, h.SnValue);
    in.ReadInt();  // the advance of the run that saved the file
    h.SnAdvance = 1;
    ReadInto(in, h.SnInBoot);
    uint32_t width = h.SnWidth;
    ReadInto(in, width);
    if (width >= 1 && width <= 4) h.SnWidth = width;  // the SN step writes 1 to 4 bytes
    ReadInto(in, h.SnLittleEndian);
    DeviceParams& d = h.dev;
    uint32_t flashPageSize = d.FlashPageSize, flashPageCount = d.FlashPageCount;
    uint32_t bootPageSize = d.BootPageSize, bootPageCount = d.BootPageCount;
    ReadInto(in, flashPageSize);
    ReadInto(in, flashPageCount);
    ReadInto(in, bootPageSize);
    ReadInto(in, bootPageCount);
    ReadInto(in, d.DeviceByte3);
    ReadInto(in, d.BootAreaEnabled);
    in.ReadInt();  // the message language
    h.englishUi = 1;

    const bool geometryOk =
        SetPageGeometry(h, flashPageSize, flashPageCount, bootPageSize, bootPageCount);
    ApplyBootAreaEnabled(h);
    d.AdapterText = in.ReadLine(kAdapterMax).value_or("");
    h.ui.AppendLog("Device  : " + h.mcuName);
    h.ui.AppendLog(d.AdapterText);
    if (!geometryOk) {
        // The sections were written for a geometry the buffers cannot hold: the images
        // stay as they are.
        h.ui.AppendLog("Open Project File......Failed");
        return false;
    }

    ReadSection(in, h.buf().flash, d.FlashSize);
    h.FlashPagesToWrite = d.FlashPageCount;
    ReadSection(in, h.buf().boot, d.BootSize);
    h.BootPagesToWrite = d.BootPageCount;
    ShowChecksums(h);
    ReadSection(in, h.buf().keyCode, kKeyCodeLength);
    in.Close();

    h.FlashFilePath.clear();
    h.BootFilePath.clear();
    h.KeyCodeFilePath.clear();
    return true;
}

void LoadProject(Host& h) {
    h.ui.WriteSeparator();
    std::optional<std::string> path = h.prompts().OpenFile(kProjectFilter);
    if (!path) return;
    h.ProjectFilePath = *path;
    std::string line = "Open Project File \"";
    line += *path;
    line += "\" . . . . . . ";
    h.ui.AppendLog(line);
    LoadProjectFile(h, *path);
}

void RegisterProjectCommands(Host& h, CommandRouter& router) {
    router.Add(id::SaveProject, [&h] { SaveProject(h); });
    router.Add(id::LoadProject, [&h] { LoadProject(h); });
}

}  // namespace lumacrest
