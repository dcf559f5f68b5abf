#include "ops/Discovery.h"

#include <algorithm>
#include <cstdio>
#include <vector>

#include "link/Link.h"
#include "ops/FirmwareRewrite.h"
#include "ops/Programmers.h"
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

std::string PortName(unsigned portNumber) {
    return "COM" + std::to_string(portNumber);
}

// Logs each problem on a line of its own and shows them in one message; the run fails with
// the first.
void ReportPortProblems(Host& h, const std::vector<std::string>& problems) {
    if (problems.empty()) return;
    std::string message;
    for (const std::string& problem : problems) {
        h.view().AppendLog(problem);
        message += (message.empty() ? "" : "\n") + problem;
    }
    h.run.Fail(Verdict::Failed, problems.front());
    h.prompts().MessageBox("******" + message + "******", MsgIcon::Error);
}

}  // namespace

std::optional<std::string> PortProblem(const Host& h, unsigned portNumber,
                                       const PortStatus& status) {
    const std::string device = h.ports.Device(portNumber).value_or("?");
    switch (status.error) {
        case PortError::Held:
            return PortName(portNumber) + " (" + device + ") is held by another program" +
                   (status.detail.empty() ? std::string() : ": " + status.detail);
        case PortError::PermissionDenied:
            return "permission denied on " + device + ": add your user to the dialout group";
        default:
            return std::nullopt;
    }
}

bool ConnectPort(Host& h, uint8_t portNumber) {
    const PortStatus status = h.link.Open(portNumber);
    if (status.Ok()) return true;
    if (h.link.LastCode() == CMD_IDENTIFY) h.view().AppendLogRaw("Failed");
    h.link.ForgetLastCode();
    const bool underWay = h.run.UnderWay();
    h.run.EnterStage(Stage::Connect);
    h.view().AppendLog(kCannotFindProgrammer);
    if (auto problem = PortProblem(h, portNumber, status)) ReportPortProblems(h, {*problem});
    h.run.Fail(Verdict::Failed, kCannotFindProgrammer);
    if (underWay)
        End(h, {.giveSerialNumberBack = true});
    else
        End(h, {.controls = ControlState::ComListEnabled});
    return false;
}

void SendIdentify(Host& h) {
    h.run.FrameSent();
    h.link.Send(CMD_IDENTIFY, 2, kIdentifyTimeoutMs, kIdentifyReplyLength);
}

void OnSelchangeCom(Host& h, const std::string& text) {
    h.view().WriteSeparator();
    h.view().SetControls(ControlState::Busy);
    h.link.Close();
    if (!text.empty() && text[0] == 'C') {
        BeginRun(h, RunKind::Identify, Stage::Connect);
        h.view().AppendLog("Connect to Programmer . . . . . . ");
        h.port.name = text;
        h.port.number = ComNameToPort(text);
        if (!ConnectPort(h, h.port.number)) return;
        h.run.EnterStage(Stage::Identify);
        SendIdentify(h);
    } else {
        AutoConnect(h);
    }
}

bool AutoConnect(Host& h) {
    h.view().AppendLog("Auto Connect to Programmer . . . . . . ");
    h.view().SetControls(ControlState::Busy);
    BeginRun(h, RunKind::Scan, Stage::Identify);
    auto stopping = [&h] { return h.shutdownRequested || h.run.StopRequested(); };
    // Ports that exist but cannot be used are named once, when no programmer was found.
    std::vector<std::string> problems;
    for (unsigned n = 1; n <= kLastScannedPort && !stopping(); ++n) {
        h.run.ScanWait(false);
        h.port.number = static_cast<uint8_t>(n);
        const PortStatus status = h.link.Open(static_cast<uint8_t>(n));
        if (!status.Ok()) {
            if (auto problem = PortProblem(h, n, status)) problems.push_back(*problem);
            continue;
        }
        h.port.name = PortName(n);
        h.run.ScanWait(true);  // a port lost under the identify frame ends the wait at once
        SendIdentify(h);
        while (h.run.Kind() == RunKind::Scan && h.run.ScanWaiting() && !stopping())
            h.timers().PumpEvents();
        // The identify reply has ended the scan (or turned it into a firmware rewrite).
        if (h.run.Kind() != RunKind::Scan) return true;
    }
    if (stopping()) {
        // The window is closing or the operator stopped: end the wait quietly.
        h.run.Fail(Verdict::Abandoned, "the scan was stopped");
        End(h, {.controls = std::nullopt});
        return false;
    }
    h.link.Close();
    h.view().AppendLogRaw("Failed");
    h.view().AppendLog(kCannotFindProgrammer);
    ReportPortProblems(h, problems);
    h.run.Fail(Verdict::Failed, kCannotFindProgrammer);
    End(h);
    return false;
}

void OnIdentifyReply(Host& h, const ReplyFrame& reply) {
    h.run.ScanWait(false);
    h.view().AppendLogRaw("OK");
    h.programmer.kind = reply.payload[12];
    PeerFor(h.programmer.kind).identified(h, reply);
}

void DeviceProgrammerIdentified(Host& h, const ReplyFrame& reply) {
    const auto& p = reply.payload;
    if (h.programmer.kind == 1) h.view().AppendLog("Find Progrmmer: ZK9_Pro_");
    if (h.programmer.kind == 2) h.view().AppendLog("Find Progrmmer: ZK9_ISP_");
    // The identity block carries the programmer number in its first two bytes, low first.
    const unsigned number = p[2] | (p[3] << 8);
    std::string digits;
    digits += static_cast<char>('0' + number / 1000);
    digits += static_cast<char>('0' + number / 100 % 10);
    digits += static_cast<char>('0' + number / 10 % 10);
    digits += static_cast<char>('0' + number % 10);
    h.view().AppendLogRaw(digits);

    const unsigned maxCount = p[13] | (p[14] << 8);
    const unsigned used = p[15] | (p[16] << 8);
    h.view().AppendLog("Max_Counter:  ");
    h.view().AppendLogRaw(maxCount == 0 ? std::string("No Limit") : std::to_string(maxCount));
    h.view().AppendLog("Used_Counter: ");
    h.view().AppendLogRaw(std::to_string(used));
    h.view().AppendLogRaw(Format("   V%d.%d", p[0], p[1]));

    if (p[0] == h.programmer.firmwareMajor && p[1] == h.programmer.firmwareMinor) {
        End(h);
    } else if (p[0] == h.programmer.maintenanceMajor && p[1] == h.programmer.maintenanceMinor) {
        h.run.Become(RunKind::FirmwareRewrite, Stage::EraseProgrammer);
        StartProgrammerUpdate(h);
    } else {
        FailMessage(h, kPleaseUpdateFirmware, Verdict::Failed, false);
        End(h, {.controls = ControlState::OnlyComList});
    }
}

}  // namespace lumacrest
