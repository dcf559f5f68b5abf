#include "ui/edit/qt/CSnSetDlg.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>

#include "ui/edit/qt/CHexInputEdit.h"

namespace lumacrest {

CSnSetDlg::CSnSetDlg(SnSetSession& session, Prompts& prompts, QWidget* parent)
    : QDialog(parent),
      session_(session),
      prompts_(prompts),
      value_(new CHexInputEdit(this)),
      address_(new CHexInputEdit(this)) {
    setWindowTitle(QStringLiteral("SN_Setting"));
    value_->setObjectName(QStringLiteral("1019"));
    address_->setObjectName(QStringLiteral("1018"));
    address_->SetValue(session.address);
    value_->SetValue(session.value);

    auto* ok = new QPushButton(QStringLiteral("OK"), this);
    ok->setObjectName(QStringLiteral("1"));
    ok->setDefault(true);
    auto* cancel = new QPushButton(QStringLiteral("Cancel"), this);
    cancel->setObjectName(QStringLiteral("2"));
    connect(ok, &QPushButton::clicked, this, &CSnSetDlg::accept);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);

    auto* layout = new QGridLayout(this);
    layout->addWidget(new QLabel(QStringLiteral("SN Init_Value:"), this), 0, 0);
    layout->addWidget(value_, 0, 1);
    layout->addWidget(new QLabel(QStringLiteral("SN Address:"), this), 1, 0);
    layout->addWidget(address_, 1, 1);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(ok);
    buttons->addWidget(cancel);
    layout->addLayout(buttons, 2, 0, 1, 2);
}

void CSnSetDlg::accept() {
    SnSetSession typed = session_;
    typed.address = address_->Unsigned();
    typed.value = value_->Unsigned();
    if (!typed.Accept(prompts_)) return;  // stays open with the fields as typed
    session_ = typed;
    QDialog::accept();
}

}  // namespace lumacrest
