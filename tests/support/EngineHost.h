// A host wired to an in-process programmer box on COM1, with a small device geometry, for
// the device operation tests.
#pragma once

#include <string>
#include <vector>

#include "host/HostApi.h"
#include "link/Frames.h"
#include "support/FakeLink.h"
#include "app/Application.h"
#include "app/CMainDlg.h"
#include "ui/main/ResourceIds.h"

namespace lumacrest::test {

struct SentFrame {
    uint8_t code;
    std::vector<uint8_t> payload;
};

struct EngineHost : LinkHost {
    std::unique_ptr<Application> app;
    CMainDlg* dlg = nullptr;
    sim::ProgrammerBox* box = nullptr;

    // Flash: 16 pages of 64 bytes; boot: 4 pages of 32 bytes.
    explicit EngineHost(sim::BoxConfig config = {});

    // A command of the window by resource id (menus, buttons, lists, their questions).
    void Command(int id) { dlg->OnCommand(id); }
    // The host's own operations; `started` says whether the last one was refused.
    void Update() { started = api::StartUpdate(h()); }
    void Operate(SingleOperation operation) { started = api::StartOperation(h(), operation); }
    api::Result started;
    void Tick(const ProgramOptions& options);  // the program options of the next run
    void RunUntilIdle() { clock.RunUntilIdle(); }

    // Frames the host wrote since the last ClearSent, decoded.
    std::vector<SentFrame> Sent() const;
    std::vector<uint8_t> SentCodes() const;
    void ClearSent() { port.written.clear(); }

    // The log lines after the last separator line.
    std::vector<std::string> RunLines() const;
    bool ControlsIdle() { return h().view.Controls() == ControlState::Idle; }
    // The host is at rest: no run under way, no command outstanding, port closed.
    bool AtRest();
};

}  // namespace lumacrest::test
