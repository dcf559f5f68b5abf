// The main window's behaviour: initialisation, closing, the commands of the shell, and the
// routing of every command to the subsystem that carries it out.
#pragma once

#include <string>

#include "host/Host.h"
#include "ui/main/CommandRouter.h"
#include "ui/main/WindowCommands.h"

namespace lumacrest {

inline constexpr const char* kMakerPageUrl = "https://www.lumacrest.example/";
inline constexpr const char* kDownloadPageUrl = "https://www.lumacrest.example/download";
inline constexpr const char* kSecondMakerPageUrl = "https://www.lumacrest.example/products";
inline constexpr const char* kStopRunQuestion =
    "A programmer operation is running. Stop it (the chip is failed) and close?";

class CMainDlg : public WindowCommands {
public:
    // `router` holds what every command does (the composition root fills it).
    CMainDlg(Host& host, CommandRouter& router);

    // Clears the buffers, reads Config.dat and writes the start lines into the log.
    void OnInitDialog();
    // The window is asked to close. While a run is under way the operator is asked whether to
    // stop it (a termination signal, `ask` false, stops it without asking); a stopped run ends
    // as the operator's stop ends it, its last answers waited for. False: the window stays.
    bool OnCloseRequest(bool ask) override;
    // Writes Config.dat back. Runs once, however the window goes away.
    void OnDestroy() override;

    // A command by resource id (menu item, button, list selection change).
    void OnCommand(int id) override;
    // A window-menu command; 16 (and 17..31) opens the About box.
    void OnSysCommand(int command) override;

    Host& host() { return host_; }
    CommandRouter& router() { return router_; }

private:
    Host& host_;
    CommandRouter& router_;
    bool destroyed_ = false;
};

}  // namespace lumacrest
