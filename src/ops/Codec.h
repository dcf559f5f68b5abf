// Every command the host sends and every reply it reads, as named fields. An encoder writes
// its fields into the one shared command frame and says which bytes it leaves as the command
// before left them; lengths, reply lengths and time-outs come from the command table. A
// decoder reads a verified reply into its fields. No other code writes or reads a payload
// byte by its place.
#pragma once

#include <cstdint>
#include <optional>

#include "link/CommandTable.h"
#include "link/Frames.h"

namespace lumacrest {

inline constexpr uint32_t kFirmwareBlockSize = 256;  // data bytes of a firmware block
inline constexpr std::size_t kWireKeyCodeLength = 16;

// The 15-byte operation header of the begin frames, the chip erase and the KeyCode write.
// Bytes 10-14 are not assigned: they keep what the command before left.
struct OperationHeader {
    uint16_t pageSize = 0;
    uint16_t deviceType = 0;
    uint8_t freshEntry = 0;
    uint8_t autoSequence = 0;
    uint8_t deviceByte1 = 0;
    uint8_t deviceByte2 = 0;
    uint16_t bootPageSize = 0;
};

// The 40-byte program-mode header: the operation header, the adapter code, the sector count
// (not assigned in the KeyCode check), the KeyCode. Bytes 12-14 and 31-39 keep what the
// command before left.
struct ProgramModeHeader {
    OperationHeader operation;
    uint8_t adapterCode = 0;
    std::optional<uint8_t> sectorCount;
    const uint8_t* keyCode = nullptr;  // kWireKeyCodeLength bytes
};

// Encoders. Each fills the shared frame `f` and returns the command to send. A frame whose
// payload would not fit the payload area leaves `f` as it is; the link refuses it.
Outgoing EncodeIdentify(CommandFrame& f);                           // both bytes left over
Outgoing EncodeReset(CommandFrame& f);                              // both bytes left over
Outgoing EncodeExit(CommandFrame& f, uint8_t resultPass);           // byte 1 left over
Outgoing EncodeOperationHeader(CommandFrame& f, uint8_t code, const OperationHeader& h);
Outgoing EncodeProgramModeHeader(CommandFrame& f, uint8_t code, const ProgramModeHeader& h);
// A flash or boot page to write: block number (high byte first), the page.
Outgoing EncodeWriteBlock(CommandFrame& f, uint8_t code, uint16_t number, const uint8_t* page,
                          uint32_t pageSize, bool first);
Outgoing EncodeTransferEnd(CommandFrame& f, uint8_t code);          // no payload
// A request for the page `number` of `pageSize` bytes (read or verify).
Outgoing EncodeBlockRequest(CommandFrame& f, uint8_t code, uint16_t number, uint32_t pageSize);
Outgoing EncodeEraseProgrammer(CommandFrame& f);                    // no payload
// 256 data bytes, the block number low byte first, two bytes left over.
Outgoing EncodeFirmwareBlock(CommandFrame& f, const uint8_t* data, uint16_t number, bool first);
// The KeyCode, 14 bytes left over.
Outgoing EncodeIapErase(CommandFrame& f, const uint8_t* keyCode);
Outgoing EncodeIapBlock(CommandFrame& f, const uint8_t* page, uint32_t pageSize);
Outgoing EncodeIapDone(CommandFrame& f);                            // both bytes left over
Outgoing EncodeSectorSum(CommandFrame& f, uint8_t sectorIndex, uint32_t sum);
// A DataFlash block: number, page, CRC-16 of both (high byte first), and for a flash page the
// blank flag (0xA8 when every page byte is 0xFF).
Outgoing EncodeDataFlashBlock(CommandFrame& f, uint8_t code, uint16_t number,
                              const uint8_t* page, uint32_t pageSize);

// Decoders of verified replies. Bytes past a reply's length read as 0.
struct IdentifyReply {
    uint8_t fwMajor = 0;
    uint8_t fwMinor = 0;
    uint16_t number = 0;  // first two bytes of the identity block, low first
    uint8_t kind = 0;
    uint16_t maxCount = 0;   // low first
    uint16_t usedCount = 0;  // low first
};
IdentifyReply DecodeIdentifyReply(const ReplyFrame& r);

struct KeyCodeState {
    uint8_t first = 0;
    uint8_t second = 0;
    bool Is(uint8_t a, uint8_t b) const { return first == a && second == b; }
};
struct ProgramModeReply {
    KeyCodeState state;
    uint8_t adapterId = 0;
};
ProgramModeReply DecodeProgramModeReply(const ReplyFrame& r);
KeyCodeState DecodeKeyCodeCheckReply(const ReplyFrame& r);

// The result byte of the chip erase, the loader block and a sector-sum request (its status);
// nothing when the reply carries no byte.
std::optional<uint8_t> DecodeResult(const ReplyFrame& r);

struct IapEraseReply {
    uint8_t state = 0;   // 0xEE stop, 0xAA / 0x55 the KeyCode state
    uint8_t result = 0;  // 0 success
};
IapEraseReply DecodeIapEraseReply(const ReplyFrame& r);

// A read or verify block: the number the box echoes and the page from payload byte 2 on.
struct BlockReply {
    uint16_t number = 0;
    const uint8_t* page = nullptr;
};
BlockReply DecodeBlockReply(const ReplyFrame& r);

// The 256 data bytes a firmware block's reply echoes; nothing when it is shorter.
const uint8_t* DecodeFirmwareEcho(const ReplyFrame& r);

struct StoredSettingsReport {
    bool crcOk = false;  // whole, and the CRC over bytes 0-62 matches bytes 63-64
    uint16_t deviceType = 0;
    uint16_t flashPageSize = 0;
    uint16_t flashPageCount = 0;
    bool programKeyCode = false;
    bool eraseChip = false;
    bool programFlash = false;
    bool enableProtect = false;
    bool programSn = false;
};
StoredSettingsReport DecodeStoredSettingsReport(const ReplyFrame& r);

// The reply repeats the payload of the last command built, over that command's length: a
// DataFlash begin frame (at least as long) or a DataFlash block's echo (`sameLength`).
bool RepeatsLastCommand(const ReplyFrame& r, const CommandFrame& last, bool sameLength);

}  // namespace lumacrest
