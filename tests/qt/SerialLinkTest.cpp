// End to end: lumacrest-sim behind a real pseudo-terminal, reached through Ports.dat and
// the serial adapter.
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include "link/Link.h"
#include "ops/Discovery.h"
#include "ops/ReplyEngine.h"
#include "platform/qt/QtLink.h"
#include "support/TestHost.h"
#include "ui/main/ResourceIds.h"

using namespace lumacrest;

namespace {

const std::vector<std::string> kIdentifyLines = {
    "Connect to Programmer . . . . . . OK", "Find Progrmmer: ZK9_ISP_0258",
    "Max_Counter:  No Limit", "Used_Counter: 5   V2.0"};

struct QtLinkHost : test::TestHost {
    QtSerialPort serial;
    QtTimers timers;
    QtLinkHost() {
        h().platform.serial = &serial;
        h().platform.timers = &timers;
        AttachEngine(h().ops);
        h().link.Attach(h().serial(), h().timers());
    }
    void Choose(const std::string& entry) {
        const ChoiceList& com = h().view.PortList();
        const auto it = std::find(com.items.begin(), com.items.end(), entry);
        h().view.SelectPort(static_cast<int>(it - com.items.begin()));
        OnSelchangeCom(h().ops, h().view.PortList().SelectedText());
        // A scan goes on on the event loop.
        while (h().run.Kind() == RunKind::Scan) timers.PumpEvents();
    }
    std::vector<std::string> Tail(std::size_t n) const {
        const std::vector<std::string> lines = LogLines();
        return std::vector<std::string>(lines.end() - static_cast<long>(std::min(n, lines.size())),
                                        lines.end());
    }
    bool LogHas(const std::string& text) const {
        return host->view.LogText().find(text) != std::string::npos;
    }
};

}  // namespace

class SerialLinkTest : public QObject {
    Q_OBJECT
  private slots:
    void initTestCase();
    void cleanupTestCase();
    void chosenPortIdentifiesAndCloses();
    void usbScanFindsTheProgrammer();
    void unmappedAndHeldPortsAreNotFound();
    void slowPiecesAndSilenceThroughARealLine();
    void framesTheDriverHasNoRoomForFollowInOrderAndAGoneLineIsSaid();

  private:
    QTemporaryDir dir_;
    QProcess sim_;
    std::string link_;
};

void SerialLinkTest::initTestCase() {
    QVERIFY(dir_.isValid());
    link_ = dir_.filePath(QStringLiteral("com3")).toStdString();
    sim_.setProgram(QStringLiteral(LUMACREST_SIM_EXE));
    sim_.setArguments({QStringLiteral("--link"), QString::fromStdString(link_)});
    sim_.start();
    QVERIFY(sim_.waitForStarted(5000));
    QTRY_VERIFY_WITH_TIMEOUT(sim_.canReadLine() || QFile::exists(QString::fromStdString(link_)),
                             5000);
    QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(QString::fromStdString(link_)), 5000);
}

void SerialLinkTest::cleanupTestCase() {
    sim_.terminate();
    QVERIFY(sim_.waitForFinished(5000));
    const QString output = QString::fromUtf8(sim_.readAllStandardOutput());
    QVERIFY2(output.contains(QStringLiteral("rx 0x00 length 2")), qPrintable(output));
}

void SerialLinkTest::chosenPortIdentifiesAndCloses() {
    QtLinkHost t;
    test::WriteText(t.dir.File("Ports.dat"), "COM3 " + link_ + "\n");
    t.Choose("COM3");
    QTRY_VERIFY_WITH_TIMEOUT(t.LogHas("Used_Counter"), 5000);
    QCOMPARE(t.Tail(4), kIdentifyLines);
    QVERIFY(!t.serial.IsOpen());
    QVERIFY(t.h().view.Controls() == ControlState::Idle);
    // Nothing else arrives: no time-out is reported later.
    QTest::qWait(1200);
    QCOMPARE(t.Tail(4), kIdentifyLines);
}

void SerialLinkTest::usbScanFindsTheProgrammer() {
    QtLinkHost t;
    // COM1 names a file that is not a terminal, COM2 a device that does not exist.
    test::WriteText(
        t.dir.File("Ports.dat"),
        "COM1 " + t.dir.File("Ports.dat") + "\nCOM2 /dev/lumacrest-none\nCOM3 " + link_ + "\n");
    t.Choose("USB");
    QCOMPARE(t.h().port.number, uint8_t{3});
    std::vector<std::string> expected = kIdentifyLines;
    expected[0] = "Auto Connect to Programmer . . . . . . OK";
    QCOMPARE(t.Tail(4), expected);
    QVERIFY(!t.serial.IsOpen());
}

void SerialLinkTest::unmappedAndHeldPortsAreNotFound() {
    {
        QtLinkHost t;
        test::WriteText(t.dir.File("Ports.dat"), "COM3 " + link_ + "\n");
        t.Choose("COM4");
        QCOMPARE(t.Tail(2), (std::vector<std::string>{"Can Not Find Programmer  ",
                                                      "Tried COM4 (no device in Ports.dat)"}));
    }
    {
        const int holder = ::open(link_.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
        QVERIFY(holder >= 0);
        QCOMPARE(::flock(holder, LOCK_EX | LOCK_NB), 0);
        QtLinkHost t;
        test::WriteText(t.dir.File("Ports.dat"), "COM3 " + link_ + "\n");
        t.Choose("COM3");
        // The lock is this test's own: no other program to name.
        const std::string held = "COM3 (" + link_ + ") is held by another program";
        QCOMPARE(t.Tail(3), (std::vector<std::string>{"Can Not Find Programmer  ",
                                                      "Tried COM3 (" + link_ + ")", held}));
        QVERIFY(!t.serial.IsOpen());
        // The scan skips the held port too, and names it at the end.
        t.Choose("USB");
        QCOMPARE(t.Tail(4),
                 (std::vector<std::string>{"Auto Connect to Programmer . . . . . . Failed",
                                           "Can Not Find Programmer  ",
                                           "Tried COM3 (" + link_ + ")", held}));
        ::close(holder);
        // Released, the port answers again.
        t.Choose("COM3");
        QTRY_VERIFY_WITH_TIMEOUT(t.LogHas("Used_Counter"), 5000);
    }
}

void SerialLinkTest::slowPiecesAndSilenceThroughARealLine() {
    // A second box that does not answer once, then answers late and in 3-byte pieces.
    const std::string link = dir_.filePath(QStringLiteral("com7")).toStdString();
    QProcess sim;
    sim.setProgram(QStringLiteral(LUMACREST_SIM_EXE));
    sim.setArguments({QStringLiteral("--link"), QString::fromStdString(link),
                      QStringLiteral("--kind"), QStringLiteral("1"), QStringLiteral("--number"),
                      QStringLiteral("7"), QStringLiteral("--fault"),
                      QStringLiteral("pieces:0:1:3"), QStringLiteral("--fault"),
                      QStringLiteral("late:0:1:300"), QStringLiteral("--fault"),
                      QStringLiteral("no-reply:0:1")});
    sim.start();
    QVERIFY(sim.waitForStarted(5000));
    QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(QString::fromStdString(link)), 5000);

    QtLinkHost t;
    test::WriteText(t.dir.File("Ports.dat"), "COM7 " + link + "\n");
    t.Choose("COM7");
    QTRY_VERIFY_WITH_TIMEOUT(t.LogLines().back() == "Tried COM7 (" + link + ")", 5000);
    QCOMPARE(t.Tail(3)[0], std::string("Connect to Programmer . . . . . . Failed"));
    QVERIFY(!t.serial.IsOpen());
    QVERIFY(t.h().view.Controls() == ControlState::Idle);

    t.Choose("COM7");
    QTRY_VERIFY_WITH_TIMEOUT(t.LogHas("Used_Counter"), 5000);
    QCOMPARE(t.Tail(3)[0], std::string("Find Progrmmer: ZK9_Pro_0007"));
    QVERIFY(!t.serial.IsOpen());

    sim.terminate();
    QVERIFY(sim.waitForFinished(5000));
    const QString output = QString::fromUtf8(sim.readAllStandardOutput());
    QVERIFY2(output.contains(QStringLiteral("no reply to 0x00")), qPrintable(output));
}

void SerialLinkTest::framesTheDriverHasNoRoomForFollowInOrderAndAGoneLineIsSaid() {
    // A box that does not read for a while: the driver's room runs out under the writes.
    const int master = ::posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK);
    QVERIFY(master >= 0);
    QVERIFY(::grantpt(master) == 0 && ::unlockpt(master) == 0);
    QtSerialPort port;
    std::vector<std::string> lost;
    port.onLost = [&](const std::string& why) { lost.push_back(why); };
    QVERIFY(port.Open(::ptsname(master)).Ok());
    std::vector<uint8_t> sent;
    for (int frame = 0; frame < 1000; ++frame) {
        std::vector<uint8_t> bytes(306);
        for (std::size_t i = 0; i < bytes.size(); ++i)
            bytes[i] = static_cast<uint8_t>(frame * 7 + static_cast<int>(i));
        QVERIFY(port.Write(bytes.data(), bytes.size()));  // at once, never waiting for room
        sent.insert(sent.end(), bytes.begin(), bytes.end());
    }
    std::vector<uint8_t> got;
    QElapsedTimer clock;
    clock.start();
    while (got.size() < sent.size() && clock.elapsed() < 10000) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        uint8_t chunk[4096];
        const ssize_t n = ::read(master, chunk, sizeof chunk);
        if (n > 0) got.insert(got.end(), chunk, chunk + n);
    }
    QCOMPARE(got.size(), sent.size());
    QVERIFY(got == sent);
    QVERIFY(lost.empty());

    // The box's end closes: the port says so in words, once, and is closed.
    ::close(master);
    QTRY_COMPARE_WITH_TIMEOUT(lost.size(), std::size_t{1}, 5000);
    QCOMPARE(lost[0],
             std::string("the device went away (unplugged, or the program behind it ended)"));
    QVERIFY(!port.IsOpen());
    QTest::qWait(50);
    QCOMPARE(lost.size(), std::size_t{1});
}

QTEST_MAIN(SerialLinkTest)
#include "SerialLinkTest.moc"
