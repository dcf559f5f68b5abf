#include "app/CMainDlg.h"

#include "app/commands/Config.h"
#include "image/Checksums.h"
#include "app/commands/CipherFileCommands.h"
#include "app/commands/DeviceCommands.h"
#include "image/DeviceCatalogue.h"
#include "app/commands/ExToHexCommand.h"
#include "image/HexWriter.h"
#include "image/ImageLoading.h"
#include "image/ProjectFile.h"
#include "link/Link.h"
#include "ops/Discovery.h"
#include "ops/OperationCommands.h"
#include "ops/FirmwareRewrite.h"
#include "ops/ReplyEngine.h"
#include "ops/Runs.h"
#include "ops/Stopping.h"
#include "platform/DialogSessions.h"
#include "ui/main/ResourceIds.h"

namespace lumacrest {

CMainDlg::CMainDlg(Host& host, CommandRouter& router) : host_(host), router_(router) {
    AttachEngine(host_.ops);
    if (host_.platform.serial && host_.platform.timers)
        host_.link.Attach(host_.serial(), host_.timers());
}

void CMainDlg::OnInitDialog() {
    Host& h = host_;
    h.programmer.firmwareMajor = 2;
    h.programmer.firmwareMinor = 0;
    h.programmer.maintenanceMajor = 0;
    h.programmer.maintenanceMinor = 2;
    h.view.SetProgress(HostView::kProgressLower);

    h.target.buf().Reset();
    h.target.dev.FlashPageSize = 256;
    h.target.dev.FlashPageCount = 256;
    ApplyPageGeometry(h, 256, 256, h.target.dev.BootPageSize, h.target.dev.BootPageCount);
    h.target.BootPagesToWrite = h.target.dev.BootPageCount;

    ReadConfig(h);
    h.target.BootPagesToWrite = h.target.dev.BootPageCount;
    h.port.number = ComNameToPort(h.port.name);  // an Update before any connect goes there

    h.view.AppendLog("SEP1:  Connect Device");
    h.view.AppendLog("SEP2:  Select MCU MN101EF51A_IAP");
    h.view.AppendLog("SEP3:  Load File");
    h.view.AppendLog("SEP4:  Update Device");
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
    host_.shutdownRequested = true;
    if (host_.run.Active())
        End(host_.ops, Conclusion::Fail(Verdict::Abandoned, "the program closed during the run"),
            {.controls = std::nullopt});
    WriteConfig(host_);
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
