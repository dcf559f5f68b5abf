// The QProcess runner: working directory, exit code, a program that cannot start, and the
// bound on the wait.
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include "platform/qt/QtProcessRunner.h"

using namespace lumacrest;
using namespace std::chrono_literals;

class ProcessRunnerQtTest : public QObject {
    Q_OBJECT
  private slots:
    void runsInTheWorkingDirectoryAndReportsTheExitCode() {
        QTemporaryDir dir;
        QtProcessRunner runner;
        const ProcessOutcome r = runner.Run("/bin/sh", {"-c", "pwd > here; echo out; exit 3"},
                                            dir.path().toStdString(), 10s);
        QCOMPARE(static_cast<int>(r.status), static_cast<int>(ProcessOutcome::Status::Exited));
        QCOMPARE(r.exitCode, 3);
        QFile here(dir.filePath(QStringLiteral("here")));
        QVERIFY(here.open(QIODevice::ReadOnly));
        QCOMPARE(QString::fromUtf8(here.readAll()).trimmed(),
                 QFileInfo(dir.path()).canonicalFilePath());
    }

    void aProgramThatCannotStartIsSaidSo() {
        QTemporaryDir dir;
        QtProcessRunner runner;
        const ProcessOutcome r = runner.Run(dir.filePath(QStringLiteral("absent")).toStdString(),
                                            {}, dir.path().toStdString(), 10s);
        QCOMPARE(static_cast<int>(r.status), static_cast<int>(ProcessOutcome::Status::NotStarted));
    }

    void aProgramThatDoesNotEndIsKilledAtTheBound() {
        QTemporaryDir dir;
        QtProcessRunner runner;
        QElapsedTimer clock;
        clock.start();
        const ProcessOutcome r =
            runner.Run("/bin/sh", {"-c", "sleep 30"}, dir.path().toStdString(), 300ms);
        QCOMPARE(static_cast<int>(r.status), static_cast<int>(ProcessOutcome::Status::TimedOut));
        QVERIFY(clock.elapsed() < 5000);
    }

    void findsProgramsOnTheSearchPath() {
        QtProcessRunner runner;
        const std::optional<std::string> sh = runner.FindProgram("sh");
        QVERIFY(sh.has_value());
        QVERIFY(QFileInfo(QString::fromStdString(*sh)).isExecutable());
        QVERIFY(!runner.FindProgram("lumacrest-no-such-program").has_value());
    }
};

QTEST_GUILESS_MAIN(ProcessRunnerQtTest)
#include "ProcessRunnerQtTest.moc"
