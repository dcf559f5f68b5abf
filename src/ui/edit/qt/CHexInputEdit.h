// A numeric field: decimal or "0x"-prefixed hexadecimal text kept in step with a 32-bit
// value (the rules are in ui/edit/HexInput.h).
#pragma once

#include <QLineEdit>
#include <cstdint>

namespace lumacrest {

class CHexInputEdit : public QLineEdit {
    Q_OBJECT
  public:
    explicit CHexInputEdit(QWidget* parent = nullptr);

    // Stores the value and shows it as "0x%x".
    void SetValue(uint32_t value);
    int32_t Value() const { return value_; }
    uint32_t Unsigned() const { return static_cast<uint32_t>(value_); }

  protected:
    void keyPressEvent(QKeyEvent* e) override;

  private:
    int32_t value_ = 0;
};

}  // namespace lumacrest
