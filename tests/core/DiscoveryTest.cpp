// Choosing a port, scanning for the programmer, the identify reply and the MCU list.
#include <gtest/gtest.h>

#include "host/Config.h"
#include "ops/Discovery.h"
#include "link/Link.h"
#include "support/FakeLink.h"
#include "app/Application.h"
#include "app/CMainDlg.h"
#include "ui/main/ResourceIds.h"
#include "host/DeviceCommands.h"

namespace lumacrest {
namespace {

using test::LinkHost;

std::vector<std::string> Tail(const std::vector<std::string>& lines, std::size_t n) {
    return std::vector<std::string>(lines.end() - static_cast<long>(std::min(n, lines.size())),
                                    lines.end());
}

TEST(Ports, NamesAndPortsDat) {
    EXPECT_EQ(ComNameToPort("USB"), 0);
    EXPECT_EQ(ComNameToPort("COM1"), 1);
    EXPECT_EQ(ComNameToPort("COM10"), 10);
    EXPECT_EQ(ComNameToPort("COM16"), 16);
    EXPECT_EQ(ComNameToPort("COM17"), 20);
    EXPECT_EQ(ComNameToPort("COM1 "), 20);
    EXPECT_EQ(ComNameToPort("com1"), 20);
    EXPECT_EQ(ComNameToPort(""), 20);

    LinkHost t;
    EXPECT_FALSE(t.h().ports.Device(1));  // no Ports.dat
    test::WriteText(t.dir.File("Ports.dat"),
                    "COM10 /dev/ttyUSB9\r\nCOM1   /tmp/a b  \n\nCOM3\nCOM20 /dev/x\n");
    EXPECT_EQ(t.h().ports.Device(1), "/tmp/a b");
    EXPECT_EQ(t.h().ports.Device(10), "/dev/ttyUSB9");
    EXPECT_FALSE(t.h().ports.Device(3));  // a name without a device
    EXPECT_FALSE(t.h().ports.Device(2));
    EXPECT_EQ(t.h().ports.Device(20), "/dev/x");
}

TEST(Ports, ShippedPortsDatMapsSixteenPorts) {
    LinkHost t;
    const std::string text = test::ReadText(std::string(LUMACREST_SOURCE_DIR) + "/res/Ports.dat");
    test::WriteText(t.dir.File("Ports.dat"), text);
    EXPECT_EQ(t.h().ports.Device(1), "/dev/ttyUSB0");
    EXPECT_EQ(t.h().ports.Device(8), "/dev/ttyUSB7");
    EXPECT_EQ(t.h().ports.Device(9), "/dev/ttyACM0");
    EXPECT_EQ(t.h().ports.Device(16), "/dev/ttyACM7");
}

TEST(Connect, ChosenPortIdentifiesTheProgrammerAndClosesThePort) {
    LinkHost t;
    Host& h = t.h();
    t.MapPorts({3});
    t.port.AddBox(LinkHost::Device(3));
    t.ChooseCom("COM3");
    EXPECT_EQ(h.port.number, 3);
    EXPECT_EQ(h.port.name, "COM3");
    EXPECT_EQ(h.view.Controls(), ControlState::Busy);  // locked until the reply
    t.clock.RunUntilIdle();
    EXPECT_EQ(
        Tail(t.LogLines(), 5),
        (std::vector<std::string>{std::string(50, '='), "Connect to Programmer . . . . . . OK",
                                  "Find Progrmmer: ZK9_ISP_0258", "Max_Counter:  No Limit",
                                  "Used_Counter: 5   V2.0"}));
    EXPECT_FALSE(t.port.IsOpen());
    EXPECT_EQ(h.view.Controls(), ControlState::Idle);
    EXPECT_EQ(h.programmer.kind, 2);
    // The two payload bytes of the identify frame are whatever the frame record held.
    EXPECT_EQ(t.port.written.back().size(), 8u);
}

TEST(Connect, PortsThatCannotBeProbedAreReported) {
    // Unmapped, held by another program, not open to this user, and a name outside
    // COM1..COM16 (probed as COM20). Why a port that exists cannot be used is said once, in
    // the log and in a message.
    const std::string held = "COM3 (dev/com3) is held by another program: picocom (pid 4242)";
    const std::string denied = "permission denied on dev/com5: add your user to the dialout group";
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"COM4", ""}, {"COM3", held}, {"COM5", denied}, {"COM20", ""}};
    for (const auto& [entry, why] : cases) {
        LinkHost t;
        Host& h = t.h();
        t.MapPorts({3, 5});
        t.port.AddBox(LinkHost::Device(3));
        t.port.Hold(LinkHost::Device(3), "picocom (pid 4242)");
        t.port.AddBox(LinkHost::Device(5));
        t.port.Deny(LinkHost::Device(5));
        {
            std::vector<std::string> ports = h.view.PortList().items;
            ports.push_back("COM20");
            h.view.SetPortItems(ports);
        }
        // A first connect that fails leaves no identify outstanding: the next gets no "Failed".
        t.ChooseCom("COM9");
        t.prompts.messages.clear();
        t.ChooseCom(entry);
        const unsigned n = ComNameToPort(entry);
        const std::string device = n == 3 || n == 5 ? LinkHost::Device(n) : "no device in Ports.dat";
        std::vector<std::string> expected = {"Connect to Programmer . . . . . . ",
                                             "Can Not Find Programmer  ",
                                             "Tried COM" + std::to_string(n) + " (" + device + ")"};
        if (!why.empty()) expected.push_back(why);
        EXPECT_EQ(Tail(t.LogLines(), expected.size()), expected) << entry;
        EXPECT_EQ(t.MessageTexts(), why.empty() ? std::vector<std::string>{}
                                                : std::vector<std::string>{"******" + why + "******"});
        EXPECT_EQ(h.port.number, ComNameToPort(entry));
        EXPECT_EQ(h.link.LastCode(), kNoCommand);
        EXPECT_EQ(h.view.Controls(), ControlState::ComListEnabled);
        EXPECT_TRUE(t.port.written.empty());
    }
    // With an identify outstanding the connect line gets "Failed".
    LinkHost t;
    t.MapPorts({});
    t.ChooseCom("COM2");
    EXPECT_EQ(Tail(t.LogLines(), 3),
              (std::vector<std::string>{"Connect to Programmer . . . . . . Failed",
                                        "Can Not Find Programmer  ",
                                        "Tried COM2 (no device in Ports.dat)"}));
}

TEST(Connect, SilentPortTimesOutAfterOneSecond) {
    LinkHost t;
    Host& h = t.h();
    t.MapPorts({5});
    t.port.AddSilent(LinkHost::Device(5));
    t.ChooseCom("COM5");
    t.clock.Advance(999);
    EXPECT_TRUE(t.port.IsOpen());
    t.clock.Advance(1);
    EXPECT_EQ(Tail(t.LogLines(), 3),
              (std::vector<std::string>{"Connect to Programmer . . . . . . Failed",
                                        "Can Not Find Programmer  ", "Tried COM5 (dev/com5)"}));
    EXPECT_FALSE(t.port.IsOpen());
    EXPECT_EQ(h.view.Controls(), ControlState::Idle);
    EXPECT_EQ(h.link.LastCode(), kNoCommand);
}

TEST(Connect, ReplyInPiecesAndLateReplyWithinTheTimeout) {
    LinkHost t;
    t.MapPorts({1});
    sim::BoxConfig config;
    config.faults.push_back({sim::FaultKind::Pieces, CMD_IDENTIFY, 1, 2});
    config.faults.push_back({sim::FaultKind::LateReply, CMD_IDENTIFY, 1, 900});
    t.port.AddBox(LinkHost::Device(1), config);
    t.port.delivery.extraDelayMs = 3;
    t.ChooseCom("COM1");
    t.clock.RunUntilIdle();
    EXPECT_EQ(Tail(t.LogLines(), 4)[0], "Connect to Programmer . . . . . . OK");
}

TEST(Identify, ProgrammerLinesByKindNumberAndCounters) {
    struct Case {
        uint8_t kind;
        uint16_t number, max, used;
        std::vector<std::string> lines;
    };
    const Case cases[] = {
        {1,
         7,
         1000,
         999,
         {"Find Progrmmer: ZK9_Pro_0007", "Max_Counter:  1000", "Used_Counter: 999   V2.0"}},
        // A number above 9999 shows '0' + number / 1000 as its first character.
        {2,
         12345,
         0,
         65535,
         {"Find Progrmmer: ZK9_ISP_<345", "Max_Counter:  No Limit", "Used_Counter: 65535   V2.0"}},
        // Other kinds get no name line: the digits go on the connect line.
        {3,
         42,
         0,
         0,
         {"Connect to Programmer . . . . . . OK0042", "Max_Counter:  No Limit",
          "Used_Counter: 0   V2.0"}},
    };
    for (const Case& c : cases) {
        LinkHost t;
        t.MapPorts({2});
        sim::BoxConfig config;
        config.kind = c.kind;
        config.number = c.number;
        config.maxCount = c.max;
        config.usedCount = c.used;
        t.port.AddBox(LinkHost::Device(2), config);
        t.ChooseCom("COM2");
        t.clock.RunUntilIdle();
        EXPECT_EQ(Tail(t.LogLines(), 3), c.lines);
    }
}

TEST(Identify, LoaderKindReportsItsVersionAndKeepsThePortOpen) {
    LinkHost t;
    Host& h = t.h();
    t.MapPorts({2});
    sim::BoxConfig config;
    config.kind = 5;
    config.fwMajor = 1;
    config.fwMinor = 3;
    config.faults.push_back({sim::FaultKind::Duplicate, -1, -1, 0});  // taken once only
    t.port.AddBox(LinkHost::Device(2), config);
    t.ChooseCom("COM2");
    t.clock.RunUntilIdle();
    EXPECT_EQ(Tail(t.LogLines(), 3),
              (std::vector<std::string>{"Connect to Programmer . . . . . . OK",
                                        "Find Progrmmer: ZK9_IAP", "IAP Firmware version:  1.3"}));
    EXPECT_TRUE(t.port.IsOpen());
    EXPECT_EQ(h.programmer.kind, 5);
    EXPECT_EQ(h.view.Controls(), ControlState::Idle);
    EXPECT_TRUE(t.prompts.messages.empty());
}

TEST(Identify, FirmwareChecks) {
    // Any version but the current and the maintenance one: the update request.
    {
        LinkHost t;
        Host& h = t.h();
        t.MapPorts({2});
        sim::BoxConfig config;
        config.fwMajor = 1;
        config.fwMinor = 9;
        t.port.AddBox(LinkHost::Device(2), config);
        t.ChooseCom("COM2");
        t.clock.RunUntilIdle();
        EXPECT_EQ(t.LogLines().back(), "Used_Counter: 5   V1.9");
        ASSERT_EQ(t.prompts.messages.size(), 1u);
        EXPECT_EQ(t.prompts.messages[0].text, "******Please Update Device Firmware ******");
        EXPECT_EQ(t.prompts.messages[0].icon, MsgIcon::None);
        EXPECT_FALSE(t.port.IsOpen());
        EXPECT_EQ(h.view.Controls(), ControlState::OnlyComList);
    }
    // The maintenance version starts the rewrite of the programmer's firmware.
    {
        LinkHost t;
        t.MapPorts({2});
        sim::BoxConfig config;
        config.fwMajor = 0;
        config.fwMinor = 2;
        t.port.AddBox(LinkHost::Device(2), config);
        test::WriteText(t.dir.File("update.dat"), std::string(256, '\x5A'));
        t.ChooseCom("COM2");
        t.clock.RunUntilIdle();
        EXPECT_EQ(Tail(t.LogLines(), 3),
                  (std::vector<std::string>{"Used_Counter: 5   V0.2", "Erase Programmer......OK",
                                            "Update Device Firmware......OK"}));
        EXPECT_TRUE(t.prompts.messages.empty());
    }
}

TEST(Scan, NothingAttachedFailsAfterOnePass) {
    LinkHost t;
    Host& h = t.h();
    t.MapPorts({1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16});
    for (unsigned n : {2u, 7u, 16u}) t.port.AddSilent(LinkHost::Device(n));
    std::vector<bool> lockedWhileWaiting;
    for (uint64_t at : {500u, 1500u, 2500u})
        t.clock.Schedule(at, [&] { lockedWhileWaiting.push_back(h.view.Controls() != ControlState::Idle); });
    t.ChooseCom("USB");
    t.clock.RunUntilIdle();
    EXPECT_EQ(t.clock.Now(), 3000u);  // three silent ports, one second each
    EXPECT_EQ(lockedWhileWaiting, (std::vector<bool>{true, true, true}));
    std::string tried = "Tried ";
    for (unsigned n = 1; n <= 16; ++n)
        tried += (n > 1 ? ", COM" : "COM") + std::to_string(n) + " (" + LinkHost::Device(n) + ")";
    EXPECT_EQ(Tail(t.LogLines(), 3),
              (std::vector<std::string>{"Auto Connect to Programmer . . . . . . Failed",
                                        "Can Not Find Programmer  ", tried}));
    EXPECT_EQ(t.port.probed.size(), 16u);
    EXPECT_EQ(t.port.opened, (std::vector<std::string>{"dev/com2", "dev/com7", "dev/com16"}));
    EXPECT_FALSE(t.port.IsOpen());
    EXPECT_EQ(h.view.Controls(), ControlState::Idle);
    EXPECT_FALSE(h.run.Active());
    // Port 0 is never opened for "USB".
    for (const std::string& device : t.port.probed) EXPECT_NE(device, "dev/com0");
}

TEST(Scan, StopsAtTheFirstPortThatAnswers) {
    LinkHost t;
    Host& h = t.h();
    t.MapPorts({1, 3, 4, 6});
    t.port.AddSilent(LinkHost::Device(1));
    t.port.AddBox(LinkHost::Device(4));
    t.port.AddBox(LinkHost::Device(6));
    t.ChooseCom("USB");
    t.clock.RunUntilIdle();
    EXPECT_EQ(h.port.number, 4);
    EXPECT_EQ(h.port.name, "COM4");
    EXPECT_EQ(Tail(t.LogLines(), 4),
              (std::vector<std::string>{"Auto Connect to Programmer . . . . . . OK",
                                        "Find Progrmmer: ZK9_ISP_0258", "Max_Counter:  No Limit",
                                        "Used_Counter: 5   V2.0"}));
    EXPECT_EQ(t.port.opened, (std::vector<std::string>{"dev/com1", "dev/com4"}));
    EXPECT_FALSE(t.port.IsOpen());
    EXPECT_EQ(h.view.Controls(), ControlState::Idle);
    EXPECT_FALSE(h.run.Active());
}

// A line that fails the identify's write is lost, and the scan goes on from it: the loss
// of that line is never taken for a loss of the port opened after it.
TEST(Scan, APortWhoseWriteFailsIsPassedOverForTheNext) {
    LinkHost t;
    t.MapPorts({1, 2});
    t.port.AddSilent(LinkHost::Device(1));
    t.port.FailWrites(LinkHost::Device(1));
    t.port.AddBox(LinkHost::Device(2));
    t.ChooseCom("USB");
    t.clock.RunUntilIdle();
    EXPECT_EQ(t.h().port.number, 2);
    EXPECT_EQ(Tail(t.LogLines(), 4)[0], "Auto Connect to Programmer . . . . . . OK");
    EXPECT_EQ(t.port.opened, (std::vector<std::string>{"dev/com1", "dev/com2"}));
    EXPECT_FALSE(t.h().run.Active());
}

TEST(Scan, OnlyAnIdentifyReplyEndsTheWait) {
    LinkHost t;
    t.MapPorts({1, 2});
    sim::BoxConfig config;
    config.faults.push_back({sim::FaultKind::WrongEcho, CMD_IDENTIFY, -1, 0});
    t.port.AddBox(LinkHost::Device(1), config);
    t.port.AddBox(LinkHost::Device(2));
    t.ChooseCom("USB");
    t.clock.RunUntilIdle();
    EXPECT_EQ(t.h().port.number, 2);
    EXPECT_EQ(t.clock.Now(), 1000u);
}

TEST(Scan, WindowCommandsWaitAndClosingTheWindowEndsIt) {
    LinkHost t;
    Host& h = t.h();
    t.MapPorts({1, 2, 3});
    for (unsigned n : {1u, 2u, 3u}) t.port.AddSilent(LinkHost::Device(n));
    Application dlgApp(h);
    CMainDlg& dlg = dlgApp.dlg;
    // An Update or a second scan asked for while the scan runs does nothing.
    std::size_t writesBefore = 0;
    t.clock.Schedule(200, [&] {
        writesBefore = t.port.written.size();
        dlg.OnCommand(id::ComList);
        dlg.OnCommand(id::Update);
        EXPECT_EQ(t.port.written.size(), writesBefore);
    });
    t.clock.Schedule(1500, [&] { dlg.OnDestroy(); });
    h.view.SelectPort(0);
    dlg.OnCommand(id::ComList);
    t.clock.RunUntilIdle();
    EXPECT_EQ(t.clock.Now(), 1500u);
    EXPECT_FALSE(h.run.Active());
    EXPECT_FALSE(t.port.IsOpen());
    EXPECT_FALSE(t.clock.Running(kReplyTimerId));
    EXPECT_EQ(t.LogLines().back(), "Auto Connect to Programmer . . . . . . ");
    EXPECT_EQ(t.port.opened.size(), 2u);
}

TEST(Mcu, ChoosingAnMcuLoadsItsFileOrKeepsTheDeviceInForce) {
    LinkHost t;
    Host& h = t.h();
    h.view.SetMcuItems({"MN101EF31D", "MN101EF51A"});
    const ChoiceList& mcu = h.view.McuList();
    h.view.SelectMcu(0);
    h.target.mcuName = "MN101EF31D";
    h.target.DeviceType = 1;
    t.port.AddSilent("dev/com1");
    ASSERT_TRUE(t.port.Open("dev/com1").Ok());

    // No device file: the previous device stays, with its list selection.
    h.view.SelectMcu(1);
    EXPECT_FALSE(OnSelchangeMcu(h));
    EXPECT_EQ(h.target.mcuName, "MN101EF31D");
    EXPECT_EQ(h.target.DeviceType, 1);
    EXPECT_EQ(mcu.selected, 0);
    EXPECT_EQ(t.prompts.messages.size(), 1u);
    EXPECT_FALSE(t.port.IsOpen());

    test::WriteText(t.dir.File("MN101EF51A.cfg"),
                    test::ReadText(std::string(LUMACREST_SOURCE_DIR) + "/res/MN101EF51A_IAP.cfg"));
    h.view.SelectMcu(1);
    EXPECT_TRUE(OnSelchangeMcu(h));
    EXPECT_EQ(h.target.mcuName, "MN101EF51A");
    EXPECT_EQ(h.target.DeviceType, 4);
    EXPECT_EQ(h.target.dev.FlashPageCount, 288u);
    EXPECT_EQ(mcu.selected, 1);
    EXPECT_EQ(t.prompts.messages.size(), 1u);
}

TEST(StartUp, PortNumberFollowsTheSavedPortName) {
    for (const auto& [name, number] : {std::pair<std::string, int>{"COM7", 7}, {"USB", 0}}) {
        LinkHost t;
        std::string config = DefaultConfigText();
        const std::size_t usb = config.find("USB");
        ASSERT_NE(usb, std::string::npos);
        config.replace(usb, 3, name);
        test::WriteText(t.dir.File("Config.dat"), config);
        Application app(t.h());
        CMainDlg& dlg = app.dlg;
        dlg.OnInitDialog();
        EXPECT_EQ(t.h().port.name, name);
        EXPECT_EQ(t.h().port.number, number);
    }
}

}  // namespace
}  // namespace lumacrest
