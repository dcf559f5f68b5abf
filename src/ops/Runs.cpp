#include "ops/Runs.h"

#include "link/Link.h"
#include "ops/OperationReplies.h"

namespace lumacrest {

void BeginRun(Ops& ops, RunKind kind, Stage stage) {
    ops.run.Begin(kind, stage, ops.view.Options(), ops.timers().NowMs());
    ops.run.runId = NewRunId();
}

namespace {

// Tells the ledger what became of the run's number; a ledger that cannot be written leaves the
// number reserved, which is never issued again either.
void MarkSerialNumber(Ops& ops, SerialState state) {
    const std::optional<uint32_t>& number = ops.run.SerialNumberWritten();
    if (!number || !ops.platform.serials || !ops.run.SettleSerialNumber()) return;
    const std::string why = ops.platform.serials->Mark(*number, ops.run.runId, state);
    if (!why.empty())
        ops.view.AppendLog("Serial number " + std::to_string(*number) + " stays reserved: " + why);
}

}  // namespace

void End(Ops& ops, const Ending& ending) {
    ops.link.StopReplyTimer();
    ops.timers().Stop(kBootSettleTimerId);
    if (ending.giveSerialNumberBack) GiveSerialNumberBack(ops);
    // A front end that waits for the box's own frames after its command keeps the line open.
    if (ending.port == PortAfter::Close && !ops.holdPortOpen) ops.link.Close();
    if (ending.controls) ops.view.SetControls(*ending.controls);
    if (!ops.run.Active()) return;
    // A number neither confirmed nor given back stays with the failed chip.
    if (ops.run.Result().Passed())
        ConfirmSerialNumber(ops);
    else
        MarkSerialNumber(ops, SerialState::Failed);
    const Outcome outcome = ops.run.Finish(ops.timers().NowMs());
    ops.run.Record(outcome);
    if (ops.onRunEnded) ops.onRunEnded(outcome);
}

void FailWord(Ops& ops, const std::string& word, Verdict verdict) {
    ops.view.AppendLogRaw(word);
    ops.run.Fail(verdict, ops.view.CurrentLine());
}

void FailLine(Ops& ops, const std::string& line) {
    ops.view.AppendLog(line);
    ops.run.Fail(Verdict::Failed, line);
}

void FailMessage(Ops& ops, const std::string& text, Verdict verdict, bool errorIcon) {
    ops.prompts().MessageBox(text, errorIcon ? MsgIcon::Error : MsgIcon::None);
    ops.run.Fail(verdict, text);
}

bool Busy(const Ops& ops) {
    return ops.run.Active() || ops.link.ReplyTimerRunning();
}

bool RefuseWhileBusy(Ops& ops) {
    if (!Busy(ops)) return false;
    ops.prompts().MessageBox(kProgrammerBusy, MsgIcon::Error);
    return true;
}

void GiveSerialNumberBack(Ops& ops) {
    if (!ops.run.AutoSequence() || !ops.run.Options().programSn || !ops.run.SerialNumberWritten() ||
        !ops.run.TakeSerialNumberBack())
        return;
    MarkSerialNumber(ops, SerialState::GivenBack);
    ops.sn.SnValue -= ops.sn.SnAdvance;
}

void ConfirmSerialNumber(Ops& ops) {
    if (ops.run.SerialNumberTakenBack()) return;
    MarkSerialNumber(ops, SerialState::Programmed);
}

}  // namespace lumacrest
