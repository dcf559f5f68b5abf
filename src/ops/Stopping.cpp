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
    ExitProgramMode(ops, Conclusion::Fail(Verdict::Interrupted, ops.run.StopWords()), kStopWaitMs);
}

void StopRun(Ops& ops, const std::string& why) {
    Run& run = ops.run;
    if (!run.Active() || run.StopRequested()) return;
    run.RequestStop(why);
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
    End(ops, Conclusion::Fail(Verdict::Interrupted, why));
}

void StopRunNow(Ops& ops, const std::string& why) {
    if (!ops.run.Active()) return;
    // A chip whose exit frame told the box it failed keeps that failure.
    const std::optional<Conclusion>& told = ops.run.ExitConclusion();
    End(ops, told && !told->Passed() ? *told : Conclusion::Fail(Verdict::Interrupted, why));
}

}  // namespace lumacrest
