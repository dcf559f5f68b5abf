#include "ops/DeviceSteps.h"

#include "link/Link.h"
#include "link/ReplyEngine.h"
#include "ui/main/ResourceIds.h"

namespace lumacrest {

namespace {

constexpr uint32_t kBeginTimeoutMs = 5000;
constexpr uint32_t kBeginReplyLength = 13;
constexpr uint32_t kEraseTimeoutMs = 30000;
constexpr uint32_t kEraseReplyLength = 6;
constexpr uint32_t kProgramModeTimeoutMs = 3000;
constexpr uint32_t kProgramModeReplyLength = 14;
constexpr uint32_t kExitTimeoutMs = 5000;
constexpr uint32_t kExitReplyLength = 6;
constexpr uint32_t kResetTimeoutMs = 1000;
constexpr uint32_t kResetReplyLength = 8;

void Put16(CommandFrame& f, std::size_t at, uint32_t value) {
    f.payload[at] = static_cast<uint8_t>(value >> 8);
    f.payload[at + 1] = static_cast<uint8_t>(value);
}

struct Preamble {
    bool skipSeparatorWhileVerifying = false;
    bool resetProgress = false;
    bool takeMcuName = false;
};

// Runs before every start routine, also between the stages of a run: the port is opened
// anew each time. False when the port could not be opened; the link has ended the command.
bool RunPreamble(Host& h, const Preamble& p) {
    const bool skipSeparator =
        h.autoSequence || (p.skipSeparatorWhileVerifying && h.verifyAfterWrite);
    if (!skipSeparator) h.ui.WriteSeparator();
    if (!ConnectPort(h, h.portNumber)) {
        h.freshEntryFlag = 0;
        return false;
    }
    if (p.resetProgress) h.ui.SetProgress(0);
    h.ui.DisableOperationControls();
    if (p.takeMcuName) {
        const std::string selected = h.ui.Combo(id::McuList).SelectedText();
        h.mcuName = selected.empty() ? std::string(kDeviceCatalogue[0]) : selected;
    }
    return true;
}

// A start routine that needs program mode either enters it (the program-mode reply resumes
// the operation) or, when it is on already, sends its begin frame at once. True when the
// caller is to send its begin frame now.
bool EnterOrContinue(Host& h, uint8_t beginCode, bool freshEntry) {
    if (!h.programModeEntered) {
        h.programModeEntered = 1;
        h.freshEntryFlag = freshEntry ? 1 : 0;
        EnterProgramMode(h);
        h.pendingOperation = beginCode;
        return false;
    }
    h.freshEntryFlag = 0;
    return true;
}

void SendBegin(Host& h, uint8_t code, uint32_t pageSize) {
    FillOperationHeader(h, pageSize);
    if (code == CMD_CHIP_ERASE)
        SendStep(h, code, kOperationHeaderLength, kEraseTimeoutMs, kEraseReplyLength);
    else
        SendStep(h, code, kOperationHeaderLength, kBeginTimeoutMs, kBeginReplyLength);
}

}  // namespace

void FillOperationHeader(Host& h, uint32_t pageSize) {
    CommandFrame& f = h.commandFrame;
    Put16(f, 0, pageSize);
    Put16(f, 2, static_cast<uint32_t>(h.DeviceType));
    f.payload[4] = h.freshEntryFlag;
    f.payload[5] = h.autoSequence ? 1 : 0;
    f.payload[6] = h.dev.DeviceByte1;
    f.payload[7] = h.dev.DeviceByte2;
    Put16(f, 8, h.dev.BootPageSize);
}

void FillProgramModeHeader(Host& h, bool withSectorCount) {
    FillOperationHeader(h, h.dev.FlashPageSize);
    CommandFrame& f = h.commandFrame;
    f.payload[10] = h.dev.DeviceByte3;
    if (withSectorCount) f.payload[11] = static_cast<uint8_t>(h.dev.SectorSizes.size());
    for (std::size_t i = 0; i < kKeyCodeLength; ++i) f.payload[15 + i] = h.buf().keyCode[i];
}

std::optional<std::string> PageSizeProblem(uint32_t pageSize, const char* area) {
    if (pageSize == 0) return std::string("the ") + area + " page size is 0";
    if (pageSize > kMaxPageSize)
        return std::string("the ") + area + " page size " + std::to_string(pageSize) +
               " does not fit a frame (at most " + std::to_string(kMaxPageSize) + " bytes)";
    return std::nullopt;
}

bool CheckPageFits(Host& h, uint32_t pageSize, const char* area) {
    if (auto why = PageSizeProblem(pageSize, area)) {
        h.prompts().MessageBox("******Operation refused: " + *why + "******   ", MsgIcon::Error);
        return false;
    }
    return true;
}

bool SendStep(Host& h, uint8_t code, uint32_t length, uint32_t timeoutMs, uint32_t replyLength) {
    CommandFrame& f = h.commandFrame;
    f.address = kHostAddress;
    f.code = code;
    f.length = length;
    if (SendCommand(h, f, timeoutMs, replyLength)) return true;
    EndRunQuietly(h);
    return false;
}

void EndRunQuietly(Host& h) {
    h.timers().Stop(kReplyTimerId);
    h.autoSequence = 0;
    h.programModeEntered = 0;
    h.verifyAfterWrite = 0;
    h.freshEntryFlag = 0;
    h.lastCode = kNoCommand;
    h.replyAwaited = 0;
    ClosePort(h);
    Idle(h);
}

void EnterProgramMode(Host& h) {
    h.ui.AppendLog(kEnterProgramModeLine);
    // Each entry reports the KeyCode state of the chip now in the socket.
    h.keyCodeEnabled = 0;
    FillProgramModeHeader(h, true);
    SendStep(h, CMD_ENTER_PROGRAM_MODE, kProgramModeHeaderLength, kProgramModeTimeoutMs,
             kProgramModeReplyLength);
    h.ui.SetProgress(0);
}

void ResumePendingOperation(Host& h) {
    switch (h.pendingOperation) {
        case CMD_CHIP_ERASE:
            h.ui.AppendLog(kEraseLineResumed);
            SendBegin(h, CMD_CHIP_ERASE, h.dev.FlashPageSize);
            break;
        case CMD_WRITE_FLASH_BEGIN:
        case CMD_READ_FLASH_BEGIN:
        case CMD_VERIFY_FLASH_BEGIN:
        case CMD_READ_BOOT_BEGIN:
        case CMD_VERIFY_BOOT_BEGIN:
            // The boot begin frames carry the flash page size here; the box takes the boot
            // page size from bytes 8-9.
            SendBegin(h, h.pendingOperation, h.dev.FlashPageSize);
            h.flashBlockIndex = 0;
            break;
        case CMD_WRITE_BOOT_BEGIN:
            SendBegin(h, CMD_WRITE_BOOT_BEGIN, h.dev.BootPageSize);
            h.bootBlockIndex = 0;
            break;
        case CMD_WRITE_KEYCODE:
            h.ui.AppendLog(kWriteKeyCodeLine);
            SendBegin(h, CMD_WRITE_KEYCODE, h.dev.FlashPageSize);
            break;
        default:
            h.resultPass = 1;
            ExitProgramMode(h);
            break;
    }
}

void ExitProgramMode(Host& h) {
    h.freshEntryFlag = 0;
    h.programModeEntered = 0;
    h.verifyAfterWrite = 0;
    h.autoSequence = 0;
    h.ui.AppendLog(kExitLine);
    h.commandFrame.payload[0] = h.resultPass;
    SendStep(h, CMD_EXIT_PROGRAM_MODE, 2, kExitTimeoutMs, kExitReplyLength);
}

void ResetProgrammer(Host& h) {
    h.ui.AppendLog(kResetLine);
    SendStep(h, CMD_RESET_PROGRAMMER, 2, kResetTimeoutMs, kResetReplyLength);
}

void StartChipErase(Host& h) {
    if (!RunPreamble(h, {.takeMcuName = true})) return;
    // Chip erase never counts as a fresh entry, whatever an earlier run left.
    if (!EnterOrContinue(h, CMD_CHIP_ERASE, false)) return;
    h.ui.AppendLog(kEraseLineDirect);
    SendBegin(h, CMD_CHIP_ERASE, h.dev.FlashPageSize);
}

void StartWriteFlash(Host& h) {
    if (!RunPreamble(h, {.resetProgress = true})) return;
    h.blockOffset = 0;
    if (!EnterOrContinue(h, CMD_WRITE_FLASH_BEGIN, true)) return;
    SendBegin(h, CMD_WRITE_FLASH_BEGIN, h.dev.FlashPageSize);
    h.flashBlockIndex = 0;
}

void StartReadFlash(Host& h) {
    if (!RunPreamble(h, {})) return;
    if (!EnterOrContinue(h, CMD_READ_FLASH_BEGIN, true)) return;
    SendBegin(h, CMD_READ_FLASH_BEGIN, h.dev.FlashPageSize);
    h.flashBlockIndex = 0;
}

void StartVerifyFlash(Host& h) {
    if (!RunPreamble(h, {.skipSeparatorWhileVerifying = true, .resetProgress = true})) return;
    if (!EnterOrContinue(h, CMD_VERIFY_FLASH_BEGIN, true)) return;
    SendBegin(h, CMD_VERIFY_FLASH_BEGIN, h.dev.FlashPageSize);
    h.flashBlockIndex = 0;
}

void StartWriteBoot(Host& h) {
    if (!RunPreamble(h, {.resetProgress = true})) return;
    h.verifyAfterWrite = 1;
    h.blockOffset = 0;
    if (!EnterOrContinue(h, CMD_WRITE_BOOT_BEGIN, true)) return;
    SendBegin(h, CMD_WRITE_BOOT_BEGIN, h.dev.BootPageSize);
    h.bootBlockIndex = 0;
}

void StartReadBoot(Host& h) {
    if (!RunPreamble(h, {})) return;
    if (!EnterOrContinue(h, CMD_READ_BOOT_BEGIN, true)) return;
    SendBegin(h, CMD_READ_BOOT_BEGIN, h.dev.FlashPageSize);
    h.bootBlockIndex = 0;
}

void StartVerifyBoot(Host& h) {
    if (!RunPreamble(h, {.skipSeparatorWhileVerifying = true, .resetProgress = true})) return;
    if (!EnterOrContinue(h, CMD_VERIFY_BOOT_BEGIN, true)) return;
    SendBegin(h, CMD_VERIFY_BOOT_BEGIN, h.dev.BootPageSize);
    h.bootBlockIndex = 0;
}

void StartWriteKeyCode(Host& h) {
    if (!RunPreamble(h, {})) return;
    h.verifyAfterWrite = 1;
    if (!EnterOrContinue(h, CMD_WRITE_KEYCODE, true)) return;
    h.ui.AppendLog(kWriteKeyCodeLine);
    SendBegin(h, CMD_WRITE_KEYCODE, h.dev.FlashPageSize);
}

void StartCheckKeyCode(Host& h) {
    if (!RunPreamble(h, {.skipSeparatorWhileVerifying = true})) return;
    h.freshEntryFlag = 0;
    h.ui.AppendLog(kCheckKeyCodeLine);
    FillProgramModeHeader(h, false);
    SendStep(h, CMD_CHECK_KEYCODE, kProgramModeHeaderLength, kProgramModeTimeoutMs,
             kProgramModeReplyLength);
}

}  // namespace lumacrest
