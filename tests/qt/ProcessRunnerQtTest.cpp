// The window's process runner: working directory, exit code, a program that cannot start,
// the bound on the wait, a conversion that leaves the event loop running, and the
// termination-signal socket the programs it starts never get.
#include <signal.h>
#include <stdlib.h>
#include <sys/stat.h>

#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>
#include <filesystem>
#include <memory>

#include "host/ExToHexCommand.h"
#include "platform/qt/QtProcessRunner.h"
#include "platform/qt/TerminationSignals.h"
#include "support/TestHost.h"

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

    void aConversionLeavesTheEventLoopRunningAndEndsWithTheRunner() {
        test::TestHost t;
        const std::string tmp = t.dir.File("tmp");
        std::filesystem::create_directory(tmp);
        ::setenv("TMPDIR", tmp.c_str(), 1);
        auto runner = std::make_unique<QtProcessRunner>();
        t.h().platform.processes = runner.get();
        test::WriteText(t.dir.File("app.ex"), "x");
        test::WriteText(t.dir.File("e.exe"),
                        "#!/bin/sh\necho $$ > '" + t.dir.File("pid") + "'\nsleep 30\n");
        ::chmod(t.dir.File("e.exe").c_str(), 0755);

        // The command returns at once; the converter runs while events go on.
        QElapsedTimer clock;
        clock.start();
        QCOMPARE(ConvertExToHex(t.h(), t.dir.File("app.ex"), 30s), Conversion::UnderWay);
        QVERIFY(clock.elapsed() < 2000);
        bool ticked = false;
        QTimer::singleShot(50, [&ticked] { ticked = true; });
        QTRY_VERIFY(ticked && std::filesystem::exists(t.dir.File("pid")));
        const std::string pid = test::ReadText(t.dir.File("pid"));
        const pid_t converter = static_cast<pid_t>(std::stoi(pid));
        QVERIFY(::kill(converter, 0) == 0);
        QVERIFY(!std::filesystem::is_empty(tmp));
        QVERIFY(t.prompts.messages.empty());

        // The program ending ends the converter and removes its scratch folder.
        runner.reset();
        t.h().platform.processes = nullptr;
        QVERIFY(::kill(converter, 0) != 0);
        QVERIFY(std::filesystem::is_empty(tmp));
        QVERIFY(t.prompts.messages.empty());

        // One that ends by itself is taken on the event loop.
        QtProcessRunner second;
        t.h().platform.processes = &second;
        test::WriteText(t.dir.File("e.exe"),
                        "#!/bin/sh\nprintf ':03000000010203F7\\n:00000001FF\\n' > a.hex\n");
        QCOMPARE(ConvertExToHex(t.h(), t.dir.File("app.ex"), 30s), Conversion::UnderWay);
        QTRY_COMPARE(t.prompts.messages.size(), std::size_t{1});
        QCOMPARE(QString::fromStdString(t.prompts.messages[0].text), QStringLiteral("Convert Ex To Hex OK"));
        QCOMPARE(QString::fromStdString(test::ReadText(t.dir.File("app.hex"))),
                 QStringLiteral(":03000000010203F7\n:00000001FF\n"));
        QVERIFY(std::filesystem::is_empty(tmp));
        ::unsetenv("TMPDIR");
    }

    void programsDoNotGetTheTerminationSignalSocket() {
        TerminationSignals termination;
        bool requested = false;
        connect(&termination, &TerminationSignals::terminationRequested, this,
                [&requested] { requested = true; });
        // A program that writes SIGTERM's number into every socket it was given.
        QTemporaryDir dir;
        QtProcessRunner runner;
        const ProcessOutcome r = runner.Run(
            "/bin/bash",
            {"-c", "for f in /proc/$$/fd/*; do n=${f##*/}; case \"$(readlink $f)\" in "
                   "socket:*) printf '\\017' >&$n;; esac; done; exit 0"},
            dir.path().toStdString(), 10s);
        QCOMPARE(static_cast<int>(r.status), static_cast<int>(ProcessOutcome::Status::Exited));
        QTest::qWait(200);
        QVERIFY(!requested);
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
