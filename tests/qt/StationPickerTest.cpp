// The station reached from the classic window: Ctrl+T lists the COM list's ports with their
// devices, the operator ticks some with the keyboard, and OK closes the window as its close
// does (Config.dat written) before the station takes the ports.
#include <QApplication>
#include <QFile>
#include <QListWidget>
#include <QPushButton>
#include <QTemporaryDir>
#include <QtTest>

#include "app/Application.h"
#include "app/CMainDlg.h"
#include "host/Config.h"
#include "platform/qt/QtLink.h"
#include "support/ScriptedPrompts.h"
#include "ui/main/ResourceIds.h"
#include "ui/main/qt/MainWindow.h"
#include "ui/main/qt/StationPicker.h"

using namespace lumacrest;

namespace {

struct Classic {
    QTemporaryDir dir;
    ScriptedPrompts prompts;
    RecordingShell shell;
    QtSerialPort serial;
    QtTimers timers;
    Host host;
    std::unique_ptr<Application> app;
    std::unique_ptr<MainWindow> window;
    std::optional<std::vector<std::string>> opened;

    Classic() {
        host.programDir = dir.path().toStdString() + "/";
        host.platform = {&prompts, &shell, &serial, &timers, nullptr, nullptr};
        QFile config(dir.filePath("Config.dat"));
        (void)config.open(QIODevice::WriteOnly);
        config.write(QByteArray::fromStdString(DefaultConfigText()));
        config.close();
        QFile ports(dir.filePath("Ports.dat"));
        (void)ports.open(QIODevice::WriteOnly);
        ports.write("COM3 /dev/ttyUSB0\nCOM5 /dev/ttyUSB1\n");
        ports.close();
        app = std::make_unique<Application>(host);
        window = std::make_unique<MainWindow>(app->dlg, app->model);
        app->dlg.OnInitDialog();
        window->OfferStation(
            [this] {
                std::vector<std::string> devices;
                for (const std::string& name : app->model.Combo(id::ComList).items) {
                    const uint8_t n = ComNameToPort(name);
                    devices.push_back(n >= 1 && n <= 16 ? host.ports.Device(n).value_or("") : "");
                }
                return PickerPorts(app->model.Combo(id::ComList).items, devices);
            },
            [this](const std::vector<std::string>& ports) { opened = ports; });
        window->show();
        QApplication::setActiveWindow(window.get());
    }

    // Ctrl+T on the window; `answer` works the picker while it is open.
    void Pick(std::function<void(StationPicker&)> answer) {
        // The shortcut needs the window active again once a dialog has gone.
        QApplication::setActiveWindow(window.get());
        QTRY_VERIFY_WITH_TIMEOUT(window->isActiveWindow(), 5000);
        bool seen = false;
        QTimer::singleShot(50, [&] {
            auto* picker = qobject_cast<StationPicker*>(QApplication::activeModalWidget());
            QVERIFY(picker);
            seen = true;
            answer(*picker);
        });
        QTest::keyClick(window.get(), Qt::Key_T, Qt::ControlModifier);
        QTRY_VERIFY(seen);
    }
};

QStringList Texts(const QListWidget& list) {
    QStringList texts;
    for (int i = 0; i < list.count(); ++i) texts << list.item(i)->text();
    return texts;
}

}  // namespace

class StationPickerTest : public QObject {
    Q_OBJECT
private slots:
    void portsTickedWithTheKeyboardOpenTheStationOnceTheWindowHasClosed() {
        Classic c;
        QVERIFY(QTest::qWaitForWindowActive(c.window.get()));
        QVERIFY(QFile::remove(c.dir.filePath("Config.dat")));
        c.Pick([](StationPicker& picker) {
            QListWidget* list = picker.List();
            const QStringList texts = Texts(*list);
            QCOMPARE(texts.size(), 17);
            QVERIFY(texts[0].startsWith(QStringLiteral("USB")));
            QVERIFY(!(list->item(0)->flags() & Qt::ItemIsUserCheckable));
            QCOMPARE(texts[3], QStringLiteral("COM3  /dev/ttyUSB0"));
            QCOMPARE(texts[4], QStringLiteral("COM4"));
            QCOMPARE(list->currentRow(), 1);
            QVERIFY(!picker.OkButton()->isEnabled());  // nothing ticked yet
            QTest::keyClick(list, Qt::Key_Down);
            QTest::keyClick(list, Qt::Key_Down);
            QTest::keyClick(list, Qt::Key_Space);  // COM3
            QTest::keyClick(list, Qt::Key_Down);
            QTest::keyClick(list, Qt::Key_Down);
            QTest::keyClick(list, Qt::Key_Space);  // COM5
            QTest::keyClick(list, Qt::Key_Up);
            QTest::keyClick(list, Qt::Key_Space);  // COM4 on and off again
            QTest::keyClick(list, Qt::Key_Space);
            QTest::keyClick(list, Qt::Key_Return);
        });
        QTRY_VERIFY(c.opened.has_value());
        QCOMPARE(*c.opened, (std::vector<std::string>{"COM3", "COM5"}));
        QVERIFY(!c.window->isVisible());
        QVERIFY(QFile::exists(c.dir.filePath("Config.dat")));
    }

    void cancelledOrEmptyTheWindowStays() {
        Classic c;
        QVERIFY(QTest::qWaitForWindowActive(c.window.get()));
        c.Pick([](StationPicker& picker) { QTest::keyClick(picker.List(), Qt::Key_Escape); });
        // Nothing ticked: Return does not take an empty station.
        c.Pick([](StationPicker& picker) {
            QTest::keyClick(picker.List(), Qt::Key_Return);
            QVERIFY(picker.isVisible());
            QTest::keyClick(picker.List(), Qt::Key_Escape);
        });
        QVERIFY(!c.opened);
        QVERIFY(c.window->isVisible());
    }
};

QTEST_MAIN(StationPickerTest)
#include "StationPickerTest.moc"
