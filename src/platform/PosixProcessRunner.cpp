#include "platform/PosixProcessRunner.h"

#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <string_view>

namespace lumacrest {

namespace {

// What the supervisor reports at its end.
struct Report {
    int status;  // 0 exited, 1 timed out, 2 stopped
    int exitCode;
};

// Everything below runs in the forked supervisor: only plain system calls.

int64_t NowMs() {
    struct timespec ts;
    ::clock_gettime(CLOCK_MONOTONIC, &ts);
    return int64_t{ts.tv_sec} * 1000 + ts.tv_nsec / 1000000;
}

void SleepMs(long ms) {
    struct timespec ts{ms / 1000, (ms % 1000) * 1000000L};
    while (::nanosleep(&ts, &ts) != 0 && errno == EINTR) {
    }
}

// "/proc/<pid>/task/<pid>/children" into `out` (no allocation).
void ChildrenPath(pid_t pid, char* out) {
    char digits[16];
    int n = 0;
    for (unsigned v = static_cast<unsigned>(pid); n == 0 || v > 0; v /= 10) digits[n++] = static_cast<char>('0' + v % 10);
    char* p = out;
    for (const char* s = "/proc/"; *s;) *p++ = *s++;
    for (int i = n - 1; i >= 0; --i) *p++ = digits[i];
    for (const char* s = "/task/"; *s;) *p++ = *s++;
    for (int i = n - 1; i >= 0; --i) *p++ = digits[i];
    for (const char* s = "/children"; *s;) *p++ = *s++;
    *p = '\0';
}

// Sends SIGKILL to every child of `self`; false when the list of children cannot be read.
bool KillChildrenFromProc(pid_t self) {
    char path[64];
    ChildrenPath(self, path);
    const int fd = ::open(path, O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    char buffer[4096];
    pid_t pid = 0;
    bool inNumber = false;
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        for (ssize_t i = 0; i < n; ++i) {
            const char c = buffer[i];
            if (c >= '0' && c <= '9') {
                pid = pid * 10 + (c - '0');
                inNumber = true;
            } else if (inNumber) {
                ::kill(pid, SIGKILL);
                pid = 0;
                inNumber = false;
            }
        }
    }
    if (inNumber) ::kill(pid, SIGKILL);
    ::close(fd);
    return true;
}

// The same through /proc/<pid>/stat of every process, for kernels without the children list.
void KillChildrenFromStat(pid_t self) {
    DIR* proc = ::opendir("/proc");
    if (!proc) return;
    while (struct dirent* e = ::readdir(proc)) {
        const pid_t pid = static_cast<pid_t>(std::atoi(e->d_name));
        if (pid <= 0) continue;
        char path[64] = "/proc/";
        std::size_t at = 6;
        for (const char* s = e->d_name; *s && at < 50;) path[at++] = *s++;
        for (const char* s = "/stat"; *s;) path[at++] = *s++;
        path[at] = '\0';
        const int fd = ::open(path, O_RDONLY | O_CLOEXEC);
        if (fd < 0) continue;
        char stat[512];
        const ssize_t n = ::read(fd, stat, sizeof stat - 1);
        ::close(fd);
        if (n <= 0) continue;
        stat[n] = '\0';
        // "pid (comm) state ppid ...": the name may hold anything, so read after the last ')'.
        const char* close = nullptr;
        for (const char* p = stat; *p; ++p)
            if (*p == ')') close = p;
        if (!close || close[1] == '\0' || close[2] == '\0') continue;
        const pid_t ppid = static_cast<pid_t>(std::atoi(close + 4));
        if (ppid == self) ::kill(pid, SIGKILL);
    }
    ::closedir(proc);
}

// Kills the program's group and every descendant left: as a subreaper the supervisor inherits
// whatever its descendants leave behind (a process that called setsid included), so killing its
// children round by round reaches them all.
void KillEverything(pid_t program) {
    const pid_t self = ::getpid();
    ::kill(-program, SIGKILL);
    const int64_t giveUp = NowMs() + 5000;
    for (;;) {
        if (!KillChildrenFromProc(self)) KillChildrenFromStat(self);
        int status;
        pid_t r;
        while ((r = ::waitpid(-1, &status, WNOHANG)) > 0) {
        }
        if (r < 0 && errno == ECHILD) return;  // nobody left
        if (NowMs() > giveUp) return;
        SleepMs(1);
    }
}

// Waits up to `ms` for a byte on `stopFd` or its closing; true when it came.
bool StopArrives(int stopFd, long ms) {
    struct pollfd stop{stopFd, POLLIN, 0};
    const int n = ::poll(&stop, 1, static_cast<int>(ms));
    return n > 0 && (stop.revents & (POLLIN | POLLHUP | POLLERR)) != 0;
}

[[noreturn]] void Supervise(const std::string& program, char* const* argv, const std::string& workDir,
                            int reportFd, int resultFd, int stopFd, int64_t deadline) {
    ::prctl(PR_SET_CHILD_SUBREAPER, 1);
    const pid_t child = ::fork();
    if (child < 0) {
        int err = errno;
        ssize_t ignored = ::write(reportFd, &err, sizeof err);
        (void)ignored;
        ::_exit(127);
    }
    if (child == 0) {
        ::close(resultFd);
        ::close(stopFd);
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
            ::execv(program.c_str(), argv);
            err = errno;
        }
        ssize_t ignored = ::write(reportFd, &err, sizeof err);
        (void)ignored;
        ::_exit(127);
    }
    ::setpgid(child, child);
    ::close(reportFd);  // the host sees the end of the report once the program has started

    Report report{1, -1};
    int status = 0;
    long pause = 1;
    for (;;) {
        const pid_t r = ::waitpid(child, &status, WNOHANG);
        if (r == child) {
            report = {0, WIFEXITED(status) ? WEXITSTATUS(status) : -1};
            break;
        }
        if (r < 0 && errno != EINTR) {
            report = {0, -1};
            break;
        }
        // Orphans of the program are ours now: reap the ones that have ended.
        while (::waitpid(-1, &status, WNOHANG) > 0) {
        }
        const int64_t now = NowMs();
        if (now >= deadline) break;
        if (StopArrives(stopFd, static_cast<long>(std::min<int64_t>(pause, deadline - now)))) {
            report = {2, -1};
            break;
        }
        pause = std::min(pause * 2, 20L);
    }
    // Whatever the program started ends with it.
    KillEverything(child);
    ssize_t ignored = ::write(resultFd, &report, sizeof report);
    (void)ignored;
    ::_exit(0);
}

}  // namespace

std::unique_ptr<SupervisedProgram> SupervisedProgram::Start(const std::string& program,
                                                           const std::vector<std::string>& args,
                                                           const std::string& workDir,
                                                           std::chrono::milliseconds timeout) {
    std::unique_ptr<SupervisedProgram> self(new SupervisedProgram);
    // Everything the children need is prepared before fork: after it only system calls are
    // made.
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(program.c_str()));
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);

    // The program reports a failed exec through `report`; a successful exec closes it. The
    // supervisor (a subreaper between us and the program) sends the outcome through `result`
    // and ends everything at a byte on `stop` or when the host has gone. All close on exec:
    // the program gets none of them.
    int report[2], result[2], stop[2];
    if (::pipe2(report, O_CLOEXEC) != 0) return self;
    if (::pipe2(result, O_CLOEXEC) != 0) {
        ::close(report[0]);
        ::close(report[1]);
        return self;
    }
    // A socket, so that a byte sent to a supervisor that has just ended raises no SIGPIPE.
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, stop) != 0) {
        for (int fd : {report[0], report[1], result[0], result[1]}) ::close(fd);
        return self;
    }
    const int64_t deadline = NowMs() + static_cast<int64_t>(timeout.count());

    const pid_t supervisor = ::fork();
    if (supervisor < 0) {
        for (int fd : {report[0], report[1], result[0], result[1], stop[0], stop[1]}) ::close(fd);
        return self;
    }
    if (supervisor == 0) {
        ::close(report[0]);
        ::close(result[0]);
        ::close(stop[1]);
        Supervise(program, argv.data(), workDir, report[1], result[1], stop[0], deadline);
    }
    ::close(report[1]);
    ::close(result[1]);
    ::close(stop[0]);
    int err = 0;
    ssize_t got;
    do {
        got = ::read(report[0], &err, sizeof err);
    } while (got < 0 && errno == EINTR);
    ::close(report[0]);
    self->supervisor_ = supervisor;
    self->result_ = result[0];
    self->stop_ = stop[1];
    self->answerDue_ = deadline + 10000;
    self->started_ = got != static_cast<ssize_t>(sizeof err);
    // A program that did not start: the supervisor ends at once; collect it.
    if (!self->started_) self->Finish(false);
    return self;
}

SupervisedProgram::~SupervisedProgram() {
    if (supervisor_ > 0 && !finished_) Finish(true);
}

int64_t SupervisedProgram::AnswerDueInMs() const {
    return std::max<int64_t>(answerDue_ - NowMs(), 0);
}

ProcessOutcome SupervisedProgram::Finish(bool stop) {
    ProcessOutcome outcome;
    if (finished_ || supervisor_ <= 0) return outcome;
    finished_ = true;
    if (stop) {
        const char byte = 1;
        ssize_t ignored = ::send(stop_, &byte, 1, MSG_NOSIGNAL | MSG_DONTWAIT);
        (void)ignored;
    }
    // The supervisor answers by the deadline plus the time to end everything; it is itself
    // ended if it does not.
    Report r{1, -1};
    bool answered = false;
    struct pollfd wait{result_, POLLIN, 0};
    for (;;) {
        const int n = ::poll(&wait, 1, static_cast<int>(AnswerDueInMs()));
        if (n < 0 && errno == EINTR) continue;
        if (n > 0) {
            ssize_t got;
            do {
                got = ::read(result_, &r, sizeof r);
            } while (got < 0 && errno == EINTR);
            answered = got == static_cast<ssize_t>(sizeof r);
        }
        break;
    }
    ::close(result_);
    ::close(stop_);
    result_ = stop_ = -1;
    if (!answered) ::kill(supervisor_, SIGKILL);
    int status = 0;
    while (::waitpid(supervisor_, &status, 0) < 0 && errno == EINTR) {
    }
    supervisor_ = -1;

    if (!started_) return outcome;  // not started
    if (!answered || r.status == 1) {
        outcome.status = ProcessOutcome::Status::TimedOut;
        return outcome;
    }
    if (r.status == 2) {
        outcome.status = ProcessOutcome::Status::Stopped;
        return outcome;
    }
    outcome.status = ProcessOutcome::Status::Exited;
    outcome.exitCode = r.exitCode;
    return outcome;
}

ProcessOutcome PosixProcessRunner::Run(const std::string& program,
                                       const std::vector<std::string>& args,
                                       const std::string& workDir,
                                       std::chrono::milliseconds timeout) {
    std::unique_ptr<SupervisedProgram> running =
        SupervisedProgram::Start(program, args, workDir, timeout);
    if (!running->Started()) return ProcessOutcome{};
    // Until the supervisor answers, or the termination signals ask for the end.
    struct pollfd wait[2] = {{running->ResultFd(), POLLIN, 0}, {stopWhen_, POLLIN, 0}};
    const nfds_t count = stopWhen_ >= 0 ? 2 : 1;
    for (;;) {
        const int n = ::poll(wait, count, static_cast<int>(running->AnswerDueInMs()));
        if (n < 0 && errno == EINTR) continue;
        const bool stop = n > 0 && count == 2 && wait[1].revents != 0 && wait[0].revents == 0;
        return running->Finish(stop);
    }
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
