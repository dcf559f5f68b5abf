#include "link/Link.h"

#include <cctype>
#include <fstream>
#include <sstream>

#include "link/ReplyEngine.h"
#include "ops/ProgrammerMaintenance.h"
#include "ui/main/ResourceIds.h"

namespace lumacrest {

namespace {

constexpr std::size_t kHeaderSize = 5;  // start, address, code, length high, length low
constexpr std::size_t kFrameOverhead = 6;

// Forgets the reply being gathered.
void ResetReceive(Host& h) {
    h.rxCount = 0;
}

}  // namespace

std::vector<uint8_t> BuildFrameBytes(const CommandFrame& frame) {
    const std::size_t length = frame.length & 0xFFFF;
    std::vector<uint8_t> bytes;
    bytes.reserve(length + kFrameOverhead);
    bytes.push_back(kFrameStart);
    bytes.push_back(frame.address);
    bytes.push_back(frame.code);
    bytes.push_back(static_cast<uint8_t>(frame.length >> 8));
    bytes.push_back(static_cast<uint8_t>(frame.length));
    for (std::size_t i = 0; i < length; ++i) bytes.push_back(frame.payload[i]);
    uint8_t sum = 0;
    for (std::size_t i = 1; i < bytes.size(); ++i) sum = static_cast<uint8_t>(sum + bytes[i]);
    bytes.push_back(sum);
    return bytes;
}

bool SendCommand(Host& h, const CommandFrame& frame, uint32_t timeoutMs, uint32_t replyLength) {
    if (frame.length > kPayloadCapacity) {
        h.prompts().MessageBox("******Frame of " + std::to_string(frame.length) +
                                   " bytes does not fit the 300-byte payload, nothing sent******",
                               MsgIcon::Error);
        // The operation cannot go on: end it as a missing reply would, without the wait.
        h.lastCode = kNoCommand;
        Rollback(h);
        h.autoSequence = 0;
        h.programModeEntered = 0;
        h.verifyAfterWrite = 0;
        ClosePort(h);
        Idle(h);
        return false;
    }
    SerialPort& port = h.serial();
    port.DiscardInput();
    ResetReceive(h);
    port.SetThreshold(replyLength);
    const std::vector<uint8_t> bytes = BuildFrameBytes(frame);
    port.Write(bytes.data(), bytes.size());
    h.lastCode = frame.code;
    h.answerPending = true;
    h.replyAwaited = 1;
    // Only the frame that sets it may pass its time-out silently.
    h.silentTimeout = 0;
    h.timers().Start(kReplyTimerId, timeoutMs);
    return true;
}

bool OnCommEvent(Host& h) {
    SerialPort& port = h.serial();
    const std::vector<uint8_t> read = port.ReadAll();
    if (!h.replyAwaited) {
        ResetReceive(h);
        return false;
    }
    if (read.empty()) return false;
    if (h.rxCount + read.size() > kReceiveBufferSize) {  // more than a reply can be
        ResetReceive(h);
        return false;
    }
    std::copy(read.begin(), read.end(), h.rxBuffer.begin() + static_cast<long>(h.rxCount));
    h.rxCount += read.size();

    const uint8_t* rx = h.rxBuffer.data();
    if (rx[0] != kFrameStart) {
        ResetReceive(h);
        return false;
    }
    if (h.rxCount < kHeaderSize) {
        port.SetThreshold(kHeaderSize - h.rxCount);
        return false;
    }
    // A high length byte of 1 or more counts as 256; the raw byte goes into the sum.
    const std::size_t length = (rx[3] == 0 ? 0u : 256u) + rx[4];
    if (length > kPayloadCapacity) {
        ResetReceive(h);
        return false;
    }
    const std::size_t frameSize = length + kFrameOverhead;
    if (h.rxCount < frameSize) {
        // Wait for the rest while the reply timer runs.
        port.SetThreshold(frameSize - h.rxCount);
        return false;
    }
    // The frame is complete; bytes after it belong to nothing and are dropped. A frame the
    // programmer sends on its own may follow, and it can be shorter than this one.
    ResetReceive(h);
    port.SetThreshold(1);
    uint8_t sum = static_cast<uint8_t>(rx[1] + rx[2] + rx[3] + rx[4]);
    for (std::size_t i = 0; i < length; ++i) sum = static_cast<uint8_t>(sum + rx[5 + i]);
    if (sum != rx[5 + length]) return false;

    ReplyFrame& reply = h.replyFrame;
    reply.address = rx[1];
    reply.code = rx[2];
    reply.length = static_cast<uint32_t>(length);
    std::copy(rx + 5, rx + 5 + length, reply.payload.begin());
    reply.sum = sum;
    if (!EngineActsOn(h, reply)) return false;

    // A settings report arrives between a command and its reply: the reply is still due.
    if (reply.code != CMD_DATAFLASH_CONFIG) h.timers().Stop(kReplyTimerId);
    if (reply.code == h.lastCode) h.answerPending = false;  // a second copy is a stray
    const ReplyFrame copy = reply;
    HandleReply(h, copy);
    return true;
}

void OnTimer(Host& h, int timerId) {
    if (timerId == kReplyTimerId && h.replyAwaited && h.serial().IsOpen() &&
        h.serial().BufferedCount() > 0) {
        // A reply that has already arrived wins over its time-out.
        if (OnCommEvent(h)) return;
    }
    h.timers().Stop(timerId);
    h.programModeEntered = 0;
    h.verifyAfterWrite = 0;
    h.freshEntryFlag = 0;
    if (timerId == kReplyTimerId) {
        h.replyAwaited = 0;
        if (h.scanState == 1) {
            // The scan goes on with the next port; it keeps the controls locked itself.
            h.scanState = 0;
        } else {
            const bool rewrite = IsFirmwareRewriteCode(h.lastCode);
            if (h.lastCode == CMD_IDENTIFY) {
                h.ui.AppendLogRaw("Failed");
                h.ui.AppendLog(kCannotFindProgrammer);
            } else if (h.silentTimeout) {
                h.silentTimeout = 0;
            } else {
                h.ui.AppendLogRaw("Timer Over ");
            }
            h.lastCode = kNoCommand;
            Rollback(h);
            // The run is over: a later single command must not continue it.
            h.autoSequence = 0;
            ClosePort(h);
            Idle(h);
            if (rewrite) LeaveOnlyComListEnabled(h);
        }
    }
    h.lastCode = kNoCommand;
}

uint8_t ComNameToPort(const std::string& name) {
    if (name == "USB") return 0;
    for (unsigned n = 1; n <= 16; ++n)
        if (name == "COM" + std::to_string(n)) return static_cast<uint8_t>(n);
    return 20;
}

std::optional<std::string> PortDevice(const Host& h, unsigned portNumber) {
    if (auto it = h.portDeviceOverrides.find(portNumber); it != h.portDeviceOverrides.end())
        return it->second;
    std::ifstream in(h.programDir + kPortsFileName);
    if (!in) return std::nullopt;
    const std::string wanted = "COM" + std::to_string(portNumber);
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        std::istringstream words(line);
        std::string name;
        if (!(words >> name) || name != wanted) continue;
        std::string device;
        std::getline(words >> std::ws, device);
        while (!device.empty() && std::isspace(static_cast<unsigned char>(device.back())))
            device.pop_back();
        if (device.empty()) return std::nullopt;
        return device;
    }
    return std::nullopt;
}

void ClosePort(Host& h) {
    if (h.platform.serial && h.serial().IsOpen()) h.serial().Close();
    ResetReceive(h);
}

bool ConnectPort(Host& h, uint8_t portNumber) {
    ClosePort(h);
    const std::optional<std::string> device = PortDevice(h, portNumber);
    const bool opened = device && h.serial().Probe(*device) && h.serial().Open(*device);
    if (opened) {
        ResetReceive(h);
        h.serial().SetThreshold(1);
        return true;
    }
    if (h.lastCode == CMD_IDENTIFY) h.ui.AppendLogRaw("Failed");
    h.ui.AppendLog(kCannotFindProgrammer);
    h.lastCode = kNoCommand;
    // Between the stages of a run the run ends here, as on a reply time-out.
    const bool midRun = h.autoSequence || h.programModeEntered || h.verifyAfterWrite;
    if (midRun) {
        h.timers().Stop(kReplyTimerId);
        Rollback(h);
    }
    h.autoSequence = 0;
    h.programModeEntered = 0;
    h.verifyAfterWrite = 0;
    ClosePort(h);
    if (midRun)
        Idle(h);
    else
        h.ui.SetEnabled(id::ComList, true);
    return false;
}

void AttachLink(Host& h) {
    h.serial().onReceive = [&h] { OnCommEvent(h); };
    h.timers().onTimer = [&h](int timerId) { OnTimer(h, timerId); };
}

}  // namespace lumacrest
