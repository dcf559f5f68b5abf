#include "ui/edit/qt/CLoadAddressDlg.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>

#include "ui/chrome/qt/CSkinButton.h"

#include "ui/edit/qt/CHexInputEdit.h"

namespace lumacrest {

CLoadAddressDlg::CLoadAddressDlg(QWidget* parent)
    : QDialog(parent), address_(new CHexInputEdit(this)) {
    setWindowTitle(QStringLiteral("LOAD_ADDRESS"));
    address_->setObjectName(QStringLiteral("1018"));
    address_->SetValue(kProposedAddress);

    auto* ok = new CSkinButton(QStringLiteral("OK"), this);
    ok->SetEffect(7, 8, 10, 0, 0);
    ok->setObjectName(QStringLiteral("1"));
    ok->setDefault(true);
    auto* cancel = new CSkinButton(QStringLiteral("Cancel"), this);
    cancel->SetEffect(7, 8, 10, 0, 0);
    cancel->setObjectName(QStringLiteral("2"));
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);

    auto* layout = new QGridLayout(this);
    layout->addWidget(new QLabel(QStringLiteral("File Start Address:"), this), 0, 0);
    layout->addWidget(address_, 0, 1);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(ok);
    buttons->addWidget(cancel);
    layout->addLayout(buttons, 1, 0, 1, 2);
    address_->setFocus();
    address_->selectAll();
}

uint32_t CLoadAddressDlg::Address() const {
    return address_->Unsigned();
}

}  // namespace lumacrest
