#include "host/HostApi.h"

#include <functional>
#include <utility>

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

// The first error message the operator is told while a command runs: the words of a failed
// result. Whether the command failed is its own to say.
class ErrorTold : private HostEvents {
public:
    explicit ErrorTold(Host& h) : view_(h.view) { view_.AddObserver(this); }
    ~ErrorTold() override { view_.RemoveObserver(this); }
    ErrorTold(const ErrorTold&) = delete;
    ErrorTold& operator=(const ErrorTold&) = delete;

    // The command's own verdict, with the message it told and `detail` when it failed.
    Result Take(bool ok, std::string detail = {}) const {
        if (ok) return Result::Ok();
        return {false, first_, std::move(detail)};
    }

private:
    void Message(const std::string& text, MessageKind kind) override {
        if (kind == MessageKind::Error && first_.empty()) first_ = text;
    }
    HostView& view_;
    std::string first_;
};

// A command that starts a run of the programmer: the run is under way when it returns, or it
// has ended already and its outcome says how; a command that started none was refused.
class RunStart {
public:
    explicit RunStart(Host& h) : h_(h), told_(h), previous_(std::move(h.onRunEnded)) {
        h_.onRunEnded = [this](const Outcome& outcome) {
            if (!ended_) ended_ = outcome;
            if (previous_) previous_(outcome);
        };
    }
    ~RunStart() { h_.onRunEnded = std::move(previous_); }
    RunStart(const RunStart&) = delete;
    RunStart& operator=(const RunStart&) = delete;

    Result Take(const std::string& detail = {}) const {
        if (ended_) {
            if (ended_->Passed()) return Result::Ok();
            // The outcome's words, where they say more than the message told.
            Result failed = told_.Take(false, detail);
            const Result toldOnly{false, failed.message, {}};
            if (ended_->text != failed.message && ended_->text != toldOnly.Describe())
                failed.detail = ended_->text;
            if (failed.message.empty() && failed.detail.empty())
                failed.detail = std::string("the run ended: ") + VerdictName(ended_->verdict);
            return failed;
        }
        if (lumacrest::Busy(h_.ops)) return Result::Ok();
        Result refused = told_.Take(false, detail);
        if (refused.message.empty() && refused.detail.empty()) refused.detail = "no run was started";
        return refused;
    }

private:
    Host& h_;
    ErrorTold told_;
    std::function<void(const Outcome&)> previous_;
    std::optional<Outcome> ended_;
};

// Commands that need the line, or change what a run uses, wait for the run to end.
std::optional<Result> RefusedWhileBusy(Host& h) {
    if (h.run.Kind() == RunKind::Scan) return Result{false, {}, "the port scan is under way"};
    if (RefuseWhileBusy(h.ops)) return Result{false, kProgrammerBusy, {}};
    return std::nullopt;
}

std::string Reason(const std::string& path, const ReadError& refusal) {
    if (refusal.reason.empty()) return path + ": the file cannot be opened or read";
    if (refusal.line == 0) return path + ": " + refusal.reason;
    return path + ": line " + std::to_string(refusal.line) + ": " + refusal.reason;
}

// A command of the host that says whether it did what it was asked.
template <typename Command>
Result Run(Host& h, const std::string& detail, Command command) {
    if (auto refused = RefusedWhileBusy(h)) return *refused;
    ErrorTold told(h);
    const bool done = command();
    return told.Take(done, detail);
}

// A command that starts a run.
template <typename Command>
Result Start(Host& h, const std::string& detail, Command command) {
    if (auto refused = RefusedWhileBusy(h)) return *refused;
    RunStart start(h);
    command();
    return start.Take(detail);
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
    ErrorTold told(h);
    const std::string path = h.programDir + kConfigFileName;
    return told.Take(WriteConfig(h), path + ": the file cannot be written");
}

bool Busy(const Host& h) {
    return lumacrest::Busy(h.ops);
}

Result ChooseMcu(Host& h, const std::string& name) {
    return Run(h, h.programDir + name + ".cfg", [&] {
        h.view.SelectMcu(h.view.AddMcu(name));
        return OnSelchangeMcu(h);
    });
}

Result SetOptions(Host& h, const ProgramOptions& options) {
    if (options.programBoot && h.target.dev.BootAreaEnabled == 0)
        return {false, {}, "the device has no boot area: the boot option cannot be chosen"};
    h.view.ShowOptions(options);
    return Result::Ok();
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
    return Result::Ok();
}

Result LoadImage(Host& h, ImageTarget area, const std::string& path,
                 std::optional<uint32_t> offset) {
    if (auto refused = RefusedWhileBusy(h)) return *refused;
    ErrorTold told(h);
    ReadError why;
    bool loaded = false;
    switch (area) {
        case ImageTarget::Flash: loaded = LoadFlashImage(h, path, offset, &why); break;
        case ImageTarget::Boot: loaded = LoadBootImage(h, path, offset, &why); break;
        case ImageTarget::KeyCode: loaded = LoadKeyCodeImage(h, path, &why); break;
    }
    return told.Take(loaded, Reason(path, why));
}

Result Reload(Host& h) {
    return Run(h, {}, [&] { return ReloadImageFiles(h); });
}

Result LoadProject(Host& h, const std::string& path) {
    return Run(h, path, [&] { return lumacrest::LoadProject(h, path); });
}

Result SaveProject(Host& h, const std::string& path) {
    ErrorTold told(h);
    return told.Take(lumacrest::SaveProject(h, path), path);
}

Result Combine(Host& h, const std::string& path) {
    ErrorTold told(h);
    return told.Take(CombineMainAndBoot(h, path), path);
}

Result PackageUpdate(Host& h, const std::string& path) {
    return Run(h, path, [&] { return PackageUpdateFile(h, path); });
}

Result UnpackUpdate(Host& h, const std::string& path) {
    return Run(h, path, [&] { return UnpackUpdateFile(h, path); });
}

Result EncryptImage(Host& h) {
    return Run(h, {}, [&] { return EncryptImageFile(h); });
}

Result DecryptImage(Host& h, const std::string& path) {
    return Run(h, path, [&] { return DecryptImageFile(h, path); });
}

Result ConvertExToHex(Host& h, const std::string& path, std::chrono::milliseconds timeout) {
    ErrorTold told(h);
    return told.Take(lumacrest::ConvertExToHex(h, path, timeout) != Conversion::Failed, path);
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
    RunStart start(h);
    OnSelchangeCom(h.ops, port);
    return start.Take(port);
}

Result StartUpdate(Host& h) {
    return Start(h, {}, [&] { RunProgramOptions(h.ops); });
}

Result StartOperation(Host& h, SingleOperation operation, std::optional<bool> verifyAfterWrite) {
    return Start(h, {}, [&] { RunSingleOperation(h.ops, operation, verifyAfterWrite); });
}

Result StartFirmwareRewrite(Host& h) {
    return Start(h, {}, [&] { StartProgrammerUpdate(h.ops); });
}

void Stop(Host& h, const std::string& why) {
    StopRun(h.ops, why);
}

}  // namespace lumacrest::api
