#include "ops/Codec.h"

#include <algorithm>
#include <cstdlib>

#include "image/Crc16.h"

namespace lumacrest {

namespace {

// Writes a payload field by field from byte 0 of the shared frame. Bytes passed over with
// Keep() stay as the command before left them.
class PayloadWriter {
public:
    PayloadWriter(CommandFrame& f, const Outgoing& out)
        : f_(f), out_(out), fits_(out.length <= kPayloadCapacity) {}

    void U8(uint8_t v) { Put(v); }
    void U16(uint16_t v) {  // high byte first
        Put(static_cast<uint8_t>(v >> 8));
        Put(static_cast<uint8_t>(v));
    }
    void U16LowFirst(uint16_t v) {
        Put(static_cast<uint8_t>(v));
        Put(static_cast<uint8_t>(v >> 8));
    }
    void U32(uint32_t v) {  // high byte first
        U16(static_cast<uint16_t>(v >> 16));
        U16(static_cast<uint16_t>(v));
    }
    void Bytes(const uint8_t* data, std::size_t n) {
        if (fits_) std::copy_n(data, n, f_.payload.begin() + static_cast<long>(at_));
        at_ += n;
    }
    // Left over: `n` bytes the sender does not assign.
    void Keep(std::size_t n) { at_ += n; }
    // The CRC-16 of the bytes written from `from` on.
    uint16_t CrcFrom(std::size_t from) const {
        return fits_ ? Crc16(f_.payload.data() + from, static_cast<int32_t>(at_ - from)) : 0;
    }
    // The command, once every byte of its length is written or kept: a layout that does not
    // add up to the table's length is a fault of this file.
    Outgoing Done() const {
        if (at_ != out_.length) std::abort();
        return out_;
    }

private:
    void Put(uint8_t v) {
        if (fits_) f_.payload[at_] = v;
        ++at_;
    }
    CommandFrame& f_;
    Outgoing out_;
    bool fits_;
    std::size_t at_ = 0;
};

void WriteOperationHeader(PayloadWriter& w, const OperationHeader& h) {
    w.U16(h.pageSize);
    w.U16(h.deviceType);
    w.U8(h.freshEntry);
    w.U8(h.autoSequence);
    w.U8(h.deviceByte1);
    w.U8(h.deviceByte2);
    w.U16(h.bootPageSize);
}

uint8_t At(const ReplyFrame& r, std::size_t i) {
    return i < r.payload.size() ? r.payload[i] : 0;
}
uint16_t Be16(const ReplyFrame& r, std::size_t i) {
    return static_cast<uint16_t>(At(r, i) << 8 | At(r, i + 1));
}
uint16_t Le16(const ReplyFrame& r, std::size_t i) {
    return static_cast<uint16_t>(At(r, i) | At(r, i + 1) << 8);
}

}  // namespace

Outgoing EncodeIdentify(CommandFrame& f) {
    PayloadWriter w(f, OutgoingFor(CMD_IDENTIFY));
    w.Keep(2);  // the two payload bytes are whatever is there
    return w.Done();
}

Outgoing EncodeReset(CommandFrame& f) {
    PayloadWriter w(f, OutgoingFor(CMD_RESET_PROGRAMMER));
    w.Keep(2);  // neither byte assigned
    return w.Done();
}

Outgoing EncodeExit(CommandFrame& f, uint8_t resultPass) {
    PayloadWriter w(f, OutgoingFor(CMD_EXIT_PROGRAM_MODE));
    w.U8(resultPass);
    w.Keep(1);
    return w.Done();
}

Outgoing EncodeOperationHeader(CommandFrame& f, uint8_t code, const OperationHeader& h) {
    PayloadWriter w(f, OutgoingFor(code));
    WriteOperationHeader(w, h);
    w.Keep(5);
    return w.Done();
}

Outgoing EncodeProgramModeHeader(CommandFrame& f, uint8_t code, const ProgramModeHeader& h) {
    PayloadWriter w(f, OutgoingFor(code));
    WriteOperationHeader(w, h.operation);
    w.U8(h.adapterCode);
    if (h.sectorCount)
        w.U8(*h.sectorCount);
    else
        w.Keep(1);
    w.Keep(3);
    w.Bytes(h.keyCode, kWireKeyCodeLength);
    w.Keep(9);
    return w.Done();
}

Outgoing EncodeWriteBlock(CommandFrame& f, uint8_t code, uint16_t number, const uint8_t* page,
                          uint32_t pageSize, bool first) {
    PayloadWriter w(f, OutgoingFor(code, pageSize, first));
    w.U16(number);
    w.Bytes(page, pageSize);
    return w.Done();
}

Outgoing EncodeTransferEnd(CommandFrame& f, uint8_t code) {
    return PayloadWriter(f, OutgoingFor(code)).Done();  // no payload
}

Outgoing EncodeBlockRequest(CommandFrame& f, uint8_t code, uint16_t number, uint32_t pageSize) {
    PayloadWriter w(f, OutgoingFor(code, pageSize));
    w.U16(number);
    return w.Done();
}

Outgoing EncodeEraseProgrammer(CommandFrame& f) {
    return PayloadWriter(f, OutgoingFor(CMD_ERASE_PROGRAMMER)).Done();  // no payload
}

Outgoing EncodeFirmwareBlock(CommandFrame& f, const uint8_t* data, uint16_t number, bool first) {
    PayloadWriter w(f, OutgoingFor(CMD_PROGRAMMER_FW_BLOCK, 0, first));
    w.Bytes(data, kFirmwareBlockSize);
    w.U16LowFirst(number);
    w.Keep(2);
    return w.Done();
}

Outgoing EncodeIapErase(CommandFrame& f, const uint8_t* keyCode) {
    PayloadWriter w(f, OutgoingFor(CMD_IAP_ERASE));
    w.Bytes(keyCode, kWireKeyCodeLength);
    w.Keep(14);
    return w.Done();
}

Outgoing EncodeIapBlock(CommandFrame& f, const uint8_t* page, uint32_t pageSize) {
    PayloadWriter w(f, OutgoingFor(CMD_IAP_BLOCK, pageSize));
    w.Bytes(page, pageSize);
    return w.Done();
}

Outgoing EncodeIapDone(CommandFrame& f) {
    PayloadWriter w(f, OutgoingFor(CMD_IAP_DONE));
    w.Keep(2);  // neither byte assigned
    return w.Done();
}

Outgoing EncodeSectorSum(CommandFrame& f, uint8_t sectorIndex, uint32_t sum) {
    PayloadWriter w(f, OutgoingFor(CMD_SECTOR_SUM));
    w.U8(sectorIndex);
    w.U32(sum);
    return w.Done();
}

Outgoing EncodeDataFlashBlock(CommandFrame& f, uint8_t code, uint16_t number,
                              const uint8_t* page, uint32_t pageSize) {
    PayloadWriter w(f, OutgoingFor(code, pageSize));
    w.U16(number);
    w.Bytes(page, pageSize);
    w.U16(w.CrcFrom(0));
    if (code == CMD_DATAFLASH_FLASH_BLOCK) {
        const bool blank = std::all_of(page, page + pageSize, [](uint8_t b) { return b == 0xFF; });
        w.U8(blank ? 0xA8 : 0x00);
    }
    return w.Done();
}

IdentifyReply DecodeIdentifyReply(const ReplyFrame& r) {
    return {At(r, 0), At(r, 1), Le16(r, 2), At(r, 12), Le16(r, 13), Le16(r, 15)};
}

ProgramModeReply DecodeProgramModeReply(const ReplyFrame& r) {
    return {{At(r, 0), At(r, 1)}, At(r, 2)};
}

KeyCodeState DecodeKeyCodeCheckReply(const ReplyFrame& r) {
    return {At(r, 0), At(r, 1)};
}

std::optional<uint8_t> DecodeResult(const ReplyFrame& r) {
    if (r.length < 1) return std::nullopt;
    return At(r, 0);
}

IapEraseReply DecodeIapEraseReply(const ReplyFrame& r) {
    return {At(r, 0), At(r, 1)};
}

BlockReply DecodeBlockReply(const ReplyFrame& r) {
    return {Be16(r, 0), r.payload.data() + 2};
}

const uint8_t* DecodeFirmwareEcho(const ReplyFrame& r) {
    return r.length >= kFirmwareBlockSize ? r.payload.data() : nullptr;
}

StoredSettingsReport DecodeStoredSettingsReport(const ReplyFrame& r) {
    const std::size_t length = ReplyLength(CMD_DATAFLASH_CONFIG) - kMinFrameSize;
    const std::size_t crcAt = length - 2;
    StoredSettingsReport s;
    s.crcOk = r.length >= length &&
              Crc16(r.payload.data(), static_cast<int32_t>(crcAt)) == Be16(r, crcAt);
    s.deviceType = Be16(r, 4);
    s.flashPageSize = Be16(r, 6);
    s.flashPageCount = Be16(r, 8);
    s.programKeyCode = At(r, 17) != 0;
    s.eraseChip = At(r, 18) != 0;
    s.programFlash = At(r, 19) != 0;
    s.enableProtect = At(r, 20) != 0;
    s.programSn = At(r, 22) != 0;
    return s;
}

bool RepeatsLastCommand(const ReplyFrame& r, const CommandFrame& last, bool sameLength) {
    if (last.length > kPayloadCapacity) return false;
    if (sameLength ? r.length != last.length : r.length < last.length) return false;
    return std::equal(last.payload.begin(), last.payload.begin() + last.length, r.payload.begin());
}

}  // namespace lumacrest
