#include "ui/station/TileFeed.h"

#include "app/Application.h"
#include "app/CMainDlg.h"
#include "app/RunRecords.h"
#include "host/Host.h"
#include "link/Ports.h"
#include "ops/Runs.h"
#include "ops/Stopping.h"
#include "ui/main/ResourceIds.h"

namespace lumacrest {

TileFeed::TileFeed(const std::string& programDir, const std::string& port,
                   const TilePlatform& platform, Events events)
    : port_(port), events_(std::move(events)), host_(std::make_unique<Host>()) {
    Host& h = *host_;
    h.programDir = programDir;
    h.platform = {&prompts_, platform.shell, platform.serial, platform.timers, platform.processes,
                  platform.serials};
    prompts_.onMessage = [this](const std::string& text) {
        if (events_.message) events_.message(text);
    };
    h.onRunEnded = [this](const Outcome& outcome) {
        if (events_.runEnded) events_.runEnded(outcome);
    };
    app_ = std::make_unique<Application>(h);
    h.ui.AddObserver(this);
}

TileFeed::~TileFeed() { host_->ui.RemoveObserver(this); }

std::string TileFeed::Init() {
    Host& h = *host_;
    app_->dlg.OnInitDialog();
    configPort_ = h.port.name;
    std::string name = port_;
    if (!name.empty() && name[0] == '/') {
        // A device path: the COMn of Ports.dat that names it, or COM1 standing in for it.
        if (const std::optional<unsigned> named = h.ports.NamingDevice(name)) {
            name = "COM" + std::to_string(*named);
        } else {
            h.ports.overrides[1] = name;
            name = "COM1";
        }
    }
    const ComboModel& com = h.ui.Combo(id::ComList);
    const int index = com.FindPrefix(name);
    if (index < 0 || com.items[static_cast<std::size_t>(index)].size() != name.size())
        return "unknown port " + port_;
    h.ui.Select(id::ComList, index);
    h.port.name = name;
    h.port.number = ComNameToPort(name);
    return {};
}

void TileFeed::RecordTo(const std::string& path, std::function<void(const std::string&)> onError) {
    RecordRuns(*host_, path, std::move(onError));
}

std::string TileFeed::Device() const {
    return host_->ports.Device(host_->port.number).value_or("");
}

void TileFeed::Identify() {
    if (Busy()) return;
    prompts_.lastMessage.clear();
    app_->dlg.OnCommand(id::ComList);
}

void TileFeed::StartUpdate() {
    if (Busy()) return;
    prompts_.lastMessage.clear();
    app_->dlg.OnCommand(id::Update);
}

void TileFeed::Stop(const std::string& why) { StopRun(host_->ops, why); }

void TileFeed::Abandon() {
    Host& h = *host_;
    h.shutdownRequested = true;
    if (h.run.Active())
        End(h.ops, Conclusion::Fail(Verdict::Abandoned, "the program closed during the run"),
            {.controls = std::nullopt});
}

bool TileFeed::Busy() const { return lumacrest::Busy(host_->ops); }

void TileFeed::LoadFlashFile(const std::string& path, std::optional<uint32_t> address) {
    prompts_.Clear();
    prompts_.QueueFile(path);
    prompts_.QueueLoadAddress(address);
    app_->dlg.OnCommand(id::LoadFlashFile);
    prompts_.Clear();
}

void TileFeed::LoadProject(const std::string& path) {
    prompts_.Clear();
    prompts_.QueueFile(path);
    app_->dlg.OnCommand(id::LoadProject);
    prompts_.Clear();
}

const std::string& TileFeed::Log() const { return host_->ui.LogText(); }

int TileFeed::Progress() const { return host_->ui.Progress(); }

std::string TileFeed::Stage() const {
    if (!host_->run.Active()) return {};
    return StageName(host_->run.CurrentStage());
}

std::string TileFeed::ProgrammerName() const { return host_->programmer.name; }
std::string TileFeed::Firmware() const { return host_->programmer.firmware; }
uint32_t TileFeed::NextSerialNumber() const { return host_->sn.SnValue; }
void TileFeed::SetNextSerialNumber(uint32_t value) { host_->sn.SnValue = value; }

void TileFeed::SaveSettings() {
    // The station's ports are its command line's: Config.dat keeps the port the classic
    // window had.
    Host& h = *host_;
    h.port.name = configPort_;
    h.port.number = ComNameToPort(configPort_);
    h.ui.Select(id::ComList, h.ui.Combo(id::ComList).FindPrefix(configPort_));
    app_->dlg.OnDestroy();
}

void TileFeed::LogAppended(const std::string&, bool) { Changed(); }
void TileFeed::ProgressChanged(int) { Changed(); }
void TileFeed::EnabledChanged(int, bool) { Changed(); }

void TileFeed::Changed() {
    if (events_.changed) events_.changed();
}

}  // namespace lumacrest
