#include "link/Link.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace lumacrest {

namespace {

constexpr std::size_t kHeaderSize = 5;  // start, address, code, length high, length low

// Forgets the bytes being gathered.
void ResetReceive(Host& h) {
    h.rxCount = 0;
}

void DropFront(Host& h, std::size_t count) {
    std::copy(h.rxBuffer.begin() + static_cast<long>(count),
              h.rxBuffer.begin() + static_cast<long>(h.rxCount), h.rxBuffer.begin());
    h.rxCount -= count;
}

enum class Gathered { Frame, NeedMore, Dropped };

// Takes the frame at the front of the receive buffer into h.replyFrame. NeedMore sets the
// threshold to what is still missing; Dropped has thrown bytes away.
Gathered TakeFrame(Host& h, std::size_t& frameSize, bool& sumOk) {
    const uint8_t* rx = h.rxBuffer.data();
    if (rx[0] != kFrameStart) {
        // A read that starts in the middle of a frame: nothing in it can be trusted.
        ResetReceive(h);
        return Gathered::Dropped;
    }
    if (h.rxCount < kHeaderSize) {
        h.serial().SetThreshold(kMinFrameSize - h.rxCount);
        return Gathered::NeedMore;
    }
    // A high length byte of 1 or more counts as 256; the raw byte goes into the sum.
    const std::size_t length = (rx[3] == 0 ? 0u : 256u) + rx[4];
    if (length > kPayloadCapacity) {
        ResetReceive(h);
        return Gathered::Dropped;
    }
    frameSize = length + kMinFrameSize;
    if (h.rxCount < frameSize) {
        // Wait for the rest while the reply timer runs.
        h.serial().SetThreshold(frameSize - h.rxCount);
        return Gathered::NeedMore;
    }
    uint8_t sum = static_cast<uint8_t>(rx[1] + rx[2] + rx[3] + rx[4]);
    for (std::size_t i = 0; i < length; ++i) sum = static_cast<uint8_t>(sum + rx[5 + i]);
    sumOk = sum == rx[5 + length];
    if (sumOk) {
        ReplyFrame& reply = h.replyFrame;
        reply.address = rx[1];
        reply.code = rx[2];
        reply.length = static_cast<uint32_t>(length);
        std::copy(rx + 5, rx + 5 + length, reply.payload.begin());
        // No row may read what an earlier reply left behind.
        std::fill(reply.payload.begin() + static_cast<long>(length), reply.payload.end(), 0);
        reply.sum = sum;
    }
    DropFront(h, frameSize);
    return Gathered::Frame;
}

}  // namespace

std::vector<uint8_t> BuildFrameBytes(const CommandFrame& frame) {
    const std::size_t length = frame.length & 0xFFFF;
    std::vector<uint8_t> bytes;
    bytes.reserve(length + kMinFrameSize);
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

SendResult SendCommand(Host& h, const CommandFrame& frame, uint32_t timeoutMs,
                       uint32_t replyLength) {
    if (frame.length > kPayloadCapacity) return SendResult::TooLong;
    SerialPort& port = h.serial();
    port.DiscardInput();
    ResetReceive(h);
    // Every frame is looked at as soon as it can be whole: the box may send a frame of its own,
    // shorter than the answer, while the answer is awaited.
    port.SetThreshold(kMinFrameSize);
    const std::vector<uint8_t> bytes = BuildFrameBytes(frame);
    h.lastCode = frame.code;
    ++h.framesSent;
    if (!port.Write(bytes.data(), bytes.size())) {
        OnPortLost(h, "the frame could not be written");
        return SendResult::Lost;
    }
    h.answerLength = replyLength;
    h.answerPending = true;
    h.replyAwaited = 1;
    h.replyTimerRunning = true;
    h.timers().Start(kReplyTimerId, timeoutMs);
    return SendResult::Sent;
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

    bool taken = false;
    const uint64_t sends = h.framesSent;
    while (h.rxCount > 0) {
        std::size_t frameSize = 0;
        bool sumOk = false;
        const Gathered got = TakeFrame(h, frameSize, sumOk);
        if (got == Gathered::NeedMore) return taken;
        if (got == Gathered::Dropped || !sumOk) continue;
        // A well-formed frame shorter than the awaited reply is no answer: the command's
        // time-out reports the missing one.
        const bool answer = h.replyFrame.code == h.lastCode && h.answerPending &&
                            frameSize >= h.answerLength;
        const ReplyFrame copy = h.replyFrame;
        if (!h.linkEvents.frame || !h.linkEvents.frame(copy, answer)) continue;
        taken = true;
        if (answer && h.framesSent == sends) {
            StopReplyTimer(h);
            h.answerPending = false;  // a second copy is a stray
        }
        // A command sent while handling the frame started afresh: what was read before it
        // answers nothing of it.
        if (h.framesSent != sends || !port.IsOpen()) {
            ResetReceive(h);
            return taken;
        }
    }
    port.SetThreshold(kMinFrameSize);
    return taken;
}

namespace {
// Nothing is outstanding any more; returns the code that was.
uint8_t GiveUpCommand(Host& h) {
    StopReplyTimer(h);
    h.replyAwaited = 0;
    h.answerPending = false;
    const uint8_t code = h.lastCode;
    h.lastCode = kNoCommand;
    return code;
}
}  // namespace

void OnTimer(Host& h, int timerId) {
    if (timerId != kReplyTimerId) {
        if (h.linkEvents.timer) h.linkEvents.timer(timerId);
        return;
    }
    if (h.replyAwaited && h.serial().IsOpen() && h.serial().BufferedCount() > 0) {
        // A reply that has already arrived wins over its time-out.
        const uint64_t sends = h.framesSent;
        OnCommEvent(h);
        if (h.framesSent != sends || !h.answerPending || !h.replyTimerRunning) return;
    }
    const uint8_t code = GiveUpCommand(h);
    if (h.linkEvents.replyTimedOut) h.linkEvents.replyTimedOut(code);
}

void OnPortLost(Host& h, const std::string& why) {
    if (h.portLostReported) return;
    h.portLostReported = true;
    ClosePort(h);
    const uint8_t code = GiveUpCommand(h);
    if (h.linkEvents.portLost) h.linkEvents.portLost(code, why);
}

void StopReplyTimer(Host& h) {
    h.timers().Stop(kReplyTimerId);
    h.replyTimerRunning = false;
}

bool ReplyTimerRunning(const Host& h) {
    return h.replyTimerRunning;
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

std::optional<unsigned> PortNamingDevice(const Host& h, const std::string& device) {
    std::error_code ec;
    const std::filesystem::path wanted = std::filesystem::weakly_canonical(device, ec);
    for (unsigned n = 1; n <= 16; ++n) {
        const std::optional<std::string> named = PortDevice(h, n);
        if (!named) continue;
        std::error_code e;
        if (*named == device || (!ec && std::filesystem::weakly_canonical(*named, e) == wanted && !e))
            return n;
    }
    return std::nullopt;
}

PortStatus OpenPort(Host& h, uint8_t portNumber) {
    ClosePort(h);
    const std::optional<std::string> device = PortDevice(h, portNumber);
    if (!device) return {PortError::Missing, {}};
    PortStatus status = h.serial().Probe(*device);
    if (status.Ok()) status = h.serial().Open(*device);
    if (!status.Ok()) return status;
    h.serial().RequestLowLatency();  // where the driver has no such mode the line works as it is
    h.portLostReported = false;
    ResetReceive(h);
    h.serial().SetThreshold(1);
    return status;
}

void ClosePort(Host& h) {
    if (h.platform.serial && h.serial().IsOpen()) h.serial().Close();
    ResetReceive(h);
}

void AttachLink(Host& h) {
    h.serial().onReceive = [&h] { OnCommEvent(h); };
    h.serial().onLost = [&h](const std::string& why) { OnPortLost(h, why); };
    h.timers().onTimer = [&h](int timerId) { OnTimer(h, timerId); };
}

}  // namespace lumacrest
