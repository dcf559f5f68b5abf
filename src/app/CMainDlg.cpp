#include "app/CMainDlg.h"

#include "host/HostApi.h"
#include "ops/ReplyEngine.h"
#include "ops/Runs.h"
#include "ops/Stopping.h"
#include "ui/main/ResourceIds.h"

namespace lumacrest {

CMainDlg::CMainDlg(Host& host, CommandRouter& router) : host_(host), router_(router) {
    api::Attach(host_);
}

void CMainDlg::OnInitDialog() {
    api::Open(host_);
}

bool CMainDlg::OnCloseRequest(bool ask) {
    Host& h = host_;
    if (!Busy(h.ops)) return true;
    if (ask && !h.prompts().AskYesNo(kStopRunQuestion)) return false;
    StopRun(h.ops, ask ? "the window was closed during the run" : "stopped by a termination signal");
    while (Busy(h.ops) && h.link.ReplyTimerRunning()) h.timers().PumpEvents();
    return true;
}

void CMainDlg::OnDestroy() {
    if (destroyed_) return;
    destroyed_ = true;
    (void)api::Close(host_);
}

void CMainDlg::OnCommand(int id) {
    // While the port scan runs, nothing else may start.
    if (host_.run.Kind() == RunKind::Scan) return;
    if (router_.RefusedWhileBusy(id) && RefuseWhileBusy(host_.ops)) return;
    router_.Dispatch(id);
}

void CMainDlg::OnSysCommand(int command) {
    if ((command & 0xFFF0) == id::SysAbout) host_.prompts().ShowAbout();
}

}  // namespace lumacrest
