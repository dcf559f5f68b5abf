#include "platform/PosixProcessRunner.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <string_view>
#include <thread>

namespace lumacrest {

namespace {

// Waits for `pid` without blocking for longer than `deadline`; true with the status when it
// ended.
bool WaitUntil(pid_t pid, std::chrono::steady_clock::time_point deadline, int& status) {
    auto pause = std::chrono::milliseconds(1);
    for (;;) {
        pid_t r = ::waitpid(pid, &status, WNOHANG);
        if (r == pid) return true;
        if (r < 0 && errno != EINTR) return true;  // nothing left to wait for
        const auto now = std::chrono::steady_clock::now();
        if (now >= deadline) return false;
        std::this_thread::sleep_for(
            std::min<std::chrono::steady_clock::duration>(pause, deadline - now));
        pause = std::min(pause * 2, std::chrono::milliseconds(20));
    }
}

}  // namespace

ProcessOutcome PosixProcessRunner::Run(const std::string& program,
                                       const std::vector<std::string>& args,
                                       const std::string& workDir,
                                       std::chrono::milliseconds timeout) {
    ProcessOutcome outcome;
    // Everything the child needs is prepared before fork: after it only async-signal-safe
    // calls are made.
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(program.c_str()));
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);

    // The child reports a failed exec through this pipe; a successful exec closes it.
    int report[2];
    if (::pipe2(report, O_CLOEXEC) != 0) return outcome;

    const pid_t pid = ::fork();
    if (pid < 0) {
        ::close(report[0]);
        ::close(report[1]);
        return outcome;
    }
    if (pid == 0) {
        ::setpgid(0, 0);
        int null = ::open("/dev/null", O_RDWR);
        if (null >= 0) {
            ::dup2(null, 0);
            ::dup2(null, 1);
            ::dup2(null, 2);
        }
        int err = 0;
        if (::chdir(workDir.c_str()) != 0) {
            err = errno;
        } else {
            ::execv(program.c_str(), argv.data());
            err = errno;
        }
        ssize_t ignored = ::write(report[1], &err, sizeof err);
        (void)ignored;
        ::_exit(127);
    }
    ::setpgid(pid, pid);  // also from here, so the group exists whoever runs first
    ::close(report[1]);
    int err = 0;
    ssize_t got;
    do {
        got = ::read(report[0], &err, sizeof err);
    } while (got < 0 && errno == EINTR);
    ::close(report[0]);

    int status = 0;
    if (got == static_cast<ssize_t>(sizeof err)) {
        ::waitpid(pid, &status, 0);
        return outcome;  // not started
    }

    const auto deadline = std::chrono::steady_clock::now() + timeout;
    if (!WaitUntil(pid, deadline, status)) {
        ::kill(-pid, SIGKILL);
        ::kill(pid, SIGKILL);
        while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
        }
        outcome.status = ProcessOutcome::Status::TimedOut;
        return outcome;
    }
    outcome.status = ProcessOutcome::Status::Exited;
    outcome.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return outcome;
}

std::optional<std::string> PosixProcessRunner::FindProgram(const std::string& name) {
    if (name.find('/') != std::string::npos) {
        if (::access(name.c_str(), X_OK) == 0) return name;
        return std::nullopt;
    }
    const char* path = std::getenv("PATH");
    std::string_view dirs = path ? path : "/usr/local/bin:/usr/bin:/bin";
    for (;;) {
        const std::size_t end = std::min(dirs.find(':'), dirs.size());
        std::filesystem::path candidate(end == 0 ? std::string_view(".") : dirs.substr(0, end));
        candidate /= name;
        if (::access(candidate.c_str(), X_OK) == 0) return candidate.string();
        if (end == dirs.size()) return std::nullopt;
        dirs.remove_prefix(end + 1);
    }
}

}  // namespace lumacrest
