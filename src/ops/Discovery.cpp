#include "ops/Discovery.h"

#include <algorithm>
#include <cstdio>
#include <vector>

#include "link/Link.h"
#include "ops/Codec.h"
#include "ops/FirmwareRewrite.h"
#include "ops/Programmers.h"
#include "ops/Runs.h"

namespace lumacrest {

namespace {

constexpr unsigned kLastScannedPort = 16;

std::string Format(const char* format, int a, int b) {
    char text[64];
    std::snprintf(text, sizeof text, format, a, b);
    return text;
}

std::string PortName(unsigned portNumber) {
    return "COM" + std::to_string(portNumber);
}

// Logs each problem on a line of its own and shows them in one message; the words of the run
// that failed: the first problem, or that no programmer answered.
std::string ReportPortProblems(Ops& ops, const std::vector<std::string>& problems,
                               const std::string& otherwise) {
    if (problems.empty()) return otherwise;
    std::string message;
    for (const std::string& problem : problems) {
        ops.view.AppendLog(problem);
        message += (message.empty() ? "" : "\n") + problem;
    }
    ShowRunMessage(ops, "******" + message + "******", MessageKind::Error);
    return problems.front();
}

std::string PortAndDevice(const Ops& ops, unsigned portNumber) {
    return PortName(portNumber) + " (" + ops.ports.Device(portNumber).value_or("no device in Ports.dat") +
           ")";
}

}  // namespace

std::string TriedLine(const Ops& ops, std::optional<unsigned> portNumber) {
    if (portNumber) return "Tried " + PortAndDevice(ops, *portNumber);
    std::string probed;
    for (unsigned n = 1; n <= kLastScannedPort; ++n)
        if (ops.ports.Device(n)) probed += (probed.empty() ? "" : ", ") + PortAndDevice(ops, n);
    return probed.empty() ? "Tried no device: Ports.dat names none for COM1 to COM16"
                          : "Tried " + probed;
}

std::optional<std::string> PortProblem(const Ops& ops, unsigned portNumber,
                                       const PortStatus& status) {
    const std::string device = ops.ports.Device(portNumber).value_or("?");
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

bool ConnectPort(Ops& ops, uint8_t portNumber) {
    // A front end that holds the line for the box's own frames keeps it as it is.
    if (ops.holdPortOpen && ops.link.IsOpen()) return true;
    const PortStatus status = ops.link.Open(portNumber);
    if (status.Ok()) return true;
    if (ops.link.LastCode() == CMD_IDENTIFY) ops.view.AppendLogRaw("Failed");
    ops.link.ForgetLastCode();
    const bool underWay = ops.run.UnderWay();
    ops.run.EnterStage(Stage::Connect);
    ops.view.AppendLog(kCannotFindProgrammer);
    ops.view.AppendLog(TriedLine(ops, portNumber));
    std::vector<std::string> problems;
    if (auto problem = PortProblem(ops, portNumber, status)) problems.push_back(*problem);
    const Conclusion failed = Conclusion::Fail(
        Verdict::Failed,
        ReportPortProblems(ops, problems,
                           "COM" + std::to_string(portNumber) + " (" +
                               ops.ports.Device(portNumber).value_or("no device in Ports.dat") +
                               ") could not be opened" +
                               (status.detail.empty() ? std::string() : ": " + status.detail)));
    // Between the stages of a run it ends as a time-out does.
    if (underWay)
        End(ops, failed);
    else
        End(ops, failed, {.controls = ControlState::ComListEnabled});
    return false;
}

void SendIdentify(Ops& ops) {
    ops.run.FrameSent();
    ops.link.Send(EncodeIdentify(ops.link.Frame()));
}

void OnSelchangeCom(Ops& ops, const std::string& text) {
    ops.view.WriteSeparator();
    ops.view.SetControls(ControlState::Busy);
    ops.link.Close();
    if (!text.empty() && text[0] == 'C') {
        BeginRun(ops, RunKind::Identify, Stage::Connect);
        ops.view.AppendLog("Connect to Programmer . . . . . . ");
        ops.port.name = text;
        ops.port.number = ComNameToPort(text);
        if (!ConnectPort(ops, ops.port.number)) return;
        ops.run.EnterStage(Stage::Identify);
        SendIdentify(ops);
    } else {
        AutoConnect(ops);
    }
}

void AutoConnect(Ops& ops) {
    ops.view.AppendLog("Auto Connect to Programmer . . . . . . ");
    ops.view.SetControls(ControlState::Busy);
    BeginRun(ops, RunKind::Scan, Stage::Identify);
    ScanNextPort(ops);
}

void ScanNextPort(Ops& ops) {
    while (ops.run.ScanPort() < kLastScannedPort) {
        ops.run.NextScanPort();
        const auto n = static_cast<uint8_t>(ops.run.ScanPort());
        ops.port.number = n;
        const PortStatus status = ops.link.Open(n);
        if (!status.Ok()) {
            // Ports that exist but cannot be used are named once, when no programmer was found.
            if (auto problem = PortProblem(ops, n, status)) ops.run.NoteScanProblem(*problem);
            continue;
        }
        ops.port.name = PortName(n);
        SendIdentify(ops);  // its reply, its time-out or the port's loss goes on from here
        return;
    }
    ops.link.Close();
    ops.view.AppendLogRaw("Failed");
    ops.view.AppendLog(kCannotFindProgrammer);
    ops.view.AppendLog(TriedLine(ops, std::nullopt));
    End(ops, Conclusion::Fail(Verdict::Failed,
                              ReportPortProblems(ops, ops.run.ScanProblems(),
                                                 "no programmer answered on COM1 to COM16")));
}

void OnIdentifyReply(Ops& ops, const ReplyFrame& reply) {
    ops.view.AppendLogRaw("OK");
    const IdentifyReply r = DecodeIdentifyReply(reply);
    ops.programmer.kind = r.kind;
    // The identity block carries the programmer number in its first two bytes, low first.
    ops.programmer.number = r.number;
    PeerFor(ops.programmer.kind).identified(ops, reply);
}

void DeviceProgrammerIdentified(Ops& ops, const ReplyFrame& reply) {
    const IdentifyReply r = DecodeIdentifyReply(reply);
    ops.programmer.name.clear();
    if (ops.programmer.kind == 1) ops.programmer.name = "ZK9_Pro_";
    if (ops.programmer.kind == 2) ops.programmer.name = "ZK9_ISP_";
    if (!ops.programmer.name.empty()) ops.view.AppendLog("Find Progrmmer: " + ops.programmer.name);
    const unsigned number = ops.programmer.number.value_or(0);
    std::string digits;
    digits += static_cast<char>('0' + number / 1000);
    digits += static_cast<char>('0' + number / 100 % 10);
    digits += static_cast<char>('0' + number / 10 % 10);
    digits += static_cast<char>('0' + number % 10);
    ops.view.AppendLogRaw(digits);
    ops.programmer.name += digits;
    ops.programmer.firmware = Format("%d.%d", r.fwMajor, r.fwMinor);

    const unsigned maxCount = r.maxCount;
    const unsigned used = r.usedCount;
    ops.view.AppendLog("Max_Counter:  ");
    ops.view.AppendLogRaw(maxCount == 0 ? std::string("No Limit") : std::to_string(maxCount));
    ops.view.AppendLog("Used_Counter: ");
    ops.view.AppendLogRaw(std::to_string(used));
    ops.view.AppendLogRaw(Format("   V%d.%d", r.fwMajor, r.fwMinor));

    if (r.fwMajor == ops.programmer.firmwareMajor && r.fwMinor == ops.programmer.firmwareMinor) {
        End(ops, Conclusion::Pass());
    } else if (r.fwMajor == ops.programmer.maintenanceMajor &&
               r.fwMinor == ops.programmer.maintenanceMinor) {
        ops.run.Become(RunKind::FirmwareRewrite, Stage::EraseProgrammer);
        StartProgrammerUpdate(ops);
    } else {
        ShowRunMessage(ops, kPleaseUpdateFirmware, MessageKind::Plain);
        End(ops,
            Conclusion::Fail(Verdict::Failed, "the programmer's firmware V" + ops.programmer.firmware +
                                                  " is not the one this program works with (V" +
                                                  Format("%d.%d", ops.programmer.firmwareMajor,
                                                         ops.programmer.firmwareMinor) +
                                                  ")"),
            {.controls = ControlState::OnlyComList});
    }
}

}  // namespace lumacrest
