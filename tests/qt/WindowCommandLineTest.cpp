// The window's command line: --project loads a project at start, in the classic window and in
// the station, as Load Project would; --station refuses a port list it cannot serve.
#include <signal.h>

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include "app/Application.h"
#include "host/Config.h"
#include "support/ScriptedPrompts.h"
#include "ui/main/ResourceIds.h"

using namespace lumacrest;

namespace {

// The built program run from its own program directory, with a project saved there that
// chooses Erase Chip, Program Flash and Program SN.
struct Program {
    QTemporaryDir dir;
    QTemporaryDir runtime;
    QProcess process;
    QString project;

    explicit Program(const QStringList& args) {
        QFile::setPermissions(runtime.path(), QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                                  QFileDevice::ExeOwner);
        const QString exe = dir.filePath("lumacrest");
        QFile::copy(QStringLiteral(LUMACREST_GUI_EXE), exe);
        QFile config(dir.filePath("Config.dat"));
        config.open(QIODevice::WriteOnly);
        config.write(QByteArray::fromStdString(DefaultConfigText()));
        config.close();
        project = dir.filePath("job.Prjt");
        {
            ScriptedPrompts prompts;
            Host host;
            host.programDir = dir.path().toStdString() + "/";
            host.platform.prompts = &prompts;
            Application app(host);
            app.dlg.OnInitDialog();
            for (int option : {id::EraseChip, id::ProgramFlash, id::ProgramSn}) app.model.SetCheck(option, 1);
            prompts.QueueFile(project.toStdString());
            app.dlg.OnCommand(id::SaveProject);
        }
        QStringList all = args;
        all.replaceInStrings(QStringLiteral("PROJECT"), project);
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("QT_QPA_PLATFORM", "offscreen");
        env.insert("XDG_RUNTIME_DIR", runtime.path());
        process.setProcessEnvironment(env);
        process.start(exe, all);
    }
    bool CatchesSigterm() const {
        QFile status(QStringLiteral("/proc/%1/status").arg(process.processId()));
        if (!status.open(QIODevice::ReadOnly)) return false;
        for (const QByteArray& line : status.readAll().split('\n'))
            if (line.startsWith("SigCgt:"))
                return (line.mid(7).trimmed().toULongLong(nullptr, 16) >> (SIGTERM - 1)) & 1;
        return false;
    }
    // Runs until the window is up, then closes it with SIGTERM: the settings it writes back.
    QList<QByteArray> SettingsAtClose() {
        if (!process.waitForStarted(5000)) return {};
        if (!QTest::qWaitFor([&] { return process.state() != QProcess::Running || CatchesSigterm(); }, 60000))
            return {};
        ::kill(static_cast<pid_t>(process.processId()), SIGTERM);
        if (!process.waitForFinished(30000) || process.exitCode() != 0) return {};
        QFile config(dir.filePath("Config.dat"));
        if (!config.open(QIODevice::ReadOnly)) return {};
        return config.readAll().split('\n');
    }
};

}  // namespace

class WindowCommandLineTest : public QObject {
    Q_OBJECT
private slots:
    void projectIsLoadedAtStart_data() {
        QTest::addColumn<QStringList>("args");
        QTest::newRow("classic") << QStringList{QStringLiteral("--project"), QStringLiteral("PROJECT")};
        QTest::newRow("station") << QStringList{QStringLiteral("--station"), QStringLiteral("COM3,COM4"),
                                                QStringLiteral("--project=PROJECT")};
    }
    void projectIsLoadedAtStart() {
        QFETCH(QStringList, args);
        Program p(args);
        const QList<QByteArray> lines = p.SettingsAtClose();
        QVERIFY2(lines.size() > 8, p.process.readAllStandardError().constData());
        QCOMPARE(QString::fromUtf8(lines[6]), p.project);  // the project's path
        QCOMPARE(lines[7], QByteArray("35"));               // and its options
        QCOMPARE(lines[2], QByteArray("USB"));              // the port stays the settings' own
    }

    void stationRefusesWhatItCannotServe() {
        for (const QString& list : {QStringLiteral("USB"), QStringLiteral("COM3,COM3")}) {
            Program p({QStringLiteral("--station"), list});
            QVERIFY(p.process.waitForFinished(30000));
            QCOMPARE(p.process.exitCode(), 2);
            QVERIFY(p.process.readAllStandardError().startsWith("lumacrest: --station: "));
        }
        Program help({QStringLiteral("--help")});
        QVERIFY(help.process.waitForFinished(30000));
        const QByteArray text = help.process.readAllStandardOutput();
        QVERIFY(text.contains("--station PORTS") && text.contains("--project FILE"));
    }
};

QTEST_MAIN(WindowCommandLineTest)
#include "WindowCommandLineTest.moc"
