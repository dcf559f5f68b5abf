// The ports the station opens with, ticked in a list that mirrors the window's COM list.
#pragma once

#include <QDialog>
#include <string>
#include <vector>

class QListWidget;
class QPushButton;

namespace lumacrest {

struct PickerPort {
    std::string name;    // USB, COM1..COM16
    std::string device;  // what Ports.dat maps it to; empty when nothing
};

// The entries of the window's COM list with the devices Ports.dat gives them.
std::vector<PickerPort> PickerPorts(const std::vector<std::string>& comList,
                                    const std::vector<std::string>& devices);

class StationPicker : public QDialog {
    Q_OBJECT
public:
    // `ticked`: the ports ticked when the list opens.
    StationPicker(const std::vector<PickerPort>& ports, const std::vector<std::string>& ticked,
                  QWidget* parent = nullptr);

    // The ticked ports, in the list's order.
    std::vector<std::string> Picked() const;
    QListWidget* List() const { return list_; }
    QPushButton* OkButton() const { return ok_; }

private:
    void Ticked();

    QListWidget* list_ = nullptr;
    QPushButton* ok_ = nullptr;
};

}  // namespace lumacrest
