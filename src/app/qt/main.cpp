// lumacrest: the main window.
#include <QApplication>
#include <QDir>

#include "app/CMainApp.h"
#include "host/Host.h"
#include "app/qt/SingleInstance.h"
#include "platform/qt/QtLink.h"
#include "platform/qt/QtProcessRunner.h"
#include "platform/qt/TerminationSignals.h"
#include "platform/qt/QtPrompts.h"
#include "app/Application.h"
#include "app/CMainDlg.h"
#include "ui/main/qt/MainWindow.h"

using namespace lumacrest;

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("lumacrest"));
    QtPrompts prompts;

    SingleInstance single;
    if (!single.BecomePrimary()) {
        prompts.MessageBox(kAlreadyRunning, MsgIcon::None);
        single.AskPrimaryToShow();
        return 0;
    }

    const std::string programDir = QDir(QApplication::applicationDirPath()).absolutePath().toStdString() + "/";
    StartDecision decision = CMainApp::InitInstance(programDir, prompts);
    if (!decision.runMainWindow) return decision.exitCode;

    QtShell shell;
    QtProcessRunner processes;
    QtSerialPort serial;
    QtTimers timers;
    Host host;
    host.programDir = programDir;
    host.platform = {&prompts, &shell, &serial, &timers, &processes};

    Application dlgApp(host);
    CMainDlg& dlg = dlgApp.dlg;
    MainWindow window(dlg, dlg.host().ui);
    prompts.SetParent(&window);
    dlg.OnInitDialog();
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
