#include "ui/station/TileFeed.h"

#include "host/Host.h"
#include "host/HostApi.h"
#include "host/RunRecords.h"
#include "link/Ports.h"

namespace lumacrest {

TileFeed::TileFeed(const std::string& programDir, const std::string& port,
                   const TilePlatform& platform, Events events)
    : port_(port), events_(std::move(events)), host_(std::make_unique<Host>()) {
    Host& h = *host_;
    h.programDir = programDir;
    h.platform = {&prompts_, platform.shell, platform.serial, platform.timers, platform.processes,
                  platform.serials};
    api::Attach(h);
    h.view.AddObserver(this);
}

TileFeed::~TileFeed() { host_->view.RemoveObserver(this); }

std::string TileFeed::Init() {
    Host& h = *host_;
    api::Open(h);
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
    const ChoiceList& com = h.view.PortList();
    const int index = com.FindPrefix(name);
    if (index < 0 || com.items[static_cast<std::size_t>(index)].size() != name.size())
        return "unknown port " + port_;
    h.view.SelectPort(index);
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
    (void)api::Connect(*host_, host_->port.name);  // a refusal is told as a message
}

void TileFeed::StartUpdate() {
    if (Busy()) return;
    (void)api::StartUpdate(*host_);  // a refusal is told as a message and ends as a run
}

void TileFeed::Stop(const std::string& why) { api::Stop(*host_, why); }

void TileFeed::Abandon() { api::Abandon(*host_); }

bool TileFeed::Busy() const { return api::Busy(*host_); }

void TileFeed::LoadFlashFile(const std::string& path, std::optional<uint32_t> address) {
    host_->view.WriteSeparator();
    (void)api::LoadImage(*host_, ImageTarget::Flash, path, address);
}

void TileFeed::LoadProject(const std::string& path) {
    host_->view.WriteSeparator();
    (void)api::LoadProject(*host_, path);
}

void TileFeed::LoadBootFile(const std::string& path, std::optional<uint32_t> address) {
    host_->view.WriteSeparator();
    (void)api::LoadImage(*host_, ImageTarget::Boot, path, address);
}

void TileFeed::LoadKeyCode(const std::string& path) {
    host_->view.WriteSeparator();
    (void)api::LoadImage(*host_, ImageTarget::KeyCode, path);
}

std::string TileFeed::SetSerialNumber(uint32_t value, uint32_t address) {
    const api::Result result = api::SetSerialNumber(*host_, value, address);
    return result ? std::string() : result.Describe();  // its message was told
}

std::string TileFeed::SetOptions(const ProgramOptions& options) {
    const api::Result result = api::SetOptions(*host_, options);
    if (result) return {};
    // Not told by the host: the tile shows it.
    if (events_.message) events_.message(result.Describe());
    return result.Describe();
}

ProgramOptions TileFeed::Options() const { return host_->view.Options(); }
uint32_t TileFeed::SerialNumberAddress() const { return host_->sn.SnAddress; }
uint32_t TileFeed::FlashSize() const { return host_->target.dev.FlashSize; }

const std::string& TileFeed::Log() const { return host_->view.LogText(); }

int TileFeed::Progress() const { return host_->view.Progress(); }

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
    h.view.SelectPort(h.view.PortList().FindPrefix(configPort_));
    (void)api::Close(h);  // a Config.dat that cannot be written is told as a message
}

void TileFeed::LogAppended(const std::string&, bool) { Changed(); }
void TileFeed::ProgressChanged(int) { Changed(); }
void TileFeed::ControlsChanged(ControlState) { Changed(); }

void TileFeed::Message(const std::string& text, MessageKind) {
    if (events_.message) events_.message(text);
}

void TileFeed::RunEnded(const Outcome& outcome) {
    if (events_.runEnded) events_.runEnded(outcome);
}

void TileFeed::Changed() {
    if (events_.changed) events_.changed();
}

}  // namespace lumacrest
