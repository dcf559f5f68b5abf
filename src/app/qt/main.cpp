// lumacrest: the main window.
#include <QApplication>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "app/CMainApp.h"
#include "host/ProgramDirectory.h"
#include "host/RunRecords.h"
#include "host/Host.h"
#include "app/qt/SingleInstance.h"
#include "platform/qt/QtLink.h"
#include "platform/qt/QtProcessRunner.h"
#include "platform/qt/TerminationSignals.h"
#include "platform/qt/QtPrompts.h"
#include "platform/SqliteSerialLedger.h"
#include "app/Application.h"
#include "app/CMainDlg.h"
#include "app/MessageBoxes.h"
#include "ui/main/qt/MainWindow.h"

using namespace lumacrest;

namespace {

constexpr const char* kUsage =
    "usage: lumacrest [--record FILE]\n"
    "  --record FILE  append a JSON line to FILE for every device command run\n"
    "  --version      the version\n"
    "  --help         this text\n"
    "The window keeps its settings in Config.dat in the program directory: the folder of the\n"
    "program when it holds one, else $XDG_DATA_HOME/lumacrest (~/.local/share/lumacrest).\n";

}  // namespace

int main(int argc, char** argv) {
    // Answered before Qt starts, so that they need no display.
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            std::fputs(kUsage, stdout);
            return 0;
        }
        if (arg == "--version") {
            std::fputs("lumacrest " LUMACREST_VERSION "\n", stdout);
            return 0;
        }
    }
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("lumacrest"));
    QtPrompts prompts;

    // --record FILE: one line for every run, appended to FILE.
    std::string recordPath;
    const QStringList args = QApplication::arguments();
    for (qsizetype i = 1; i < args.size(); ++i) {
        QString path;
        if (args[i] == QStringLiteral("--record") && i + 1 < args.size())
            path = args[++i];
        else if (args[i].startsWith(QStringLiteral("--record=")))
            path = args[i].mid(9);
        if (path.isEmpty()) {
            std::fputs(kUsage, stderr);
            return 2;
        }
        recordPath = path.toStdString();
    }

    SingleInstance single;
    if (!single.BecomePrimary()) {
        prompts.MessageBox(kAlreadyRunning, MsgIcon::None);
        single.AskPrimaryToShow();
        return 0;
    }

    const ProgramDirectory dir =
        ChooseProgramDirectory(QApplication::applicationDirPath().toStdString(), {},
                               UserFoldersFromEnvironment());
    const FillReport filled = FillProgramDirectory(dir);
    for (const std::string& problem : filled.problems)
        std::fprintf(stderr, "lumacrest: %s\n", problem.c_str());
    for (const std::string& notice : filled.notices)
        std::fprintf(stderr, "lumacrest: %s\n", notice.c_str());
    const std::string& programDir = dir.path;
    prompts.SetProgramDirectory(programDir);
    StartDecision decision = CMainApp::InitInstance(programDir, prompts);
    if (!decision.runMainWindow) return decision.exitCode;

    QtShell shell;
    QtProcessRunner processes;
    QtSerialPort serial;
    QtTimers timers;
    SqliteSerialLedger serials(SerialLedgerPath(dir, {}, std::getenv("LUMACREST_SERIALS")));
    Host host;
    host.programDir = programDir;
    host.platform = {&prompts, &shell, &serial, &timers, &processes, &serials};

    Application dlgApp(host);
    CMainDlg& dlg = dlgApp.dlg;
    MainWindow window(dlg, dlgApp.model);
    MessageBoxes messageBoxes(prompts);
    host.view.AddObserver(&messageBoxes);
    prompts.SetParent(&window);
    dlg.OnInitDialog();
    for (const std::string& notice : filled.notices) host.view.AppendLog(notice);
    if (!recordPath.empty())
        RecordRuns(host, recordPath, [&prompts](const std::string& why) {
            prompts.MessageBox(why + ": the runs that follow are not recorded", MsgIcon::Error);
        });
    window.show();

    QObject::connect(&single, &SingleInstance::showRequested, &window, [&window] {
        window.showNormal();
        window.raise();
        window.activateWindow();
    });
    TerminationSignals termination;
    QObject::connect(&termination, &TerminationSignals::terminationRequested, &window,
                     [&window] { window.CloseForSignal(); });

    app.exec();
    dlg.OnDestroy();
    return 0;
}
