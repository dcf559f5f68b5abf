#include "cli/CliRunner.h"

#include <algorithm>

#include "link/Link.h"
#include "ops/Runs.h"
#include "ops/Stopping.h"
#include "platform/AtomicFile.h"
#include "ui/main/ResourceIds.h"

namespace lumacrest::cli {

namespace {
bool ReadsIntoFile(int id) {
    return id == id::ReadFlash || id == id::ReadBoot;
}
}  // namespace

CliRunner::CliRunner(Host& host, CMainDlg& dlg, ScriptedPrompts& prompts)
    : h_(host), dlg_(dlg), prompts_(prompts) {
    h_.view.AddObserver(this);
    h_.onRunEnded = [this](const Outcome& outcome) {
        ended_.push_back(outcome);
        if (!decisive_ || decisive_->Passed()) decisive_ = outcome;
    };
}

CliRunner::~CliRunner() { h_.view.RemoveObserver(this); }

void CliRunner::Message(const std::string& text, MessageKind kind) {
    if (kind == MessageKind::Error) errors_.push_back(text);
}

bool CliRunner::Fail(const std::string& why) {
    failed_ = true;
    if (reason_.empty()) reason_ = why;
    return false;
}

bool CliRunner::Busy() const {
    return lumacrest::Busy(h_.ops);
}

void CliRunner::Start(int id) {
    errors_.clear();
    ended_.clear();
    // After a stop nothing more is started.
    if (!interrupt_) dlg_.OnCommand(id);
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
    for (const std::string& error : errors_) {
        if (result.why.empty()) result.why = error;
        result.failed = true;
    }
    return result;
}

CliRunner::Result CliRunner::Dispatch(int id) {
    Start(id);
    // Whatever the command started runs until it has ended.
    while (Busy()) h_.timers().PumpEvents();
    return Collect();
}

bool CliRunner::LoadInputs(const CliOptions& o) {
    if (o.mcu) {
        h_.view.SelectMcu(h_.view.AddMcu(*o.mcu));
        if (Dispatch(id::McuList).failed) return Fail("the MCU " + *o.mcu + " could not be chosen");
    }
    if (o.project) {
        prompts_.QueueFile(*o.project);
        if (Dispatch(id::LoadProject).failed)
            return Fail("the project " + *o.project + " could not be loaded");
    }
    if (o.optionMask) {
        h_.view.SetOptionBits((*o.optionMask & 0x3Fu) | (h_.view.counter ? 0x40u : 0u));
        if (h_.target.dev.BootAreaEnabled == 0 && h_.view.Options().programBoot) {
            ProgramOptions options = h_.view.Options();
            options.programBoot = false;
            h_.view.ShowOptions(options);
            return Fail("the device has no boot area: the boot option cannot be chosen");
        }
    }
    if (o.sn || o.snAt) {
        prompts_.QueueSerialNumber(
            std::make_pair(o.sn.value_or(h_.sn.SnValue), o.snAt.value_or(h_.sn.SnAddress)));
        prompts_.QueueSerialNumber(std::nullopt);  // a refused OK ends in Cancel
        if (Dispatch(id::SnSet).failed) return Fail("the serial number settings were refused");
    }
    if (o.flash) {
        prompts_.QueueFile(*o.flash);
        prompts_.QueueLoadAddress(o.flashAt);
        if (Dispatch(id::LoadFlashFile).failed)
            return Fail("the flash image " + *o.flash + " could not be loaded");
    }
    if (o.boot) {
        prompts_.QueueFile(*o.boot);
        prompts_.QueueLoadAddress(o.bootAt);
        if (Dispatch(id::LoadBootFile).failed)
            return Fail("the boot image " + *o.boot + " could not be loaded");
    }
    if (o.keycode) {
        prompts_.QueueFile(*o.keycode);
        if (Dispatch(id::LoadKeyCode).failed)
            return Fail("the KeyCode " + *o.keycode + " could not be loaded");
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
    return true;
}

bool CliRunner::StartConnect(const CliOptions& o, const std::string& port) {
    if (failed_) return false;
    const CommandSpec& c = *o.command;
    // Commands that open the port themselves use the chosen one.
    if (!c.needsDevice && port.empty()) return true;
    if (!SelectPort(port)) return false;
    if (c.needsDevice) Start(id::ComList);
    return true;
}

bool CliRunner::FinishConnect(const CliOptions& o) {
    if (failed_) return false;
    if (!o.command->needsDevice) return true;
    if (o.command->commandId == id::ReserveP) return FinishIdentifyBeforeRewrite(o);
    const Result connected = Collect();
    if (connected.failed) return Fail(connected.why);
    // A programmer whose firmware was just rewritten must be restarted before operations.
    const bool needReady = o.command->commandId != 0;
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

bool CliRunner::StartCommand(const CliOptions& o) {
    if (failed_) return false;
    const CommandSpec& c = *o.command;
    if (c.commandId == 0 || rewrittenOnConnect_) return true;
    // The box was identified and the rewrite decided above: the window's question is answered.
    if (c.commandId == id::ReserveP) prompts_.QueueAnswer(true);
    if (c.needsArgument && !ReadsIntoFile(c.commandId)) prompts_.QueueFile(o.argument);
    Start(c.commandId);
    return true;
}

bool CliRunner::FinishCommand(const CliOptions& o) {
    if (failed_) return false;
    const CommandSpec& c = *o.command;
    if (c.commandId == 0 || rewrittenOnConnect_) return true;
    const Result done = Collect();
    if (done.failed) return Fail(done.why);
    if (ReadsIntoFile(c.commandId) && !WriteReadBack(o.argument, c.commandId == id::ReadFlash))
        return false;
    return true;
}

void CliRunner::HoldPort(bool hold) {
    h_.holdPortOpen = hold;
    if (!hold) h_.link.Close();
}

void CliRunner::BeginBoxWait() {
    ended_.clear();
    errors_.clear();
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
        return Fail("cannot write " + path);
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
