#include "ops/Stopping.h"

#include "link/Link.h"
#include "ops/DeviceSteps.h"
#include "ops/OperationReplies.h"
#include "ops/Runs.h"

namespace lumacrest {

namespace {

bool DeviceOperation(const Run& run) {
    return run.Kind() == RunKind::Update || run.Kind() == RunKind::Single;
}

}  // namespace

bool LeavesProgramModeOnStop(const Host& h) {
    const Run& run = h.run;
    return run.StopRequested() && DeviceOperation(run) && run.ProgramModeEntered() &&
           run.CurrentStage() != Stage::Exit;
}

void LeaveAfterStop(Host& h) {
    h.timers().Stop(kBootSettleTimerId);
    h.run.SetResultPass(0);
    ExitProgramMode(h, kStopWaitMs);
}

void StopRun(Host& h, const std::string& why) {
    Run& run = h.run;
    if (!run.Active() || run.StopRequested()) return;
    run.RequestStop();
    run.Fail(Verdict::Interrupted, why);
    // A chip of the Update sequence gets its number back as on a time-out.
    GiveSerialNumberBack(h);
    // The scan ends itself at its next wait.
    if (run.Kind() == RunKind::Scan) return;
    if (LeavesProgramModeOnStop(h)) {
        if (!h.link.ReplyTimerRunning()) {
            LeaveAfterStop(h);  // nothing under way: the pause after the boot verify
            return;
        }
        // The answer under way is waited for, but not for long.
        h.link.ShortenReplyWait(kStopWaitMs);
        return;
    }
    if (DeviceOperation(run) && run.CurrentStage() == Stage::Exit) {
        // The exit frame is out already: its answer closes the run, within the short wait.
        h.link.ShortenReplyWait(kStopWaitMs);
        return;
    }
    End(h);
}

}  // namespace lumacrest
