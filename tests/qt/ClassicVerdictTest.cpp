// The classic window's verdict and counts below the log, the focus after a file dialog, and a
// close question whose run ends while it is open.
#include <QFile>
#include <QProcess>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QComboBox>
#include <QTemporaryDir>
#include <QtTest>

#include "app/Application.h"
#include "app/CMainDlg.h"
#include "host/Config.h"
#include "support/ScriptedPrompts.h"
#include "platform/qt/QtLink.h"
#include "ui/main/qt/QtPrompts.h"
#include "ui/main/ResourceIds.h"
#include "ui/main/qt/MainWindow.h"

using namespace lumacrest;

namespace {

struct Classic {
    QTemporaryDir dir;
    QProcess box;
    ScriptedPrompts prompts;
    RecordingShell shell;
    QtSerialPort serial;
    QtTimers timers;
    Host host;
    std::unique_ptr<Application> app;
    std::unique_ptr<MainWindow> window;

    Classic() {
        host.programDir = dir.path().toStdString() + "/";
        host.platform = {&prompts, &shell, &serial, &timers, nullptr, nullptr};
        QFile f(dir.filePath("Config.dat"));
        f.open(QIODevice::WriteOnly);
        f.write(QByteArray::fromStdString(DefaultConfigText()));
        f.close();
        // COM5 is a box that returns a wrong page for the third flash verify block.
        const QString link = dir.filePath("box");
        box.start(QStringLiteral(LUMACREST_SIM_EXE),
                  {QStringLiteral("--link"), link, QStringLiteral("--fault"), QStringLiteral("verify-differs:0x18:-1:2")});
        box.waitForStarted(5000);
        for (int i = 0; i < 250 && !QFile::exists(link); ++i) QTest::qWait(20);
        QFile ports(dir.filePath("Ports.dat"));
        ports.open(QIODevice::WriteOnly);
        ports.write(QByteArray("COM5 ") + link.toUtf8() + "\n");
        ports.close();
        QFile image(dir.filePath("main.bin"));
        image.open(QIODevice::WriteOnly);
        image.write(QByteArray(4096, '\x5A'));
        image.close();
        app = std::make_unique<Application>(host);
        window = std::make_unique<MainWindow>(app->dlg, app->model);
        window->FollowRuns(host.onRunEnded, nullptr);
        app->dlg.OnInitDialog();
        host.port = {"COM5", 5};
        prompts.QueueFile(dir.filePath("main.bin").toStdString());
        prompts.QueueLoadAddress(0);
        app->dlg.OnCommand(id::LoadFlashFile);
    }
    ~Classic() {
        box.kill();
        box.waitForFinished(5000);
    }
};

}  // namespace

class ClassicVerdictTest : public QObject {
    Q_OBJECT
private slots:
    void failedUpdateShowsItsVerdictAndCountsWithoutMovingAControl() {
        Classic c;
        c.window->show();
        QVERIFY(QTest::qWaitForWindowExposed(c.window.get()));
        const QRect update = c.window->Control(id::Update)->geometry();
        const QRect log = c.window->Control(id::Log)->geometry();
        QCOMPARE(c.window->CountsLabel()->text(), QStringLiteral("Passed 0   Failed 0   First-pass yield -"));
        c.app->model.SetCheck(id::ProgramFlash, 1);
        c.app->dlg.OnCommand(id::Update);
        QTRY_VERIFY_WITH_TIMEOUT(c.app->model.IsEnabled(id::Update), 5000);
        QVERIFY2(c.window->VerdictLabel()->text().startsWith(QStringLiteral("FAIL at flash verify")),
                 qPrintable(c.window->VerdictLabel()->text()));
        QCOMPARE(c.window->VerdictLabel()->toolTip(), QString::fromStdString(c.host.history.last.text));
        QCOMPARE(c.window->CountsLabel()->text(), QStringLiteral("Passed 0   Failed 1   First-pass yield 0.0 %"));
        // The same chip again: a retry, no second first attempt.
        c.app->dlg.OnCommand(id::Update);
        QTRY_VERIFY_WITH_TIMEOUT(c.app->model.IsEnabled(id::Update), 5000);
        QCOMPARE(c.window->Counts().failed, 2u);
        QCOMPARE(c.window->Counts().firstAttempts, 1u);
        QCOMPARE(c.window->Control(id::Update)->geometry(), update);
        QCOMPARE(c.window->Control(id::Log)->geometry(), log);
        c.window->ResetCounts();
        QCOMPARE(c.window->CountsLabel()->text(), QStringLiteral("Passed 0   Failed 0   First-pass yield -"));
    }

    void afterTheFileDialogReturnStartsUpdateAgain() {
        Classic c;
        int updates = 0;
        c.app->dlg.router().Add(id::Update, [&] { ++updates; });
        c.window->show();
        QApplication::setActiveWindow(c.window.get());
        QWidget* com = c.window->Control(id::ComList);
        com->setFocus();
        QTRY_VERIFY(com->hasFocus());
        // A click on Load File opens its dialog (cancelled here) and leaves the focus.
        QTest::mouseClick(c.window->Control(id::LoadFile), Qt::LeftButton);
        QCOMPARE(c.prompts.fileFilters.size(), std::size_t{2});
        QVERIFY(com->hasFocus());
        QTest::keyClick(com, Qt::Key_Return);
        QCOMPARE(updates, 1);
        QCOMPARE(c.prompts.fileFilters.size(), std::size_t{2});
        // Reached with Tab, Load File keeps its Return.
        QWidget* load = c.window->Control(id::LoadFile);
        QCOMPARE(load->focusPolicy(), Qt::TabFocus);
        load->setFocus(Qt::TabFocusReason);
        QTest::keyClick(load, Qt::Key_Return);
        QCOMPARE(c.prompts.fileFilters.size(), std::size_t{3});
        QCOMPARE(updates, 1);
    }

    void closeQuestionIsRewordedWhenTheRunEndsByItself() {
        Classic c;
        QtPrompts prompts(c.window.get());
        c.window->FollowRuns(c.host.onRunEnded, &prompts);
        QString shown, after;
        QTimer::singleShot(50, [&] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            QVERIFY(box);
            shown = box->text();
            Outcome passed;
            passed.kind = RunKind::Update;
            c.host.onRunEnded(passed);  // the run ends while the question is open
            after = box->text();
            box->button(QMessageBox::Yes)->click();
        });
        QVERIFY(prompts.AskYesNo(kStopRunQuestion));
        QCOMPARE(shown, QString::fromLatin1(kStopRunQuestion));
        QCOMPARE(after, QString::fromLatin1(kRunEndedCloseQuestion));
        QCOMPARE(c.window->VerdictLabel()->text().left(4), QStringLiteral("PASS"));
        // Another question is left as it is.
        QTimer::singleShot(50, [&] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            QVERIFY(box);
            QVERIFY(!prompts.RewordQuestion(kStopRunQuestion, kRunEndedCloseQuestion));
            box->button(QMessageBox::No)->click();
        });
        QVERIFY(!prompts.AskYesNo("Rewrite?"));
    }
};

QTEST_MAIN(ClassicVerdictTest)
#include "ClassicVerdictTest.moc"
