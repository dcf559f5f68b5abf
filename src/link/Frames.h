// Command and reply frames of the programmer protocol, and the command codes.
#pragma once

#include <array>
#include <cstdint>

namespace lumacrest {

inline constexpr uint8_t kFrameStart = 0x7E;
inline constexpr uint8_t kHostAddress = 0xFF;
inline constexpr std::size_t kPayloadCapacity = 300;
inline constexpr std::size_t kReceiveBufferSize = 512;
// The smallest frame: header and sum, no payload.
inline constexpr std::size_t kMinFrameSize = 6;
inline constexpr uint8_t kNoCommand = 0xFC;  // lastCode when nothing is outstanding

enum : uint8_t {
    CMD_IDENTIFY = 0x00,
    CMD_RESET_PROGRAMMER = 0x01,
    CMD_PROGRAMMER_FW_BLOCK = 0x02,
    CMD_ERASE_PROGRAMMER = 0x04,
    CMD_DATAFLASH_BEGIN = 0x06,
    CMD_DATAFLASH_FLASH_BLOCK = 0x07,
    CMD_DATAFLASH_BOOT_BLOCK = 0x08,
    CMD_DATAFLASH_CONFIG = 0x09,
    CMD_EXIT_PROGRAM_MODE = 0x0F,
    CMD_CHIP_ERASE = 0x11,
    CMD_WRITE_FLASH_BEGIN = 0x12,
    CMD_WRITE_FLASH_BLOCK = 0x13,
    CMD_WRITE_FLASH_END = 0x14,
    CMD_READ_FLASH_BEGIN = 0x15,
    CMD_READ_FLASH_BLOCK = 0x16,
    CMD_VERIFY_FLASH_BEGIN = 0x17,
    CMD_VERIFY_FLASH_BLOCK = 0x18,
    CMD_WRITE_BOOT_BEGIN = 0x19,
    CMD_WRITE_BOOT_BLOCK = 0x1A,
    CMD_READ_BOOT_BEGIN = 0x1B,
    CMD_READ_BOOT_BLOCK = 0x1C,
    CMD_VERIFY_BOOT_BEGIN = 0x1D,
    CMD_VERIFY_BOOT_BLOCK = 0x1E,
    CMD_WRITE_BOOT_END = 0x1F,
    CMD_ENTER_PROGRAM_MODE = 0x22,
    CMD_WRITE_KEYCODE = 0x25,
    CMD_CHECK_KEYCODE = 0x26,
    CMD_IAP_BLOCK = 0x41,
    CMD_IAP_ERASE = 0x42,
    CMD_SECTOR_SUM = 0x44,
    CMD_IAP_DONE = 0x48,
};

// The host's record of the next command. One shared instance: payload bytes a sender does
// not assign keep what the previous command left.
struct CommandFrame {
    uint8_t address = kHostAddress;
    uint8_t code = 0;
    uint32_t length = 0;
    std::array<uint8_t, kPayloadCapacity> payload{};
    uint8_t sum = 0;
};

// The last verified reply.
struct ReplyFrame {
    uint8_t address = 0;
    uint8_t code = 0;
    uint32_t length = 0;
    std::array<uint8_t, kPayloadCapacity> payload{};
    uint8_t sum = 0;
};

}  // namespace lumacrest
