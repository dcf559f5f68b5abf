#include "ops/StoredSettings.h"

#include <algorithm>
#include <optional>
#include <string>

#include "image/DeviceCatalogue.h"
#include "link/Frames.h"
#include "image/Crc16.h"
#include "ops/Runs.h"

namespace lumacrest {

namespace {

constexpr std::size_t kSettingsCrcOffset = 63;
constexpr int32_t kLastDeviceType = kDeviceCount - 1;
// The frame with the most besides a flash page: the DataFlash block (block number, page, CRC,
// blank flag).
constexpr uint32_t kLargestFramedPage = kPayloadCapacity - 5;

uint16_t Be16(const ReplyFrame& r, std::size_t at) {
    return static_cast<uint16_t>(r.payload[at] << 8 | r.payload[at + 1]);
}
}  // namespace

void OnStoredSettingsReport(Ops& ops, const ReplyFrame& reply) {
    // In place of the identify reply the connect under way becomes the report; it then leaves
    // the controls at rest as the connect would have.
    const bool fromConnect = ops.run.Active();
    if (fromConnect)
        ops.run.Become(RunKind::SettingsReport, Stage::Settings);
    else
        BeginRun(ops, RunKind::SettingsReport, Stage::Settings);
    const uint8_t* p = reply.payload.data();
    bool sound = reply.length >= kSettingsReportLength &&
                 Crc16(p, kSettingsCrcOffset) == Be16(reply, kSettingsCrcOffset);
    const int32_t type = Be16(reply, 4);
    const uint32_t pageSize = Be16(reply, 6);
    const uint32_t pageCount = Be16(reply, 8);
    sound = sound && type <= kLastDeviceType;
    if (!sound) {
        ops.view.AppendLogRaw("Failed");
        End(ops, Conclusion::Fail(Verdict::Failed, "the stored-settings report was refused"),
            {.port = PortAfter::KeepOpen});
        return;
    }
    // Pages the buffers cannot hold, or that no frame carries, would only be refused by every
    // operation later: the report is refused now, with the reason.
    std::optional<std::string> refused =
        CheckPageGeometry(pageSize, pageCount, ops.target.dev.BootPageSize, ops.target.dev.BootPageCount);
    if (!refused && pageSize > kLargestFramedPage)
        refused = "the flash page size " + std::to_string(pageSize) + " does not fit a frame (at most " +
                  std::to_string(kLargestFramedPage) + ")";
    if (refused) {
        ops.view.AppendLogRaw("Failed");
        const std::string line = "Stored settings refused: " + *refused;
        ops.view.AppendLog(line);
        End(ops, Conclusion::Fail(Verdict::Failed, line), {.port = PortAfter::KeepOpen});
        return;
    }
    ops.target.DeviceType = type;
    DeviceNameFromType(ops.target, type);
    ops.view.ShowMcu(ops.target.mcuName);
    SetPageGeometry(ops.target, pageSize, pageCount, ops.target.dev.BootPageSize, ops.target.dev.BootPageCount);
    ProgramOptions options = ops.view.Options();  // the report has no boot option
    options.programKeyCode = p[17] != 0;
    options.eraseChip = p[18] != 0;
    options.programFlash = p[19] != 0;
    options.enableProtect = p[20] != 0;
    options.programSn = p[22] != 0;
    ops.view.ShowOptions(options);
    End(ops, Conclusion::Pass(),
        {.controls = fromConnect ? std::optional(ControlState::Idle) : std::nullopt,
         .port = PortAfter::KeepOpen});
}

}  // namespace lumacrest
