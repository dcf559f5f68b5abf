// lumacrest-cli: every command of the tool without a window.
#include <unistd.h>

#include <QCoreApplication>
#include <QDir>
#include <cstdio>
#include <iostream>

#include "app/CMainApp.h"
#include "cli/CliOptions.h"
#include "cli/CliRunner.h"
#include "platform/PosixProcessRunner.h"
#include "platform/ScriptedPrompts.h"
#include "platform/qt/QtLink.h"
#include "platform/qt/TerminationSignals.h"
#include "app/Application.h"
#include "app/CMainDlg.h"

using namespace lumacrest;

namespace {

// The log as the main window shows it, on stdout as it happens.
class StdoutLog : public MainModelObserver {
public:
    void LogAppended(const std::string& appended, bool cleared) override {
        // The window empties a long log; a terminal keeps it, so the text just goes on.
        (void)cleared;
        std::fwrite(appended.data(), 1, appended.size(), stdout);
        std::fflush(stdout);
        if (!appended.empty()) endsWithNewline_ = appended.back() == '\n';
    }
    void Finish() {
        if (!endsWithNewline_) std::fputc('\n', stdout);
        std::fflush(stdout);
    }

private:
    bool endsWithNewline_ = true;
};

// A progress bar on stderr when stderr is a terminal.
class StderrProgress : public MainModelObserver {
public:
    StderrProgress() : enabled_(::isatty(2) != 0) {}
    void ProgressChanged(int position) override {
        if (!enabled_) return;
        const int p = std::clamp(position, 0, 100);
        const int filled = p * 30 / 100;
        std::fprintf(stderr, "\r[%s%s] %3d%%", std::string(filled, '#').c_str(),
                     std::string(30 - filled, ' ').c_str(), p);
        if (p >= 100) std::fputc('\n', stderr);
        std::fflush(stderr);
    }

private:
    bool enabled_;
};

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    std::vector<std::string> args(argv + 1, argv + argc);
    cli::ParseResult parsed = cli::ParseCommandLine(args);
    if (parsed.options.help) {
        std::cout << cli::UsageText();
        return 0;
    }
    if (!parsed.error.empty()) {
        std::cerr << "lumacrest-cli: " << parsed.error << "\n\n" << cli::UsageText();
        return 2;
    }
    const cli::CliOptions& options = parsed.options;
    std::string programDir = options.dir.empty()
                                 ? QDir(QCoreApplication::applicationDirPath()).absolutePath().toStdString()
                                 : QDir(QString::fromStdString(options.dir)).absolutePath().toStdString();
    programDir += "/";

    ScriptedPrompts prompts;
    // On one terminal a message starts its own line: the log's open line ends first.
    const bool sameTerminal = ::isatty(1) && ::isatty(2);
    prompts.onMessage = [sameTerminal](const ScriptedPrompts::Message& m) {
        std::fflush(stdout);
        std::cerr << (sameTerminal ? "\n" : "") << m.text << (sameTerminal ? "" : "\n");
        std::cerr.flush();
    };
    const StartDecision decision = CMainApp::InitInstance(programDir, prompts);
    if (!decision.runMainWindow) return decision.exitCode;

    RecordingShell shell;
    PosixProcessRunner processes;
    QtSerialPort serial;
    QtTimers timers;
    Host host;
    host.programDir = programDir;
    host.platform = {&prompts, &shell, &serial, &timers, &processes};

    StdoutLog log;
    StderrProgress progress;
    host.ui.AddObserver(&log);
    host.ui.AddObserver(&progress);

    Application dlgApp(host);
    CMainDlg& dlg = dlgApp.dlg;
    dlg.OnInitDialog();
    cli::CliRunner runner(host, dlg, prompts);
    TerminationSignals termination;
    QObject::connect(&termination, &TerminationSignals::terminationRequested,
                     [&runner](int signal) { runner.Interrupt(signal); });
    const int status = runner.Run(options);
    if (options.saveConfig) dlg.OnDestroy();
    log.Finish();
    for (const std::string& note : runner.Notes()) std::cerr << "lumacrest-cli: " << note << "\n";
    if (status != 0 && !runner.FailureReason().empty())
        std::cerr << "lumacrest-cli: failed: " << runner.FailureReason() << std::endl;
    return status;
}
