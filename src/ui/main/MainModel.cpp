#include "ui/main/MainModel.h"

#include <algorithm>
#include <stdexcept>

#include "ui/main/MenuResource.h"
#include "ui/main/ResourceIds.h"

namespace lumacrest {

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

bool* OptionOf(ProgramOptions& o, int id) {
    switch (id) {
        case id::EraseChip: return &o.eraseChip;
        case id::ProgramFlash: return &o.programFlash;
        case id::ProgramBoot: return &o.programBoot;
        case id::ProgramKeyCode: return &o.programKeyCode;
        case id::EnableProtect: return &o.enableProtect;
        case id::ProgramSn: return &o.programSn;
        default: return nullptr;
    }
}

constexpr int kOptionBoxes[] = {id::EraseChip,      id::ProgramFlash,  id::ProgramBoot,
                                id::ProgramKeyCode, id::EnableProtect, id::ProgramSn};
}  // namespace

MainModel::MainModel(HostView& host) : host_(host) {
    for (const MenuPopup& popup : MainMenuResource()) {
        popupEnabled_.push_back(popup.enabled);
        for (const MenuItem& item : popup.items)
            if (item.id != 0) enabled_[item.id] = item.enabled;
    }
    for (int control : kOperationDialogItems) enabled_[control] = true;
    enabled_[id::CheckKeyCode] = false;  // created disabled
    enabled_[id::Configer] = true;
    enabled_[id::ProgramBoot] = host_.BootOptionAvailable();
    host_.AddObserver(this);
}

MainModel::~MainModel() { host_.RemoveObserver(this); }

void MainModel::AddObserver(MainModelObserver* observer) { observers_.push_back(observer); }

void MainModel::RemoveObserver(MainModelObserver* observer) {
    observers_.erase(std::remove(observers_.begin(), observers_.end(), observer),
                     observers_.end());
}

void MainModel::LogAppended(const std::string& appended, bool cleared) {
    for (MainModelObserver* o : observers_) o->LogAppended(appended, cleared);
}

void MainModel::ProgressChanged(int position) {
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
    ProgramOptions options = host_.Options();
    if (bool* option = OptionOf(options, id)) {
        *option = value == 1;
        host_.ShowOptions(options);
        return;
    }
    if (id == id::Counter) host_.counter = value == 1;
    else if (id == id::Configer) host_.configer = value;
    else if (id == id::CheckKeyCode) checkKeyCode_ = value;
    for (MainModelObserver* o : observers_) o->CheckChanged(id, value);
}

int MainModel::Check(int id) const {
    ProgramOptions options = host_.Options();
    if (const bool* option = OptionOf(options, id)) return *option ? 1 : 0;
    if (id == id::Counter) return host_.counter ? 1 : 0;
    if (id == id::Configer) return host_.configer;
    if (id == id::CheckKeyCode) return checkKeyCode_;
    return 0;
}

void MainModel::OptionsChanged(const ProgramOptions& options) {
    ProgramOptions copy = options;
    for (int box : kOptionBoxes)
        for (MainModelObserver* o : observers_) o->CheckChanged(box, *OptionOf(copy, box) ? 1 : 0);
}

const ComboModel& MainModel::Combo(int listId) const {
    if (listId == id::ComList) return host_.PortList();
    if (listId == id::McuList) return host_.McuList();
    throw std::invalid_argument("no such list");
}

void MainModel::Select(int listId, int index) {
    if (listId == id::ComList) host_.SelectPort(index);
    else if (listId == id::McuList) host_.SelectMcu(index);
    else throw std::invalid_argument("no such list");
}

void MainModel::McuChanged(int index) {
    for (MainModelObserver* o : observers_) o->SelectionChanged(id::McuList, index);
}

void MainModel::PortChanged(int index) {
    for (MainModelObserver* o : observers_) o->SelectionChanged(id::ComList, index);
}

void MainModel::BootOptionAvailable(bool available) { SetEnabled(id::ProgramBoot, available); }

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
    // The boot box stays greyed for a device without a boot area.
    SetEnabled(id::ProgramBoot, host_.BootOptionAvailable());
}

void MainModel::ControlsChanged(ControlState state) {
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

}  // namespace lumacrest
