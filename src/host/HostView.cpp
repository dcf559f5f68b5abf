#include "host/HostView.h"

#include <algorithm>
#include <cctype>

namespace lumacrest {

int ChoiceList::FindPrefix(const std::string& prefix) const {
    for (std::size_t i = 0; i < items.size(); ++i) {
        const std::string& item = items[i];
        if (item.size() < prefix.size()) continue;
        bool match = true;
        for (std::size_t k = 0; k < prefix.size(); ++k) {
            if (std::tolower(static_cast<unsigned char>(item[k])) !=
                std::tolower(static_cast<unsigned char>(prefix[k]))) {
                match = false;
                break;
            }
        }
        if (match) return static_cast<int>(i);
    }
    return -1;
}

int ChoiceList::Find(const std::string& name) const {
    const auto it = std::find(items.begin(), items.end(), name);
    return it == items.end() ? -1 : static_cast<int>(it - items.begin());
}

std::string ChoiceList::SelectedText() const {
    if (selected < 0 || selected >= static_cast<int>(items.size())) return {};
    return items[static_cast<std::size_t>(selected)];
}

HostView::HostView() {
    com_.items = {"USB"};
    for (int n = 1; n <= 16; ++n) com_.items.push_back("COM" + std::to_string(n));
    mcu_.items = {"MN101EF51A_IAP"};
}

void HostView::AddObserver(HostEvents* observer) { observers_.push_back(observer); }

void HostView::RemoveObserver(HostEvents* observer) {
    observers_.erase(std::remove(observers_.begin(), observers_.end(), observer),
                     observers_.end());
}

void HostView::NotifyLog(const std::string& text, bool cleared) {
    for (HostEvents* o : observers_) o->LogAppended(text, cleared);
}

void HostView::AppendLog(const std::string& text) {
    std::string piece = "\n" + text;
    log_ += piece;
    NotifyLog(piece, false);
}

void HostView::AppendLogRaw(const std::string& text) {
    bool cleared = false;
    if (log_.size() > kLogClearThreshold) {
        log_.clear();
        cleared = true;
    }
    log_ += text;
    NotifyLog(text, cleared);
}

void HostView::ClearLog() {
    log_.clear();
    NotifyLog("", true);
}

std::string HostView::CurrentLine() const {
    const std::size_t newline = log_.rfind('\n');
    return newline == std::string::npos ? log_ : log_.substr(newline + 1);
}

void HostView::WriteSeparator() {
    AppendLog(separatorToggle ? kSeparatorStars : kSeparatorEquals);
    separatorToggle = !separatorToggle;
}

void HostView::SetProgress(int position) {
    progress_ = position;
    for (HostEvents* o : observers_) o->ProgressChanged(position);
}

void HostView::SetControls(ControlState state) {
    controls_ = state;
    for (HostEvents* o : observers_) o->ControlsChanged(state);
}

void HostView::Tell(const std::string& text, MessageKind kind) {
    for (HostEvents* o : observers_) o->Message(text, kind);
}

void HostView::RunEnded(const Outcome& outcome) {
    for (HostEvents* o : observers_) o->RunEnded(outcome);
}

void HostView::ShowOptions(const ProgramOptions& options) {
    options_ = options;
    for (HostEvents* o : observers_) o->OptionsChanged(options_);
}

uint32_t HostView::OptionBits() const {
    const ProgramOptions& o = options_;
    return (o.eraseChip ? 1u : 0u) | (o.programFlash ? 2u : 0u) | (o.programBoot ? 4u : 0u) |
           (o.programKeyCode ? 8u : 0u) | (o.enableProtect ? 16u : 0u) | (o.programSn ? 32u : 0u) |
           (counter ? 64u : 0u);
}

void HostView::SetOptionBits(uint32_t bits) {
    ProgramOptions o;
    o.eraseChip = bits & 1u;
    o.programFlash = bits & 2u;
    o.programBoot = bits & 4u;
    o.programKeyCode = bits & 8u;
    o.enableProtect = bits & 16u;
    o.programSn = bits & 32u;
    counter = bits & 64u;
    ShowOptions(o);
}

void HostView::SetBootOptionAvailable(bool available) {
    bootAvailable_ = available;
    for (HostEvents* o : observers_) o->BootOptionAvailable(available);
    if (!available && options_.programBoot) {
        ProgramOptions o = options_;
        o.programBoot = false;
        ShowOptions(o);
    }
}

void HostView::SelectMcu(int index) {
    mcu_.selected = (index >= 0 && index < static_cast<int>(mcu_.items.size())) ? index : -1;
    for (HostEvents* o : observers_) o->McuChanged(mcu_.selected);
}

void HostView::SelectPort(int index) {
    com_.selected = (index >= 0 && index < static_cast<int>(com_.items.size())) ? index : -1;
    for (HostEvents* o : observers_) o->PortChanged(com_.selected);
}

int HostView::AddMcu(const std::string& name) {
    if (const int found = mcu_.Find(name); found >= 0) return found;
    mcu_.items.push_back(name);
    return static_cast<int>(mcu_.items.size()) - 1;
}

void HostView::ShowMcu(const std::string& name) {
    const int exact = mcu_.Find(name);
    SelectMcu(exact >= 0 ? exact : mcu_.FindPrefix(name));
}

}  // namespace lumacrest
