#include "ops/Runs.h"

#include "link/Link.h"
#include "ops/OperationReplies.h"
#include "ui/main/ResourceIds.h"

namespace lumacrest {

void BeginRun(Host& h, RunKind kind, Stage stage) {
    h.run.Begin(kind, stage, h.view().Options());
}

void End(Host& h, const Ending& ending) {
    h.link.StopReplyTimer();
    h.timers().Stop(kBootSettleTimerId);
    if (ending.giveSerialNumberBack) GiveSerialNumberBack(h);
    if (ending.port == PortAfter::Close) h.link.Close();
    if (ending.controls) h.view().SetControls(*ending.controls);
    if (!h.run.Active()) return;
    const Outcome outcome = h.run.Result();
    h.run.Record(outcome);
    h.run.Finish();
    if (h.onRunEnded) h.onRunEnded(outcome);
}

void FailWord(Host& h, const std::string& word, Verdict verdict) {
    h.view().AppendLogRaw(word);
    h.run.Fail(verdict, h.view().CurrentLine());
}

void FailLine(Host& h, const std::string& line) {
    h.view().AppendLog(line);
    h.run.Fail(Verdict::Failed, line);
}

void FailMessage(Host& h, const std::string& text, Verdict verdict, bool errorIcon) {
    h.prompts().MessageBox(text, errorIcon ? MsgIcon::Error : MsgIcon::None);
    h.run.Fail(verdict, text);
}

bool Busy(const Host& h) {
    return h.run.Active() || h.link.ReplyTimerRunning();
}

bool RefuseWhileBusy(Host& h) {
    if (!Busy(h)) return false;
    h.prompts().MessageBox(kProgrammerBusy, MsgIcon::Error);
    return true;
}

void GiveSerialNumberBack(Host& h) {
    if (h.run.AutoSequence() && h.run.Options().programSn && h.run.TakeSerialNumberBack())
        h.sn.SnValue -= h.sn.SnAdvance;
}

}  // namespace lumacrest
