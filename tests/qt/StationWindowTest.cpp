// The station window against four lumacrest-sim boxes on pseudo-terminals: one with a verify
// fault, one unplugged in the middle of its run. The tiles, the counts, the records, the
// ledger and the chips agree; the keys start only what they name; the unplugged tile comes
// back with its box.
#include <QFile>
#include <QLabel>
#include <QPlainTextEdit>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>
#include <fstream>
#include <iterator>
#include <memory>

#include "platform/PosixProcessRunner.h"
#include "support/ScriptedPrompts.h"
#include "platform/SqliteSerialLedger.h"
#include "ui/station/qt/StationWindow.h"
#include "ui/station/qt/TileWidget.h"

using namespace lumacrest;

namespace {

constexpr int kFlashBytes = 64 * 256;

std::string ReadAll(const QString& path) {
    std::ifstream in(path.toStdString(), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

void Write(const QString& path, const std::string& text) {
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(text.data(), static_cast<qint64>(text.size()));
}

struct Box {
    std::unique_ptr<QProcess> process = std::make_unique<QProcess>();
    QString link;
    QString dump;
};

}  // namespace

class StationWindowTest : public QObject {
    Q_OBJECT

    QTemporaryDir dir_;
    std::vector<Box> boxes_;

    QString Path(const QString& name) const { return dir_.filePath(name); }

    bool StartBox(std::size_t i, const QStringList& extra) {
        Box& b = boxes_[i];
        b.process->setProgram(QStringLiteral(LUMACREST_SIM_EXE));
        b.process->setArguments(QStringList{QStringLiteral("--link"), b.link, QStringLiteral("--dump"), b.dump} +
                                extra);
        b.process->start();
        if (!b.process->waitForStarted(5000)) return false;
        for (int waited = 0; waited < 5000 && !QFile::exists(b.link); waited += 20) QTest::qWait(20);
        return QFile::exists(b.link);
    }

private slots:
    void cleanup() {
        for (Box& b : boxes_) {
            b.process->kill();
            b.process->waitForFinished(5000);
        }
        boxes_.clear();
    }

    void fourBoxesOneFaultyOneUnplugged() {
        QVERIFY(dir_.isValid());
        const std::string programDir = dir_.path().toStdString() + "/";
        // Flash of 64 pages of 256 bytes, Program Flash and Program SN (from 100, at 0x10).
        Write(Path("Config.dat"),
              "YES\nMN101EF32D\nCOM1\nW\\:\nW\\:\nW\\:\nW\\:\n34\n0\n1\n16\n256\n64\n256\n64\n"
              "32\n4\n100\n16\n0\n0\n0\n0\n0\n0\n16384\n16384\n3\n1\n0\nAdapter:T\n1\n");
        std::string image(kFlashBytes, '\0');
        for (int i = 0; i < kFlashBytes; ++i) image[static_cast<std::size_t>(i)] = static_cast<char>(i * 7 + 1);
        Write(Path("main.bin"), image);
        std::string ports;
        boxes_.resize(4);
        for (std::size_t i = 0; i < 4; ++i) {
            boxes_[i].link = Path(QStringLiteral("box%1").arg(i));
            boxes_[i].dump = Path(QStringLiteral("chip%1").arg(i));
            ports += "COM" + std::to_string(i + 1) + " " + boxes_[i].link.toStdString() + "\n";
        }
        Write(Path("Ports.dat"), ports);
        QVERIFY(StartBox(0, {}));
        QVERIFY(StartBox(1, {QStringLiteral("--fault"), QStringLiteral("verify-differs:0x18:-1:3")}));
        QVERIFY(StartBox(2, {QStringLiteral("--baud"), QStringLiteral("115200")}));
        QVERIFY(StartBox(3, {}));

        ScriptedPrompts prompts;
        RecordingShell shell;
        PosixProcessRunner processes;
        SqliteSerialLedger ledger(programDir + "serials.db");
        StationSetup setup;
        setup.programDir = programDir;
        setup.ports = {"COM1", "COM2", "COM3", boxes_[3].link.toStdString()};
        setup.prompts = &prompts;
        setup.shell = &shell;
        setup.processes = &processes;
        setup.serials = &ledger;
        setup.recordPath = Path("runs.jsonl").toStdString();
        StationWindow window(setup);
        window.show();
        QApplication::setActiveWindow(&window);
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        // The menu's shortcuts need the window active (which comes late on a busy machine).
        QTRY_VERIFY_WITH_TIMEOUT(window.isActiveWindow(), 5000);
        prompts.QueueFile(Path("main.bin").toStdString());
        prompts.QueueLoadAddress(0);
        QTest::keyClick(&window, Qt::Key_O, Qt::ControlModifier);
        for (std::size_t i = 0; i < 4; ++i)
            QVERIFY(window.Feed(i).Log().find("Open Flash File \"" + Path("main.bin").toStdString()) != std::string::npos);
        window.Start();
        QTRY_VERIFY_WITH_TIMEOUT(std::all_of(window.Model().Tiles().begin(), window.Model().Tiles().end(),
                                             [](const TileState& t) { return t.presence == TilePresence::Ready; }),
                                 10000);
        QVERIFY(window.Model().Tiles()[0].PresenceText().find("V2.0") != std::string::npos);

        // Return starts all four; a second Return while they run starts none twice.
        QTest::keyClick(&window, Qt::Key_Return);
        QVERIFY2(window.AnyBusy(), (window.Model().Tiles()[0].message + "\n" + window.Feed(0).Log()).c_str());
        QTest::keyClick(&window, Qt::Key_Return);
        // The shared settings wait until no tile runs: no file dialog, one note.
        const std::size_t dialogs = prompts.fileFilters.size();
        QTest::keyClick(&window, Qt::Key_B, Qt::ControlModifier);
        QCOMPARE(prompts.fileFilters.size(), dialogs);
        QCOMPARE(prompts.messages.back().text,
                 std::string("The tiles share their settings: change them when no tile runs."));
        // The closing question while tiles run: No keeps the window and the runs.
        window.close();
        QVERIFY(window.isVisible());
        QCOMPARE(prompts.questions.size(), std::size_t{1});
        // The paced box is unplugged while it writes the flash.
        QTRY_VERIFY_WITH_TIMEOUT(window.Feed(2).Progress() > 20, 10000);
        QVERIFY(window.Model().Tiles()[2].running);
        // Its device goes first, as an adapter's does: a pseudo-terminal left behind by the
        // link could be another test's box by now.
        QVERIFY(QFile::remove(boxes_[2].link));
        boxes_[2].process->kill();
        QVERIFY(boxes_[2].process->waitForFinished(5000));
        QTRY_VERIFY_WITH_TIMEOUT(!window.AnyBusy(), 15000);
        window.Refresh();

        const std::vector<TileState>& tiles = window.Model().Tiles();
        QCOMPARE(window.Tile(0)->BigWord(), QStringLiteral("PASS"));
        QCOMPARE(window.Tile(1)->BigWord(), QStringLiteral("FAIL"));
        QCOMPARE(tiles[1].verdict->where, std::string("at flash verify"));
        QCOMPARE(window.Tile(2)->BigWord(), QStringLiteral("FAIL"));
        QVERIFY2(tiles[2].verdict->reason.find("was lost") != std::string::npos, tiles[2].verdict->reason.c_str());
        QCOMPARE(window.Tile(3)->BigWord(), QStringLiteral("PASS"));
        QVERIFY(window.Tile(0)->Face() != window.Tile(1)->Face());
        QCOMPARE(window.CountsLabel()->text(), QStringLiteral("Passed 2   Failed 2   First-pass yield 50.0 %"));
        // The unplugged tile shows its port lost.
        QTRY_COMPARE_WITH_TIMEOUT(window.Model().Tiles()[2].presence, TilePresence::Lost, 15000);

        // Each chip has a record; the passes name their serial numbers, which the ledger holds
        // as programmed, and the chips hold the image with the number in it.
        QStringList records = QString::fromStdString(ReadAll(Path("runs.jsonl"))).split('\n', Qt::SkipEmptyParts);
        QCOMPARE(records.size(), 4);
        QCOMPARE(records.filter(QStringLiteral("\"outcome\":\"pass\"")).size(), 2);
        QCOMPARE(records.filter(QStringLiteral("\"outcome\":\"fail\"")).size(), 2);
        std::vector<uint32_t> numbers;
        for (std::size_t i : {std::size_t{0}, std::size_t{3}}) {
            QVERIFY(tiles[i].verdict->serialNumber);
            const uint32_t sn = *tiles[i].verdict->serialNumber;
            numbers.push_back(sn);
            QCOMPARE(records.filter(QStringLiteral("\"sn\":%1,").arg(sn)).size(), 1);
            const std::string chip = ReadAll(boxes_[i].dump + QStringLiteral(".flash"));
            QVERIFY(chip.size() >= kFlashBytes);
            std::string expected = image;
            for (int b = 0; b < 4; ++b) expected[16 + static_cast<std::size_t>(b)] = static_cast<char>(sn >> (8 * (3 - b)));
            std::size_t differs = 0;
            while (differs < expected.size() && chip[differs] == expected[differs]) ++differs;
            QVERIFY2(differs == expected.size(), qPrintable(QStringLiteral("tile %1 chip differs at %2: %3 not %4").arg(i).arg(differs).arg(uint8_t(chip[differs])).arg(uint8_t(expected[differs]))));
        }
        QVERIFY(numbers[0] != numbers[1]);
        SerialQuery query;
        const SerialListing listing = ledger.List(query);
        int programmed = 0;
        for (const SerialRow& row : listing.rows)
            if (row.state == SerialState::Programmed) {
                ++programmed;
                QVERIFY(std::find(numbers.begin(), numbers.end(), row.number) != numbers.end());
            }
        QCOMPARE(programmed, 2);

        // The box comes back: so does its tile. The digit 3 starts it alone.
        QVERIFY(StartBox(2, {QStringLiteral("--baud"), QStringLiteral("115200")}));
        QTRY_COMPARE_WITH_TIMEOUT(window.Model().Tiles()[2].presence, TilePresence::Ready, 15000);
        QTest::keyClick(&window, Qt::Key_3);
        QVERIFY(window.Model().Tiles()[2].running);
        QVERIFY(!window.Model().Tiles()[0].running && !window.Model().Tiles()[1].running);
        QTRY_VERIFY_WITH_TIMEOUT(!window.AnyBusy(), 10000);
        window.Refresh();
        QCOMPARE(window.Tile(2)->BigWord(), QStringLiteral("PASS"));
        // A retry of the chip that failed: no first attempt.
        QCOMPARE(window.Model().Tiles()[2].counts.firstAttempts, 1u);
        QCOMPARE(window.CountsLabel()->text(), QStringLiteral("Passed 3   Failed 2   First-pass yield 50.0 %"));

        // Arrows choose a tile, L shows its log: the classic window's lines.
        QTest::keyClick(&window, Qt::Key_Right);
        QCOMPARE(window.Model().Selected(), std::size_t{1});
        QTest::keyClick(&window, Qt::Key_L);
        QVERIFY(window.LogShown());
        QCOMPARE(window.LogView()->toPlainText().toStdString(), window.Feed(1).Log());
        QVERIFY(window.LogView()->toPlainText().contains(QStringLiteral("Verify FLASH......")));
        QTest::keyClick(&window, Qt::Key_Escape);
        QVERIFY(!window.LogShown());

        // Ctrl+R resets the counts.
        QTest::keyClick(&window, Qt::Key_R, Qt::ControlModifier);
        QCOMPARE(window.CountsLabel()->text(), QStringLiteral("Passed 0   Failed 0   First-pass yield -"));

        // Closed during a run, and the operator says Yes: the chip is told it failed.
        boxes_[2].process->readAllStandardOutput();
        QTest::keyClick(&window, Qt::Key_3);
        QTRY_VERIFY_WITH_TIMEOUT(window.Feed(2).Progress() > 10, 10000);
        prompts.QueueAnswer(true);
        window.close();
        QVERIFY(!window.isVisible());
        QVERIFY(!window.AnyBusy());
        QString said;
        QTRY_VERIFY_WITH_TIMEOUT((said += QString::fromUtf8(boxes_[2].process->readAllStandardOutput()))
                                     .contains(QStringLiteral("exit result 0")),
                                 5000);
        records = QString::fromStdString(ReadAll(Path("runs.jsonl"))).split('\n', Qt::SkipEmptyParts);
        QVERIFY2(records.last().contains(QStringLiteral("\"reason\":\"the window was closed during the run\"")),
                 qPrintable(records.last()));
    }

    void sharedSettingsReachEveryTileWithTheirReports() {
        QVERIFY(dir_.isValid());
        const std::string programDir = dir_.path().toStdString() + "/";
        Write(Path("Config.dat"),
              "YES\nMN101EF32D\nCOM1\nW\\:\nW\\:\nW\\:\nW\\:\n34\n0\n1\n16\n256\n64\n256\n64\n"
              "32\n4\n100\n16\n0\n0\n0\n0\n0\n0\n16384\n16384\n3\n1\n0\nAdapter:T\n1\n");
        Write(Path("boot.bin"), std::string(512, '\x11'));
        Write(Path("key.bin"), std::string(32, '\x22'));
        ScriptedPrompts prompts;
        RecordingShell shell;
        StationSetup setup;
        setup.programDir = programDir;
        setup.ports = {"COM1", "COM2", "COM3"};
        setup.prompts = &prompts;
        setup.shell = &shell;
        StationWindow window(setup);
        window.show();
        QApplication::setActiveWindow(&window);
        QTRY_VERIFY_WITH_TIMEOUT(window.isActiveWindow(), 5000);
        auto everyLog = [&](const std::string& text) {
            for (std::size_t i = 0; i < 3; ++i)
                if (window.Feed(i).Log().find(text) == std::string::npos) return false;
            return true;
        };

        prompts.QueueFile(Path("boot.bin").toStdString());
        prompts.QueueLoadAddress(0);
        QTest::keyClick(&window, Qt::Key_B, Qt::ControlModifier);
        QVERIFY(everyLog("Open Boot File \"" + Path("boot.bin").toStdString() + "\"  . . . . . . OK"));
        prompts.QueueFile(Path("key.bin").toStdString());
        QTest::keyClick(&window, Qt::Key_K, Qt::ControlModifier);
        QVERIFY(everyLog("Open KeyCode File \"" + Path("key.bin").toStdString() + "\"  . . . . . . OK"));
        // A file that cannot be read: its report in every log, the failure on every tile.
        prompts.QueueFile(Path("missing.bin").toStdString());
        QTest::keyClick(&window, Qt::Key_K, Qt::ControlModifier);
        QVERIFY(everyLog("Open KeyCode File \"" + Path("missing.bin").toStdString()));
        for (const TileState& t : window.Model().Tiles())
            QVERIFY2(t.message.find("Open KeyCode File Failed") != std::string::npos, t.message.c_str());

        // The SN dialog's values, once for all.
        prompts.QueueSerialNumber(std::make_pair(500u, 0x20u));
        QTest::keyClick(&window, Qt::Key_N, Qt::ControlModifier);
        QCOMPARE(prompts.serialNumberAsked, 1);
        for (std::size_t i = 0; i < 3; ++i) {
            QCOMPARE(window.Feed(i).NextSerialNumber(), 500u);
            QCOMPARE(window.Feed(i).SerialNumberAddress(), 0x20u);
        }
        // Past the end of the flash: refused on every tile, the values stay.
        QVERIFY(!window.SetSerialNumber(7, 0x100000));
        QCOMPARE(window.Feed(2).NextSerialNumber(), 500u);
        QVERIFY(!window.Model().Tiles()[2].message.empty());

        // The options dialog with the keyboard: Tab to Program flash, Space, Tab, Tab to
        // Program KeyCode, Space, Return.
        const ProgramOptions before = window.Feed(0).Options();
        bool seen = false;
        QTimer::singleShot(50, [&] {
            QWidget* dialog = QApplication::activeModalWidget();
            QVERIFY(dialog);
            seen = true;
            for (int key : {Qt::Key_Tab, Qt::Key_Space, Qt::Key_Tab, Qt::Key_Tab, Qt::Key_Space, Qt::Key_Return})
                QTest::keyClick(QApplication::focusWidget(), static_cast<Qt::Key>(key));
        });
        QTest::keyClick(&window, Qt::Key_E, Qt::ControlModifier);
        QTRY_VERIFY(seen);
        for (std::size_t i = 0; i < 3; ++i) {
            const ProgramOptions o = window.Feed(i).Options();
            QCOMPARE(o.programFlash, !before.programFlash);
            QCOMPARE(o.programKeyCode, !before.programKeyCode);
            QCOMPARE(o.eraseChip, before.eraseChip);
            QCOMPARE(o.programSn, before.programSn);
        }
    }
};

QTEST_MAIN(StationWindowTest)
#include "StationWindowTest.moc"
