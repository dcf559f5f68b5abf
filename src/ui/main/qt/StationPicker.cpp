#include "ui/main/qt/StationPicker.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>
#include <algorithm>

#include "ui/station/Station.h"

namespace lumacrest {

std::vector<PickerPort> PickerPorts(const std::vector<std::string>& comList,
                                    const std::vector<std::string>& devices) {
    std::vector<PickerPort> ports;
    for (std::size_t i = 0; i < comList.size(); ++i)
        ports.push_back({comList[i], i < devices.size() ? devices[i] : std::string()});
    return ports;
}

StationPicker::StationPicker(const std::vector<PickerPort>& ports,
                             const std::vector<std::string>& ticked, QWidget* parent)
    : QDialog(parent) {
    setWindowTitle(QStringLiteral("Station"));
    auto* layout = new QVBoxLayout(this);
    auto* hint = new QLabel(QStringLiteral("The programmers of the station, one tile each (at most %1).\n"
                                           "Arrows move, Space ticks a port, Return opens the station.")
                                .arg(kMaxStationTiles),
                            this);
    layout->addWidget(hint);
    list_ = new QListWidget(this);
    for (const PickerPort& port : ports) {
        QString text = QString::fromStdString(port.name);
        if (!port.device.empty()) text += QStringLiteral("  ") + QString::fromStdString(port.device);
        auto* item = new QListWidgetItem(text, list_);
        item->setData(Qt::UserRole, QString::fromStdString(port.name));
        if (port.name == "USB") {
            // USB scans every port for one programmer; a tile stands for one port.
            item->setText(text + QStringLiteral("  (scans for one programmer: tick the ports)"));
            item->setFlags(Qt::NoItemFlags);
            continue;
        }
        item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable);
        const bool on = std::find(ticked.begin(), ticked.end(), port.name) != ticked.end();
        item->setCheckState(on ? Qt::Checked : Qt::Unchecked);
    }
    hint->setBuddy(list_);
    layout->addWidget(list_);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    ok_ = buttons->button(QDialogButtonBox::Ok);
    ok_->setDefault(true);
    layout->addWidget(buttons);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(list_, &QListWidget::itemChanged, this, [this] { Ticked(); });
    for (int i = 0; i < list_->count(); ++i)
        if (list_->item(i)->flags() & Qt::ItemIsEnabled) {
            list_->setCurrentRow(i);
            break;
        }
    list_->setFocus();
    Ticked();
}

void StationPicker::Ticked() { ok_->setEnabled(!Picked().empty()); }

std::vector<std::string> StationPicker::Picked() const {
    std::vector<std::string> picked;
    for (int i = 0; i < list_->count(); ++i) {
        const QListWidgetItem* item = list_->item(i);
        if ((item->flags() & Qt::ItemIsUserCheckable) && item->checkState() == Qt::Checked)
            picked.push_back(item->data(Qt::UserRole).toString().toStdString());
    }
    return picked;
}

}  // namespace lumacrest
