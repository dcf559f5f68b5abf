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

// A stopped run ends as interrupted. A firmware rewrite cut short leaves the programmer with
// part of its firmware: as after every other end of a rewrite, only the COM list comes back.
void EndStopped(Ops& ops, const Conclusion& conclusion) {
    if (ops.run.Kind() == RunKind::FirmwareRewrite)
        End(ops, conclusion, {.controls = ControlState::OnlyComList});
    else
        End(ops, conclusion);
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
    EndStopped(ops, Conclusion::Fail(Verdict::Interrupted, why));
}

void StopRunNow(Ops& ops, const std::string& why) {
    if (!ops.run.Active()) return;
    // A chip whose exit frame told the box it failed keeps that failure.
    const std::optional<Conclusion>& told = ops.run.ExitConclusion();
    EndStopped(ops, told && !told->Passed() ? *told : Conclusion::Fail(Verdict::Interrupted, why));
}

}  // namespace lumacrest
