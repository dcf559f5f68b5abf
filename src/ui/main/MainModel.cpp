#include "ui/main/MainModel.h"

#include <algorithm>
#include <cctype>
#include <stdexcept>

#include "ui/main/MenuResource.h"
#include "ui/main/ResourceIds.h"

namespace lumacrest {

int ComboModel::FindPrefix(const std::string& prefix) const {
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

std::string ComboModel::SelectedText() const {
    if (selected < 0 || selected >= static_cast<int>(items.size())) return {};
    return items[static_cast<std::size_t>(selected)];
}

namespace {
// Menu items greyed by DisableOperationControls and (minus 32771 and 32777) by
// EnableOperationControls.
constexpr int kOperationMenuItems[] = {
    id::LoadFlashFile, id::LoadKeyCode, id::LoadProject, id::SaveProject, id::FlashBuffer,
    id::BootBuffer,    id::KeyCodeSet,  id::CheckSum,    id::SnSet,       id::ChipErase,
    id::WriteFlash,    id::VerifyFlash, id::UserHelp,    id::About,       id::WriteBoot,
    id::ReadBoot,      id::VerifyBoot,  id::ReadFlash,   id::WriteKeyCode, id::CheckKeyCodeCmd,
    id::LoadBootFile};
constexpr int kOperationDialogItems[] = {id::EraseChip,  id::ProgramFlash, id::ProgramKeyCode,
                                         id::EnableProtect, id::ProgramSn, id::ProgramBoot,
                                         id::Counter,    id::ComList,      id::McuList,
                                         id::LoadFile,   id::Update};
}  // namespace

MainModel::MainModel() {
    for (const MenuPopup& popup : MainMenuResource()) {
        popupEnabled_.push_back(popup.enabled);
        for (const MenuItem& item : popup.items)
            if (item.id != 0) enabled_[item.id] = item.enabled;
    }
    for (int control : kOperationDialogItems) enabled_[control] = true;
    enabled_[id::CheckKeyCode] = false;  // created disabled
    enabled_[id::Configer] = true;
    com_.items = {"USB"};
    for (int n = 1; n <= 16; ++n) com_.items.push_back("COM" + std::to_string(n));
    mcu_.items = {"MN101EF51A_IAP"};
    checks_[id::CheckKeyCode] = 1;
}

void MainModel::AddObserver(MainModelObserver* observer) { observers_.push_back(observer); }

void MainModel::RemoveObserver(MainModelObserver* observer) {
    observers_.erase(std::remove(observers_.begin(), observers_.end(), observer),
                     observers_.end());
}

void MainModel::NotifyLog(const std::string& text, bool cleared) {
    for (MainModelObserver* o : observers_) o->LogAppended(text, cleared);
}

void MainModel::AppendLog(const std::string& text) {
    std::string piece = "\n" + text;
    log_ += piece;
    NotifyLog(piece, false);
}

void MainModel::AppendLogRaw(const std::string& text) {
    bool cleared = false;
    if (log_.size() > kLogClearThreshold) {
        log_.clear();
        cleared = true;
    }
    log_ += text;
    NotifyLog(text, cleared);
}

std::string MainModel::CurrentLine() const {
    const std::size_t newline = log_.rfind('\n');
    return newline == std::string::npos ? log_ : log_.substr(newline + 1);
}

void MainModel::WriteSeparator() {
    AppendLog(separatorToggle ? kSeparatorStars : kSeparatorEquals);
    separatorToggle = !separatorToggle;
}

void MainModel::SetProgress(int position) {
    progress_ = position;
    for (MainModelObserver* o : observers_) o->ProgressChanged(position);
}

void MainModel::SetEnabled(int id, bool enabled) {
    enabled_[id] = enabled;
    for (MainModelObserver* o : observers_) o->EnabledChanged(id, enabled);
}

bool MainModel::IsEnabled(int id) const {
    auto it = enabled_.find(id);
    return it != enabled_.end() && it->second;
}

bool MainModel::PopupEnabled(std::size_t index) const {
    return index < popupEnabled_.size() && popupEnabled_[index];
}

void MainModel::SetCheck(int id, int value) {
    checks_[id] = value;
    for (MainModelObserver* o : observers_) o->CheckChanged(id, value);
}

int MainModel::Check(int id) const {
    auto it = checks_.find(id);
    return it == checks_.end() ? 0 : it->second;
}

ComboModel& MainModel::Combo(int listId) {
    if (listId == id::ComList) return com_;
    if (listId == id::McuList) return mcu_;
    throw std::invalid_argument("no such list");
}

const ComboModel& MainModel::Combo(int listId) const {
    return const_cast<MainModel*>(this)->Combo(listId);
}

void MainModel::Select(int listId, int index) {
    ComboModel& combo = Combo(listId);
    combo.selected = (index >= 0 && index < static_cast<int>(combo.items.size())) ? index : -1;
    for (MainModelObserver* o : observers_) o->SelectionChanged(listId, combo.selected);
}

void MainModel::DisableOperationControls() {
    for (int item : kOperationMenuItems) SetEnabled(item, false);
    for (int control : kOperationDialogItems) SetEnabled(control, false);
    SetEnabled(id::ReserveJia, true);
}

void MainModel::EnableOperationControls() {
    for (int item : kOperationMenuItems)
        SetEnabled(item, item == id::LoadFlashFile || item == id::FlashBuffer);
    SetEnabled(id::ReserveJia, false);
    for (int control : kOperationDialogItems) SetEnabled(control, true);
}

void MainModel::SetControls(ControlState state) {
    switch (state) {
        case ControlState::Busy:
            DisableOperationControls();
            break;
        case ControlState::Idle:
            EnableOperationControls();
            break;
        case ControlState::OnlyComList:
            DisableOperationControls();
            SetEnabled(id::ComList, true);
            break;
        case ControlState::ComListEnabled:
            SetEnabled(id::ComList, true);
            break;
    }
}

ProgramOptions MainModel::Options() const {
    ProgramOptions o;
    o.eraseChip = Checked(id::EraseChip);
    o.programFlash = Checked(id::ProgramFlash);
    o.programBoot = Checked(id::ProgramBoot);
    o.programKeyCode = Checked(id::ProgramKeyCode);
    o.enableProtect = Checked(id::EnableProtect);
    o.programSn = Checked(id::ProgramSn);
    return o;
}

void MainModel::ShowOptions(const ProgramOptions& o) {
    SetCheck(id::EraseChip, o.eraseChip);
    SetCheck(id::ProgramFlash, o.programFlash);
    SetCheck(id::ProgramBoot, o.programBoot);
    SetCheck(id::ProgramKeyCode, o.programKeyCode);
    SetCheck(id::EnableProtect, o.enableProtect);
    SetCheck(id::ProgramSn, o.programSn);
}

std::string MainModel::SelectedMcu() const {
    return mcu_.SelectedText();
}

void MainModel::ShowMcu(const std::string& name) {
    const auto it = std::find(mcu_.items.begin(), mcu_.items.end(), name);
    Select(id::McuList, it != mcu_.items.end() ? static_cast<int>(it - mcu_.items.begin())
                                               : mcu_.FindPrefix(name));
}

}  // namespace lumacrest
