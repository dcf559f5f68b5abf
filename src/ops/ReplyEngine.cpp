#include "ops/ReplyEngine.h"

#include <algorithm>
#include <cstdio>
#include <optional>
#include <utility>
#include <vector>

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

bool TakesFrameFromTheBox(const Ops& ops, uint8_t code) {
    const Run& run = ops.run;
    const bool connecting = run.Kind() == RunKind::Identify || run.Kind() == RunKind::Scan;
    switch (code) {
        case CMD_DATAFLASH_BEGIN:
            // The box may answer the identify with its download: the connect becomes it.
            return !run.Active() || (connecting && ops.link.ReplyTimerRunning());
        case CMD_DATAFLASH_CONFIG:
            // In place of the identify reply the connect becomes the report; in the middle of
            // another run it would change its device and its pages: it waits for the run's end.
            return !run.Active() || (connecting && ops.link.ReplyTimerRunning());
        case CMD_SECTOR_SUM:
            return !run.Active() || (run.Kind() == RunKind::LoaderTransfer &&
                                     run.CurrentStage() == Stage::LoaderDone);
        default:
            return false;
    }
}

namespace {

// Frames the box may send on its own: more than one of them is no repeat.
bool BoxSendsOnItsOwn(uint8_t code) {
    return code == CMD_DATAFLASH_BEGIN || code == CMD_DATAFLASH_CONFIG || code == CMD_SECTOR_SUM;
}

}  // namespace

bool FailOnRepeatedAnswer(Ops& ops, const ReplyFrame& reply) {
    Run& run = ops.run;
    if (!run.Active()) return false;
    char words[64], line[64];
    std::snprintf(words, sizeof words, "the box answered the command 0x%02X twice", reply.code);
    std::snprintf(line, sizeof line, "Programmer answered command 0x%02X twice", reply.code);
    const Conclusion failed = Conclusion::Fail(Verdict::Failed, words);
    const bool deviceRun = run.Kind() == RunKind::Update || run.Kind() == RunKind::Single;
    if (deviceRun && run.CurrentStage() == Stage::Exit) {
        // The exit frame is out: its answer ends the run, failed.
        if (!run.ExitConclusion() || run.ExitConclusion()->Passed()) {
            ops.view.AppendLog(line);
            run.FailTheExit(failed);
        }
        return true;
    }
    ops.view.AppendLogRaw("Failed");
    ops.view.AppendLog(line);
    if (deviceRun && run.ProgramModeEntered()) {
        ExitWith(ops, failed);
        return true;
    }
    if (run.Kind() == RunKind::FirmwareRewrite)
        End(ops, failed, {.controls = ControlState::OnlyComList});
    else if (deviceRun || run.Kind() == RunKind::Identify || run.Kind() == RunKind::Scan)
        End(ops, failed);
    else
        End(ops, failed, {.port = PortAfter::KeepOpen});
    return true;
}

bool FailOnWaitingCopy(Ops& ops, uint8_t code) {
    if (BoxSendsOnItsOwn(code)) return false;
    ReplyFrame copy;
    copy.code = code;
    return FailOnRepeatedAnswer(ops, copy);
}

bool HandleFrame(Ops& ops, const ReplyFrame& reply, FrameRole role) {
    const ReplyHandler row = ReplyRowFor(reply.code);
    if (!row) return false;
    if (role == FrameRole::Repeat && !BoxSendsOnItsOwn(reply.code))
        return FailOnRepeatedAnswer(ops, reply);
    const bool answer = role == FrameRole::Answer;
    // While the scan waits, only an identify reply counts.
    if (ops.run.Kind() == RunKind::Scan && reply.code != CMD_IDENTIFY &&
        reply.code != CMD_DATAFLASH_BEGIN && reply.code != CMD_DATAFLASH_CONFIG)
        return false;
    if (!answer && !TakesFrameFromTheBox(ops, reply.code)) return HoldUntilRunEnds(ops, reply);
    // A run the operator stopped sends no further block: its answer leads to the exit.
    if (answer && LeavesProgramModeOnStop(ops)) {
        LeaveAfterStop(ops);
        return true;
    }
    row(ops, reply);
    return true;
}

bool HoldUntilRunEnds(Ops& ops, const ReplyFrame& reply) {
    // Only while a run awaits a reply does the box's own frame count at all.
    if (!ops.run.Active() || !ops.link.ReplyTimerRunning()) return false;
    RunHistory& held = ops.history;
    switch (reply.code) {
        case CMD_DATAFLASH_CONFIG:
            held.heldSettingsReport = reply;  // the latest report is the box's settings
            return true;
        case CMD_DATAFLASH_BEGIN:
        case CMD_SECTOR_SUM:
            // One conversation at a time: the box's cannot start inside the run's.
            if (std::find(held.requestsDuringRun.begin(), held.requestsDuringRun.end(),
                          reply.code) == held.requestsDuringRun.end())
                held.requestsDuringRun.push_back(reply.code);
            return true;
        default:
            return false;
    }
}

void AfterRunEnded(Ops& ops) {
    const std::vector<uint8_t> requests = std::exchange(ops.history.requestsDuringRun, {});
    const std::optional<ReplyFrame> report =
        std::exchange(ops.history.heldSettingsReport, std::nullopt);
    if (ops.shutdownRequested) return;
    for (uint8_t code : requests)
        ops.view.AppendLog(code == CMD_DATAFLASH_BEGIN
                               ? "Programmer asked for DataFlash Download during a run: refused"
                               : "Programmer asked for Sector Sums during a run: refused");
    if (!report) return;
    ops.view.AppendLog("Programmer Stored Settings......");
    OnStoredSettingsReport(ops, *report);
    if (ops.history.last.kind == RunKind::SettingsReport && ops.history.last.Passed())
        ops.view.AppendLogRaw("OK");
}

void HandleReply(Ops& ops, const ReplyFrame& reply) {
    if (ReplyHandler handler = ReplyRowFor(reply.code)) handler(ops, reply);
}

namespace {

// The reply to `code` will not come, because its time ran out or the port went away: the run
// ends at its stage as a time-out ends it. Returns false when that is no failure
// (the scan goes on, the loader's done frame is not answered).
bool ReplyWillNotCome(Ops& ops, uint8_t code) {
    Run& run = ops.run;
    if (run.Kind() == RunKind::Scan) {
        // The scan goes on with the next port.
        ScanNextPort(ops);
        return false;
    }
    if (run.CurrentStage() == Stage::LoaderDone) {
        // The loader's done frame gets no reply: its time-out is the end of the transfer.
        End(ops, Conclusion::Pass());
        return false;
    }
    if (code == CMD_IDENTIFY) {
        ops.view.AppendLogRaw("Failed");
        ops.view.AppendLog(kCannotFindProgrammer);
        ops.view.AppendLog(TriedLine(ops, ops.port.number));
    } else {
        ops.view.AppendLogRaw("Timer Over ");
    }
    return true;
}

// The run ends after a reply that did not come. An exit frame that told the box of a failure
// keeps that failure as the run's.
void EndAfterLostReply(Ops& ops, Verdict verdict, const std::string& words) {
    const bool rewrite = ops.run.Kind() == RunKind::FirmwareRewrite;
    const std::optional<Conclusion>& told = ops.run.ExitConclusion();
    const Conclusion conclusion = ops.run.CurrentStage() == Stage::Exit && told && !told->Passed()
                                      ? *told
                                      : Conclusion::Fail(verdict, words);
    End(ops, conclusion, {.controls = rewrite ? ControlState::OnlyComList : ControlState::Idle});
}

void OnOperationTimer(Ops& ops, int timerId) {
    if (timerId == kBootSettleTimerId && ops.run.CurrentStage() == Stage::BootSettle) AfterBoot(ops);
}

}  // namespace

void OnReplyTimeout(Ops& ops, uint8_t code) {
    // A stopped run whose last command did not answer in its short time still leaves program
    // mode.
    if (LeavesProgramModeOnStop(ops)) {
        LeaveAfterStop(ops);
        return;
    }
    const std::string words =
        code == CMD_IDENTIFY ? "no programmer answered the identify on COM" +
                                   std::to_string(ops.port.number) + " (" +
                                   ops.ports.Device(ops.port.number).value_or("?") + ")"
                             : NoAnswerWords(code, ops.link.ReplyWaitMs());
    if (ReplyWillNotCome(ops, code))
        EndAfterLostReply(ops, Verdict::TimedOut, words);
}

void OnPortLost(Ops& ops, uint8_t code, const std::string& why) {
    if (!ops.run.Active()) return;  // nothing waited on the line
    const std::string words = PortLostWords(ops, why);
    if (!ReplyWillNotCome(ops, code)) return;
    // "******The port COM3 (/dev/ttyUSB2) was lost: ...******"
    ShowRunMessage(ops, "******T" + words.substr(1) + "******", MessageKind::Error);
    EndAfterLostReply(ops, Verdict::PortLost, words);
}

void AttachEngine(Ops& ops) {
    ops.link.events.frame = [&ops](const ReplyFrame& reply, FrameRole role) {
        return HandleFrame(ops, reply, role);
    };
    ops.link.events.replyTimedOut = [&ops](uint8_t code) { OnReplyTimeout(ops, code); };
    ops.link.events.portLost = [&ops](uint8_t code, const std::string& why) {
        OnPortLost(ops, code, why);
    };
    ops.link.events.timer = [&ops](int timerId) { OnOperationTimer(ops, timerId); };
}

}  // namespace lumacrest
