// The "SN_Setting" dialog: the serial number's initial value and its address. OK keeps the
// dialog open while a check fails.
#pragma once

#include <QDialog>

#include "platform/DialogSessions.h"

namespace lumacrest {

class CHexInputEdit;
class Prompts;

class CSnSetDlg : public QDialog {
    Q_OBJECT
  public:
    CSnSetDlg(SnSetSession& session, Prompts& prompts, QWidget* parent = nullptr);
    CHexInputEdit* ValueField() const { return value_; }
    CHexInputEdit* AddressField() const { return address_; }

  public slots:
    void accept() override;

  private:
    SnSetSession& session_;
    Prompts& prompts_;
    CHexInputEdit* value_;
    CHexInputEdit* address_;
};

}  // namespace lumacrest
