#include "ops/Runs.h"

#include <cstdio>

#include "link/Link.h"
#include "ops/OperationReplies.h"
#include "ops/ReplyEngine.h"

namespace lumacrest {

namespace {

// The failures after which the rules issue the number again: all but the box's own refusal
// of the chip (a failed erase, a locked KeyCode, a failed KeyCode check), and none once the
// exit frame has told the box how the chip went.
bool GivesNumberBack(const Conclusion& conclusion, Stage stage) {
    return !conclusion.Passed() && conclusion.GetVerdict() != Verdict::Declined &&
           stage != Stage::Exit;
}

// Tells the ledger what became of the run's number; a ledger that cannot be written leaves the
// number reserved, which is never issued again either.
void MarkSerialNumber(Ops& ops, uint32_t number, SerialState state) {
    if (!ops.platform.serials) return;
    const std::string why = ops.platform.serials->Mark(number, ops.run.runId, state);
    if (!why.empty())
        ops.view.AppendLog("Serial number " + std::to_string(number) + " stays reserved: " + why);
}

// A failed chip that keeps its number (the box may hold it): never issued again.
void KeepSerialNumberWithChip(Ops& ops) {
    const std::optional<uint32_t>& written = ops.run.SerialNumberWritten();
    if (written && ops.run.SettleSerialNumber()) MarkSerialNumber(ops, *written, SerialState::Failed);
}

}  // namespace

void BeginRun(Ops& ops, RunKind kind, Stage stage) {
    ops.run.Begin(kind, stage, ops.view.Options(), ops.timers().NowMs());
    ops.link.ForgetAnswers();
    ops.run.runId = NewRunId();
}

void End(Ops& ops, const Conclusion& conclusion, const Ending& ending) {
    ops.link.StopReplyTimer();
    ops.timers().Stop(kBootSettleTimerId);
    const bool active = ops.run.Active();
    if (active && ops.run.Kind() == RunKind::Update) {
        if (conclusion.Passed())
            ConfirmSerialNumber(ops);
        else if (GivesNumberBack(conclusion, conclusion.FixedStage().value_or(ops.run.CurrentStage())))
            GiveSerialNumberBack(ops);
        // A number neither confirmed nor given back stays with the failed chip.
        KeepSerialNumberWithChip(ops);
    }
    // A front end that waits for the box's own frames after its command keeps the line open.
    if (ending.port == PortAfter::Close && !ops.holdPortOpen) ops.link.Close();
    if (ending.controls) ops.view.SetControls(*ending.controls);
    if (!active) return;
    const Outcome outcome = ops.run.Finish(conclusion, ops.timers().NowMs());
    ops.history.last = outcome;
    ++ops.history.ended;
    if (ops.onRunEnded) ops.onRunEnded(outcome);
    AfterRunEnded(ops);
}

Conclusion Refusal(Ops& ops, const std::string& message, Verdict verdict, bool errorIcon) {
    ShowRunMessage(ops, message, errorIcon ? MessageKind::Error : MessageKind::Plain);
    return Conclusion::Fail(verdict, message);
}

void ShowRunMessage(Ops& ops, const std::string& text, MessageKind kind) {
    ops.run.MarkEnd(ops.timers().NowMs());
    ops.view.Tell(text, kind);
}

std::string NoAnswerWords(uint8_t code, uint32_t waitedMs) {
    char text[80];
    std::snprintf(text, sizeof text, "no answer to the command 0x%02X within %u ms", code,
                  static_cast<unsigned>(waitedMs));
    return text;
}

std::string PortLostWords(const Ops& ops, const std::string& why) {
    return "the port COM" + std::to_string(ops.port.number) + " (" +
           ops.ports.Device(ops.port.number).value_or("?") + ") was lost: " + why;
}

bool Busy(const Ops& ops) {
    return ops.run.Active() || ops.link.ReplyTimerRunning();
}

bool RefuseWhileBusy(Ops& ops) {
    if (!Busy(ops)) return false;
    ops.view.Tell(kProgrammerBusy, MessageKind::Error);
    return true;
}

void GiveSerialNumberBack(Ops& ops) {
    const std::optional<uint32_t>& written = ops.run.SerialNumberWritten();
    if (ops.run.Kind() != RunKind::Update || !ops.run.Options().programSn || !written ||
        !ops.run.SettleSerialNumber())
        return;
    MarkSerialNumber(ops, *written, SerialState::GivenBack);
    ops.sn.SnValue -= ops.sn.SnAdvance;
}

void ConfirmSerialNumber(Ops& ops) {
    const std::optional<uint32_t>& written = ops.run.SerialNumberWritten();
    if (written && ops.run.SettleSerialNumber()) MarkSerialNumber(ops, *written, SerialState::Programmed);
}


}  // namespace lumacrest
