#include "ops/Discovery.h"

#include <algorithm>
#include <cstdio>

#include "image/DeviceCatalogue.h"
#include "link/Link.h"
#include "ops/ProgrammerMaintenance.h"
#include "ops/Runs.h"
#include "ui/main/ResourceIds.h"

namespace lumacrest {

namespace {

constexpr uint32_t kIdentifyTimeoutMs = 1000;
constexpr uint32_t kIdentifyReplyLength = 26;
constexpr unsigned kLastScannedPort = 16;

std::string Format(const char* format, int a, int b) {
    char text[64];
    std::snprintf(text, sizeof text, format, a, b);
    return text;
}

}  // namespace

bool ConnectPort(Host& h, uint8_t portNumber) {
    if (OpenPort(h, portNumber)) return true;
    if (h.lastCode == CMD_IDENTIFY) h.ui.AppendLogRaw("Failed");
    h.lastCode = kNoCommand;
    const bool underWay = h.run.UnderWay();
    h.run.EnterStage(Stage::Connect);
    FailLine(h, kCannotFindProgrammer);
    if (underWay)
        End(h, {.giveSerialNumberBack = true});
    else
        End(h, {.controls = ControlsAfter::ComListEnabled});
    return false;
}

void SendIdentify(Host& h) {
    CommandFrame& f = h.commandFrame;
    f.address = kHostAddress;
    f.code = CMD_IDENTIFY;
    f.length = 2;
    SendCommand(h, f, kIdentifyTimeoutMs, kIdentifyReplyLength);
    h.run.FrameSent();
}

void OnSelchangeCom(Host& h) {
    h.ui.WriteSeparator();
    const std::string text = h.ui.Combo(id::ComList).SelectedText();
    h.ui.DisableOperationControls();
    ClosePort(h);
    if (!text.empty() && text[0] == 'C') {
        BeginRun(h, RunKind::Identify, Stage::Connect);
        h.ui.AppendLog("Connect to Programmer . . . . . . ");
        h.portName = text;
        h.portNumber = ComNameToPort(text);
        if (!ConnectPort(h, h.portNumber)) return;
        h.run.EnterStage(Stage::Identify);
        SendIdentify(h);
    } else {
        AutoConnect(h);
    }
}

bool AutoConnect(Host& h) {
    h.ui.AppendLog("Auto Connect to Programmer . . . . . . ");
    h.ui.DisableOperationControls();
    BeginRun(h, RunKind::Scan, Stage::Identify);
    for (unsigned n = 1; n <= kLastScannedPort && !h.shutdownRequested; ++n) {
        h.run.ScanWait(false);
        h.portNumber = static_cast<uint8_t>(n);
        const std::optional<std::string> device = PortDevice(h, n);
        if (!device || !h.serial().Probe(*device)) continue;
        h.portName = "COM" + std::to_string(n);
        ClosePort(h);
        if (!h.serial().Open(*device)) continue;
        h.serial().SetThreshold(1);
        SendIdentify(h);
        h.run.ScanWait(true);
        while (h.run.Kind() == RunKind::Scan && h.run.ScanWaiting() && !h.shutdownRequested)
            h.timers().PumpEvents();
        // The identify reply has ended the scan (or turned it into a firmware rewrite).
        if (h.run.Kind() != RunKind::Scan) return true;
    }
    if (h.shutdownRequested) {
        // The window is closing: end the wait quietly.
        h.run.Fail(Verdict::Abandoned, "the window closed during the scan");
        End(h, {.controls = ControlsAfter::Unchanged});
        return false;
    }
    ClosePort(h);
    h.ui.AppendLogRaw("Failed");
    FailLine(h, kCannotFindProgrammer);
    End(h);
    return false;
}

void OnIdentifyReply(Host& h, const ReplyFrame& reply) {
    const auto& p = reply.payload;
    h.run.ScanWait(false);
    h.ui.AppendLogRaw("OK");
    h.programmerKind = p[12];
    if (h.programmerKind == kLoaderProgrammerKind) {
        h.ui.AppendLog("Find Progrmmer: ZK9_IAP");
        h.ui.AppendLog("IAP Firmware version:  ");
        h.ui.AppendLogRaw(Format("%c.%c", '0' + p[0], '0' + p[1]));
        // The port stays open for the loader transfer.
        End(h, {.port = PortAfter::KeepOpen});
        return;
    }
    if (h.programmerKind == 1) h.ui.AppendLog("Find Progrmmer: ZK9_Pro_");
    if (h.programmerKind == 2) h.ui.AppendLog("Find Progrmmer: ZK9_ISP_");
    // The identity block carries the programmer number in its first two bytes, low first.
    const unsigned number = p[2] | (p[3] << 8);
    std::string digits;
    digits += static_cast<char>('0' + number / 1000);
    digits += static_cast<char>('0' + number / 100 % 10);
    digits += static_cast<char>('0' + number / 10 % 10);
    digits += static_cast<char>('0' + number % 10);
    h.ui.AppendLogRaw(digits);

    const unsigned maxCount = p[13] | (p[14] << 8);
    const unsigned used = p[15] | (p[16] << 8);
    h.ui.AppendLog("Max_Counter:  ");
    h.ui.AppendLogRaw(maxCount == 0 ? std::string("No Limit") : std::to_string(maxCount));
    h.ui.AppendLog("Used_Counter: ");
    h.ui.AppendLogRaw(std::to_string(used));
    h.ui.AppendLogRaw(Format("   V%d.%d", p[0], p[1]));

    if (p[0] == h.firmwareMajor && p[1] == h.firmwareMinor) {
        End(h);
    } else if (p[0] == h.maintenanceMajor && p[1] == h.maintenanceMinor) {
        h.run.Become(RunKind::FirmwareRewrite, Stage::EraseProgrammer);
        StartProgrammerUpdate(h);
    } else {
        FailMessage(h, kPleaseUpdateFirmware, Verdict::Failed, false);
        End(h, {.controls = ControlsAfter::OnlyComList});
    }
}

void OnSelchangeMcu(Host& h) {
    const std::string previousName = h.mcuName;
    const int32_t previousType = h.DeviceType;
    const std::string name = h.ui.Combo(id::McuList).SelectedText();
    h.mcuName = name;
    DeviceTypeFromName(h, name);
    ClosePort(h);
    if (!LoadDeviceParams(h, name)) {
        // Nothing of the new device applies: keep the device that is in force.
        h.mcuName = previousName;
        h.DeviceType = previousType;
        const std::vector<std::string>& items = h.ui.Combo(id::McuList).items;
        const auto it = std::find(items.begin(), items.end(), previousName);
        h.ui.Select(id::McuList, it != items.end()
                                     ? static_cast<int>(it - items.begin())
                                     : h.ui.Combo(id::McuList).FindPrefix(previousName));
    }
}

void RegisterLinkCommands(Host& h, CommandRouter& router) {
    router.Add(id::ComList, [&h] { OnSelchangeCom(h); });
    router.Add(id::McuList, [&h] { OnSelchangeMcu(h); });
}

}  // namespace lumacrest
