#include "ops/Runs.h"

#include "link/Link.h"
#include "ops/OperationReplies.h"
#include "ui/main/ResourceIds.h"

namespace lumacrest {

void BeginRun(Host& h, RunKind kind, Stage stage) {
    h.run.Begin(kind, stage);
}

void End(Host& h, const Ending& ending) {
    h.link.StopReplyTimer();
    h.timers().Stop(kBootSettleTimerId);
    if (ending.giveSerialNumberBack) GiveSerialNumberBack(h);
    if (ending.port == PortAfter::Close) h.link.Close();
    switch (ending.controls) {
        case ControlsAfter::Idle:
            h.ui.EnableOperationControls();
            break;
        case ControlsAfter::OnlyComList:
            h.ui.DisableOperationControls();
            h.ui.SetEnabled(id::ComList, true);
            break;
        case ControlsAfter::ComListEnabled:
            h.ui.SetEnabled(id::ComList, true);
            break;
        case ControlsAfter::Unchanged:
            break;
    }
    if (!h.run.Active()) return;
    const Outcome outcome = h.run.Result();
    h.run.Record(outcome);
    h.run.Finish();
    if (h.onRunEnded) h.onRunEnded(outcome);
}

void FailWord(Host& h, const std::string& word, Verdict verdict) {
    h.ui.AppendLogRaw(word);
    h.run.Fail(verdict, h.ui.CurrentLine());
}

void FailLine(Host& h, const std::string& line) {
    h.ui.AppendLog(line);
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
    if (h.run.AutoSequence() && h.ui.Checked(id::ProgramSn) && h.run.TakeSerialNumberBack())
        h.SnValue -= h.SnAdvance;
}

}  // namespace lumacrest
