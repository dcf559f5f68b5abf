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

bool LeavesProgramModeOnStop(const Ops& ops) {
    const Run& run = ops.run;
    return run.StopRequested() && DeviceOperation(run) && run.ProgramModeEntered() &&
           run.CurrentStage() != Stage::Exit;
}

void LeaveAfterStop(Ops& ops) {
    ops.timers().Stop(kBootSettleTimerId);
    ops.run.SetResultPass(0);
    ExitProgramMode(ops, kStopWaitMs);
}

void StopRun(Ops& ops, const std::string& why) {
    Run& run = ops.run;
    if (!run.Active() || run.StopRequested()) return;
    run.RequestStop();
    run.Fail(Verdict::Interrupted, why);
    // A chip of the Update sequence gets its number back as on a time-out.
    GiveSerialNumberBack(ops);
    // The scan ends itself at its next wait.
    if (run.Kind() == RunKind::Scan) return;
    if (LeavesProgramModeOnStop(ops)) {
        if (!ops.link.ReplyTimerRunning()) {
            LeaveAfterStop(ops);  // nothing under way: the pause after the boot verify
            return;
        }
        // The answer under way is waited for, but not for long.
        ops.link.ShortenReplyWait(kStopWaitMs);
        return;
    }
    if (DeviceOperation(run) && run.CurrentStage() == Stage::Exit) {
        // The exit frame is out already: its answer closes the run, within the short wait.
        ops.link.ShortenReplyWait(kStopWaitMs);
        return;
    }
    End(ops);
}

}  // namespace lumacrest
