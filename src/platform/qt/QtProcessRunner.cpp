#include "platform/qt/QtProcessRunner.h"

#include <QStandardPaths>

#include "platform/PosixProcessRunner.h"

namespace lumacrest {

ProcessOutcome QtProcessRunner::Run(const std::string& program,
                                    const std::vector<std::string>& args,
                                    const std::string& workDir, std::chrono::milliseconds timeout) {
    // QProcess can end the program's process group, but not a process that left the group
    // (setsid); the POSIX runner's supervisor ends everything the program started.
    return PosixProcessRunner().Run(program, args, workDir, timeout);
}

std::optional<std::string> QtProcessRunner::FindProgram(const std::string& name) {
    const QString found = QStandardPaths::findExecutable(QString::fromStdString(name));
    if (found.isEmpty()) return std::nullopt;
    return found.toStdString();
}

}  // namespace lumacrest
