#include "ui/edit/qt/CHexInputEdit.h"

#include <QKeyEvent>

#include "ui/edit/HexInput.h"

namespace lumacrest {

CHexInputEdit::CHexInputEdit(QWidget* parent) : QLineEdit(parent) {
    connect(this, &QLineEdit::textChanged, this,
            [this](const QString& text) { value_ = ParseHexInput(text.toStdString(), value_); });
    SetValue(0);
}

void CHexInputEdit::SetValue(uint32_t value) {
    value_ = static_cast<int32_t>(value);
    setText(QString::fromStdString(FormatHexInput(value)));
}

void CHexInputEdit::keyPressEvent(QKeyEvent* e) {
    // Characters are filtered; keys (Delete, arrows) and Control shortcuts pass.
    char c = 0;
    if (e->key() == Qt::Key_Backspace) {
        c = kBackspace;
    } else if (!(e->modifiers() & Qt::ControlModifier) && !e->text().isEmpty()) {
        const char16_t u = e->text().at(0).unicode();
        if (u >= 0x20 && u != 0x7F) c = u < 0x7F ? static_cast<char>(u) : '\x01';
    }
    if (c != 0) {
        const bool selected = hasSelectedText();
        const int position = selected ? selectionStart() : cursorPosition();
        if (!HexInputAccepts(text().toStdString(), static_cast<std::size_t>(position), selected,
                             c)) {
            e->accept();
            return;
        }
    }
    QLineEdit::keyPressEvent(e);
}

}  // namespace lumacrest
