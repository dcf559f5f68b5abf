#include "ops/StoredSettings.h"

#include <algorithm>
#include <optional>
#include <string>

#include "image/DeviceCatalogue.h"
#include "link/Frames.h"
#include "link/CommandTable.h"
#include "ops/Codec.h"
#include "ops/Runs.h"

namespace lumacrest {

namespace {

constexpr int32_t kLastDeviceType = kDeviceCount - 1;

// The frame with the most besides a flash page: the DataFlash block (block number, page, CRC,
// blank flag).
uint32_t LargestFramedPage() {
    return LargestPage(CMD_DATAFLASH_FLASH_BLOCK);
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
    const StoredSettingsReport r = DecodeStoredSettingsReport(reply);
    const int32_t type = r.deviceType;
    const uint32_t pageSize = r.flashPageSize;
    const uint32_t pageCount = r.flashPageCount;
    const bool sound = r.crcOk && type <= kLastDeviceType;
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
    if (!refused && pageSize > LargestFramedPage())
        refused = "the flash page size " + std::to_string(pageSize) + " does not fit a frame (at most " +
                  std::to_string(LargestFramedPage()) + ")";
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
    options.programKeyCode = r.programKeyCode;
    options.eraseChip = r.eraseChip;
    options.programFlash = r.programFlash;
    options.enableProtect = r.enableProtect;
    options.programSn = r.programSn;
    ops.view.ShowOptions(options);
    End(ops, Conclusion::Pass(),
        {.controls = fromConnect ? std::optional(ControlState::Idle) : std::nullopt,
         .port = PortAfter::KeepOpen});
}

}  // namespace lumacrest
