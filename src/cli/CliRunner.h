// Runs one lumacrest-cli command over a host whose platform the front end has set up: loads
// what the options name, connects when the command needs the programmer, runs the command
// through the same routing as the main window and waits until it has ended.
#pragma once

#include <functional>
#include <string>

#include "app/Host.h"
#include "cli/CliOptions.h"
#include "cli/RunJudge.h"
#include "platform/ScriptedPrompts.h"
#include "ui/main/CMainDlg.h"

namespace lumacrest::cli {

// Timers that remember which timers run, so the runner knows when a command is outstanding.
class TrackingTimers : public Timers {
public:
    explicit TrackingTimers(Timers& inner);
    void Start(int timerId, uint32_t periodMs) override;
    void Stop(int timerId) override;
    void PumpEvents() override { inner_.PumpEvents(); }
    void DelayMicroseconds(uint64_t microseconds) override { inner_.DelayMicroseconds(microseconds); }
    bool Running(int timerId) const;

private:
    Timers& inner_;
    std::vector<int> running_;
};

class CliRunner {
public:
    // `prompts` must be the host's prompts; the runner queues the dialogs' answers there.
    CliRunner(Host& host, CMainDlg& dlg, ScriptedPrompts& prompts, TrackingTimers& timers,
              RunJudge& judge);

    // Returns the exit status: 0 passed, 1 failed.
    int Run(const CliOptions& options);

    // Why the run failed, for the closing line on stderr.
    const std::string& FailureReason() const { return reason_; }

private:
    bool Fail(const std::string& why);
    void Dispatch(int id);
    void WaitUntilIdle();
    bool LoadInputs(const CliOptions& o);
    bool SelectPort(const CliOptions& o);
    bool Connect(const CliOptions& o, bool needReady);
    bool WriteReadBack(const std::string& path, bool flash);

    Host& h_;
    CMainDlg& dlg_;
    ScriptedPrompts& prompts_;
    TrackingTimers& timers_;
    RunJudge& judge_;
    std::string reason_;
};

}  // namespace lumacrest::cli
