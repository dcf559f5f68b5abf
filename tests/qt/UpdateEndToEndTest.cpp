// End to end: Update through the serial adapter against lumacrest-sim on a pseudo-terminal,
// with a HEX image loaded at 0x4000; the simulated chip must end up equal to the images.
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>
#include <cstdio>
#include <fstream>
#include <iterator>

#include "image/DeviceCatalogue.h"
#include "link/Link.h"
#include "platform/qt/QtLink.h"
#include "support/TestHost.h"
#include "app/Application.h"
#include "app/CMainDlg.h"
#include "support/ExpectedLogs.h"
#include "ui/main/ResourceIds.h"

using namespace lumacrest;

namespace {

const std::vector<std::string>& kFullRun = test::kFullUpdateLog;

// Intel HEX text of `data` at `address`, 32 bytes a record, skipping all-0xFF records.
std::string HexText(uint32_t address, const std::vector<uint8_t>& data) {
    std::string text;
    char field[16];
    for (std::size_t at = 0; at < data.size(); at += 32) {
        const std::size_t n = std::min<std::size_t>(32, data.size() - at);
        bool blank = true;
        for (std::size_t i = 0; i < n; ++i) blank = blank && data[at + i] == 0xFF;
        if (blank) continue;
        const uint32_t a = address + static_cast<uint32_t>(at);
        uint8_t sum = static_cast<uint8_t>(n + (a >> 8) + a);
        std::snprintf(field, sizeof field, ":%02X%04X00", unsigned(n), unsigned(a & 0xFFFF));
        text += field;
        for (std::size_t i = 0; i < n; ++i) {
            std::snprintf(field, sizeof field, "%02X", data[at + i]);
            text += field;
            sum = static_cast<uint8_t>(sum + data[at + i]);
        }
        std::snprintf(field, sizeof field, "%02X\n", unsigned(uint8_t(-sum)));
        text += field;
    }
    return text + ":00000001FF\n";
}

std::vector<uint8_t> ReadFile(const QString& path) {
    std::ifstream in(path.toStdString(), std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

struct UpdateHost : test::TestHost {
    QtSerialPort serial;
    QtTimers timers;
    std::unique_ptr<Application> app;
    CMainDlg* dlg = nullptr;

    explicit UpdateHost(const std::string& device) {
        h().platform.serial = &serial;
        h().platform.timers = &timers;
        app = std::make_unique<Application>(h());
        dlg = &app->dlg;
        test::WriteText(dir.File("Ports.dat"), "COM2 " + device + "\n");
        h().port.number = 2;
        SetPageGeometry(h().target, 256, 16, 128, 8);
    }
    bool LogHas(const std::string& text) const {
        return host->view.LogText().find(text) != std::string::npos;
    }
    std::vector<std::string> Tail(std::size_t n) const {
        const std::vector<std::string> lines = LogLines();
        return std::vector<std::string>(lines.end() - static_cast<long>(std::min(n, lines.size())),
                                        lines.end());
    }
};

}  // namespace

class UpdateEndToEndTest : public QObject {
    Q_OBJECT
  private slots:
    void fullUpdateProgramsTheChip_data();
    void fullUpdateProgramsTheChip();
};

void UpdateEndToEndTest::fullUpdateProgramsTheChip_data() {
    QTest::addColumn<QStringList>("faults");
    QTest::newRow("whole replies") << QStringList{};
    QTest::newRow("replies in pieces")
        << QStringList{QStringLiteral("--fault"), QStringLiteral("pieces:-1:-1:5")};
}

void UpdateEndToEndTest::fullUpdateProgramsTheChip() {
    QFETCH(QStringList, faults);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString link = dir.filePath(QStringLiteral("box"));
    const QString dump = dir.filePath(QStringLiteral("chip"));
    QProcess sim;
    sim.setProgram(QStringLiteral(LUMACREST_SIM_EXE));
    sim.setArguments(QStringList{QStringLiteral("--link"), link, QStringLiteral("--dump"), dump} +
                     faults);
    sim.start();
    QVERIFY(sim.waitForStarted(5000));
    QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(link), 5000);

    UpdateHost t(link.toStdString());
    Host& h = t.h();
    // A flash image of 13 pages with a blank page in the middle and a boot image, both HEX
    // files loaded at 0x4000 through the menu.
    std::vector<uint8_t> flash(13 * 256);
    for (std::size_t i = 0; i < flash.size(); ++i) flash[i] = static_cast<uint8_t>(i * 13 + 1);
    std::fill(flash.begin() + 5 * 256, flash.begin() + 6 * 256, 0xFF);
    std::vector<uint8_t> boot(3 * 128 + 7, 0x5A);
    test::WriteText(t.dir.File("main.hex"), HexText(0x4000, flash));
    test::WriteText(t.dir.File("boot.hex"), HexText(0x4000, boot));
    t.prompts.QueueFile(t.dir.File("main.hex"));
    t.prompts.QueueLoadAddress(0x4000);
    t.dlg->OnCommand(id::LoadFlashFile);
    t.prompts.QueueFile(t.dir.File("boot.hex"));
    t.prompts.QueueLoadAddress(0x4000);
    t.dlg->OnCommand(id::LoadBootFile);
    QCOMPARE(h.target.FlashPagesToWrite, 13u);
    QCOMPARE(h.target.BootPagesToWrite, 4u);
    for (uint8_t i = 0; i < 16; ++i) h.target.buf().keyCode[i] = static_cast<uint8_t>(0xA0 + i);

    h.view.ShowOptions(
        {.eraseChip = true, .programFlash = true, .programBoot = true, .programKeyCode = true});
    t.dlg->OnCommand(id::Update);
    QTRY_VERIFY_WITH_TIMEOUT(t.LogHas("Eixt Program Mode......"), 20000);
    QTRY_VERIFY_WITH_TIMEOUT(h.view.Controls() == ControlState::Idle, 5000);
    QCOMPARE(t.Tail(kFullRun.size()), kFullRun);
    QVERIFY(!t.serial.IsOpen());

    QString output;
    QTRY_VERIFY_WITH_TIMEOUT((output += QString::fromUtf8(sim.readAllStandardOutput()))
                                 .contains(QStringLiteral("dumped")),
                             5000);
    QVERIFY2(output.contains(QStringLiteral("rx 0x0F length 2")), qPrintable(output));
    QVERIFY2(output.contains(QStringLiteral("exit result 1")), qPrintable(output));

    const std::vector<uint8_t> chipFlash = ReadFile(dump + QStringLiteral(".flash"));
    const std::vector<uint8_t> chipBoot = ReadFile(dump + QStringLiteral(".boot"));
    const std::vector<uint8_t> chipKey = ReadFile(dump + QStringLiteral(".keycode"));
    QVERIFY(chipFlash.size() >= h.target.dev.FlashSize && chipBoot.size() >= h.target.dev.BootSize);
    QVERIFY(std::equal(h.target.buf().flash.begin(), h.target.buf().flash.begin() + h.target.dev.FlashSize,
                       chipFlash.begin()));
    QVERIFY(std::equal(flash.begin(), flash.end(), chipFlash.begin()));
    QVERIFY(
        std::equal(h.target.buf().boot.begin(), h.target.buf().boot.begin() + h.target.dev.BootSize, chipBoot.begin()));
    QCOMPARE(chipBoot[3 * 128 + 6], uint8_t{0x5A});
    QCOMPARE(chipKey, std::vector<uint8_t>(h.target.buf().keyCode.begin(), h.target.buf().keyCode.begin() + 16));

    sim.terminate();
    QVERIFY(sim.waitForFinished(5000));
}

QTEST_MAIN(UpdateEndToEndTest)
#include "UpdateEndToEndTest.moc"
#include "host/ImageFileCommands.h"
