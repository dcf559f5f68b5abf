// Runs one lumacrest-cli command over a host whose platform the front end has set up: loads
// what the options name, connects when the command needs the programmer, runs the command
// through the same routing as the main window and waits until it has ended. A command fails
// when a run it started ended in anything but a pass, or when it showed an error message.
#pragma once

#include <string>
#include <vector>

#include "app/Host.h"
#include "cli/CliOptions.h"
#include "platform/ScriptedPrompts.h"
#include "ui/main/CMainDlg.h"

namespace lumacrest::cli {

class CliRunner {
public:
    // `prompts` must be the host's prompts; the runner queues the dialogs' answers there.
    CliRunner(Host& host, CMainDlg& dlg, ScriptedPrompts& prompts);

    // Returns the exit status: 0 passed, 1 failed.
    int Run(const CliOptions& options);

    // Why the run failed, for the closing line on stderr.
    const std::string& FailureReason() const { return reason_; }

private:
    // How one routed command went.
    struct Result {
        bool failed = false;
        std::string why;  // the failing run's line, or the error message
        std::vector<Outcome> outcomes;
    };

    bool Fail(const std::string& why);
    Result Dispatch(int id);
    bool LoadInputs(const CliOptions& o);
    bool SelectPort(const CliOptions& o);
    bool Connect(const CliOptions& o, bool needReady);
    bool WriteReadBack(const std::string& path, bool flash);

    Host& h_;
    CMainDlg& dlg_;
    ScriptedPrompts& prompts_;
    std::vector<Outcome> ended_;
    std::string reason_;
};

}  // namespace lumacrest::cli
