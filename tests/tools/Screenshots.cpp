// Pictures of the windows for a look at the layout, drawn by a real X server:
//   screenshots OUTDIR SIMULATOR
// main-window.png: the main window at its default size during an Update against the
// simulated programmer (paced at 115200 baud) with the progress near half; load-address.png:
// the LOAD_ADDRESS dialog; buffer-editor.png: the flash buffer editor over the same image;
// buffer-editor-dark.png: the same under a dark palette, with a selection;
// main-window-failed.png: the main window after an Update whose flash verify failed;
// station-running.png and station-done.png: the station with four tiles in the middle of
// their runs and after them, one failed; station-dark.png: the same under a dark palette.
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QPlainTextEdit>
#include <QProcess>
#include <QRandomGenerator>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>
#include <cstdio>
#include <memory>
#include <vector>

#include "app/MessageBoxes.h"
#include "host/Config.h"
#include "image/Checksums.h"
#include "platform/PosixProcessRunner.h"
#include "platform/qt/QtLink.h"
#include "ui/main/qt/QtPrompts.h"
#include "platform/DialogSessions.h"
#include "ui/edit/qt/CBufferEditDlg.h"
#include "ui/edit/qt/CHexEditCtrl.h"
#include "ui/edit/qt/CLoadAddressDlg.h"
#include "app/Application.h"
#include "app/CMainDlg.h"
#include "ui/main/ResourceIds.h"
#include "ui/main/qt/MainWindow.h"
#include "ui/station/qt/StationWindow.h"
#include "ops/OperatorView.h"

using namespace lumacrest;

namespace {
void WriteFile(const QString& path, const QByteArray& data) {
    QFile f(path);
    f.open(QIODevice::WriteOnly);
    f.write(data);
}

void Settle(int ms) {
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < ms) QApplication::processEvents(QEventLoop::AllEvents, 20);
}
}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    if (argc < 3) {
        std::fprintf(stderr, "usage: screenshots OUTDIR SIMULATOR\n");
        return 2;
    }
    const QString out = QString::fromLocal8Bit(argv[1]);
    QDir().mkpath(out);
    QTemporaryDir dir;
    WriteFile(dir.filePath("Config.dat"), QByteArray::fromStdString(DefaultConfigText()));
    const QString link = dir.filePath("com3");
    WriteFile(dir.filePath("Ports.dat"), ("COM3 " + link + "\n").toUtf8());

    QProcess sim;
    sim.start(QString::fromLocal8Bit(argv[2]), {"--link", link, "--baud", "115200"});
    for (int i = 0; i < 100 && !QFile::exists(link); ++i) QThread::msleep(50);
    if (!QFile::exists(link)) {
        std::fprintf(stderr, "the simulator did not start\n");
        return 1;
    }

    QtPrompts prompts;
    QtShell shell;
    PosixProcessRunner processes;
    QtSerialPort serial;
    QtTimers timers;
    Host host;
    host.programDir = dir.path().toStdString() + "/";
    host.platform = {&prompts, &shell, &serial, &timers, &processes};
    Application dlgApp(host);
    CMainDlg& dlg = dlgApp.dlg;
    MainWindow window(dlg, dlgApp.model);
    MessageBoxes messageBoxes(prompts);
    host.view.AddObserver(&messageBoxes);
    prompts.SetParent(&window);
    window.FollowRuns(host.onRunEnded, &prompts);
    dlg.OnInitDialog();
    window.show();
    Settle(300);

    // An image of 72 KiB of pseudo-random bytes, as a loaded file would leave it.
    QRandomGenerator random(7);
    for (uint32_t i = 0; i < host.target.dev.FlashSize; ++i)
        host.target.buf().flash[i] = static_cast<uint8_t>(random.bounded(256));
    host.target.FlashPagesToWrite = host.target.dev.FlashPageCount;
    host.target.FlashLoaded();
    ShowChecksums(host.view, host.target);

    host.view.SelectPort(host.view.PortList().FindPrefix("COM3"));
    dlg.OnCommand(id::ComList);
    Settle(1500);
    host.view.ShowOptions({.eraseChip = true, .programFlash = true});
    QTimer::singleShot(0, [&] { dlg.OnCommand(id::Update); });
    QElapsedTimer t;
    t.start();
    bool shot = false;
    while (t.elapsed() < 60000 && !shot) {
        QApplication::processEvents(QEventLoop::AllEvents, 20);
        if (host.view.Progress() >= 45 && host.view.Progress() <= 60 &&
            host.view.LogText().find("Write FLASH......") != std::string::npos) {
            Settle(50);
            window.grab().save(out + "/main-window.png");
            shot = true;
            if (window.LogView()->horizontalScrollBar()->isVisible()) {
                std::fprintf(stderr, "the log has a horizontal scroll bar at the default size\n");
                return 1;
            }
        }
    }
    Settle(15000);  // let the run finish before the pictures of the dialogs

    CLoadAddressDlg address(&window);
    address.show();
    Settle(200);
    address.grab().save(out + "/load-address.png");
    address.close();

    BufferEditSession session;
    session.title = "Flash Buffer Edit";
    session.length = host.target.dev.FlashSize;
    std::copy_n(host.target.buf().flash.begin(), session.length, session.work.begin());
    session.Preset(host.target.dev.FlashSize);
    CBufferEditDlg editor(session, prompts, &window);
    editor.show();
    editor.LoadEditor();
    Settle(300);
    editor.grab().save(out + "/buffer-editor.png");
    editor.close();

    QPalette dark;  // a dark theme's colours
    dark.setColor(QPalette::Window, QColor(0x2B, 0x2B, 0x2B));
    dark.setColor(QPalette::WindowText, QColor(0xE0, 0xE0, 0xE0));
    dark.setColor(QPalette::Base, QColor(0x1E, 0x1E, 0x1E));
    dark.setColor(QPalette::Text, QColor(0xE0, 0xE0, 0xE0));
    dark.setColor(QPalette::Button, QColor(0x3A, 0x3A, 0x3A));
    dark.setColor(QPalette::ButtonText, QColor(0xE0, 0xE0, 0xE0));
    dark.setColor(QPalette::Highlight, QColor(0x30, 0x60, 0xC0));
    dark.setColor(QPalette::HighlightedText, Qt::white);
    CBufferEditDlg darkEditor(session, prompts, &window);
    darkEditor.setPalette(dark);
    darkEditor.show();
    darkEditor.LoadEditor();
    darkEditor.Editor()->SetSelection(0x42, 0x4B);
    Settle(300);
    darkEditor.grab().save(out + "/buffer-editor-dark.png");
    darkEditor.close();

    // The classic window after a failed verify: a box on COM4 that returns a wrong page.
    const QString faulty = dir.filePath("com4");
    QProcess bad;
    bad.start(QString::fromLocal8Bit(argv[2]), {"--link", faulty, "--fault", "verify-differs:0x18:-1:40"});
    for (int i = 0; i < 100 && !QFile::exists(faulty); ++i) QThread::msleep(50);
    WriteFile(dir.filePath("Ports.dat"), ("COM3 " + link + "\nCOM4 " + faulty + "\n").toUtf8());
    host.view.SelectPort(host.view.PortList().FindPrefix("COM4"));
    dlg.OnCommand(id::ComList);
    Settle(1000);
    // The failure's message box is closed as the operator would.
    QTimer closer;
    QObject::connect(&closer, &QTimer::timeout, [] {
        if (QWidget* modal = QApplication::activeModalWidget()) modal->close();
    });
    closer.start(300);
    dlg.OnCommand(id::Update);
    for (int i = 0; i < 300 && !dlgApp.model.IsEnabled(id::Update); ++i) Settle(50);
    closer.stop();
    Settle(300);
    window.grab().save(out + "/main-window-failed.png");
    bad.kill();
    bad.waitForFinished(2000);
    window.hide();

    // The station: four paced boxes, the second of which fails its flash verify.
    std::vector<std::unique_ptr<QProcess>> boxes;
    QString ports;
    for (int i = 0; i < 4; ++i) {
        const QString box = dir.filePath(QStringLiteral("station%1").arg(i));
        auto p = std::make_unique<QProcess>();
        QStringList args{"--link", box, "--baud", "115200"};
        if (i == 1) args << "--fault" << "verify-differs:0x18:-1:20";
        p->start(QString::fromLocal8Bit(argv[2]), args);
        for (int k = 0; k < 100 && !QFile::exists(box); ++k) QThread::msleep(50);
        ports += QStringLiteral("COM%1 %2\n").arg(5 + i).arg(box);
        boxes.push_back(std::move(p));
    }
    WriteFile(dir.filePath("Ports.dat"), ports.toUtf8());
    QByteArray image(32768, '\0');
    for (int i = 0; i < image.size(); ++i) image[i] = static_cast<char>(random.bounded(256));
    WriteFile(dir.filePath("main.bin"), image);
    StationSetup setup;
    setup.programDir = host.programDir;
    setup.ports = {"COM5", "COM6", "COM7", "COM8"};
    setup.prompts = &prompts;
    setup.shell = &shell;
    setup.processes = &processes;
    StationWindow station(setup);
    for (std::size_t i = 0; i < 4; ++i) station.Feed(i).LoadFlashFile(dir.filePath("main.bin").toStdString(), 0x4000);
    station.show();
    station.Start();
    Settle(2000);
    station.UpdateAll();
    bool running = false;
    t.restart();
    while (t.elapsed() < 60000 && !running) {
        Settle(20);
        running = station.Feed(0).Progress() >= 40 && station.Feed(3).Progress() >= 35;
    }
    station.Refresh();
    Settle(100);
    station.grab().save(out + "/station-running.png");
    for (int i = 0; i < 1200 && station.AnyBusy(); ++i) Settle(50);
    station.Refresh();
    Settle(200);
    station.grab().save(out + "/station-done.png");
    station.setPalette(dark);
    station.Refresh();
    Settle(200);
    station.grab().save(out + "/station-dark.png");
    station.Shutdown();
    for (auto& p : boxes) {
        p->kill();
        p->waitForFinished(2000);
    }

    sim.kill();
    sim.waitForFinished(2000);
    if (!running) {
        std::fprintf(stderr, "the station's runs never reached their middle\n");
        return 1;
    }
    if (!shot) {
        std::fprintf(stderr, "the Update never reached half way\n");
        return 1;
    }
    return 0;
}
