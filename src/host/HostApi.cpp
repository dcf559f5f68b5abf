#include "host/HostApi.h"

#include <vector>

#include "host/CipherFileCommands.h"
#include "host/Config.h"
#include "host/DeviceCommands.h"
#include "host/ExToHexCommand.h"
#include "host/ImageFileCommands.h"
#include "host/ProjectCommands.h"
#include "host/SaveCommands.h"
#include "image/Checksums.h"
#include "image/DeviceCatalogue.h"
#include "ops/Discovery.h"
#include "ops/ReplyEngine.h"
#include "ops/FirmwareRewrite.h"
#include "ops/Runs.h"
#include "ops/Stopping.h"
#include "platform/DialogSessions.h"

namespace lumacrest::api {

namespace {

// The error messages the host tells while a command runs: the command's result.
class Told : private HostEvents {
public:
    explicit Told(Host& h) : view_(h.view) { view_.AddObserver(this); }
    ~Told() override { view_.RemoveObserver(this); }
    Told(const Told&) = delete;
    Told& operator=(const Told&) = delete;

    Result Take(std::string detail = {}) const {
        if (errors_.empty()) return {};
        return {false, errors_.front(), std::move(detail)};
    }

private:
    void Message(const std::string& text, MessageKind kind) override {
        if (kind == MessageKind::Error) errors_.push_back(text);
    }
    HostView& view_;
    std::vector<std::string> errors_;
};

// Commands that need the line, or change what a run uses, wait for the run to end.
std::optional<Result> RefusedWhileBusy(Host& h) {
    if (h.run.Kind() == RunKind::Scan) return Result{false, {}, "the port scan is under way"};
    Told told(h);
    if (RefuseWhileBusy(h.ops)) return told.Take();
    return std::nullopt;
}

std::string Reason(const std::string& path, const ReadError& refusal) {
    if (refusal.reason.empty()) return path + ": the file cannot be opened or read";
    if (refusal.line == 0) return path + ": " + refusal.reason;
    return path + ": line " + std::to_string(refusal.line) + ": " + refusal.reason;
}

template <typename Command>
Result Run(Host& h, const std::string& detail, Command command) {
    if (auto refused = RefusedWhileBusy(h)) return *refused;
    Told told(h);
    command();
    return told.Take(detail);
}

}  // namespace

std::string Result::Describe() const {
    std::string words = message;
    const std::size_t first = words.find_first_not_of("* ");
    const std::size_t last = words.find_last_not_of("* ");
    words = first == std::string::npos ? std::string() : words.substr(first, last - first + 1);
    if (words.empty()) return detail;
    return detail.empty() ? words : words + ": " + detail;
}

void Attach(Host& h) {
    AttachEngine(h.ops);
    if (h.platform.serial && h.platform.timers) h.link.Attach(h.serial(), h.timers());
}

void Open(Host& h) {
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

void Abandon(Host& h) {
    h.shutdownRequested = true;
    if (h.run.Active())
        End(h.ops, Conclusion::Fail(Verdict::Abandoned, "the program closed during the run"),
            {.controls = std::nullopt});
}

Result Close(Host& h) {
    Abandon(h);
    Told told(h);
    (void)WriteConfig(h);
    return told.Take(h.programDir + kConfigFileName);
}

bool Busy(const Host& h) {
    return lumacrest::Busy(h.ops);
}

Result ChooseMcu(Host& h, const std::string& name) {
    return Run(h, h.programDir + name + ".cfg", [&] {
        h.view.SelectMcu(h.view.AddMcu(name));
        OnSelchangeMcu(h);
    });
}

Result SetOptions(Host& h, const ProgramOptions& options) {
    if (options.programBoot && h.target.dev.BootAreaEnabled == 0)
        return {false, {}, "the device has no boot area: the boot option cannot be chosen"};
    h.view.ShowOptions(options);
    return {};
}

Result SetSerialNumber(Host& h, uint32_t value, uint32_t address) {
    if (auto refused = RefusedWhileBusy(h)) return *refused;
    SnSetSession session{value, address, h.target.dev.FlashSize};
    if (const std::optional<std::string> problem = session.Problem()) {
        h.view.Tell(*problem, MessageKind::Error);
        return {false, *problem, {}};
    }
    h.sn.SnValue = value;
    h.sn.SnAddress = address;
    return {};
}

Result LoadImage(Host& h, ImageTarget area, const std::string& path,
                 std::optional<uint32_t> offset) {
    if (auto refused = RefusedWhileBusy(h)) return *refused;
    Told told(h);
    ReadError why;
    bool loaded = false;
    switch (area) {
        case ImageTarget::Flash: loaded = LoadFlashImage(h, path, offset, &why); break;
        case ImageTarget::Boot: loaded = LoadBootImage(h, path, offset, &why); break;
        case ImageTarget::KeyCode: loaded = LoadKeyCodeImage(h, path, &why); break;
    }
    if (loaded) return told.Take(path);
    Result failed = told.Take(Reason(path, why));
    failed.ok = false;
    return failed;
}

Result Reload(Host& h) {
    return Run(h, {}, [&] { ReloadImageFiles(h); });
}

Result LoadProject(Host& h, const std::string& path) {
    if (auto refused = RefusedWhileBusy(h)) return *refused;
    Told told(h);
    const bool applied = lumacrest::LoadProject(h, path);
    Result result = told.Take(path);
    if (!applied) result.ok = false;
    return result;
}

Result SaveProject(Host& h, const std::string& path) {
    Told told(h);
    lumacrest::SaveProject(h, path);
    return told.Take(path);
}

Result Combine(Host& h, const std::string& path) {
    Told told(h);
    CombineMainAndBoot(h, path);
    return told.Take(path);
}

Result PackageUpdate(Host& h, const std::string& path) {
    return Run(h, path, [&] { PackageUpdateFile(h, path); });
}

Result UnpackUpdate(Host& h, const std::string& path) {
    return Run(h, path, [&] { UnpackUpdateFile(h, path); });
}

Result EncryptImage(Host& h) {
    return Run(h, {}, [&] { EncryptImageFile(h); });
}

Result DecryptImage(Host& h, const std::string& path) {
    return Run(h, path, [&] { DecryptImageFile(h, path); });
}

Result ConvertExToHex(Host& h, const std::string& path, std::chrono::milliseconds timeout) {
    Told told(h);
    lumacrest::ConvertExToHex(h, path, timeout);
    return told.Take(path);
}

void LogChecksums(Host& h) {
    ShowChecksums(h.view, h.target);
}

Result Connect(Host& h, const std::string& port) {
    const int index = h.view.PortList().FindPrefix(port);
    if (index < 0 || h.view.PortList().items[static_cast<std::size_t>(index)].size() != port.size())
        return {false, {}, "unknown port " + port + " (COM1..COM16 or USB)"};
    if (auto refused = RefusedWhileBusy(h)) return *refused;
    h.view.SelectPort(index);
    Told told(h);
    OnSelchangeCom(h.ops, port);
    return told.Take(port);
}

Result StartUpdate(Host& h) {
    return Run(h, {}, [&] { RunProgramOptions(h.ops); });
}

Result StartOperation(Host& h, SingleOperation operation, std::optional<bool> verifyAfterWrite) {
    return Run(h, {}, [&] { RunSingleOperation(h.ops, operation, verifyAfterWrite); });
}

Result StartFirmwareRewrite(Host& h) {
    return Run(h, {}, [&] { StartProgrammerUpdate(h.ops); });
}

void Stop(Host& h, const std::string& why) {
    StopRun(h.ops, why);
}

}  // namespace lumacrest::api
