// Runs one lumacrest-cli command over a host whose platform the front end has set up: loads
// what the options name, connects when the command needs the programmer, runs the command
// through the host's operations. A command fails when an operation's result says so, or when a
// run it started ended in anything but a pass.
//
// The steps that reach the programmer only start: a front end with several programmers starts
// a step on each, runs the event loop until none is busy, then finishes the step on each.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "cli/CliOptions.h"
#include "host/HostApi.h"

namespace lumacrest::cli {

class CliRunner : private HostEvents {
public:
    explicit CliRunner(Host& host);
    ~CliRunner() override;
    CliRunner(const CliRunner&) = delete;
    CliRunner& operator=(const CliRunner&) = delete;

    // Each step returns false once this command has failed; a failed one takes no further step.
    bool LoadInputs(const CliOptions& o);
    // Chooses the port and, for commands that need the programmer, starts its identification.
    bool StartConnect(const CliOptions& o, const std::string& port);
    bool FinishConnect(const CliOptions& o);
    bool StartCommand(const CliOptions& o);
    bool FinishCommand(const CliOptions& o);
    // From the identification on, the port stays open for the frames the box sends on its own
    // until HoldPort(false).
    void HoldPort(bool hold);
    // The wait for the box's own frames: the runs the box starts from now on are collected,
    // and one that failed fails the command.
    void BeginBoxWait();
    bool FinishBoxWait();
    // The record of a run, or the settings asked to be saved, could not be written: the
    // command fails with `why`.
    void RecordFailed(const std::string& why) { Fail(why); }
    void SaveFailed(const std::string& why) { Fail(why); }
    bool Busy() const;

    // Runs every step, waiting here (one programmer).
    int Run(const CliOptions& o, const std::string& port);

    // A termination signal: the run under way stops (a programmer in program mode is told the
    // chip failed) and nothing more is started. A second one ends the run at once, without
    // waiting for the box.
    void Interrupt(int signal);

    // 0 passed, 1 failed, 128 + the signal when stopped by one.
    int Status() const;
    bool Failed() const { return failed_; }
    // Why it failed, for the closing line on stderr.
    const std::string& FailureReason() const { return reason_; }
    // What the operator should know besides (a Config.dat line left as it was).
    const std::vector<std::string>& Notes() const { return notes_; }
    // The run that decided the command: the first that failed, else the last one.
    const std::optional<Outcome>& Decisive() const { return decisive_; }
    // Puts back the port Config.dat keeps (a device path no line of Ports.dat names).
    void KeepConfigPort(const CliOptions& o);

private:
    bool FinishIdentifyBeforeRewrite(const CliOptions& o);
    // What one routed command brought.
    struct Result {
        bool failed = false;
        std::string why;  // the failing run's line, or the error message
        std::vector<Outcome> outcomes;
    };

    void RunEnded(const Outcome& outcome) override;
    bool Fail(const std::string& why);
    // Starts an operation of the host; a refusal is kept for Collect.
    void Start(const std::function<api::Result()>& operation);
    Result Collect();
    Result Dispatch(const std::function<api::Result()>& operation);  // Start, wait, Collect
    api::Result StartAction(const CliOptions& o);
    bool SelectPort(const std::string& port);
    bool WriteReadBack(const std::string& path, bool flash);

    Host& h_;
    std::vector<Outcome> ended_;
    // What the operation under way said as it started; nothing: none was started.
    std::optional<api::Result> started_;
    std::optional<Outcome> decisive_;
    bool failed_ = false;
    // programmer-update: the identification itself rewrote the firmware.
    bool rewrittenOnConnect_ = false;
    std::string reason_;
    std::vector<std::string> notes_;
    int interrupt_ = 0;
    std::string unnamedDevice_;  // a --port device path no line of Ports.dat names
    std::string savedPortName_;  // the port Config.dat keeps then
    std::string chosenPort_;     // the entry of the port list connected to
};

}  // namespace lumacrest::cli
