#include "link/CommandTable.h"

#include <array>
#include <cstdlib>

namespace lumacrest {

namespace {

using R = SizeRule;

// code, name, payload, reply (whole frame), time-out, first-block time-out
constexpr std::array kCommands = {
    CommandSpec{CMD_IDENTIFY, "CMD_IDENTIFY", R::Fixed, 2, R::Fixed, 26, 1000, 0},
    CommandSpec{CMD_RESET_PROGRAMMER, "CMD_RESET_PROGRAMMER", R::Fixed, 2, R::Fixed, 8, 1000, 0},
    CommandSpec{CMD_PROGRAMMER_FW_BLOCK, "CMD_PROGRAMMER_FW_BLOCK", R::Fixed, 260, R::Fixed, 266,
                10000, 20000},
    CommandSpec{CMD_ERASE_PROGRAMMER, "CMD_ERASE_PROGRAMMER", R::Fixed, 0, R::Fixed, 6, 30000, 0},
    CommandSpec{CMD_DATAFLASH_BEGIN, "CMD_DATAFLASH_BEGIN", R::NotSent, 0, R::NotSent, 0, 0, 0},
    CommandSpec{CMD_DATAFLASH_FLASH_BLOCK, "CMD_DATAFLASH_FLASH_BLOCK", R::PagePlus, 5, R::Echo, 6,
                5000, 0},
    CommandSpec{CMD_DATAFLASH_BOOT_BLOCK, "CMD_DATAFLASH_BOOT_BLOCK", R::PagePlus, 4, R::Echo, 6,
                5000, 0},
    // The box's stored settings: a 65-byte report.
    CommandSpec{CMD_DATAFLASH_CONFIG, "CMD_DATAFLASH_CONFIG", R::NotSent, 0, R::Fixed, 71, 0, 0},
    CommandSpec{CMD_EXIT_PROGRAM_MODE, "CMD_EXIT_PROGRAM_MODE", R::Fixed, 2, R::Fixed, 6, 5000, 0},
    // The erase reply's row reads its result byte: an answer carries it (one byte more than
    // the bare frame).
    CommandSpec{CMD_CHIP_ERASE, "CMD_CHIP_ERASE", R::Fixed, 15, R::Fixed, 7, 30000, 0},
    CommandSpec{CMD_WRITE_FLASH_BEGIN, "CMD_WRITE_FLASH_BEGIN", R::Fixed, 15, R::Fixed, 13, 5000, 0},
    CommandSpec{CMD_WRITE_FLASH_BLOCK, "CMD_WRITE_FLASH_BLOCK", R::PagePlus, 2, R::Fixed, 6, 20000,
                5000},
    CommandSpec{CMD_WRITE_FLASH_END, "CMD_WRITE_FLASH_END", R::Fixed, 0, R::Fixed, 6, 5000, 0},
    CommandSpec{CMD_READ_FLASH_BEGIN, "CMD_READ_FLASH_BEGIN", R::Fixed, 15, R::Fixed, 13, 5000, 0},
    CommandSpec{CMD_READ_FLASH_BLOCK, "CMD_READ_FLASH_BLOCK", R::Fixed, 2, R::PagePlus, 8, 5000, 0},
    CommandSpec{CMD_VERIFY_FLASH_BEGIN, "CMD_VERIFY_FLASH_BEGIN", R::Fixed, 15, R::Fixed, 13, 5000,
                0},
    CommandSpec{CMD_VERIFY_FLASH_BLOCK, "CMD_VERIFY_FLASH_BLOCK", R::Fixed, 2, R::PagePlus, 8, 5000,
                0},
    CommandSpec{CMD_WRITE_BOOT_BEGIN, "CMD_WRITE_BOOT_BEGIN", R::Fixed, 15, R::Fixed, 13, 5000, 0},
    CommandSpec{CMD_WRITE_BOOT_BLOCK, "CMD_WRITE_BOOT_BLOCK", R::PagePlus, 2, R::Fixed, 6, 20000,
                5000},
    CommandSpec{CMD_READ_BOOT_BEGIN, "CMD_READ_BOOT_BEGIN", R::Fixed, 15, R::Fixed, 13, 5000, 0},
    CommandSpec{CMD_READ_BOOT_BLOCK, "CMD_READ_BOOT_BLOCK", R::Fixed, 2, R::PagePlus, 8, 5000, 0},
    CommandSpec{CMD_VERIFY_BOOT_BEGIN, "CMD_VERIFY_BOOT_BEGIN", R::Fixed, 15, R::Fixed, 13, 5000, 0},
    CommandSpec{CMD_VERIFY_BOOT_BLOCK, "CMD_VERIFY_BOOT_BLOCK", R::Fixed, 2, R::PagePlus, 8, 5000,
                0},
    CommandSpec{CMD_WRITE_BOOT_END, "CMD_WRITE_BOOT_END", R::Fixed, 0, R::Fixed, 6, 5000, 0},
    CommandSpec{CMD_ENTER_PROGRAM_MODE, "CMD_ENTER_PROGRAM_MODE", R::Fixed, 40, R::Fixed, 14, 3000,
                0},
    CommandSpec{CMD_WRITE_KEYCODE, "CMD_WRITE_KEYCODE", R::Fixed, 15, R::Fixed, 13, 5000, 0},
    CommandSpec{CMD_CHECK_KEYCODE, "CMD_CHECK_KEYCODE", R::Fixed, 40, R::Fixed, 14, 3000, 0},
    CommandSpec{CMD_IAP_BLOCK, "CMD_IAP_BLOCK", R::PagePlus, 0, R::Fixed, 8, 10000, 0},
    CommandSpec{CMD_IAP_ERASE, "CMD_IAP_ERASE", R::Fixed, 30, R::Fixed, 14, 60000, 0},
    CommandSpec{CMD_SECTOR_SUM, "CMD_SECTOR_SUM", R::Fixed, 5, R::Fixed, 8, 20000, 0},
    CommandSpec{CMD_IAP_DONE, "CMD_IAP_DONE", R::Fixed, 2, R::Fixed, 26, 10000, 0},
};

}  // namespace

const CommandSpec* FindCommand(uint8_t code) {
    for (const CommandSpec& spec : kCommands)
        if (spec.code == code) return &spec;
    return nullptr;
}

const CommandSpec& Command(uint8_t code) {
    const CommandSpec* spec = FindCommand(code);
    if (!spec) std::abort();  // every code the program builds is in the table
    return *spec;
}

uint32_t PayloadLength(uint8_t code, uint32_t pageSize) {
    const CommandSpec& c = Command(code);
    return c.payloadRule == SizeRule::PagePlus ? pageSize + c.payloadBytes : c.payloadBytes;
}

uint32_t ReplyLength(uint8_t code, uint32_t pageSize, uint32_t payloadLength) {
    const CommandSpec& c = Command(code);
    switch (c.replyRule) {
        case SizeRule::PagePlus: return pageSize + c.replyBytes;
        case SizeRule::Echo: return payloadLength + c.replyBytes;
        default: return c.replyBytes;
    }
}

uint32_t ReplyTimeoutMs(uint8_t code, bool first) {
    const CommandSpec& c = Command(code);
    return first && c.firstTimeoutMs != 0 ? c.firstTimeoutMs : c.timeoutMs;
}

Outgoing OutgoingFor(uint8_t code, uint32_t pageSize, bool first) {
    const uint32_t length = PayloadLength(code, pageSize);
    return {code, length, ReplyTimeoutMs(code, first), ReplyLength(code, pageSize, length)};
}

uint32_t LargestPage(uint8_t code) {
    const CommandSpec& c = Command(code);
    if (c.payloadRule == SizeRule::PagePlus) return kPayloadCapacity - c.payloadBytes;
    // A page asked for comes back in the reply: block number and page within the payload area.
    if (c.replyRule == SizeRule::PagePlus) return static_cast<uint32_t>(kPayloadCapacity + kMinFrameSize) - c.replyBytes;
    return 0;
}

}  // namespace lumacrest
