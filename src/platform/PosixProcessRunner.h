// ProcessRunner on fork and exec. The program runs under a supervisor process that is a
// child subreaper (Linux): whatever the program starts stays below the supervisor, even a
// process that leaves the program's group with setsid, and all of it is killed when the
// program ends or its time is up.
#pragma once

#include "platform/ProcessRunner.h"

namespace lumacrest {

class PosixProcessRunner : public ProcessRunner {
  public:
    ProcessOutcome Run(const std::string& program, const std::vector<std::string>& args,
                       const std::string& workDir, std::chrono::milliseconds timeout) override;
    std::optional<std::string> FindProgram(const std::string& name) override;
};

}  // namespace lumacrest
