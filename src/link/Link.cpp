#include "link/Link.h"

#include <algorithm>

namespace lumacrest {

namespace {
constexpr std::size_t kHeaderSize = 5;  // start, address, code, length high, length low
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

void Link::Attach(SerialPort& port, Timers& timers) {
    port_ = &port;
    timers_ = &timers;
    port.onReceive = [this] { OnReceive(); };
    port.onLost = [this](const std::string& why) { OnLost(why); };
    timers.onTimer = [this](int timerId) { OnTimer(timerId); };
}

PortStatus Link::Open(uint8_t portNumber) {
    Close();
    const std::optional<std::string> device = ports_.Device(portNumber);
    if (!device) return {PortError::Missing, {}};
    PortStatus status = port_->Probe(*device);
    if (status.Ok()) status = port_->Open(*device);
    if (!status.Ok()) return status;
    port_->RequestLowLatency();  // where the driver has no such mode the line works as it is
    ++opens_;
    lostReported_ = false;
    rxCount_ = 0;
    port_->SetThreshold(1);
    return status;
}

void Link::Close() {
    if (port_ && port_->IsOpen()) port_->Close();
    rxCount_ = 0;
}

bool Link::IsOpen() const {
    return port_ && port_->IsOpen();
}

SendResult Link::Send(const Outgoing& out) {
    frame_.address = kHostAddress;
    frame_.code = out.code;
    frame_.length = out.length;
    return SendCommand(frame_, out.timeoutMs, out.replyLength);
}

SendResult Link::SendCommand(const CommandFrame& frame, uint32_t timeoutMs,
                             uint32_t replyLength) {
    if (frame.length > kPayloadCapacity) return SendResult::TooLong;
    port_->DiscardInput();
    rxCount_ = 0;
    // Every frame is looked at as soon as it can be whole: the box may send a frame of its
    // own, shorter than the answer, while the answer is awaited.
    port_->SetThreshold(kMinFrameSize);
    const std::vector<uint8_t> bytes = BuildFrameBytes(frame);
    lastCode_ = frame.code;
    ++framesSent_;
    const uint64_t opens = opens_;
    if (!port_->Write(bytes.data(), bytes.size())) {
        // A port may tell of its loss itself before the write returns, and what that sets off
        // may open a port anew (the scan goes on with the next): only the line this frame went
        // to is lost.
        if (opens_ == opens) OnLost("the frame could not be written");
        return SendResult::Lost;
    }
    answerLength_ = replyLength;
    replyWaitMs_ = timeoutMs;
    answerPending_ = true;
    replyAwaited_ = true;
    replyTimerRunning_ = true;
    timers_->Start(kReplyTimerId, timeoutMs);
    return SendResult::Sent;
}

std::optional<uint8_t> Link::WaitingCopy() {
    if (!answeredCode_ || !IsOpen() || (rxCount_ == 0 && port_->BufferedCount() == 0))
        return std::nullopt;
    std::vector<uint8_t> waiting(rx_.begin(), rx_.begin() + static_cast<long>(rxCount_));
    const std::vector<uint8_t> read = port_->ReadAll();
    waiting.insert(waiting.end(), read.begin(), read.end());
    rxCount_ = 0;  // what waited answers nothing of the command about to go out
    for (std::size_t at = 0; at + kMinFrameSize <= waiting.size(); ++at) {
        if (waiting[at] != kFrameStart) continue;
        const std::size_t length = (waiting[at + 3] == 0 ? 0u : 256u) + waiting[at + 4];
        const std::size_t size = length + kMinFrameSize;
        if (length > kPayloadCapacity || at + size > waiting.size()) continue;
        uint8_t sum = 0;
        for (std::size_t i = 1; i < size - 1; ++i) sum = static_cast<uint8_t>(sum + waiting[at + i]);
        if (sum == waiting[at + size - 1] && waiting[at + 2] == *answeredCode_) return *answeredCode_;
    }
    return std::nullopt;
}

void Link::StopReplyTimer() {
    if (timers_) timers_->Stop(kReplyTimerId);
    replyTimerRunning_ = false;
    answerPending_ = false;
}

void Link::ShortenReplyWait(uint32_t ms) {
    if (replyTimerRunning_) timers_->Start(kReplyTimerId, ms);
}

void Link::DropFront(std::size_t count) {
    std::copy(rx_.begin() + static_cast<long>(count), rx_.begin() + static_cast<long>(rxCount_),
              rx_.begin());
    rxCount_ -= count;
}

std::size_t Link::NextFrameStart() const {
    // A whole frame with a good sum first; else the first start of one that may still come
    // whole.
    std::size_t maybe = rxCount_;
    for (std::size_t at = 1; at < rxCount_; ++at) {
        if (rx_[at] != kFrameStart) continue;
        if (rxCount_ - at < kHeaderSize) {
            maybe = std::min(maybe, at);
            continue;
        }
        const std::size_t length = (rx_[at + 3] == 0 ? 0u : 256u) + rx_[at + 4];
        if (length > kPayloadCapacity) continue;
        const std::size_t size = length + kMinFrameSize;
        if (rxCount_ - at < size) {
            maybe = std::min(maybe, at);
            continue;
        }
        uint8_t sum = 0;
        for (std::size_t i = 1; i < size - 1; ++i) sum = static_cast<uint8_t>(sum + rx_[at + i]);
        if (sum == rx_[at + size - 1]) return at;
    }
    return maybe;
}

Link::Take Link::TakeFrame(std::size_t& frameSize, bool& sumOk) {
    const uint8_t* rx = rx_.data();
    if (rx[0] != kFrameStart) {
        // The rest of a frame whose start went with the input thrown away when a command went
        // out (a reply the box sent twice), perhaps read together with the answer: the bytes
        // up to the next frame that can be whole are dropped, the rest when there is none.
        DropFront(NextFrameStart());
        return Take::Dropped;
    }
    if (rxCount_ < kHeaderSize) {
        port_->SetThreshold(kMinFrameSize - rxCount_);
        return Take::NeedMore;
    }
    // A high length byte of 1 or more counts as 256; the raw byte goes into the sum.
    const std::size_t length = (rx[3] == 0 ? 0u : 256u) + rx[4];
    if (length > kPayloadCapacity) {
        rxCount_ = 0;
        return Take::Dropped;
    }
    frameSize = length + kMinFrameSize;
    if (rxCount_ < frameSize) {
        // Wait for the rest while the reply timer runs.
        port_->SetThreshold(frameSize - rxCount_);
        return Take::NeedMore;
    }
    uint8_t sum = static_cast<uint8_t>(rx[1] + rx[2] + rx[3] + rx[4]);
    for (std::size_t i = 0; i < length; ++i) sum = static_cast<uint8_t>(sum + rx[5 + i]);
    sumOk = sum == rx[5 + length];
    if (sumOk) {
        reply_.address = rx[1];
        reply_.code = rx[2];
        reply_.length = static_cast<uint32_t>(length);
        std::copy(rx + 5, rx + 5 + length, reply_.payload.begin());
        // No row may read what an earlier reply left behind.
        std::fill(reply_.payload.begin() + static_cast<long>(length), reply_.payload.end(), 0);
        reply_.sum = sum;
    }
    DropFront(frameSize);
    return Take::Frame;
}

bool Link::OnReceive() {
    const std::vector<uint8_t> read = port_->ReadAll();
    if (!replyAwaited_) {
        rxCount_ = 0;
        return false;
    }
    if (read.empty()) return false;
    if (rxCount_ + read.size() > kReceiveBufferSize) {  // more than a reply can be
        rxCount_ = 0;
        return false;
    }
    std::copy(read.begin(), read.end(), rx_.begin() + static_cast<long>(rxCount_));
    rxCount_ += read.size();

    bool taken = false;
    const uint64_t sends = framesSent_;
    while (rxCount_ > 0) {
        std::size_t frameSize = 0;
        bool sumOk = false;
        const Take got = TakeFrame(frameSize, sumOk);
        if (got == Take::NeedMore) return taken;
        if (got == Take::Dropped || !sumOk) continue;
        // A well-formed frame shorter than the awaited reply is no answer: the command's
        // time-out reports the missing one.
        const bool awaited = reply_.code == lastCode_ && answerPending_;
        const bool answer = awaited && frameSize >= answerLength_;
        const FrameRole role = answer                                   ? FrameRole::Answer
                               : !awaited && answeredCode_ == reply_.code ? FrameRole::Repeat
                                                                          : FrameRole::Other;
        const ReplyFrame copy = reply_;
        if (!events.frame || !events.frame(copy, role)) continue;
        taken = true;
        if (answer) answeredCode_ = copy.code;
        if (answer && framesSent_ == sends) StopReplyTimer();  // a second copy is a stray
        // A command sent while handling the frame started afresh: what was read before it
        // answers nothing of it.
        if (framesSent_ != sends || !IsOpen()) {
            rxCount_ = 0;
            return taken;
        }
    }
    port_->SetThreshold(kMinFrameSize);
    return taken;
}

uint8_t Link::GiveUpCommand() {
    StopReplyTimer();
    answeredCode_.reset();
    replyAwaited_ = false;
    const uint8_t code = lastCode_;
    lastCode_ = kNoCommand;
    return code;
}

void Link::OnTimer(int timerId) {
    if (timerId != kReplyTimerId) {
        if (events.timer) events.timer(timerId);
        return;
    }
    if (replyAwaited_ && IsOpen() && port_->BufferedCount() > 0) {
        // A reply that has already arrived wins over its time-out.
        const uint64_t sends = framesSent_;
        OnReceive();
        if (framesSent_ != sends || !answerPending_ || !replyTimerRunning_) return;
    }
    const uint8_t code = GiveUpCommand();
    if (events.replyTimedOut) events.replyTimedOut(code);
}

void Link::OnLost(const std::string& why) {
    if (lostReported_) return;
    lostReported_ = true;
    Close();
    const uint8_t code = GiveUpCommand();
    if (events.portLost) events.portLost(code, why);
}

}  // namespace lumacrest
