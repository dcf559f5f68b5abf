#include "sim/ProgrammerBox.h"

#include <algorithm>
#include <cstdio>

namespace lumacrest::sim {

namespace {

// The box's side of the wire, written from the protocol table on its own: the host's frame
// and CRC code is what it checks, so it shares none of it.
constexpr uint8_t kStart = 0x7E;
constexpr uint8_t kBoxAddress = 0xFF;
constexpr std::size_t kMaxPayload = 511;

enum Code : uint8_t {
    kIdentify = 0x00,
    kResetProgrammer = 0x01,
    kFirmwareBlock = 0x02,
    kEraseProgrammer = 0x04,
    kDataFlashBegin = 0x06,
    kDataFlashFlashBlock = 0x07,
    kDataFlashBootBlock = 0x08,
    kDataFlashConfig = 0x09,
    kExitProgramMode = 0x0F,
    kChipErase = 0x11,
    kWriteFlashBegin = 0x12,
    kWriteFlashBlock = 0x13,
    kWriteFlashEnd = 0x14,
    kReadFlashBegin = 0x15,
    kReadFlashBlock = 0x16,
    kVerifyFlashBegin = 0x17,
    kVerifyFlashBlock = 0x18,
    kWriteBootBegin = 0x19,
    kWriteBootBlock = 0x1A,
    kReadBootBegin = 0x1B,
    kReadBootBlock = 0x1C,
    kVerifyBootBegin = 0x1D,
    kVerifyBootBlock = 0x1E,
    kWriteBootEnd = 0x1F,
    kEnterProgramMode = 0x22,
    kWriteKeyCode = 0x25,
    kCheckKeyCode = 0x26,
    kIapBlock = 0x41,
    kIapErase = 0x42,
    kSectorSum = 0x44,
    kIapDone = 0x48,
};

// CRC-16/X-25, bit by bit (the host uses a table): reflected 0x1021, start 0xFFFF, the
// complement at the end; nothing gives 0.
uint16_t BoxCrc(const std::vector<uint8_t>& bytes) {
    if (bytes.empty()) return 0;
    uint16_t crc = 0xFFFF;
    for (uint8_t b : bytes) {
        crc ^= b;
        for (int bit = 0; bit < 8; ++bit)
            crc = static_cast<uint16_t>((crc & 1) ? (crc >> 1) ^ 0x8408 : crc >> 1);
    }
    return static_cast<uint16_t>(~crc);
}

std::string Hex(unsigned value) {
    char text[8];
    std::snprintf(text, sizeof text, "0x%02X", value & 0xFF);
    return text;
}

uint16_t Be16(const std::vector<uint8_t>& p, std::size_t at) {
    if (at + 1 >= p.size()) return 0;
    return static_cast<uint16_t>(p[at] << 8 | p[at + 1]);
}

}  // namespace

ProgrammerBox::ProgrammerBox(BoxConfig config)
    : config_(std::move(config)), flash_(kFlashSize, 0xFF), boot_(kBootSize, 0xFF) {
    if (config_.chipKeyCode) {
        chipKeyCode_ = *config_.chipKeyCode;
        keyCodeEnabled_ = true;
    }
}

void ProgrammerBox::Event(const std::string& text) {
    events_.push_back(text);
    if (onEvent) onEvent(text);
}

std::vector<uint8_t> ProgrammerBox::Frame(uint8_t code, const std::vector<uint8_t>& payload) {
    std::vector<uint8_t> f = {kStart, kBoxAddress, code,
                              static_cast<uint8_t>(payload.size() >> 8),
                              static_cast<uint8_t>(payload.size())};
    f.insert(f.end(), payload.begin(), payload.end());
    uint8_t sum = 0;
    for (std::size_t i = 1; i < f.size(); ++i) sum = static_cast<uint8_t>(sum + f[i]);
    f.push_back(sum);
    return f;
}

std::vector<Chunk> ProgrammerBox::Receive(const uint8_t* data, std::size_t size) {
    rx_.insert(rx_.end(), data, data + size);
    std::vector<Chunk> out;
    for (;;) {
        auto start = std::find(rx_.begin(), rx_.end(), kStart);
        if (start != rx_.begin()) {
            Event("skipped " + std::to_string(start - rx_.begin()) + " bytes");
            rx_.erase(rx_.begin(), start);
        }
        if (rx_.size() < 5) break;
        const std::size_t length = static_cast<std::size_t>(rx_[3] << 8 | rx_[4]);
        if (length > kMaxPayload) {
            Event("bad length");
            rx_.erase(rx_.begin());
            continue;
        }
        if (rx_.size() < length + 6) break;
        uint8_t sum = 0;
        for (std::size_t i = 1; i < length + 5; ++i) sum = static_cast<uint8_t>(sum + rx_[i]);
        if (sum != rx_[length + 5]) {
            Event("bad sum");
            rx_.erase(rx_.begin());
            continue;
        }
        const uint8_t code = rx_[2];
        std::vector<uint8_t> payload(rx_.begin() + 5, rx_.begin() + 5 + static_cast<long>(length));
        rx_.erase(rx_.begin(), rx_.begin() + static_cast<long>(length + 6));
        received_.push_back(code);
        Event("rx " + Hex(code) + " length " + std::to_string(length));

        if (auto reply = Answer(code, payload)) Deliver(code, std::move(*reply), out);
        for (const Unsolicited& u : config_.unsolicited) {
            if (u.afterCode != code) continue;
            Event("send " + Hex(u.frameCode));
            out.push_back({Frame(u.frameCode, UnsolicitedPayload(u.frameCode, payload)), 5});
        }
    }
    return out;
}

std::vector<uint8_t> ProgrammerBox::UnsolicitedPayload(uint8_t frameCode,
                                                       const std::vector<uint8_t>& lastPayload) {
    switch (frameCode) {
        case kDataFlashBegin:
            return lastPayload;
        case kDataFlashConfig: {
            std::vector<uint8_t> p(config_.settings.begin(), config_.settings.end());
            uint16_t crc = BoxCrc(p);
            if (TakeFault(FaultKind::BadCrc, frameCode)) crc = static_cast<uint16_t>(crc + 1);
            p.push_back(static_cast<uint8_t>(crc >> 8));
            p.push_back(static_cast<uint8_t>(crc));
            return p;
        }
        case kSectorSum:
            return {0, 0};
        default:
            return {};
    }
}

Fault* ProgrammerBox::TakeFault(FaultKind kind, uint8_t code) {
    for (Fault& f : config_.faults) {
        if (f.kind != kind || f.times == 0) continue;
        if (f.code >= 0 && f.code != code) continue;
        if (f.times > 0) --f.times;
        return &f;
    }
    return nullptr;
}

void ProgrammerBox::Deliver(uint8_t code, std::vector<uint8_t> payload, std::vector<Chunk>& out) {
    if (TakeFault(FaultKind::NoReply, code)) {
        Event("no reply to " + Hex(code));
        return;
    }
    if (Fault* f = TakeFault(FaultKind::ShortPayload, code))
        payload.resize(std::min<std::size_t>(payload.size(), f->value));
    uint8_t replyCode = code;
    if (TakeFault(FaultKind::WrongEcho, code)) replyCode = static_cast<uint8_t>(code ^ 0x80);
    std::vector<uint8_t> frame = Frame(replyCode, payload);
    if (TakeFault(FaultKind::BadSum, code)) frame.back() = static_cast<uint8_t>(frame.back() + 1);
    if (TakeFault(FaultKind::WrongStart, code)) frame[0] = 0x7D;
    if (Fault* f = TakeFault(FaultKind::ShortReply, code)) {
        const std::size_t cut = std::min<std::size_t>(f->value ? f->value : 1, frame.size());
        frame.resize(frame.size() - cut);
    }
    uint32_t delay = 0;
    if (Fault* f = TakeFault(FaultKind::LateReply, code)) delay = f->value ? f->value : 1500;
    const Fault* duplicate = TakeFault(FaultKind::Duplicate, code);
    const uint32_t copyDelay = duplicate && duplicate->value ? duplicate->value : 1;
    if (Fault* f = TakeFault(FaultKind::Pieces, code)) {
        const std::size_t piece = f->value ? f->value : 3;
        for (std::size_t at = 0; at < frame.size(); at += piece) {
            const std::size_t end = std::min(frame.size(), at + piece);
            out.push_back({std::vector<uint8_t>(frame.begin() + static_cast<long>(at),
                                                frame.begin() + static_cast<long>(end)),
                           at == 0 ? delay : 2});
        }
    } else {
        out.push_back({frame, delay});
    }
    if (duplicate) out.push_back({frame, copyDelay});
}

std::vector<uint8_t> ProgrammerBox::ReadPage(const std::vector<uint8_t>& memory, uint32_t block,
                                             uint32_t pageSize) const {
    std::vector<uint8_t> page(pageSize, 0xFF);
    const std::size_t offset = static_cast<std::size_t>(block) * pageSize;
    for (std::size_t i = 0; i < pageSize && offset + i < memory.size(); ++i)
        page[i] = memory[offset + i];
    return page;
}

void ProgrammerBox::Program(std::vector<uint8_t>& memory, std::size_t offset, const uint8_t* data,
                            std::size_t size) {
    // Programming only clears bits; only an erase sets them again.
    for (std::size_t i = 0; i < size && offset + i < memory.size(); ++i)
        memory[offset + i] &= data[i];
}

std::optional<std::vector<uint8_t>> ProgrammerBox::Answer(uint8_t code,
                                                          const std::vector<uint8_t>& p) {
    auto header = [&](bool flashPage) {
        // A page size of 0 is no page size: the last one stays.
        if (flashPage && Be16(p, 0) != 0) flashPageSize_ = Be16(p, 0);
        if (Be16(p, 8) != 0) bootPageSize_ = Be16(p, 8);
    };
    auto block = [&](const std::vector<uint8_t>& memory, uint32_t pageSize, bool verify) {
        const uint16_t number = Be16(p, 0);
        std::vector<uint8_t> reply = {static_cast<uint8_t>(number >> 8),
                                      static_cast<uint8_t>(number)};
        std::vector<uint8_t> page = ReadPage(memory, number, pageSize);
        if (verify) {
            for (Fault& f : config_.faults) {
                if (f.kind != FaultKind::VerifyDiffers || f.times == 0 || f.value != number)
                    continue;
                if (f.code >= 0 && f.code != code) continue;
                if (f.times > 0) --f.times;
                page[0] = static_cast<uint8_t>(page[0] ^ 0x01);
                Event("verify block " + std::to_string(number) + " differs");
                break;
            }
        }
        reply.insert(reply.end(), page.begin(), page.end());
        return reply;
    };
    auto keyState = [&](const std::optional<std::array<uint8_t, 2>>& forced, bool checking) {
        std::vector<uint8_t> r(8, 0);
        std::array<uint8_t, 2> state;
        if (forced) {
            state = *forced;
        } else if (!keyCodeEnabled_) {
            state = {0xAA, 0xAA};
        } else if (hostKeyCode_ == chipKeyCode_) {
            state = {0x55, 0x55};
        } else {
            state =
                checking ? std::array<uint8_t, 2>{0xAA, 0xAA} : std::array<uint8_t, 2>{0x00, 0xFF};
        }
        r[0] = state[0];
        r[1] = state[1];
        return r;
    };

    switch (code) {
        case kIdentify: {
            std::vector<uint8_t> r(20, 0);
            r[0] = config_.fwMajor;
            r[1] = config_.fwMinor;
            r[2] = static_cast<uint8_t>(config_.number);
            r[3] = static_cast<uint8_t>(config_.number >> 8);
            r[12] = config_.kind;
            r[13] = static_cast<uint8_t>(config_.maxCount);
            r[14] = static_cast<uint8_t>(config_.maxCount >> 8);
            r[15] = static_cast<uint8_t>(config_.usedCount);
            r[16] = static_cast<uint8_t>(config_.usedCount >> 8);
            return r;
        }
        case kEnterProgramMode: {
            header(true);
            if (p.size() >= 31) std::copy(p.begin() + 15, p.begin() + 31, hostKeyCode_.begin());
            std::vector<uint8_t> r = keyState(config_.programModeState, false);
            r[2] = config_.adapterId.value_or(p.size() > 10 ? p[10] : 0);
            return r;
        }
        case kCheckKeyCode: {
            if (p.size() >= 31) std::copy(p.begin() + 15, p.begin() + 31, hostKeyCode_.begin());
            return keyState(config_.checkState, true);
        }
        case kWriteKeyCode:
            header(true);
            chipKeyCode_ = hostKeyCode_;
            keyCodeEnabled_ = true;
            Event("keycode written");
            return std::vector<uint8_t>(7, 0);
        case kChipErase: {
            header(true);
            const bool fails = TakeFault(FaultKind::EraseFails, code) != nullptr;
            if (!fails) {
                std::fill(flash_.begin(), flash_.end(), 0xFF);
                std::fill(boot_.begin(), boot_.end(), 0xFF);
            }
            Event(fails ? "erase failed" : "erased");
            return std::vector<uint8_t>{static_cast<uint8_t>(fails ? 0 : 1)};
        }
        case kWriteFlashBegin:
        case kReadFlashBegin:
        case kVerifyFlashBegin:
        case kReadBootBegin:
            header(true);
            return std::vector<uint8_t>(7, 0);
        case kWriteBootBegin:
        case kVerifyBootBegin:
            header(false);
            return std::vector<uint8_t>(7, 0);
        case kWriteFlashBlock:
        case kWriteBootBlock: {
            if (p.size() < 2) return std::vector<uint8_t>{};
            const std::size_t pageSize = p.size() - 2;
            std::vector<uint8_t>& memory = code == kWriteFlashBlock ? flash_ : boot_;
            Program(memory, static_cast<std::size_t>(Be16(p, 0)) * pageSize, p.data() + 2,
                    pageSize);
            return std::vector<uint8_t>{};
        }
        case kWriteFlashEnd:
        case kWriteBootEnd:
            return std::vector<uint8_t>{};
        case kReadFlashBlock:
        case kVerifyFlashBlock:
            return block(flash_, flashPageSize_, code == kVerifyFlashBlock);
        case kReadBootBlock:
        case kVerifyBootBlock:
            return block(boot_, bootPageSize_, code == kVerifyBootBlock);
        case kExitProgramMode:
            lastExitResult_ = p.empty() ? 0 : p[0];
            if (*lastExitResult_ == 1) ++config_.usedCount;
            Event("exit result " + std::to_string(*lastExitResult_));
            return std::vector<uint8_t>{};
        case kResetProgrammer:
            Event("reset");
            return std::vector<uint8_t>(2, 0);
        case kEraseProgrammer:
            firmware_.clear();
            Event("programmer firmware erased");
            return std::vector<uint8_t>{};
        case kFirmwareBlock: {
            std::vector<uint8_t> echo = p;
            if (p.size() >= 256) firmware_.insert(firmware_.end(), p.begin(), p.begin() + 256);
            if (!echo.empty() && TakeFault(FaultKind::EchoDiffers, code))
                echo[0] = static_cast<uint8_t>(echo[0] ^ 0xFF);
            return echo;
        }
        case kDataFlashFlashBlock:
        case kDataFlashBootBlock: {
            std::vector<uint8_t> echo = p;
            if (!echo.empty() && TakeFault(FaultKind::EchoDiffers, code))
                echo[0] = static_cast<uint8_t>(echo[0] ^ 0xFF);
            return echo;
        }
        case kIapErase: {
            if (p.size() >= 16) std::copy(p.begin(), p.begin() + 16, hostKeyCode_.begin());
            const bool refused = TakeFault(FaultKind::IapRefused, code) != nullptr;
            if (!refused) std::fill(flash_.begin(), flash_.end(), 0xFF);
            iapOffset_ = 0;
            std::vector<uint8_t> r(8, 0);
            r[0] = keyCodeEnabled_ ? 0xAA : 0x55;
            if (TakeFault(FaultKind::IapStops, code)) r[0] = 0xEE;
            r[1] = refused ? 1 : 0;
            return r;
        }
        case kIapBlock: {
            Program(flash_, iapOffset_, p.data(), p.size());
            iapOffset_ += p.size();
            const bool refused = TakeFault(FaultKind::IapRefused, code) != nullptr;
            return std::vector<uint8_t>{static_cast<uint8_t>(refused ? 1 : 0), 0};
        }
        case kIapDone:
            Event("iap done " + std::to_string(iapOffset_) + " bytes");
            return std::nullopt;  // the host expects no answer
        case kSectorSum:
            Event("sector sum " + std::to_string(p.empty() ? 0 : p[0]));
            return std::vector<uint8_t>{0, static_cast<uint8_t>(p.empty() ? 0 : p[0])};
        default:
            Event("unknown code " + Hex(code));
            return std::nullopt;
    }
}

}  // namespace lumacrest::sim
