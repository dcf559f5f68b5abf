// The main window as a view of the window model, and the program as a whole: started from a
// program directory, closed by a signal, it writes its settings back.
#include <signal.h>

#include <QAction>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QMenu>
#include <QPlainTextEdit>
#include <QProcess>
#include <QPushButton>
#include <QTemporaryDir>
#include <QtTest>

#include "app/Config.h"
#include "app/qt/SingleInstance.h"
#include "platform/ScriptedPrompts.h"
#include "ui/main/CMainDlg.h"
#include "ui/main/ResourceIds.h"
#include "ui/chrome/qt/CGradientProgressCtrl.h"
#include "ui/main/qt/MainWindow.h"

using namespace lumacrest;

class MainWindowTest : public QObject {
    Q_OBJECT

private:
    struct Fixture {
        QTemporaryDir dir;
        ScriptedPrompts prompts;
        RecordingShell shell;
        Host host;
        std::unique_ptr<CMainDlg> dlg;
        std::unique_ptr<MainWindow> window;

        Fixture() {
            host.programDir = dir.path().toStdString() + "/";
            host.platform.prompts = &prompts;
            host.platform.shell = &shell;
            QFile f(dir.filePath("Config.dat"));
            f.open(QIODevice::WriteOnly);
            f.write(QByteArray::fromStdString(DefaultConfigText()));
            f.close();
            dlg = std::make_unique<CMainDlg>(host);
            window = std::make_unique<MainWindow>(*dlg);
            dlg->OnInitDialog();
        }
    };

private slots:
    void showsTheStartLog() {
        Fixture f;
        QCOMPARE(f.window->windowTitle(), QStringLiteral("Lumacrest V3.0"));
        QCOMPARE(f.window->LogView()->toPlainText(),
                 QStringLiteral("Adapter:ZK9_QFP64_001(32D)\nSEP1:  Connect Device\n"
                                "SEP2:  Select MCU MN101EF51A_IAP\nSEP3:  Load File\n"
                                "SEP4:  Update Device"));
        auto* com = qobject_cast<QComboBox*>(f.window->Control(id::ComList));
        auto* mcu = qobject_cast<QComboBox*>(f.window->Control(id::McuList));
        QCOMPARE(com->count(), 17);
        QCOMPARE(com->currentText(), QStringLiteral("USB"));
        QCOMPARE(mcu->currentIndex(), -1);
        QVERIFY(!f.window->windowIcon().isNull());
    }

    void logFollowsRawAppendsAndClearing() {
        Fixture f;
        f.host.ui.AppendLog("Write FLASH......");
        f.host.ui.AppendLogRaw("OK");
        QVERIFY(f.window->LogView()->toPlainText().endsWith("\nWrite FLASH......OK"));
        f.host.ui.AppendLog(std::string(20001, 'x'));
        f.host.ui.AppendLogRaw("Failed");
        QCOMPARE(f.window->LogView()->toPlainText(), QStringLiteral("Failed"));
    }

    void menuAndControlsFollowTheOperationState() {
        Fixture f;
        MainWindow& w = *f.window;
        QVERIFY(w.Action(id::LoadFlashFile)->isEnabled());
        QVERIFY(w.Action(id::FlashBuffer)->isEnabled());
        QVERIFY(w.Action(id::ConvertExToHex)->isEnabled());
        QVERIFY(!w.Action(id::ReserveJia)->isEnabled());
        QVERIFY(!w.Action(id::LoadProject)->isEnabled());
        QVERIFY(!w.Popup(2)->isEnabled());  // Operation
        QVERIFY(!w.Popup(4)->isEnabled());  // Help

        f.host.ui.DisableOperationControls();
        QVERIFY(!w.Action(id::LoadFlashFile)->isEnabled());
        QVERIFY(w.Action(id::ReserveJia)->isEnabled());
        QVERIFY(!w.Control(id::Update)->isEnabled());
        QVERIFY(!w.Control(id::ComList)->isEnabled());
        QVERIFY(!w.Control(id::LoadFile)->isEnabled());

        f.host.ui.EnableOperationControls();
        QVERIFY(w.Action(id::LoadFlashFile)->isEnabled());
        QVERIFY(!w.Action(id::ReserveJia)->isEnabled());
        QVERIFY(w.Control(id::Update)->isEnabled());
    }

    void progressZeroShowsAnEmptyBar() {
        Fixture f;
        auto* bar = qobject_cast<CGradientProgressCtrl*>(f.window->Control(id::ProgressControl));
        QCOMPARE(bar->Lower(), 1);
        QCOMPARE(bar->Upper(), 100);
        f.host.ui.SetProgress(50);
        QCOMPARE(bar->Text(), QStringLiteral(" 49 %"));
        f.host.ui.SetProgress(0);
        QCOMPARE(bar->Text(), QString());
        f.host.ui.SetProgress(100);
        QCOMPARE(bar->Text(), QStringLiteral("100 %"));
    }

    void menuItemsReachTheirCommands() {
        Fixture f;
        f.window->Action(id::About)->setEnabled(true);
        f.window->Action(id::About)->trigger();
        QCOMPARE(f.prompts.aboutShown, 1);
        const std::string before = f.host.ui.LogText();
        f.window->Action(id::SectorProtect)->setEnabled(true);
        f.window->Action(id::SectorProtect)->trigger();
        QCOMPARE(f.host.ui.LogText(), before);
    }

    void secondCopyAsksTheFirstToShow() {
        QTemporaryDir runtime;
        qputenv("XDG_RUNTIME_DIR", runtime.path().toUtf8());
        QFile::setPermissions(runtime.path(), QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                                  QFileDevice::ExeOwner);
        SingleInstance first;
        QVERIFY(first.BecomePrimary());
        QSignalSpy shown(&first, &SingleInstance::showRequested);
        SingleInstance second;
        QVERIFY(!second.BecomePrimary());
        second.AskPrimaryToShow();
        QVERIFY(shown.wait(2000) || shown.count() > 0);
    }

    void programClosedBySignalWritesItsSettings() {
        QTemporaryDir dir;
        QTemporaryDir runtime;
        QFile::setPermissions(runtime.path(), QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                                  QFileDevice::ExeOwner);
        const QString exe = dir.filePath("lumacrest");
        QVERIFY(QFile::copy(QStringLiteral(LUMACREST_GUI_EXE), exe));
        QFile config(dir.filePath("Config.dat"));
        QVERIFY(config.open(QIODevice::WriteOnly));
        config.write(QByteArray::fromStdString(DefaultConfigText()));
        config.close();

        QProcess program;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("QT_QPA_PLATFORM", "offscreen");
        env.insert("XDG_RUNTIME_DIR", runtime.path());
        program.setProcessEnvironment(env);
        program.start(exe, {});
        QVERIFY(program.waitForStarted(5000));
        QTest::qWait(1500);  // let the window come up
        QCOMPARE(program.state(), QProcess::Running);
        ::kill(static_cast<pid_t>(program.processId()), SIGTERM);
        QVERIFY(program.waitForFinished(10000));
        QCOMPARE(program.exitStatus(), QProcess::NormalExit);
        QCOMPARE(program.exitCode(), 0);

        QVERIFY(config.open(QIODevice::ReadOnly));
        const QList<QByteArray> lines = config.readAll().split('\n');
        QCOMPARE(lines.size(), 33);  // 32 lines, the list-count line included
        QCOMPARE(lines[29], QByteArray("0"));
        QCOMPARE(lines[30], QByteArray("Adapter:ZK9_QFP64_001(32D)"));
    }

};

QTEST_MAIN(MainWindowTest)
#include "MainWindowTest.moc"
