#include "link/ReplyEngine.h"

#include "link/Discovery.h"
#include "link/OperationReplies.h"
#include "ops/ProgrammerMaintenance.h"
#include "ui/main/ResourceIds.h"

namespace lumacrest {

ReplyHandler ReplyRowFor(uint8_t code) {
    switch (code) {
        case CMD_IDENTIFY:
            return &OnIdentifyReply;
        case CMD_RESET_PROGRAMMER:
            return &OnResetReply;
        case CMD_EXIT_PROGRAM_MODE:
            return &OnExitReply;
        case CMD_CHIP_ERASE:
            return &OnChipEraseReply;
        case CMD_WRITE_FLASH_BEGIN:
            return &OnWriteFlashBegun;
        case CMD_WRITE_FLASH_BLOCK:
            return &OnFlashBlockWritten;
        case CMD_WRITE_FLASH_END:
            return &OnFlashWriteEnded;
        case CMD_READ_FLASH_BEGIN:
            return &OnReadFlashBegun;
        case CMD_READ_FLASH_BLOCK:
            return &OnFlashBlockRead;
        case CMD_VERIFY_FLASH_BEGIN:
            return &OnVerifyFlashBegun;
        case CMD_VERIFY_FLASH_BLOCK:
            return &OnFlashBlockVerify;
        case CMD_WRITE_BOOT_BEGIN:
            return &OnWriteBootBegun;
        case CMD_WRITE_BOOT_BLOCK:
            return &OnBootBlockWritten;
        case CMD_WRITE_BOOT_END:
            return &OnBootWriteEnded;
        case CMD_READ_BOOT_BEGIN:
            return &OnReadBootBegun;
        case CMD_READ_BOOT_BLOCK:
            return &OnBootBlockRead;
        case CMD_VERIFY_BOOT_BEGIN:
            return &OnVerifyBootBegun;
        case CMD_VERIFY_BOOT_BLOCK:
            return &OnBootBlockVerify;
        case CMD_ENTER_PROGRAM_MODE:
            return &OnProgramModeReply;
        case CMD_WRITE_KEYCODE:
            return &OnKeyCodeWritten;
        case CMD_CHECK_KEYCODE:
            return &OnKeyCodeChecked;
        case CMD_ERASE_PROGRAMMER:
            return &OnProgrammerErased;
        case CMD_PROGRAMMER_FW_BLOCK:
            return &OnFirmwareBlockEchoed;
        case CMD_IAP_ERASE:
            return &OnIapErased;
        case CMD_IAP_BLOCK:
            return &OnIapBlockWritten;
        case CMD_SECTOR_SUM:
            return &OnSectorSumRequest;
        case CMD_DATAFLASH_BEGIN:
            return &OnDataFlashBegin;
        case CMD_DATAFLASH_FLASH_BLOCK:
            return &OnDataFlashFlashBlock;
        case CMD_DATAFLASH_BOOT_BLOCK:
            return &OnDataFlashBootBlock;
        case CMD_DATAFLASH_CONFIG:
            return &OnStoredSettingsReport;
        default:
            return nullptr;
    }
}

bool IsProgrammerInitiated(uint8_t code) {
    return code == CMD_DATAFLASH_BEGIN || code == CMD_DATAFLASH_CONFIG || code == CMD_SECTOR_SUM;
}

bool EngineActsOn(const Host& h, const ReplyFrame& reply) {
    if (ReplyRowFor(reply.code) == nullptr) return false;
    if (h.scanState == 1)
        return reply.code == CMD_IDENTIFY && h.lastCode == CMD_IDENTIFY && h.answerPending;
    return (reply.code == h.lastCode && h.answerPending) || IsProgrammerInitiated(reply.code);
}

void HandleReply(Host& h, const ReplyFrame& reply) {
    if (ReplyHandler handler = ReplyRowFor(reply.code)) handler(h, reply);
}

void Idle(Host& h) {
    h.ui.EnableOperationControls();
}

void Rollback(Host& h) {
    if (h.autoSequence && h.ui.Checked(id::ProgramSn)) h.SnValue -= h.SnAdvance;
}

}  // namespace lumacrest
