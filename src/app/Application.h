// The main window's behaviour with every command wired, and its model over the host: what the
// window and its tests run over a host.
#pragma once

#include "app/Commands.h"
#include "app/CMainDlg.h"
#include "ui/main/MainModel.h"

namespace lumacrest {

struct Application {
    explicit Application(Host& host) : model(host.view), dlg(host, router) {
        WireCommands(host, router);
    }
    Application(const Application&) = delete;
    Application& operator=(const Application&) = delete;

    MainModel model;
    CommandRouter router;
    CMainDlg dlg;
};

}  // namespace lumacrest
