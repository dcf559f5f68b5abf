// Writes PNG pictures of the main window for a look at the layout:
//   screenshots OUTDIR
// The main window is shown over a program directory holding the default settings.
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTimer>

#include "app/Config.h"
#include "platform/ScriptedPrompts.h"
#include "ui/main/CMainDlg.h"
#include "ui/main/qt/MainWindow.h"

using namespace lumacrest;

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    const QString out = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QDir::currentPath();
    QDir().mkpath(out);
    QTemporaryDir dir;
    QFile config(dir.filePath("Config.dat"));
    config.open(QIODevice::WriteOnly);
    config.write(QByteArray::fromStdString(DefaultConfigText()));
    config.close();

    ScriptedPrompts prompts;
    RecordingShell shell;
    Host host;
    host.programDir = dir.path().toStdString() + "/";
    host.platform.prompts = &prompts;
    host.platform.shell = &shell;
    CMainDlg dlg(host);
    MainWindow window(dlg);
    dlg.OnInitDialog();
    host.ui.WriteSeparator();
    host.ui.AppendLog("Write FLASH......");
    host.ui.SetProgress(50);
    window.resize(620, 460);
    window.show();
    QTimer::singleShot(500, [&] {
        window.grab().save(out + "/main-window.png");
        app.quit();
    });
    return app.exec();
}
