#include "cli/CliRunner.h"

#include <algorithm>

#include "link/Link.h"
#include "ops/Runs.h"
#include "ops/Stopping.h"
#include "platform/AtomicFile.h"

namespace lumacrest::cli {

namespace {
bool ReadsIntoFile(Action action) {
    return action == Action::ReadFlash || action == Action::ReadBoot;
}

std::optional<SingleOperation> OperationOf(Action action) {
    switch (action) {
        case Action::Erase: return SingleOperation::ChipErase;
        case Action::WriteFlash: return SingleOperation::WriteFlash;
        case Action::ReadFlash: return SingleOperation::ReadFlash;
        case Action::VerifyFlash: return SingleOperation::VerifyFlash;
        case Action::WriteBoot: return SingleOperation::WriteBoot;
        case Action::ReadBoot: return SingleOperation::ReadBoot;
        case Action::VerifyBoot: return SingleOperation::VerifyBoot;
        case Action::WriteKeyCode: return SingleOperation::WriteKeyCode;
        case Action::CheckKeyCode: return SingleOperation::CheckKeyCode;
        default: return std::nullopt;
    }
}
}  // namespace

CliRunner::CliRunner(Host& host) : h_(host) {
    h_.view.AddObserver(this);
}

CliRunner::~CliRunner() { h_.view.RemoveObserver(this); }

void CliRunner::RunEnded(const Outcome& outcome) {
    ended_.push_back(outcome);
    if (!decisive_ || decisive_->Passed()) decisive_ = outcome;
}

bool CliRunner::Fail(const std::string& why) {
    failed_ = true;
    if (reason_.empty()) reason_ = why;
    return false;
}

bool CliRunner::Busy() const {
    return api::Busy(h_);
}

void CliRunner::Start(const std::function<api::Result()>& operation) {
    started_.reset();
    ended_.clear();
    // After a stop nothing more is started.
    if (!interrupt_) started_ = operation();
}

CliRunner::Result CliRunner::Collect() {
    Result result;
    if (interrupt_) {
        result.failed = true;
        result.why = reason_;
    }
    result.outcomes = ended_;
    for (const Outcome& o : ended_) {
        if (o.Passed()) continue;
        result.failed = true;
        if (result.why.empty()) result.why = o.text;
    }
    if (started_ && !*started_) {
        result.failed = true;
        if (result.why.empty()) result.why = started_->Describe();
    }
    return result;
}

CliRunner::Result CliRunner::Dispatch(const std::function<api::Result()>& operation) {
    Start(operation);
    // Whatever the operation started runs until it has ended.
    while (Busy()) h_.timers().PumpEvents();
    return Collect();
}

bool CliRunner::LoadInputs(const CliOptions& o) {
    if (o.mcu) {
        const Result chosen = Dispatch([&] { return api::ChooseMcu(h_, *o.mcu); });
        if (chosen.failed) return Fail(chosen.why);
    }
    if (o.project) {
        h_.view.WriteSeparator();
        const Result loaded = Dispatch([&] { return api::LoadProject(h_, *o.project); });
        if (loaded.failed) return Fail(loaded.why);
    }
    if (o.optionMask) {
        ProgramOptions options;
        options.eraseChip = *o.optionMask & 1u;
        options.programFlash = *o.optionMask & 2u;
        options.programBoot = *o.optionMask & 4u;
        options.programKeyCode = *o.optionMask & 8u;
        options.enableProtect = *o.optionMask & 16u;
        options.programSn = *o.optionMask & 32u;
        const Result set = Dispatch([&] { return api::SetOptions(h_, options); });
        if (set.failed) return Fail(set.why);
    }
    if (o.sn || o.snAt) {
        const Result set = Dispatch([&] {
            return api::SetSerialNumber(h_, o.sn.value_or(h_.sn.SnValue), o.snAt.value_or(h_.sn.SnAddress));
        });
        if (set.failed) return Fail(set.why);
    }
    const std::pair<const std::optional<std::string>*, ImageTarget> images[] = {
        {&o.flash, ImageTarget::Flash}, {&o.boot, ImageTarget::Boot}, {&o.keycode, ImageTarget::KeyCode}};
    for (const auto& [path, area] : images) {
        if (!*path) continue;
        h_.view.WriteSeparator();
        const uint32_t at = area == ImageTarget::Boot ? o.bootAt : o.flashAt;
        const Result loaded = Dispatch([&, path = path, area = area] {
            return api::LoadImage(h_, area, **path, area == ImageTarget::KeyCode ? std::nullopt : std::optional<uint32_t>(at));
        });
        if (loaded.failed) return Fail(loaded.why);
    }
    return true;
}

bool CliRunner::SelectPort(const std::string& port) {
    const ChoiceList& com = h_.view.PortList();
    std::string name = port.empty() ? h_.port.name : port;
    if (!name.empty() && name[0] == '/') {
        // A device path: the COMn of Ports.dat that names it, or COM1 standing in for it in
        // this run, whose name Config.dat does not keep.
        if (const std::optional<unsigned> named = h_.ports.NamingDevice(name)) {
            name = "COM" + std::to_string(*named);
        } else {
            h_.ports.overrides[1] = name;
            unnamedDevice_ = name;
            savedPortName_ = h_.port.name;
            name = "COM1";
        }
    }
    const int index = com.FindPrefix(name);
    if (index < 0 || com.items[static_cast<std::size_t>(index)].size() != name.size())
        return Fail("unknown port " + name + " (COM1..COM16, USB or a device path)");
    h_.view.SelectPort(index);
    h_.port.name = name;
    h_.port.number = ComNameToPort(name);
    chosenPort_ = name;
    return true;
}

bool CliRunner::StartConnect(const CliOptions& o, const std::string& port) {
    if (failed_) return false;
    const CommandSpec& c = *o.command;
    // Commands that open the port themselves use the chosen one.
    if (!c.needsDevice && port.empty()) return true;
    if (!SelectPort(port)) return false;
    if (c.needsDevice) Start([this] { return api::Connect(h_, chosenPort_); });
    return true;
}

bool CliRunner::FinishConnect(const CliOptions& o) {
    if (failed_) return false;
    if (!o.command->needsDevice) return true;
    if (o.command->action == Action::ProgrammerUpdate) return FinishIdentifyBeforeRewrite(o);
    const Result connected = Collect();
    if (connected.failed) return Fail(connected.why);
    // A programmer whose firmware was just rewritten must be restarted before operations.
    const bool needReady = o.command->action != Action::None;
    for (const Outcome& outcome : connected.outcomes)
        if (needReady && outcome.kind == RunKind::FirmwareRewrite)
            return Fail("the programmer's firmware was rewritten: restart it before operations");
    return true;
}

bool CliRunner::FinishIdentifyBeforeRewrite(const CliOptions& o) {
    const Result connected = Collect();
    // A box on its maintenance firmware was rewritten by the identification: that was the
    // command.
    for (const Outcome& outcome : connected.outcomes)
        if (outcome.kind == RunKind::FirmwareRewrite) {
            rewrittenOnConnect_ = true;
            return connected.failed ? Fail(connected.why) : true;
        }
    const ProgrammerState& p = h_.programmer;
    if (p.firmware.empty()) return Fail(connected.why.empty() ? "no programmer answered" : connected.why);
    // Older firmware is refused for operations: that is what the rewrite is for.
    const std::string current = std::to_string(p.firmwareMajor) + "." + std::to_string(p.firmwareMinor);
    if (p.firmware == current && !o.force)
        return Fail("the programmer on " + h_.port.name + " runs the current firmware V" + current +
                    ": --force rewrites it anyway");
    return true;
}

api::Result CliRunner::StartAction(const CliOptions& o) {
    const Action action = o.command->action;
    if (const std::optional<SingleOperation> operation = OperationOf(action))
        return api::StartOperation(h_, *operation);
    const std::string& file = o.argument;
    switch (action) {
        case Action::Update: return api::StartUpdate(h_);
        // The box was identified and the rewrite decided before.
        case Action::ProgrammerUpdate: return api::StartFirmwareRewrite(h_);
        case Action::Checksum: api::LogChecksums(h_); return api::Result::Ok();
        case Action::SaveProject: return api::SaveProject(h_, file);
        case Action::Combine: return api::Combine(h_, file);
        case Action::PackageUpdate: return api::PackageUpdate(h_, file);
        case Action::UnpackUpdate: return api::UnpackUpdate(h_, file);
        case Action::EncryptImage: return api::EncryptImage(h_);
        case Action::DecryptImage: return api::DecryptImage(h_, file);
        case Action::ExToHex: return api::ConvertExToHex(h_, file);
        default: return {false, {}, "the command has nothing to run"};
    }
}

bool CliRunner::StartCommand(const CliOptions& o) {
    if (failed_) return false;
    if (o.command->action == Action::None || rewrittenOnConnect_) return true;
    Start([this, &o] { return StartAction(o); });
    return true;
}

bool CliRunner::FinishCommand(const CliOptions& o) {
    if (failed_) return false;
    const CommandSpec& c = *o.command;
    if (c.action == Action::None || rewrittenOnConnect_) return true;
    const Result done = Collect();
    if (done.failed) return Fail(done.why);
    if (ReadsIntoFile(c.action) && !WriteReadBack(o.argument, c.action == Action::ReadFlash))
        return false;
    return true;
}

void CliRunner::HoldPort(bool hold) {
    h_.holdPortOpen = hold;
    if (!hold) h_.link.Close();
}

void CliRunner::BeginBoxWait() {
    ended_.clear();
    started_.reset();
}

bool CliRunner::FinishBoxWait() {
    if (failed_) return false;
    const Result done = Collect();
    if (done.failed) return Fail(done.why);
    return true;
}

bool CliRunner::WriteReadBack(const std::string& path, bool flash) {
    const ImageBuffers& b = h_.target.buf();
    const std::string bytes =
        flash ? std::string(reinterpret_cast<const char*>(b.flash.data()),
                            std::min<std::size_t>(h_.target.dev.FlashSize, kFlashBufferSize))
              : std::string(reinterpret_cast<const char*>(b.boot.data()),
                            std::min<std::size_t>(h_.target.dev.BootSize, kBootBufferSize));
    if (!WriteFileAtomically(path, bytes)) {
        h_.view.Tell("******File Save Failed******", MessageKind::Error);
        return Fail("File Save Failed: cannot write " + path);
    }
    return true;
}

void CliRunner::KeepConfigPort(const CliOptions& o) {
    // Config.dat's port line holds USB or COM1..COM16 only: a device path without a line of
    // its own in Ports.dat leaves it as it was.
    if (unnamedDevice_.empty()) return;
    h_.port.name = savedPortName_;
    h_.port.number = ComNameToPort(savedPortName_);
    h_.view.SelectPort(h_.view.PortList().FindPrefix(savedPortName_));
    if (o.saveConfig)
        notes_.push_back("no line of Ports.dat names " + unnamedDevice_ +
                         ": Config.dat keeps the port " + savedPortName_);
}

int CliRunner::Run(const CliOptions& o, const std::string& port) {
    auto wait = [this] {
        while (Busy()) h_.timers().PumpEvents();
    };
    if (LoadInputs(o) && StartConnect(o, port)) {
        wait();
        if (FinishConnect(o) && StartCommand(o)) {
            wait();
            FinishCommand(o);
        }
    }
    KeepConfigPort(o);
    return Status();
}

int CliRunner::Status() const {
    if (interrupt_) return 128 + interrupt_;
    return failed_ ? 1 : 0;
}

void CliRunner::Interrupt(int signal) {
    const char* name = signal == 2 ? "SIGINT" : signal == 15 ? "SIGTERM" : signal == 1 ? "SIGHUP"
                                                                                    : "a signal";
    if (interrupt_) {
        StopRunNow(h_.ops, std::string("stopped by a second ") + name);
        return;
    }
    interrupt_ = signal;
    StopRun(h_.ops, std::string("stopped by ") + name);
    Fail(std::string("stopped by ") + name);
}

}  // namespace lumacrest::cli
