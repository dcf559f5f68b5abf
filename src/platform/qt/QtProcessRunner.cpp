#include "platform/qt/QtProcessRunner.h"

#include <QSocketNotifier>
#include <QStandardPaths>
#include <QTimer>

#include "platform/PosixProcessRunner.h"

namespace lumacrest {

// A program started by Start: its supervisor's report is watched on the event loop, and the
// supervisor is ended should it not answer when due.
struct QtProcessRunner::Running {
    std::unique_ptr<SupervisedProgram> program;
    Done done;
    std::unique_ptr<QSocketNotifier> reported;
    std::unique_ptr<QTimer> due;
};

QtProcessRunner::QtProcessRunner() = default;

QtProcessRunner::~QtProcessRunner() {
    // The program ends with the window; its `done` is not called any more.
    for (auto& r : running_) {
        r->reported.reset();
        r->due.reset();
        r->program->Finish(true);
    }
    running_.clear();
}

ProcessOutcome QtProcessRunner::Run(const std::string& program,
                                    const std::vector<std::string>& args,
                                    const std::string& workDir, std::chrono::milliseconds timeout) {
    // QProcess can end the program's process group, but not a process that left the group
    // (setsid); the POSIX runner's supervisor ends everything the program started.
    return PosixProcessRunner().Run(program, args, workDir, timeout);
}

void QtProcessRunner::Start(const std::string& program, const std::vector<std::string>& args,
                            const std::string& workDir, std::chrono::milliseconds timeout,
                            Done done) {
    auto running = std::make_unique<Running>();
    running->program = SupervisedProgram::Start(program, args, workDir, timeout);
    if (!running->program->Started()) {
        done(ProcessOutcome{});
        return;
    }
    running->done = std::move(done);
    Running* r = running.get();
    running->reported =
        std::make_unique<QSocketNotifier>(r->program->ResultFd(), QSocketNotifier::Read);
    QObject::connect(r->reported.get(), &QSocketNotifier::activated,
                     [this, r] { Ended(r, false); });
    running->due = std::make_unique<QTimer>();
    running->due->setSingleShot(true);
    QObject::connect(r->due.get(), &QTimer::timeout, [this, r] { Ended(r, true); });
    running->due->start(static_cast<int>(r->program->AnswerDueInMs()));
    running_.push_back(std::move(running));
}

void QtProcessRunner::Ended(Running* r, bool stop) {
    auto it = running_.begin();
    while (it != running_.end() && it->get() != r) ++it;
    if (it == running_.end()) return;
    std::unique_ptr<Running> ended = std::move(*it);
    running_.erase(it);
    ended->reported->setEnabled(false);
    ended->due->stop();
    const ProcessOutcome outcome = ended->program->Finish(stop);
    Done done = std::move(ended->done);
    // The notifier that called us goes once the event loop is back.
    ended->reported.release()->deleteLater();
    ended->due.release()->deleteLater();
    ended.reset();
    done(outcome);
}

std::optional<std::string> QtProcessRunner::FindProgram(const std::string& name) {
    const QString found = QStandardPaths::findExecutable(QString::fromStdString(name));
    if (found.isEmpty()) return std::nullopt;
    return found.toStdString();
}

}  // namespace lumacrest
