#include "cli/CliRunner.h"

#include <algorithm>

#include "link/Link.h"
#include "ops/Runs.h"
#include "ops/Stopping.h"
#include "platform/AtomicFile.h"
#include "ui/main/ResourceIds.h"

namespace lumacrest::cli {

CliRunner::CliRunner(Host& host, CMainDlg& dlg, ScriptedPrompts& prompts)
    : h_(host), dlg_(dlg), prompts_(prompts) {
    h_.onRunEnded = [this](const Outcome& outcome) { ended_.push_back(outcome); };
}

bool CliRunner::Fail(const std::string& why) {
    if (reason_.empty()) reason_ = why;
    return false;
}

CliRunner::Result CliRunner::Dispatch(int id) {
    // After a stop nothing more is started.
    if (interrupt_) return {true, reason_, {}};
    const std::size_t messages = prompts_.messages.size();
    ended_.clear();
    dlg_.OnCommand(id);
    // Whatever the command started runs until it has ended.
    while (Busy(h_.ops)) h_.timers().PumpEvents();
    Result result;
    result.outcomes = ended_;
    for (const Outcome& o : ended_) {
        if (o.Passed()) continue;
        result.failed = true;
        if (result.why.empty()) result.why = o.text;
    }
    for (std::size_t i = messages; i < prompts_.messages.size(); ++i) {
        if (prompts_.messages[i].icon != MsgIcon::Error) continue;
        if (result.why.empty()) result.why = prompts_.messages[i].text;
        result.failed = true;
    }
    return result;
}

bool CliRunner::LoadInputs(const CliOptions& o) {
    if (o.mcu) {
        ComboModel& mcu = h_.ui.Combo(id::McuList);
        auto it = std::find(mcu.items.begin(), mcu.items.end(), *o.mcu);
        if (it == mcu.items.end()) {
            mcu.items.push_back(*o.mcu);
            it = mcu.items.end() - 1;
        }
        h_.ui.Select(id::McuList, static_cast<int>(it - mcu.items.begin()));
        if (Dispatch(id::McuList).failed) return Fail("the MCU " + *o.mcu + " could not be chosen");
    }
    if (o.project) {
        prompts_.QueueFile(*o.project);
        if (Dispatch(id::LoadProject).failed) return Fail("the project " + *o.project + " could not be loaded");
    }
    if (o.optionMask) {
        const int boxes[] = {id::EraseChip, id::ProgramFlash, id::ProgramBoot,
                             id::ProgramKeyCode, id::EnableProtect, id::ProgramSn};
        for (int bit = 0; bit < 6; ++bit)
            h_.ui.SetCheck(boxes[bit], (*o.optionMask >> bit) & 1u ? 1 : 0);
        if (h_.target.dev.BootAreaEnabled == 0 && h_.ui.Checked(id::ProgramBoot)) {
            h_.ui.SetCheck(id::ProgramBoot, 0);
            return Fail("the device has no boot area: the boot option cannot be chosen");
        }
    }
    if (o.sn || o.snAt) {
        prompts_.QueueSerialNumber(std::make_pair(o.sn.value_or(h_.sn.SnValue), o.snAt.value_or(h_.sn.SnAddress)));
        prompts_.QueueSerialNumber(std::nullopt);  // a refused OK ends in Cancel
        if (Dispatch(id::SnSet).failed) return Fail("the serial number settings were refused");
    }
    if (o.flash) {
        prompts_.QueueFile(*o.flash);
        prompts_.QueueLoadAddress(o.flashAt);
        if (Dispatch(id::LoadFlashFile).failed) return Fail("the flash image " + *o.flash + " could not be loaded");
    }
    if (o.boot) {
        prompts_.QueueFile(*o.boot);
        prompts_.QueueLoadAddress(o.bootAt);
        if (Dispatch(id::LoadBootFile).failed) return Fail("the boot image " + *o.boot + " could not be loaded");
    }
    if (o.keycode) {
        prompts_.QueueFile(*o.keycode);
        if (Dispatch(id::LoadKeyCode).failed) return Fail("the KeyCode " + *o.keycode + " could not be loaded");
    }
    return true;
}

bool CliRunner::SelectPort(const CliOptions& o) {
    ComboModel& com = h_.ui.Combo(id::ComList);
    std::string name = o.port.value_or(h_.port.name);
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
    h_.ui.Select(id::ComList, index);
    h_.port.name = name;
    h_.port.number = ComNameToPort(name);
    return true;
}

bool CliRunner::Connect(const CliOptions& o, bool needReady) {
    if (!SelectPort(o)) return false;
    const Result connected = Dispatch(id::ComList);
    if (connected.failed) return Fail(connected.why);
    // A programmer whose firmware was just rewritten must be restarted before operations.
    for (const Outcome& o : connected.outcomes)
        if (needReady && o.kind == RunKind::FirmwareRewrite)
            return Fail("the programmer's firmware was rewritten: restart it before operations");
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
        prompts_.MessageBox("******File Save Failed******", MsgIcon::Error);
        return Fail("cannot write " + path);
    }
    return true;
}

int CliRunner::Run(const CliOptions& o) {
    const int status = RunCommand(o);
    // Config.dat's port line holds USB or COM1..COM16 only: a device path without a line of
    // its own in Ports.dat leaves it as it was.
    if (!unnamedDevice_.empty()) {
        h_.port.name = savedPortName_;
        h_.port.number = ComNameToPort(savedPortName_);
        h_.ui.Select(id::ComList, h_.ui.Combo(id::ComList).FindPrefix(savedPortName_));
        if (o.saveConfig)
            notes_.push_back("no line of Ports.dat names " + unnamedDevice_ +
                             ": Config.dat keeps the port " + savedPortName_);
    }
    if (interrupt_) return 128 + interrupt_;
    return status;
}

void CliRunner::Interrupt(int signal) {
    if (interrupt_) return;
    interrupt_ = signal;
    const char* name = signal == 2 ? "SIGINT" : signal == 15 ? "SIGTERM" : signal == 1 ? "SIGHUP"
                                                                                    : "a signal";
    StopRun(h_.ops, std::string("stopped by ") + name);
    Fail(std::string("stopped by ") + name);
}

int CliRunner::RunCommand(const CliOptions& o) {
    if (!LoadInputs(o)) return 1;
    const CommandSpec& c = *o.command;
    if (c.needsDevice && !Connect(o, c.commandId != 0)) return 1;
    // Commands that open the port themselves use the chosen one.
    if (!c.needsDevice && o.port && !SelectPort(o)) return 1;
    if (c.commandId != 0) {
        const bool readsIntoFile = c.commandId == id::ReadFlash || c.commandId == id::ReadBoot;
        if (c.needsArgument && !readsIntoFile) prompts_.QueueFile(o.argument);
        const Result done = Dispatch(c.commandId);
        if (done.failed) return Fail(done.why), 1;
        if (readsIntoFile && !WriteReadBack(o.argument, c.commandId == id::ReadFlash)) return 1;
    }
    return 0;
}

}  // namespace lumacrest::cli
