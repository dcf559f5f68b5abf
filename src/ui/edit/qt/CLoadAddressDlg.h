// The "LOAD_ADDRESS" dialog: the target address of offset 0 of a buffer, proposed as 0x4000
// every time it opens.
#pragma once

#include <QDialog>
#include <cstdint>

namespace lumacrest {

class CHexInputEdit;

class CLoadAddressDlg : public QDialog {
    Q_OBJECT
  public:
    static constexpr uint32_t kProposedAddress = 0x4000;

    explicit CLoadAddressDlg(QWidget* parent = nullptr);
    // The field's value; read it after OK.
    uint32_t Address() const;
    CHexInputEdit* AddressField() const { return address_; }

  private:
    CHexInputEdit* address_;
};

}  // namespace lumacrest
