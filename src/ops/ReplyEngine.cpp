#include "ops/ReplyEngine.h"

#include "link/Link.h"
#include "ops/Discovery.h"
#include "ops/OperationReplies.h"
#include "ops/DataFlash.h"
#include "ops/FirmwareRewrite.h"
#include "ops/LoaderTransfer.h"
#include "ops/SectorSums.h"
#include "ops/StoredSettings.h"
#include "ops/Runs.h"
#include "ops/Stopping.h"

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

bool TakesFrameFromTheBox(const Host& h, uint8_t code) {
    const Run& run = h.run;
    switch (code) {
        case CMD_DATAFLASH_BEGIN:
        case CMD_DATAFLASH_CONFIG:
            // In the middle of a run they would change its images, its device or its controls.
            return !run.Active();
        case CMD_SECTOR_SUM:
            return !run.Active() || (run.Kind() == RunKind::LoaderTransfer &&
                                     run.CurrentStage() == Stage::LoaderDone);
        default:
            return false;
    }
}

bool HandleFrame(Host& h, const ReplyFrame& reply, bool answer) {
    const ReplyHandler row = ReplyRowFor(reply.code);
    if (!row) return false;
    // While the scan waits, only an identify reply counts.
    if (h.run.Kind() == RunKind::Scan && reply.code != CMD_IDENTIFY) return false;
    if (!answer && !TakesFrameFromTheBox(h, reply.code)) return false;
    // A run the operator stopped sends no further block: its answer leads to the exit.
    if (answer && LeavesProgramModeOnStop(h)) {
        LeaveAfterStop(h);
        return true;
    }
    row(h, reply);
    return true;
}

void HandleReply(Host& h, const ReplyFrame& reply) {
    if (ReplyHandler handler = ReplyRowFor(reply.code)) handler(h, reply);
}

namespace {

// The reply to `code` will not come, because its time ran out or the port went away: the run
// ends at its stage as a time-out ends it. Returns false when that is no failure (the scan
// goes on, the loader's done frame is not answered).
bool ReplyWillNotCome(Host& h, uint8_t code, Verdict verdict) {
    Run& run = h.run;
    if (run.Kind() == RunKind::Scan && run.ScanWaiting()) {
        // The scan goes on with the next port; it keeps the controls locked itself.
        run.ScanWait(false);
        return false;
    }
    if (run.CurrentStage() == Stage::LoaderDone) {
        // The loader's done frame gets no reply: its time-out is the end of the transfer.
        End(h);
        return false;
    }
    if (code == CMD_IDENTIFY) {
        h.view().AppendLogRaw("Failed");
        h.view().AppendLog(kCannotFindProgrammer);
        run.Fail(verdict, kCannotFindProgrammer);
    } else {
        FailWord(h, "Timer Over ", verdict);
    }
    return true;
}

void EndAfterLostReply(Host& h) {
    const bool rewrite = h.run.Kind() == RunKind::FirmwareRewrite;
    End(h, {.controls = rewrite ? ControlState::OnlyComList : ControlState::Idle,
            .giveSerialNumberBack = true});
}

void OnOperationTimer(Host& h, int timerId) {
    if (timerId == kBootSettleTimerId && h.run.CurrentStage() == Stage::BootSettle) AfterBoot(h);
}

}  // namespace

void OnReplyTimeout(Host& h, uint8_t code) {
    // A stopped run whose last command did not answer in its short time still leaves program
    // mode.
    if (LeavesProgramModeOnStop(h)) {
        LeaveAfterStop(h);
        return;
    }
    if (ReplyWillNotCome(h, code, Verdict::TimedOut)) EndAfterLostReply(h);
}

void OnPortLost(Host& h, uint8_t code, const std::string& why) {
    if (!h.run.Active()) return;  // nothing waited on the line
    if (!ReplyWillNotCome(h, code, Verdict::PortLost)) return;
    const std::string device = h.ports.Device(h.port.number).value_or("?");
    h.prompts().MessageBox("******The port COM" + std::to_string(h.port.number) + " (" + device +
                               ") was lost: " + why +
                               "******",
                           MsgIcon::Error);
    EndAfterLostReply(h);
}

void AttachEngine(Host& h) {
    h.link.events.frame = [&h](const ReplyFrame& reply, bool answer) {
        return HandleFrame(h, reply, answer);
    };
    h.link.events.replyTimedOut = [&h](uint8_t code) { OnReplyTimeout(h, code); };
    h.link.events.portLost = [&h](uint8_t code, const std::string& why) {
        OnPortLost(h, code, why);
    };
    h.link.events.timer = [&h](int timerId) { OnOperationTimer(h, timerId); };
}

}  // namespace lumacrest
