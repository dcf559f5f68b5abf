#include "cli/CliRunner.h"

#include <algorithm>

#include "link/Link.h"
#include "platform/AtomicFile.h"
#include "ui/main/ResourceIds.h"

namespace lumacrest::cli {

TrackingTimers::TrackingTimers(Timers& inner) : inner_(inner) {
    inner_.onTimer = [this](int timerId) {
        running_.erase(std::remove(running_.begin(), running_.end(), timerId), running_.end());
        if (onTimer) onTimer(timerId);
    };
}

void TrackingTimers::Start(int timerId, uint32_t periodMs) {
    if (!Running(timerId)) running_.push_back(timerId);
    inner_.Start(timerId, periodMs);
}

void TrackingTimers::Stop(int timerId) {
    running_.erase(std::remove(running_.begin(), running_.end(), timerId), running_.end());
    inner_.Stop(timerId);
}

bool TrackingTimers::Running(int timerId) const {
    return std::find(running_.begin(), running_.end(), timerId) != running_.end();
}

CliRunner::CliRunner(Host& host, CMainDlg& dlg, ScriptedPrompts& prompts, TrackingTimers& timers,
                     RunJudge& judge)
    : h_(host), dlg_(dlg), prompts_(prompts), timers_(timers), judge_(judge) {}

bool CliRunner::Fail(const std::string& why) {
    if (reason_.empty()) reason_ = why;
    return false;
}

void CliRunner::WaitUntilIdle() {
    // A command is outstanding while its reply timer runs; every way a command ends (its
    // reply, its time-out, a failed connect) stops that timer.
    while (timers_.Running(kReplyTimerId)) timers_.PumpEvents();
}

void CliRunner::Dispatch(int id) {
    dlg_.OnCommand(id);
    WaitUntilIdle();
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
        Dispatch(id::McuList);
        if (judge_.Failed()) return Fail("the MCU " + *o.mcu + " could not be chosen");
    }
    if (o.project) {
        prompts_.QueueFile(*o.project);
        Dispatch(id::LoadProject);
        if (judge_.Failed()) return Fail("the project " + *o.project + " could not be loaded");
    }
    if (o.optionMask) {
        const int boxes[] = {id::EraseChip, id::ProgramFlash, id::ProgramBoot,
                             id::ProgramKeyCode, id::EnableProtect, id::ProgramSn};
        for (int bit = 0; bit < 6; ++bit)
            h_.ui.SetCheck(boxes[bit], (*o.optionMask >> bit) & 1u ? 1 : 0);
        if (h_.dev.BootAreaEnabled == 0 && h_.ui.Checked(id::ProgramBoot)) {
            h_.ui.SetCheck(id::ProgramBoot, 0);
            return Fail("the device has no boot area: the boot option cannot be chosen");
        }
    }
    if (o.sn || o.snAt) {
        prompts_.QueueSerialNumber(std::make_pair(o.sn.value_or(h_.SnValue), o.snAt.value_or(h_.SnAddress)));
        prompts_.QueueSerialNumber(std::nullopt);  // a refused OK ends in Cancel
        Dispatch(id::SnSet);
        if (judge_.Failed()) return Fail("the serial number settings were refused");
    }
    if (o.flash) {
        prompts_.QueueFile(*o.flash);
        prompts_.QueueLoadAddress(o.flashAt);
        Dispatch(id::LoadFlashFile);
        if (judge_.Failed()) return Fail("the flash image " + *o.flash + " could not be loaded");
    }
    if (o.boot) {
        prompts_.QueueFile(*o.boot);
        prompts_.QueueLoadAddress(o.bootAt);
        Dispatch(id::LoadBootFile);
        if (judge_.Failed()) return Fail("the boot image " + *o.boot + " could not be loaded");
    }
    if (o.keycode) {
        prompts_.QueueFile(*o.keycode);
        Dispatch(id::LoadKeyCode);
        if (judge_.Failed()) return Fail("the KeyCode " + *o.keycode + " could not be loaded");
    }
    return true;
}

bool CliRunner::SelectPort(const CliOptions& o) {
    ComboModel& com = h_.ui.Combo(id::ComList);
    std::string name = o.port.value_or(h_.portName);
    if (!name.empty() && name[0] == '/') {
        // A device path: it stands in for COM1 for this run.
        h_.portDeviceOverrides[1] = name;
        name = "COM1";
    }
    const int index = com.FindPrefix(name);
    if (index < 0 || com.items[static_cast<std::size_t>(index)].size() != name.size())
        return Fail("unknown port " + name + " (COM1..COM16, USB or a device path)");
    h_.ui.Select(id::ComList, index);
    h_.portName = name;
    h_.portNumber = ComNameToPort(name);
    return true;
}

bool CliRunner::Connect(const CliOptions& o, bool needReady) {
    if (!SelectPort(o)) return false;
    Dispatch(id::ComList);
    if (judge_.Failed()) return Fail("no programmer found");
    // A programmer that fits this host leaves the window idle; a firmware that had to be
    // rewritten or must be updated leaves only the COM list usable.
    if (needReady && !h_.ui.IsEnabled(id::Update))
        return Fail("the programmer is not ready for operations");
    return true;
}

bool CliRunner::WriteReadBack(const std::string& path, bool flash) {
    const ImageBuffers& b = h_.buf();
    const std::string bytes =
        flash ? std::string(reinterpret_cast<const char*>(b.flash.data()),
                            std::min<std::size_t>(h_.dev.FlashSize, kFlashBufferSize))
              : std::string(reinterpret_cast<const char*>(b.boot.data()),
                            std::min<std::size_t>(h_.dev.BootSize, kBootBufferSize));
    if (!WriteFileAtomically(path, bytes)) {
        prompts_.MessageBox("******File Save Failed******", MsgIcon::Error);
        return Fail("cannot write " + path);
    }
    return true;
}

int CliRunner::Run(const CliOptions& o) {
    if (!LoadInputs(o)) return 1;
    const CommandSpec& c = *o.command;
    if (c.needsDevice && !Connect(o, c.commandId != 0)) return 1;
    // Commands that open the port themselves use the chosen one.
    if (!c.needsDevice && o.port && !SelectPort(o)) return 1;
    if (c.commandId != 0) {
        const bool readsIntoFile = c.commandId == id::ReadFlash || c.commandId == id::ReadBoot;
        if (c.needsArgument && !readsIntoFile) prompts_.QueueFile(o.argument);
        Dispatch(c.commandId);
        if (judge_.Failed()) return Fail(judge_.Reason()), 1;
        if (readsIntoFile && !WriteReadBack(o.argument, c.commandId == id::ReadFlash)) return 1;
    }
    return judge_.Failed() ? (Fail(judge_.Reason()), 1) : 0;
}

}  // namespace lumacrest::cli
