// ProcessRunner of the window: programs run as the POSIX runner runs them (a supervisor that
// ends everything the program started); the search path is Qt's. Run blocks the calling thread,
// bounded by the time-out; Start waits on the event loop, so the window goes on meanwhile, and
// what still runs when the runner is destroyed (the window closing, a termination signal) is
// ended then.
#pragma once

#include <list>
#include <memory>

#include "platform/ProcessRunner.h"

namespace lumacrest {

class QtProcessRunner : public ProcessRunner {
  public:
    QtProcessRunner();
    ~QtProcessRunner() override;
    ProcessOutcome Run(const std::string& program, const std::vector<std::string>& args,
                       const std::string& workDir, std::chrono::milliseconds timeout) override;
    void Start(const std::string& program, const std::vector<std::string>& args,
               const std::string& workDir, std::chrono::milliseconds timeout, Done done) override;
    std::optional<std::string> FindProgram(const std::string& name) override;

  private:
    struct Running;
    void Ended(Running* running, bool stop);
    std::list<std::unique_ptr<Running>> running_;
};

}  // namespace lumacrest
