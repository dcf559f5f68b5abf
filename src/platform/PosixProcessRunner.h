// ProcessRunner on fork and exec: the program runs in a process group of its own, so that a
// program that has to be killed takes its children with it.
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
