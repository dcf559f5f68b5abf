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
#include "app/CMainDlg.h"

namespace lumacrest::cli {

class CliRunner {
public:
    // `prompts` must be the host's prompts; the runner queues the dialogs' answers there.
    CliRunner(Host& host, CMainDlg& dlg, ScriptedPrompts& prompts);

    // Returns the exit status: 0 passed, 1 failed, 128 + the signal when stopped by one.
    int Run(const CliOptions& options);

    // A termination signal: the run under way stops (a programmer in program mode is told the
    // chip failed) and nothing more is started.
    void Interrupt(int signal);

    // Why the run failed, for the closing line on stderr.
    const std::string& FailureReason() const { return reason_; }
    // What the operator should know besides (a Config.dat line left as it was).
    const std::vector<std::string>& Notes() const { return notes_; }

private:
    // How one routed command went.
    struct Result {
        bool failed = false;
        std::string why;  // the failing run's line, or the error message
        std::vector<Outcome> outcomes;
    };

    int RunCommand(const CliOptions& options);
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
    std::vector<std::string> notes_;
    int interrupt_ = 0;
    std::string unnamedDevice_;   // a --port device path no line of Ports.dat names
    std::string savedPortName_;   // the port Config.dat keeps then
};

}  // namespace lumacrest::cli
