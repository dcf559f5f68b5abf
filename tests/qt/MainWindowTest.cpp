// The main window as a view of the window model, and the program as a whole: started from a
// program directory, closed by a signal, it writes its settings back.
#include <signal.h>

#include <QAction>
#include <QAbstractItemView>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFontDatabase>
#include <QLabel>
#include <QMenu>
#include <QPlainTextEdit>
#include <QProcess>
#include <QPushButton>
#include <QRawFont>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QtTest>

#include "app/CMainApp.h"
#include "host/Config.h"
#include "app/qt/SingleInstance.h"
#include "support/ScriptedPrompts.h"
#include "ui/main/qt/QtPrompts.h"
#include "ui/main/MenuResource.h"
#include "app/Application.h"
#include "app/CMainDlg.h"
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
        std::unique_ptr<Application> app;
        CMainDlg* dlg = nullptr;
        std::unique_ptr<MainWindow> window;

        Fixture() {
            host.programDir = dir.path().toStdString() + "/";
            host.platform.prompts = &prompts;
            host.platform.shell = &shell;
            QFile f(dir.filePath("Config.dat"));
            f.open(QIODevice::WriteOnly);
            f.write(QByteArray::fromStdString(DefaultConfigText()));
            f.close();
            app = std::make_unique<Application>(host);
            dlg = &app->dlg;
            window = std::make_unique<MainWindow>(*dlg, app->model);
            dlg->OnInitDialog();
        }
    };

    // The built program run from its own program directory with the default settings file.
    struct Program {
        QTemporaryDir dir;
        QTemporaryDir runtime;
        QProcess process;

        explicit Program(const QStringList& args = {}) {
            QFile::setPermissions(runtime.path(), QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                                      QFileDevice::ExeOwner);
            const QString exe = dir.filePath("lumacrest");
            QFile::copy(QStringLiteral(LUMACREST_GUI_EXE), exe);
            QFile config(dir.filePath("Config.dat"));
            config.open(QIODevice::WriteOnly);
            config.write(QByteArray::fromStdString(DefaultConfigText()));
            config.close();
            QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
            env.insert("QT_QPA_PLATFORM", "offscreen");
            env.insert("XDG_RUNTIME_DIR", runtime.path());
            process.setProcessEnvironment(env);
            process.start(exe, args);
        }
        pid_t Pid() const { return static_cast<pid_t>(process.processId()); }

        // Waits until the program catches SIGTERM: it sets that up once its window is up,
        // just before it starts taking events.
        bool Ready() {
            if (!process.waitForStarted(5000)) return false;
            auto gone = [this] { return process.state() != QProcess::Running; };
            return QTest::qWaitFor([&] { return gone() || CatchesSigterm(); }, 60000) && !gone();
        }

    private:
        bool CatchesSigterm() const {
            QFile status(QStringLiteral("/proc/%1/status").arg(Pid()));
            if (!status.open(QIODevice::ReadOnly)) return false;
            for (const QByteArray& line : status.readAll().split('\n'))
                if (line.startsWith("SigCgt:"))
                    return (line.mid(7).trimmed().toULongLong(nullptr, 16) >> (SIGTERM - 1)) & 1;
            return false;
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
        f.host.view.AppendLog("Write FLASH......");
        f.host.view.AppendLogRaw("OK");
        QVERIFY(f.window->LogView()->toPlainText().endsWith("\nWrite FLASH......OK"));
        f.host.view.AppendLog(std::string(20001, 'x'));
        f.host.view.AppendLogRaw("Failed");
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

        f.app->model.DisableOperationControls();
        QVERIFY(!w.Action(id::LoadFlashFile)->isEnabled());
        QVERIFY(w.Action(id::ReserveJia)->isEnabled());
        QVERIFY(!w.Control(id::Update)->isEnabled());
        QVERIFY(!w.Control(id::ComList)->isEnabled());
        QVERIFY(!w.Control(id::LoadFile)->isEnabled());

        f.app->model.EnableOperationControls();
        QVERIFY(w.Action(id::LoadFlashFile)->isEnabled());
        QVERIFY(!w.Action(id::ReserveJia)->isEnabled());
        QVERIFY(w.Control(id::Update)->isEnabled());
    }

    void progressZeroShowsAnEmptyBar() {
        Fixture f;
        auto* bar = qobject_cast<CGradientProgressCtrl*>(f.window->Control(id::ProgressControl));
        QCOMPARE(bar->Lower(), 1);
        QCOMPARE(bar->Upper(), 100);
        f.host.view.SetProgress(50);
        QCOMPARE(bar->Text(), QStringLiteral(" 49 %"));
        f.host.view.SetProgress(0);
        QCOMPARE(bar->Text(), QString());
        f.host.view.SetProgress(100);
        QCOMPARE(bar->Text(), QStringLiteral("100 %"));
    }

    void menuItemsReachTheirCommands() {
        Fixture f;
        f.window->Action(id::About)->setEnabled(true);
        f.window->Action(id::About)->trigger();
        QCOMPARE(f.prompts.aboutShown, 1);
        const std::string before = f.host.view.LogText();
        f.window->Action(id::SectorProtect)->setEnabled(true);
        f.window->Action(id::SectorProtect)->trigger();
        QCOMPARE(f.host.view.LogText(), before);
    }

    void enterStartsUpdateUnlessTheFocusedControlTakesIt() {
        Fixture f;
        int updates = 0, loads = 0, picks = 0;
        f.dlg->router().Add(id::Update, [&] { ++updates; });
        f.dlg->router().Add(id::LoadFile, [&] { ++loads; });
        f.dlg->router().Add(id::ComList, [&] { ++picks; });
        f.window->show();
        QApplication::setActiveWindow(f.window.get());
        auto* com = qobject_cast<QComboBox*>(f.window->Control(id::ComList));
        com->setFocus();
        QTRY_VERIFY(com->hasFocus());
        QTest::keyClick(com, Qt::Key_Return);
        QTest::keyClick(com, Qt::Key_Enter, Qt::KeypadModifier);
        f.window->LogView()->setFocus();
        QTest::keyClick(f.window->LogView(), Qt::Key_Return);
        QCOMPARE(updates, 3);

        QWidget* load = f.window->Control(id::LoadFile);
        load->setFocus();
        QTest::keyClick(load, Qt::Key_Return);  // a focused button presses itself
        QCOMPARE(loads, 1);
        com->setFocus();
        com->showPopup();  // an open list takes Enter as its choice
        QTRY_VERIFY(com->view()->isVisible());
        QTest::keyClick(com->view(), Qt::Key_Down);
        QTest::keyClick(com->view(), Qt::Key_Return);
        QTRY_COMPARE(picks, 1);
        f.app->model.DisableOperationControls();  // an operation runs: Update is disabled
        f.window->LogView()->setFocus();
        QTest::keyClick(f.window->LogView(), Qt::Key_Enter, Qt::KeypadModifier);
        QCOMPARE(updates, 3);
        QCOMPARE(loads, 1);
    }

    void defaultSizeShowsTheSeparatorsWithoutAHorizontalScrollBar() {
        Fixture f;
        f.window->show();
        for (int i = 0; i < 40; ++i) f.host.view.WriteSeparator();  // both patterns, and more
        QApplication::processEvents();                            // lines than fit
        QCOMPARE(f.window->size(), f.window->DefaultSize());
        QVERIFY(f.window->LogView()->verticalScrollBar()->isVisible());
        QCOMPARE(f.window->LogView()->horizontalScrollBar()->maximum(), 0);
    }

    void chineseTextsHaveAnInstalledFont() {
        // The texts: the second-copy message, the window menu's About item, the hidden
        // download button and the About box.
        Fixture f;
        QStringList texts = {
            QString::fromUtf8(kAlreadyRunning), QString::fromUtf8(kAboutSysMenuText),
            qobject_cast<QPushButton*>(f.window->Control(id::DownloadPage))->text()};
        QtPrompts prompts;
        prompts.SetProgramDirectory("/home/op/.local/share/lumacrest/");
        QTimer::singleShot(0, [&] {
            QWidget* about = QApplication::activeModalWidget();
            for (QLabel* label : about->findChildren<QLabel*>()) texts << label->text();
            about->close();
        });
        prompts.ShowAbout();
        QVERIFY(texts.contains(QStringLiteral("Program directory: /home/op/.local/share/lumacrest/")));
        std::vector<char32_t> cjk;
        for (const QString& text : texts)
            for (char32_t c : text.toUcs4())
                if (c >= 0x2E80) cjk.push_back(c);
        QVERIFY(cjk.size() >= 14);
        QStringList covering;
        for (const QString& family : QFontDatabase::families()) {
            const QRawFont raw = QRawFont::fromFont(QFont(family));
            auto has = [&raw](char32_t c) { return raw.supportsCharacter(c); };
            if (std::all_of(cjk.begin(), cjk.end(), has)) covering << family;
        }
        QVERIFY2(!covering.isEmpty(), "no installed font has the glyphs of the Chinese texts");
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

    void commandLineTakesARecordFileOnly() {
        Program refused({QStringLiteral("--record")});
        QVERIFY(refused.process.waitForFinished(30000));
        QCOMPARE(refused.process.exitCode(), 2);
        QVERIFY(refused.process.readAllStandardError().contains("usage: lumacrest [--record FILE]"));
    }

    void programClosedBySignalWritesItsSettings() {
        Program p({QStringLiteral("--record"), QStringLiteral("runs.jsonl")});
        QVERIFY(p.Ready());
        ::kill(p.Pid(), SIGTERM);
        QVERIFY(p.process.waitForFinished(30000));
        QCOMPARE(p.process.exitStatus(), QProcess::NormalExit);
        QCOMPARE(p.process.exitCode(), 0);

        QFile config(p.dir.filePath("Config.dat"));
        QVERIFY(config.open(QIODevice::ReadOnly));
        const QList<QByteArray> lines = config.readAll().split('\n');
        QCOMPARE(lines.size(), 33);  // 32 lines, the list-count line included
        QCOMPARE(lines[29], QByteArray("0"));
        QCOMPARE(lines[30], QByteArray("Adapter:ZK9_QFP64_001(32D)"));
    }

    void secondSignalEndsTheProgramBehindAFailedSave() {
        Program p;
        QVERIFY(p.Ready());
        // A directory where Config.dat goes: the save at close fails and says so in a box.
        QVERIFY(QFile::remove(p.dir.filePath("Config.dat")));
        QVERIFY(QDir(p.dir.path()).mkpath(QStringLiteral("Config.dat/keep")));
        ::kill(p.Pid(), SIGTERM);
        QVERIFY(!p.process.waitForFinished(1500));  // the message box waits for the operator
        ::kill(p.Pid(), SIGTERM);
        QVERIFY(p.process.waitForFinished(5000));
    }

};

QTEST_MAIN(MainWindowTest)
#include "MainWindowTest.moc"
#include "host/ImageFileCommands.h"
