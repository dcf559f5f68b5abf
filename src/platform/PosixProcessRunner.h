// ProcessRunner on fork and exec. The program runs under a supervisor process that is a
// child subreaper (Linux): whatever the program starts stays below the supervisor, even a
// process that leaves the program's group with setsid, and all of it is killed when the
// program ends, its time is up, or it is stopped. The supervisor also ends everything when the
// host goes away.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <memory>

#include "platform/ProcessRunner.h"

namespace lumacrest {

// A program started under its supervisor, for a caller that waits for it in its own way.
class SupervisedProgram {
  public:
    // Never null; Started() says whether the program runs.
    static std::unique_ptr<SupervisedProgram> Start(const std::string& program,
                                                    const std::vector<std::string>& args,
                                                    const std::string& workDir,
                                                    std::chrono::milliseconds timeout);
    // Stops the program if it still runs.
    ~SupervisedProgram();
    SupervisedProgram(const SupervisedProgram&) = delete;
    SupervisedProgram& operator=(const SupervisedProgram&) = delete;

    bool Started() const { return started_; }
    // Readable once the supervisor has told how the program ended.
    int ResultFd() const { return result_; }
    // Milliseconds from now by which the supervisor answers (its time-out and the time to end
    // everything); it is killed after that.
    int64_t AnswerDueInMs() const;
    // The outcome; `stop` ends the program first. Waits for the supervisor, at most until its
    // answer is due.
    ProcessOutcome Finish(bool stop);

  private:
    SupervisedProgram() = default;
    bool started_ = false;
    bool finished_ = false;
    pid_t supervisor_ = -1;
    int result_ = -1;  // the supervisor's report
    int stop_ = -1;    // a byte (or its closing) makes the supervisor end everything
    int64_t answerDue_ = 0;
};

class PosixProcessRunner : public ProcessRunner {
  public:
    ProcessOutcome Run(const std::string& program, const std::vector<std::string>& args,
                       const std::string& workDir, std::chrono::milliseconds timeout) override;
    std::optional<std::string> FindProgram(const std::string& name) override;

    // The wait of Run ends as soon as `fd` is readable (the termination signals' descriptor):
    // the program is stopped and the outcome is Stopped. Nothing is read from `fd`.
    void StopWhenReadable(int fd) { stopWhen_ = fd; }

  private:
    int stopWhen_ = -1;
};

}  // namespace lumacrest
