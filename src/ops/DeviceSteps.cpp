#include "ops/DeviceSteps.h"

#include "link/Link.h"
#include "ops/Discovery.h"
#include "ops/OperationReplies.h"
#include "ops/Runs.h"
#include "ui/main/ResourceIds.h"

namespace lumacrest {

namespace {

constexpr uint32_t kBeginTimeoutMs = 5000;
constexpr uint32_t kBeginReplyLength = 13;
constexpr uint32_t kEraseTimeoutMs = 30000;
// The table gives the erase reply 6 bytes, but its row reads the result byte: an answer
// carries it.
constexpr uint32_t kEraseReplyLength = 7;
constexpr uint32_t kProgramModeTimeoutMs = 3000;
constexpr uint32_t kProgramModeReplyLength = 14;
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
// anew each time. False when the port could not be opened; the run has ended then.
bool RunPreamble(Host& h, const Preamble& p) {
    const bool skipSeparator =
        h.run.AutoSequence() || (p.skipSeparatorWhileVerifying && h.run.VerifyAfterWrite());
    if (!skipSeparator) h.view().WriteSeparator();
    if (!ConnectPort(h, h.port.number)) return false;
    if (p.resetProgress) h.view().SetProgress(0);
    h.view().SetControls(ControlState::Busy);
    if (p.takeMcuName) {
        const std::string selected = h.view().SelectedMcu();
        h.target.mcuName = selected.empty() ? std::string(kDeviceCatalogue[0]) : selected;
    }
    return true;
}

// The stage a begin frame starts.
Stage StageOf(uint8_t beginCode) {
    switch (beginCode) {
        case CMD_CHIP_ERASE: return Stage::Erase;
        case CMD_WRITE_FLASH_BEGIN: return Stage::WriteFlash;
        case CMD_READ_FLASH_BEGIN: return Stage::ReadFlash;
        case CMD_VERIFY_FLASH_BEGIN: return Stage::VerifyFlash;
        case CMD_WRITE_BOOT_BEGIN: return Stage::WriteBoot;
        case CMD_READ_BOOT_BEGIN: return Stage::ReadBoot;
        case CMD_VERIFY_BOOT_BEGIN: return Stage::VerifyBoot;
        case CMD_WRITE_KEYCODE: return Stage::WriteKeyCode;
        default: return Stage::Exit;
    }
}

// A start routine that needs program mode either enters it (the program-mode reply resumes
// the operation) or, when it is on already, sends its begin frame at once. True when the
// caller is to send its begin frame now.
bool EnterOrContinue(Host& h, uint8_t beginCode, bool freshEntry) {
    if (!h.run.ProgramModeEntered()) {
        h.run.EnterProgramMode(beginCode, freshEntry);
        EnterProgramMode(h);
        return false;
    }
    h.run.ContinueInProgramMode();
    h.run.EnterStage(StageOf(beginCode));
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
    CommandFrame& f = h.link.Frame();
    Put16(f, 0, pageSize);
    Put16(f, 2, static_cast<uint32_t>(h.target.DeviceType));
    f.payload[4] = h.run.FreshEntryFlag();
    f.payload[5] = h.run.AutoSequence() ? 1 : 0;
    f.payload[6] = h.target.dev.DeviceByte1;
    f.payload[7] = h.target.dev.DeviceByte2;
    Put16(f, 8, h.target.dev.BootPageSize);
}

void FillProgramModeHeader(Host& h, bool withSectorCount) {
    FillOperationHeader(h, h.target.dev.FlashPageSize);
    CommandFrame& f = h.link.Frame();
    f.payload[10] = h.target.dev.DeviceByte3;
    if (withSectorCount) f.payload[11] = static_cast<uint8_t>(h.target.dev.SectorSizes.size());
    for (std::size_t i = 0; i < kKeyCodeLength; ++i) f.payload[15 + i] = h.target.buf().keyCode[i];
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
        // Refused before the port is touched: nothing changes but the run's outcome.
        FailMessage(h, "******Operation refused: " + *why + "******   ", Verdict::Refused);
        End(h, {.controls = std::nullopt, .port = PortAfter::KeepOpen});
        return false;
    }
    return true;
}

bool SendStep(Host& h, uint8_t code, uint32_t length, uint32_t timeoutMs, uint32_t replyLength) {
    const SendResult sent = h.link.Send(code, length, timeoutMs, replyLength);
    if (sent == SendResult::Sent) {
        h.run.FrameSent();
        return true;
    }
    if (sent == SendResult::Lost) return false;  // the loss has ended the run
    // The operation cannot go on: it ends as a missing reply would, without the wait.
    FailMessage(h,
                "******Frame of " + std::to_string(length) +
                    " bytes does not fit the 300-byte payload, nothing sent******",
                Verdict::Refused);
    End(h, {.giveSerialNumberBack = true});
    return false;
}

void EnterProgramMode(Host& h) {
    h.run.EnterStage(Stage::ProgramMode);
    h.view().AppendLog(kEnterProgramModeLine);
    // Each entry reports the KeyCode state of the chip now in the socket.
    h.run.SetKeyCodeEnabled(false);
    FillProgramModeHeader(h, true);
    SendStep(h, CMD_ENTER_PROGRAM_MODE, kProgramModeHeaderLength, kProgramModeTimeoutMs,
             kProgramModeReplyLength);
    h.view().SetProgress(0);
}

void ResumePendingOperation(Host& h) {
    const uint8_t pending = h.run.PendingOperation();
    h.run.EnterStage(StageOf(pending));
    switch (pending) {
        case CMD_CHIP_ERASE:
            h.view().AppendLog(kEraseLineResumed);
            SendBegin(h, CMD_CHIP_ERASE, h.target.dev.FlashPageSize);
            break;
        case CMD_WRITE_FLASH_BEGIN:
        case CMD_READ_FLASH_BEGIN:
        case CMD_VERIFY_FLASH_BEGIN:
        case CMD_READ_BOOT_BEGIN:
        case CMD_VERIFY_BOOT_BEGIN:
            // The boot begin frames carry the flash page size here; the box takes the boot
            // page size from bytes 8-9.
            SendBegin(h, pending, h.target.dev.FlashPageSize);
            h.run.ResetBlockIndex(Area::Flash);
            break;
        case CMD_WRITE_BOOT_BEGIN:
            SendBegin(h, CMD_WRITE_BOOT_BEGIN, h.target.dev.BootPageSize);
            h.run.ResetBlockIndex(Area::Boot);
            break;
        case CMD_WRITE_KEYCODE:
            h.view().AppendLog(kWriteKeyCodeLine);
            SendBegin(h, CMD_WRITE_KEYCODE, h.target.dev.FlashPageSize);
            break;
        default:
            ExitWith(h, 1);
            break;
    }
}

void ExitProgramMode(Host& h, uint32_t timeoutMs) {
    h.run.LeaveProgramMode(h.run.ResultPass());
    h.view().AppendLog(kExitLine);
    h.link.Frame().payload[0] = h.run.ResultPass();
    SendStep(h, CMD_EXIT_PROGRAM_MODE, 2, timeoutMs, kExitReplyLength);
}

void ResetProgrammer(Host& h) {
    h.run.EnterStage(Stage::Reset);
    h.view().AppendLog(kResetLine);
    SendStep(h, CMD_RESET_PROGRAMMER, 2, kResetTimeoutMs, kResetReplyLength);
}

void StartChipErase(Host& h) {
    if (!RunPreamble(h, {.takeMcuName = true})) return;
    // Chip erase never counts as a fresh entry, whatever an earlier run left.
    if (!EnterOrContinue(h, CMD_CHIP_ERASE, false)) return;
    h.view().AppendLog(kEraseLineDirect);
    SendBegin(h, CMD_CHIP_ERASE, h.target.dev.FlashPageSize);
}

void StartWriteFlash(Host& h) {
    if (!RunPreamble(h, {.resetProgress = true})) return;
    h.run.StartTransfer(Area::Flash);
    if (!EnterOrContinue(h, CMD_WRITE_FLASH_BEGIN, true)) return;
    SendBegin(h, CMD_WRITE_FLASH_BEGIN, h.target.dev.FlashPageSize);
}

void StartReadFlash(Host& h) {
    if (!RunPreamble(h, {})) return;
    if (!EnterOrContinue(h, CMD_READ_FLASH_BEGIN, true)) return;
    SendBegin(h, CMD_READ_FLASH_BEGIN, h.target.dev.FlashPageSize);
    h.run.ResetBlockIndex(Area::Flash);
}

void StartVerifyFlash(Host& h) {
    if (!RunPreamble(h, {.skipSeparatorWhileVerifying = true, .resetProgress = true})) return;
    if (!EnterOrContinue(h, CMD_VERIFY_FLASH_BEGIN, true)) return;
    SendBegin(h, CMD_VERIFY_FLASH_BEGIN, h.target.dev.FlashPageSize);
    h.run.ResetBlockIndex(Area::Flash);
}

void StartWriteBoot(Host& h) {
    if (!RunPreamble(h, {.resetProgress = true})) return;
    h.run.RequestVerifyAfterWrite(true);
    h.run.StartTransfer(Area::Boot);
    if (!EnterOrContinue(h, CMD_WRITE_BOOT_BEGIN, true)) return;
    SendBegin(h, CMD_WRITE_BOOT_BEGIN, h.target.dev.BootPageSize);
}

void StartReadBoot(Host& h) {
    if (!RunPreamble(h, {})) return;
    if (!EnterOrContinue(h, CMD_READ_BOOT_BEGIN, true)) return;
    SendBegin(h, CMD_READ_BOOT_BEGIN, h.target.dev.FlashPageSize);
    h.run.ResetBlockIndex(Area::Boot);
}

void StartVerifyBoot(Host& h) {
    if (!RunPreamble(h, {.skipSeparatorWhileVerifying = true, .resetProgress = true})) return;
    if (!EnterOrContinue(h, CMD_VERIFY_BOOT_BEGIN, true)) return;
    SendBegin(h, CMD_VERIFY_BOOT_BEGIN, h.target.dev.BootPageSize);
    h.run.ResetBlockIndex(Area::Boot);
}

void StartWriteKeyCode(Host& h) {
    if (!RunPreamble(h, {})) return;
    h.run.RequestVerifyAfterWrite(true);
    if (!EnterOrContinue(h, CMD_WRITE_KEYCODE, true)) return;
    h.view().AppendLog(kWriteKeyCodeLine);
    SendBegin(h, CMD_WRITE_KEYCODE, h.target.dev.FlashPageSize);
}

void StartCheckKeyCode(Host& h) {
    if (!RunPreamble(h, {.skipSeparatorWhileVerifying = true})) return;
    h.run.ContinueInProgramMode();
    h.run.EnterStage(Stage::CheckKeyCode);
    h.view().AppendLog(kCheckKeyCodeLine);
    FillProgramModeHeader(h, false);
    SendStep(h, CMD_CHECK_KEYCODE, kProgramModeHeaderLength, kProgramModeTimeoutMs,
             kProgramModeReplyLength);
}

}  // namespace lumacrest
