#include "ops/DeviceSteps.h"

#include "ops/ReplyEngine.h"

#include "link/Link.h"
#include "ops/Codec.h"
#include "ops/Discovery.h"
#include "ops/OperationReplies.h"
#include "ops/Runs.h"

namespace lumacrest {

namespace {

struct Preamble {
    bool skipSeparatorWhileVerifying = false;
    bool resetProgress = false;
    bool takeMcuName = false;
};

// Runs before every start routine, also between the stages of a run: the port is opened
// anew each time. False when the port could not be opened; the run has ended then.
bool RunPreamble(Ops& ops, const Preamble& p) {
    const bool skipSeparator =
        ops.run.AutoSequence() || (p.skipSeparatorWhileVerifying && ops.run.VerifyAfterWrite());
    if (!skipSeparator) ops.view.WriteSeparator();
    if (!ConnectPort(ops, ops.port.number)) return false;
    if (p.resetProgress) ops.view.SetProgress(0);
    ops.view.SetControls(ControlState::Busy);
    if (p.takeMcuName) {
        const std::string selected = ops.view.SelectedMcu();
        ops.target.mcuName = selected.empty() ? std::string(kDeviceCatalogue[0]) : selected;
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
bool EnterOrContinue(Ops& ops, uint8_t beginCode, bool freshEntry) {
    if (!ops.run.ProgramModeEntered()) {
        ops.run.EnterProgramMode(beginCode, freshEntry);
        EnterProgramMode(ops);
        return false;
    }
    ops.run.ContinueInProgramMode();
    ops.run.EnterStage(StageOf(beginCode));
    return true;
}

// The operation header of the target as it stands, with `pageSize` in bytes 0-1.
OperationHeader HeaderOf(const Ops& ops, uint32_t pageSize) {
    return {.pageSize = static_cast<uint16_t>(pageSize),
            .deviceType = static_cast<uint16_t>(ops.target.DeviceType),
            .freshEntry = ops.run.FreshEntryFlag(),
            .autoSequence = static_cast<uint8_t>(ops.run.AutoSequence() ? 1 : 0),
            .deviceByte1 = ops.target.dev.DeviceByte1,
            .deviceByte2 = ops.target.dev.DeviceByte2,
            .bootPageSize = static_cast<uint16_t>(ops.target.dev.BootPageSize)};
}

// The program-mode header: the sector count only in the program-mode frame itself.
Outgoing EncodeProgramMode(Ops& ops, uint8_t code) {
    ProgramModeHeader h{.operation = HeaderOf(ops, ops.target.dev.FlashPageSize),
                        .adapterCode = ops.target.dev.DeviceByte3,
                        .sectorCount = std::nullopt,
                        .keyCode = ops.target.buf().keyCode.data()};
    if (code == CMD_ENTER_PROGRAM_MODE)
        h.sectorCount = static_cast<uint8_t>(ops.target.dev.SectorSizes.size());
    return EncodeProgramModeHeader(ops.link.Frame(), code, h);
}

void SendBegin(Ops& ops, uint8_t code, uint32_t pageSize) {
    SendStep(ops, EncodeOperationHeader(ops.link.Frame(), code, HeaderOf(ops, pageSize)));
}

}  // namespace

std::optional<std::string> PageSizeProblem(uint32_t pageSize, const char* area) {
    if (pageSize == 0) return std::string("the ") + area + " page size is 0";
    if (pageSize > MaxPageSize())
        return std::string("the ") + area + " page size " + std::to_string(pageSize) +
               " does not fit a frame (at most " + std::to_string(MaxPageSize()) + " bytes)";
    return std::nullopt;
}

bool CheckPageFits(Ops& ops, uint32_t pageSize, const char* area) {
    if (auto why = PageSizeProblem(pageSize, area)) {
        // Refused before the port is touched: nothing changes but the run's outcome.
        End(ops, Refusal(ops, "******Operation refused: " + *why + "******   "),
            {.controls = std::nullopt, .port = PortAfter::KeepOpen});
        return false;
    }
    return true;
}

bool CheckLoaded(Ops& ops, bool flash, bool boot) {
    if ((!flash || ops.target.loaded.flash) && (!boot || ops.target.loaded.boot)) return true;
    // A blank buffer would be written over the chip: refused before the port is touched.
    End(ops, Refusal(ops, kNothingLoadedMessage),
        {.controls = std::nullopt, .port = PortAfter::KeepOpen});
    return false;
}

uint32_t MaxPageSize() {
    return LargestPage(CMD_WRITE_FLASH_BLOCK);
}

bool SendStep(Ops& ops, const Outgoing& out) {
    // A copy of the last answer waiting to be thrown away: the box answered twice. The stage
    // fails at once; the exit frame still goes out, its answer ending the run failed.
    const std::optional<uint8_t> copy = ops.link.WaitingCopy();
    const bool exitFrame = ops.run.Active() && ops.run.CurrentStage() == Stage::Exit;
    if (copy && !exitFrame && FailOnWaitingCopy(ops, *copy)) return false;
    const SendResult sent = ops.link.Send(out);
    if (sent == SendResult::Sent) {
        ops.run.FrameSent();
        if (copy && exitFrame) (void)FailOnWaitingCopy(ops, *copy);
        return true;
    }
    if (sent == SendResult::Lost) return false;  // the loss has ended the run
    // The operation cannot go on: it ends as a missing reply would, without the wait.
    End(ops, Refusal(ops, "******Frame of " + std::to_string(out.length) +
                              " bytes does not fit the 300-byte payload, nothing sent******"));
    return false;
}

void EnterProgramMode(Ops& ops) {
    ops.run.EnterStage(Stage::ProgramMode);
    ops.view.AppendLog(kEnterProgramModeLine);
    // Each entry reports the KeyCode state of the chip now in the socket.
    ops.programmer.keyCodeEnabled = false;
    SendStep(ops, EncodeProgramMode(ops, CMD_ENTER_PROGRAM_MODE));
    ops.view.SetProgress(0);
}

void ResumePendingOperation(Ops& ops) {
    const uint8_t pending = ops.run.PendingOperation();
    ops.run.EnterStage(StageOf(pending));
    switch (pending) {
        case CMD_CHIP_ERASE:
            ops.view.AppendLog(kEraseLineResumed);
            SendBegin(ops, CMD_CHIP_ERASE, ops.target.dev.FlashPageSize);
            break;
        case CMD_WRITE_FLASH_BEGIN:
        case CMD_READ_FLASH_BEGIN:
        case CMD_VERIFY_FLASH_BEGIN:
        case CMD_READ_BOOT_BEGIN:
        case CMD_VERIFY_BOOT_BEGIN:
            // The boot begin frames carry the flash page size here; the box takes the boot
            // page size from bytes 8-9.
            SendBegin(ops, pending, ops.target.dev.FlashPageSize);
            ops.run.ResetBlockIndex(Area::Flash);
            break;
        case CMD_WRITE_BOOT_BEGIN:
            SendBegin(ops, CMD_WRITE_BOOT_BEGIN, ops.target.dev.BootPageSize);
            ops.run.ResetBlockIndex(Area::Boot);
            break;
        case CMD_WRITE_KEYCODE:
            ops.view.AppendLog(kWriteKeyCodeLine);
            SendBegin(ops, CMD_WRITE_KEYCODE, ops.target.dev.FlashPageSize);
            break;
        default:
            ExitWith(ops, Conclusion::Fail(Verdict::Failed, "no operation waited for program mode"));
            break;
    }
}

void ExitProgramMode(Ops& ops, const Conclusion& conclusion, std::optional<uint32_t> waitMs) {
    ops.run.LeaveProgramMode(conclusion);
    ops.view.AppendLog(kExitLine);
    Outgoing exit = EncodeExit(ops.link.Frame(), ops.run.ResultPass());
    if (waitMs) exit.timeoutMs = *waitMs;
    SendStep(ops, exit);
}

void ResetProgrammer(Ops& ops) {
    ops.run.EnterStage(Stage::Reset);
    ops.view.AppendLog(kResetLine);
    SendStep(ops, EncodeReset(ops.link.Frame()));
}

void StartChipErase(Ops& ops) {
    if (!RunPreamble(ops, {.takeMcuName = true})) return;
    // Chip erase never counts as a fresh entry, whatever an earlier run left.
    if (!EnterOrContinue(ops, CMD_CHIP_ERASE, false)) return;
    ops.view.AppendLog(kEraseLineDirect);
    SendBegin(ops, CMD_CHIP_ERASE, ops.target.dev.FlashPageSize);
}

void StartWriteFlash(Ops& ops) {
    if (!RunPreamble(ops, {.resetProgress = true})) return;
    ops.run.StartTransfer(Area::Flash);
    if (!EnterOrContinue(ops, CMD_WRITE_FLASH_BEGIN, true)) return;
    SendBegin(ops, CMD_WRITE_FLASH_BEGIN, ops.target.dev.FlashPageSize);
}

void StartReadFlash(Ops& ops) {
    if (!RunPreamble(ops, {})) return;
    if (!EnterOrContinue(ops, CMD_READ_FLASH_BEGIN, true)) return;
    SendBegin(ops, CMD_READ_FLASH_BEGIN, ops.target.dev.FlashPageSize);
    ops.run.ResetBlockIndex(Area::Flash);
}

void StartVerifyFlash(Ops& ops) {
    if (!RunPreamble(ops, {.skipSeparatorWhileVerifying = true, .resetProgress = true})) return;
    if (!EnterOrContinue(ops, CMD_VERIFY_FLASH_BEGIN, true)) return;
    SendBegin(ops, CMD_VERIFY_FLASH_BEGIN, ops.target.dev.FlashPageSize);
    ops.run.ResetBlockIndex(Area::Flash);
}

void StartWriteBoot(Ops& ops) {
    if (!RunPreamble(ops, {.resetProgress = true})) return;
    ops.run.RequestVerifyAfterWrite(true);
    ops.run.StartTransfer(Area::Boot);
    if (!EnterOrContinue(ops, CMD_WRITE_BOOT_BEGIN, true)) return;
    SendBegin(ops, CMD_WRITE_BOOT_BEGIN, ops.target.dev.BootPageSize);
}

void StartReadBoot(Ops& ops) {
    if (!RunPreamble(ops, {})) return;
    if (!EnterOrContinue(ops, CMD_READ_BOOT_BEGIN, true)) return;
    SendBegin(ops, CMD_READ_BOOT_BEGIN, ops.target.dev.FlashPageSize);
    ops.run.ResetBlockIndex(Area::Boot);
}

void StartVerifyBoot(Ops& ops) {
    if (!RunPreamble(ops, {.skipSeparatorWhileVerifying = true, .resetProgress = true})) return;
    if (!EnterOrContinue(ops, CMD_VERIFY_BOOT_BEGIN, true)) return;
    SendBegin(ops, CMD_VERIFY_BOOT_BEGIN, ops.target.dev.BootPageSize);
    ops.run.ResetBlockIndex(Area::Boot);
}

void StartWriteKeyCode(Ops& ops) {
    if (!RunPreamble(ops, {})) return;
    ops.run.RequestVerifyAfterWrite(true);
    if (!EnterOrContinue(ops, CMD_WRITE_KEYCODE, true)) return;
    ops.view.AppendLog(kWriteKeyCodeLine);
    SendBegin(ops, CMD_WRITE_KEYCODE, ops.target.dev.FlashPageSize);
}

void StartCheckKeyCode(Ops& ops) {
    if (!RunPreamble(ops, {.skipSeparatorWhileVerifying = true})) return;
    ops.run.ContinueInProgramMode();
    ops.run.EnterStage(Stage::CheckKeyCode);
    ops.view.AppendLog(kCheckKeyCodeLine);
    SendStep(ops, EncodeProgramMode(ops, CMD_CHECK_KEYCODE));
}

}  // namespace lumacrest
