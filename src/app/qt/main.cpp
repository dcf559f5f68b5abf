// lumacrest: the main window.
#include <QApplication>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>

#include "app/CMainApp.h"
#include "host/ProgramDirectory.h"
#include "host/RunRecords.h"
#include "host/Host.h"
#include "app/qt/SingleInstance.h"
#include "platform/qt/QtLink.h"
#include "platform/qt/QtProcessRunner.h"
#include "platform/qt/TerminationSignals.h"
#include "ui/main/qt/QtPrompts.h"
#include "platform/SqliteSerialLedger.h"
#include "app/Application.h"
#include "app/CMainDlg.h"
#include "app/MessageBoxes.h"
#include "ui/main/qt/MainWindow.h"
#include "ui/main/qt/StationPicker.h"
#include "link/Ports.h"
#include "ui/main/ResourceIds.h"
#include "host/HostApi.h"
#include "ui/station/Station.h"
#include "ui/station/qt/StationWindow.h"

using namespace lumacrest;

namespace {

constexpr const char* kUsage =
    "usage: lumacrest [--record FILE] [--project FILE] [--station PORT,PORT,...]\n"
    "  --record FILE   append a JSON line to FILE for every device command run\n"
    "  --project FILE  load the project FILE at start, as Load Project does\n"
    "  --station PORTS the station: one tile for each programmer on PORTS (COM1..COM16 or\n"
    "                  device paths, at most 16), sharing the settings\n"
    "  --version       the version\n"
    "  --help          this text\n"
    "The window keeps its settings in Config.dat in the program directory: the folder of the\n"
    "program when it holds one, else $XDG_DATA_HOME/lumacrest (~/.local/share/lumacrest).\n";

// A second start brings the window forward; a termination signal closes it as a close does.
template <typename Window>
void FollowTheDesktop(Window& window, SingleInstance& single, TerminationSignals& termination) {
    QObject::connect(&single, &SingleInstance::showRequested, &window, [&window] {
        window.showNormal();
        window.raise();
        window.activateWindow();
    });
    QObject::connect(&termination, &TerminationSignals::terminationRequested, &window,
                     [&window] { window.CloseForSignal(); });
}

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

    // --record FILE: one line for every run, appended to FILE. --project FILE: loaded at
    // start. --station PORTS: the station window.
    std::string recordPath;
    std::string projectPath;
    std::optional<PortList> station;
    const QStringList args = QApplication::arguments();
    for (qsizetype i = 1; i < args.size(); ++i) {
        QString value;
        QString option;
        for (const char* name : {"--record", "--project", "--station"}) {
            const QString n = QString::fromLatin1(name);
            if (args[i] == n && i + 1 < args.size()) {
                option = n;
                value = args[++i];
            } else if (args[i].startsWith(n + QLatin1Char('='))) {
                option = n;
                value = args[i].mid(n.size() + 1);
            }
            if (!option.isEmpty()) break;
        }
        if (value.isEmpty()) {
            std::fputs(kUsage, stderr);
            return 2;
        }
        if (option == QStringLiteral("--record")) recordPath = value.toStdString();
        else if (option == QStringLiteral("--project")) projectPath = value.toStdString();
        else station = ParsePortList(value.toStdString());
    }
    if (station && !station->error.empty()) {
        std::fprintf(stderr, "lumacrest: --station: %s\n", station->error.c_str());
        return 2;
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
    auto runStation = [&](const std::vector<std::string>& ports) {
        StationSetup setup;
        setup.programDir = programDir;
        setup.ports = ports;
        setup.prompts = &prompts;
        setup.shell = &shell;
        setup.processes = &processes;
        setup.serials = &serials;
        setup.recordPath = recordPath;
        bool told = false;
        setup.onRecordError = [&prompts, told](const std::string& why) mutable {
            if (told) return;
            told = true;
            prompts.MessageBox(why + ": the runs that follow are not recorded", MsgIcon::Error);
        };
        StationWindow window(setup);
        prompts.SetParent(&window);
        if (!projectPath.empty()) window.LoadProject(projectPath);
        window.show();
        window.Start();
        TerminationSignals termination;
        FollowTheDesktop(window, single, termination);
        app.exec();
        window.Shutdown();
        prompts.SetParent(nullptr);
        return 0;
    };
    if (station) return runStation(station->ports);

    // The classic window; it may hand over to the station (its port picker), in this process.
    std::optional<std::vector<std::string>> stationPorts;
    {
        Host host;
        host.programDir = programDir;
        host.platform = {&prompts, &shell, &serial, &timers, &processes, &serials};

        Application dlgApp(host);
        CMainDlg& dlg = dlgApp.dlg;
        MainWindow window(dlg, dlgApp.model);
        MessageBoxes messageBoxes(prompts);
        host.view.AddObserver(&messageBoxes);
        prompts.SetParent(&window);
        window.FollowRuns(host.onRunEnded, &prompts);
        dlg.OnInitDialog();
        for (const std::string& notice : filled.notices) host.view.AppendLog(notice);
        if (!projectPath.empty()) {
            // As Load Project does once its file dialog has been answered.
            host.view.WriteSeparator();
            (void)api::LoadProject(host, projectPath);
        }
        if (!recordPath.empty())
            RecordRuns(host, recordPath, [&prompts](const std::string& why) {
                prompts.MessageBox(why + ": the runs that follow are not recorded", MsgIcon::Error);
            });
        window.show();

        TerminationSignals termination;
        FollowTheDesktop(window, single, termination);

        window.OfferStation(
            [&host, &dlgApp] {
                std::vector<std::string> devices;
                const std::vector<std::string>& com = dlgApp.model.Combo(id::ComList).items;
                for (const std::string& name : com) {
                    const uint8_t number = ComNameToPort(name);
                    devices.push_back(number >= 1 && number <= 16
                                          ? host.ports.Device(number).value_or("")
                                          : std::string());
                }
                return PickerPorts(com, devices);
            },
            [&stationPorts](const std::vector<std::string>& ports) { stationPorts = ports; });

        app.exec();
        dlg.OnDestroy();
        prompts.SetParent(nullptr);
    }
    if (!stationPorts) return 0;
    // Config.dat, just written by the classic window, holds its settings for the station.
    projectPath.clear();
    return runStation(*stationPorts);
}
