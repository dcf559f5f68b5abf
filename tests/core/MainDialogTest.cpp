#include <gtest/gtest.h>

#include "host/Config.h"
#include "support/TestHost.h"
#include "app/Application.h"
#include "app/CMainDlg.h"
#include "ui/main/MenuResource.h"
#include "ui/main/ResourceIds.h"
#include "host/ImageFileCommands.h"

namespace lumacrest {
namespace {

const int kMenuItemsGreyedByDisable[] = {32771, 32772, 32773, 32776, 32777, 32806, 32778,
                                         32780, 32779, 32781, 32784, 32785, 32788, 32789,
                                         32790, 32791, 32792, 32800, 32801, 32803, 32804};
const int kDialogItems[] = {1006, 1007, 1009, 1010, 1011, 1008, 1012, 1004, 1005, 1002, 1003};

TEST(HostView, LogAppendsAndClearsOnlyOnRawAppendOverTheLimit) {
    HostView m;
    m.AppendLogRaw("Adapter");
    m.AppendLog("line");
    EXPECT_EQ(m.LogText(), "Adapter\nline");
    m.AppendLogRaw("OK");
    EXPECT_EQ(m.LogText(), "Adapter\nlineOK");
    std::string big(20000, 'x');
    m.AppendLog(big);  // AppendLog never empties the log
    m.AppendLog("next");
    EXPECT_GT(m.LogText().size(), 20000u);
    m.AppendLogRaw("Failed");
    EXPECT_EQ(m.LogText(), "Failed");

    HostView exact;
    exact.AppendLogRaw(std::string(20000, 'y'));  // exactly 20000 is not over the limit
    exact.AppendLogRaw("z");
    EXPECT_EQ(exact.LogText().size(), 20001u);
}

TEST(HostView, SeparatorsAlternate) {
    HostView m;
    m.WriteSeparator();
    m.WriteSeparator();
    m.WriteSeparator();
    const std::string stars =
        "* * * * * * * * * * * * * * * * * * * * * * * * * * * * * * * * * * * * * * * * *";
    EXPECT_EQ(stars.size(), 81u);
    EXPECT_EQ(m.LogText(),
              "\n" + std::string(50, '=') + "\n" + stars + "\n" + std::string(50, '='));
}

TEST(MainModel, ResourceStateAndOperationLockingFollowTheHost) {
    HostView host;
    MainModel m(host);
    // The resource state: only these three commands of File, Edit and Tool are usable.
    for (const MenuPopup& popup : MainMenuResource())
        for (const MenuItem& item : popup.items) {
            if (item.id == 0) continue;
            bool usable = item.id == id::LoadFlashFile || item.id == id::FlashBuffer ||
                          item.id == id::ConvertExToHex;
            EXPECT_EQ(m.IsEnabled(item.id), usable) << item.text;
        }
    EXPECT_TRUE(m.PopupEnabled(0));
    EXPECT_FALSE(m.PopupEnabled(2));  // Operation
    EXPECT_FALSE(m.PopupEnabled(4));  // Help
    for (int control : kDialogItems) EXPECT_TRUE(m.IsEnabled(control));

    host.SetControls(ControlState::Busy);
    for (int item : kMenuItemsGreyedByDisable) EXPECT_FALSE(m.IsEnabled(item)) << item;
    for (int control : kDialogItems) EXPECT_FALSE(m.IsEnabled(control)) << control;
    EXPECT_TRUE(m.IsEnabled(id::ReserveJia));
    EXPECT_TRUE(m.IsEnabled(id::ConvertExToHex));  // neither operation touches it

    host.SetControls(ControlState::Idle);
    for (int item : kMenuItemsGreyedByDisable)
        EXPECT_EQ(m.IsEnabled(item), item == 32771 || item == 32777) << item;
    for (int control : kDialogItems) EXPECT_TRUE(m.IsEnabled(control)) << control;
    EXPECT_FALSE(m.IsEnabled(id::ReserveJia));
    EXPECT_TRUE(m.IsEnabled(id::ConvertExToHex));

    // A device without a boot area greys the boot box and clears it; the window's box sets the
    // host's option.
    m.SetCheck(id::ProgramBoot, 1);
    EXPECT_TRUE(host.Options().programBoot);
    host.SetBootOptionAvailable(false);
    EXPECT_FALSE(m.IsEnabled(id::ProgramBoot));
    EXPECT_EQ(m.Check(id::ProgramBoot), 0);
    host.SetControls(ControlState::Busy);
    host.SetControls(ControlState::Idle);  // a run ended
    EXPECT_FALSE(m.IsEnabled(id::ProgramBoot));
    host.SetControls(ControlState::OnlyComList);
    EXPECT_TRUE(m.IsEnabled(id::ComList));
    EXPECT_FALSE(m.IsEnabled(id::McuList));
}

TEST(MainModel, ListsFindByPrefixIgnoringCase) {
    HostView host;
    MainModel m(host);
    const ComboModel& com = m.Combo(id::ComList);
    ASSERT_EQ(com.items.size(), 17u);
    EXPECT_EQ(com.items[16], "COM16");
    EXPECT_EQ(com.FindPrefix("COM1"), 1);
    EXPECT_EQ(com.FindPrefix("com12"), 12);
    EXPECT_EQ(com.FindPrefix("usb"), 0);
    EXPECT_EQ(com.FindPrefix("COM17"), -1);
    EXPECT_EQ(m.Combo(id::McuList).FindPrefix("MN101EF32D"), -1);
    EXPECT_EQ(m.Check(id::CheckKeyCode), 1);
    EXPECT_FALSE(m.IsEnabled(id::CheckKeyCode));
}

class MainDialogTest : public ::testing::Test {
  protected:
    MainDialogTest() {
        test::WriteText(t.dir.File("Config.dat"), DefaultConfigText());
        dlg.OnInitDialog();
    }
    test::TestHost t;
    Application dlgApp{t.h()};
    CMainDlg& dlg = dlgApp.dlg;
};

TEST_F(MainDialogTest, CommandsWithoutHandlerDoNothing) {
    const std::string before = t.h().view.LogText();
    for (int command : {id::SectorProtect, id::EraseSa0, id::EraseSa1, id::VoltageSet}) {
        EXPECT_FALSE(dlg.router().Has(command));
        dlg.OnCommand(command);
    }
    EXPECT_EQ(t.h().view.LogText(), before);
    EXPECT_TRUE(t.prompts.messages.empty());
}

TEST_F(MainDialogTest, AboutHelpAndWebPages) {
    dlg.OnCommand(id::About);
    for (int command = 16; command < 32; ++command) dlg.OnSysCommand(command);
    dlg.OnSysCommand(0xF060);  // close: not the About box
    EXPECT_EQ(t.prompts.aboutShown, 17);

    dlg.OnCommand(id::UserHelp);
    dlg.OnCommand(id::TbHelp);
    ASSERT_EQ(t.shell.opened.size(), 2u);
    EXPECT_EQ(t.shell.opened[0], t.dir.File("Help.pdf"));
    EXPECT_TRUE(t.shell.lastMaximized);

    dlg.OnCommand(id::MakerPage);
    dlg.OnCommand(id::DownloadPage);
    dlg.OnCommand(id::WebPage2);
    EXPECT_EQ(t.shell.urls.size(), 3u);
}

TEST_F(MainDialogTest, CheckSumCommandLogsBothLines) {
    dlg.OnCommand(id::CheckSum);
    auto lines = t.LogLines();
    ASSERT_GE(lines.size(), 2u);
    EXPECT_EQ(lines[lines.size() - 2].rfind("Flash Buffer Check Sum: 0x", 0), 0u);
    EXPECT_EQ(lines.back().rfind("Boot  Buffer Check Sum: 0x", 0), 0u);
}

TEST_F(MainDialogTest, DestroyWritesOnce) {
    dlg.OnDestroy();
    test::WriteText(t.dir.File("Config.dat"), "changed");
    dlg.OnDestroy();
    EXPECT_EQ(test::ReadText(t.dir.File("Config.dat")), "changed");
}

}  // namespace
}  // namespace lumacrest
