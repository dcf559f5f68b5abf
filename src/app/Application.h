// The main window's behaviour with every command wired: what the front ends and the tests
// run over a host.
#pragma once

#include "app/Commands.h"
#include "app/CMainDlg.h"

namespace lumacrest {

struct Application {
    explicit Application(Host& host) : dlg(host, router) { WireCommands(host, router); }
    Application(const Application&) = delete;
    Application& operator=(const Application&) = delete;

    CommandRouter router;
    CMainDlg dlg;
};

}  // namespace lumacrest
