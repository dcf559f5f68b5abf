#include "platform/qt/QtProcessRunner.h"

#include <signal.h>
#include <unistd.h>

#include <QProcess>
#include <QStandardPaths>
#include <QStringList>

namespace lumacrest {

ProcessOutcome QtProcessRunner::Run(const std::string& program,
                                    const std::vector<std::string>& args,
                                    const std::string& workDir, std::chrono::milliseconds timeout) {
    ProcessOutcome outcome;
    QProcess process;
    QStringList arguments;
    for (const std::string& a : args) arguments << QString::fromStdString(a);
    process.setProgram(QString::fromStdString(program));
    process.setArguments(arguments);
    process.setWorkingDirectory(QString::fromStdString(workDir));
    process.setStandardInputFile(QProcess::nullDevice());
    process.setStandardOutputFile(QProcess::nullDevice());
    process.setStandardErrorFile(QProcess::nullDevice());
    // A group of its own, so that killing it also ends what it started.
    process.setChildProcessModifier([] { ::setpgid(0, 0); });

    const auto start = std::chrono::steady_clock::now();
    process.start(QIODevice::NotOpen);
    if (!process.waitForStarted(static_cast<int>(timeout.count()))) {
        if (process.state() == QProcess::NotRunning) return outcome;  // not started
    }
    const auto spent = std::chrono::duration_cast<std::chrono::milliseconds>(
        std::chrono::steady_clock::now() - start);
    const int left =
        static_cast<int>(std::max<std::chrono::milliseconds::rep>((timeout - spent).count(), 0));
    if (!process.waitForFinished(left) && process.state() != QProcess::NotRunning) {
        const qint64 pid = process.processId();
        if (pid > 0) ::kill(-static_cast<pid_t>(pid), SIGKILL);
        process.kill();
        process.waitForFinished(-1);
        outcome.status = ProcessOutcome::Status::TimedOut;
        return outcome;
    }
    if (process.error() == QProcess::FailedToStart) return outcome;
    outcome.status = ProcessOutcome::Status::Exited;
    outcome.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    return outcome;
}

std::optional<std::string> QtProcessRunner::FindProgram(const std::string& name) {
    const QString found = QStandardPaths::findExecutable(QString::fromStdString(name));
    if (found.isEmpty()) return std::nullopt;
    return found.toStdString();
}

}  // namespace lumacrest
