// Starting another program and waiting for it, with an upper bound on the wait. The Qt
// adapter runs it through QProcess; the POSIX runner serves the command line and the tests.
#pragma once

#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace lumacrest {

struct ProcessOutcome {
    enum class Status {
        Exited,      // the program ended by itself (exitCode is valid when it exited normally)
        TimedOut,    // still running when the wait expired; it has been killed
        NotStarted,  // it could not be started at all
        Stopped,     // the program was asked to end (a termination signal): it has been killed
    };
    Status status = Status::NotStarted;
    int exitCode = -1;
};

class ProcessRunner {
  public:
    virtual ~ProcessRunner() = default;

    // Runs `program` with `args` in the directory `workDir`, without a window and with its
    // standard streams on the null device, and waits until it ends or `timeout` has passed.
    // A program still running then is killed before this returns, and so is everything it
    // started that is still running when it ends.
    virtual ProcessOutcome Run(const std::string& program, const std::vector<std::string>& args,
                               const std::string& workDir, std::chrono::milliseconds timeout) = 0;

    // Starts the program as Run does and calls `done` with the outcome once it has ended. A
    // runner on an event loop returns at once and calls `done` from the loop, so that the
    // window goes on meanwhile; this one waits for the program before returning. A runner that
    // is destroyed ends what it still runs, as a time-out does, and calls no `done` of it.
    using Done = std::function<void(const ProcessOutcome&)>;
    virtual void Start(const std::string& program, const std::vector<std::string>& args,
                       const std::string& workDir, std::chrono::milliseconds timeout, Done done) {
        done(Run(program, args, workDir, timeout));
    }

    // The full path of an executable of that name on the search path; nothing when none is.
    virtual std::optional<std::string> FindProgram(const std::string& name) = 0;
};

}  // namespace lumacrest
