// ProcessRunner of the window: programs run as the POSIX runner runs them (a supervisor that
// ends everything the program started); the search path is Qt's. The wait blocks the calling
// (window) thread, bounded by the time-out.
#pragma once

#include "platform/ProcessRunner.h"

namespace lumacrest {

class QtProcessRunner : public ProcessRunner {
  public:
    ProcessOutcome Run(const std::string& program, const std::vector<std::string>& args,
                       const std::string& workDir, std::chrono::milliseconds timeout) override;
    std::optional<std::string> FindProgram(const std::string& name) override;
};

}  // namespace lumacrest
