#include "support/EngineHost.h"

#include "app/Application.h"

#include "image/DeviceCatalogue.h"
#include "ui/main/ResourceIds.h"

namespace lumacrest::test {

EngineHost::EngineHost(sim::BoxConfig config) {
    MapPorts({1});
    box = &port.AddBox(Device(1), std::move(config));
    app = std::make_unique<Application>(h());
    dlg = &app->dlg;
    h().port.number = 1;
    SetPageGeometry(h().target, 64, 16, 32, 4);
    h().target.FlashPagesToWrite = 16;
    h().target.BootPagesToWrite = 4;
}

void EngineHost::Tick(const ProgramOptions& options) {
    h().view.ShowOptions(options);
}

std::vector<SentFrame> EngineHost::Sent() const {
    std::vector<SentFrame> frames;
    for (const std::vector<uint8_t>& w : port.written) {
        if (w.size() < 6) continue;
        frames.push_back({w[2], std::vector<uint8_t>(w.begin() + 5, w.end() - 1)});
    }
    return frames;
}

std::vector<uint8_t> EngineHost::SentCodes() const {
    std::vector<uint8_t> codes;
    for (const SentFrame& f : Sent()) codes.push_back(f.code);
    return codes;
}

std::vector<std::string> EngineHost::RunLines() const {
    std::vector<std::string> lines = LogLines();
    std::size_t start = 0;
    for (std::size_t i = 0; i < lines.size(); ++i)
        if (lines[i] == HostView::kSeparatorEquals || lines[i] == HostView::kSeparatorStars)
            start = i + 1;
    return std::vector<std::string>(lines.begin() + static_cast<long>(start), lines.end());
}

bool EngineHost::AtRest() {
    return !h().run.Active() && !port.IsOpen() && !clock.Running(kReplyTimerId) && ControlsIdle();
}

}  // namespace lumacrest::test
