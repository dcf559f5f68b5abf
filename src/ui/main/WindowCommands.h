// What the main window hands on: the commands by resource id, the window-menu commands and
// its closing. The window's behaviour (CMainDlg) implements it.
#pragma once

namespace lumacrest {

class WindowCommands {
public:
    virtual ~WindowCommands() = default;

    // A command by resource id (menu item, button, list selection change).
    virtual void OnCommand(int id) = 0;
    // A window-menu command.
    virtual void OnSysCommand(int command) = 0;
    // The window is asked to close; false: it stays open. `ask` is false for a termination
    // signal, which closes without a question.
    virtual bool OnCloseRequest(bool ask) = 0;
    // The window goes away.
    virtual void OnDestroy() = 0;
};

}  // namespace lumacrest
