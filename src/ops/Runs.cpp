#include "ops/Runs.h"

#include "link/Link.h"
#include "ops/OperationReplies.h"

namespace lumacrest {

void BeginRun(Ops& ops, RunKind kind, Stage stage) {
    ops.run.Begin(kind, stage, ops.view.Options(), ops.timers().NowMs());
}

void End(Ops& ops, const Ending& ending) {
    ops.link.StopReplyTimer();
    ops.timers().Stop(kBootSettleTimerId);
    if (ending.giveSerialNumberBack) GiveSerialNumberBack(ops);
    // A front end that waits for the box's own frames after its command keeps the line open.
    if (ending.port == PortAfter::Close && !ops.holdPortOpen) ops.link.Close();
    if (ending.controls) ops.view.SetControls(*ending.controls);
    if (!ops.run.Active()) return;
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
    if (!ops.run.AutoSequence() || !ops.run.Options().programSn || !ops.run.TakeSerialNumberBack())
        return;
    if (ops.sn.pool && ops.run.SerialNumberWritten())
        ops.sn.pool->GiveBack(*ops.run.SerialNumberWritten());
    else
        ops.sn.SnValue -= ops.sn.SnAdvance;
}

}  // namespace lumacrest
