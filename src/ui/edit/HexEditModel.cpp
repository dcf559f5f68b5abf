#include "ui/edit/HexEditModel.h"

#include <algorithm>
#include <cstdio>

#include "platform/Text.h"

namespace lumacrest {

namespace {
constexpr int kHexCells = HexEditModel::kRowWidth * 3;

// Typing takes lower-case hex digits only.
int TypedDigit(uint32_t c) {
    return c < 0x80 ? HexDigitValue(static_cast<char>(c), true) : -1;
}
}  // namespace

void HexEditModel::SetData(const uint8_t* bytes, int32_t count) {
    count = std::max(count, 0);
    data_.assign(bytes, bytes + count);
    hasData_ = true;
    ClearSelection();
    length_ = count;
    caret_ = 0;
    caretX_ = caretY_ = 0;
    column_ = CaretColumn::HighDigit;
    top_ = 0;
    layoutDirty_ = true;
}

int32_t HexEditModel::GetData(uint8_t* destination, int32_t capacity) const {
    const int32_t n = std::min(std::max(capacity, 0), length_);
    if (hasData_) std::copy_n(data_.begin(), n, destination);
    return length_;
}

void HexEditModel::SetCharMetrics(int charWidth, int lineHeight) {
    charWidth_ = std::max(charWidth, 1);
    lineHeight_ = std::max(lineHeight, 1);
    layoutDirty_ = true;
}

void HexEditModel::SetClientSize(int width, int height) {
    clientWidth_ = std::max(width, 0);
    clientHeight_ = std::max(height, 0);
    layoutDirty_ = true;
}

void HexEditModel::EnsureLayout() {
    if (!layoutDirty_ || !hasData_) return;
    hexX_ = showAddress_ ? (wideAddress_ ? 9 : 5) * charWidth_ : 0;
    charX_ = hexX_ + (showHex_ ? kHexCells * charWidth_ : 0);
    visibleRows_ = clientHeight_ / lineHeight_;
    lastRowPartial_ = false;
    if (length_ < kRowWidth * visibleRows_) {
        // The data fits: one row per 16 bytes, a short last row included.
        visibleRows_ = RowCount();
        lastRowPartial_ = length_ % kRowWidth != 0;
    }
    layoutDirty_ = false;
    top_ = std::min(top_, MaxTop());
}

int32_t HexEditModel::MaxTop() {
    EnsureLayout();
    return kRowWidth * std::max<int32_t>(0, RowCount() - std::max(visibleRows_, 1));
}

void HexEditModel::SetTop(int32_t top) {
    top_ = std::clamp(top - top % kRowWidth, 0, MaxTop());
}

std::string HexEditModel::AddressText(int32_t rowOffset) const {
    char text[16];
    std::snprintf(text, sizeof text, wideAddress_ ? "%08lX" : "%04lX",
                  static_cast<unsigned long>(rowOffset));
    return text;
}

std::string HexEditModel::HexText(int32_t rowOffset) const {
    std::string text(kHexCells, ' ');
    for (int i = 0; i < kRowWidth && rowOffset + i < length_; ++i) {
        const uint8_t b = data_[static_cast<std::size_t>(rowOffset + i)];
        text[3 * i] = kDigits[b >> 4];
        text[3 * i + 1] = kDigits[b & 15];
    }
    return text;
}

std::string HexEditModel::CharText(int32_t rowOffset) const {
    std::string text;
    for (int i = 0; i < kRowWidth && rowOffset + i < length_; ++i) {
        const uint8_t b = data_[static_cast<std::size_t>(rowOffset + i)];
        text.push_back(Printable(b) ? static_cast<char>(b) : '.');
    }
    return text;
}

int32_t HexEditModel::SelectionLow() const {
    return std::clamp(std::min(anchor_, end_), 0, length_);
}

int32_t HexEditModel::SelectionHigh() const {
    return std::clamp(std::max(anchor_, end_), 0, length_);
}

void HexEditModel::SelectAll() {
    if (!hasData_) return;
    anchor_ = 0;
    end_ = length_;
}

CaretRect HexEditModel::Caret() {
    EnsureLayout();
    CaretRect r;
    const int32_t row = caret_ / kRowWidth - top_ / kRowWidth;
    const int32_t index = caret_ % kRowWidth;
    r.height = lineHeight_;
    r.width = charWidth_;
    switch (column_) {
        case CaretColumn::Address:
            r.x = 0;
            r.width = AddressDigits() * charWidth_;
            break;
        case CaretColumn::Characters:
            r.x = charX_ + index * charWidth_;
            break;
        case CaretColumn::HighDigit:
            r.x = hexX_ + 3 * index * charWidth_;
            break;
        case CaretColumn::LowDigit:
            r.x = hexX_ + (3 * index + 1) * charWidth_;
            break;
    }
    r.y = row * lineHeight_;
    caretX_ = r.x;
    caretY_ = r.y;
    r.visible = r.x >= 0 && r.y >= 0 && r.x < clientWidth_ && r.y < clientHeight_;
    return r;
}

void HexEditModel::ScrollToOffset(int32_t offset) {
    EnsureLayout();
    SetTop(kRowWidth * (std::max(offset, 0) / kRowWidth - visibleRows_ / 3));
}

void HexEditModel::VScroll(ScrollCode code, int32_t thumb) {
    if (!hasData_) return;
    const int32_t page = kRowWidth * std::max(VisibleRows(), 1);
    const int32_t maxTop = MaxTop();
    switch (code) {
        case ScrollCode::LineUp:
            if (top_ > 0) top_ -= kRowWidth;
            break;
        case ScrollCode::LineDown:
            if (top_ < maxTop) top_ += kRowWidth;
            break;
        case ScrollCode::PageUp:
            top_ = std::max(top_ - page, 0);
            break;
        case ScrollCode::PageDown:
            if (top_ < maxTop) top_ = std::min(top_ + page, maxTop);
            break;
        case ScrollCode::ThumbTrack:
            SetTop(kRowWidth * std::clamp(thumb, 0, maxTop / kRowWidth));
            break;
        case ScrollCode::Other:
            break;
    }
}

void HexEditModel::MoveCaret(int dx, int dy) {
    if (column_ == CaretColumn::Address) return;
    const int32_t before = caret_;
    if (column_ == CaretColumn::Characters) {
        caret_ += dx + kRowWidth * dy;
    } else if (column_ == CaretColumn::HighDigit) {
        if (dx != 0) column_ = CaretColumn::LowDigit;
        if (dx == -1) caret_ -= 1;
        caret_ += kRowWidth * dy;
    } else {
        if (dx != 0) column_ = CaretColumn::HighDigit;
        if (dx == 1) caret_ += 1;
        caret_ += kRowWidth * dy;
    }
    if (caret_ < 0) caret_ = 0;
    if (caret_ >= length_) caret_ = before;  // taken back; the column change stays
    caret_ = std::clamp(caret_, 0, std::max(length_ - 1, 0));
}

void HexEditModel::MoveCaretByPages(int pages) {
    EnsureLayout();
    const int32_t step = kRowWidth * std::max(visibleRows_, 1) * pages;
    const int32_t index = caret_ % kRowWidth;
    const int32_t lastRow = (std::max(length_ - 1, 0) / kRowWidth) * kRowWidth;
    const int32_t row = std::clamp(caret_ - index + step, 0, lastRow);
    caret_ = std::min(row + index, std::max(length_ - 1, 0));
}

void HexEditModel::ShowCaretRow() {
    EnsureLayout();
    const int32_t row = caret_ - caret_ % kRowWidth;
    const int32_t shown = kRowWidth * std::max(visibleRows_, 1);
    if (row < top_)
        SetTop(row);
    else if (row >= top_ + shown)
        SetTop(row - shown + kRowWidth);
}

bool HexEditModel::Char(uint32_t code, bool control) {
    if (!hasData_) return false;
    if (control) {
        if (code == 1) SelectAll();  // Ctrl+A
        return code == 3 && HasSelection();  // Ctrl+C
    }
    if (code == '\b') {
        if (caret_ > 0) --caret_;
        ShowCaretRow();
        return false;
    }
    // Tab, Enter, Escape and every other control character write nothing.
    if (!Printable(code > 0xFF ? 0 : static_cast<uint8_t>(code))) return false;
    ClearSelection();
    if (caret_ < 0 || caret_ >= length_) return false;
    uint8_t& b = data_[static_cast<std::size_t>(caret_)];
    switch (column_) {
        case CaretColumn::Address:
            return false;
        case CaretColumn::Characters:
            b = static_cast<uint8_t>(code);
            break;
        case CaretColumn::HighDigit:
        case CaretColumn::LowDigit: {
            const int v = TypedDigit(code);
            if (v < 0) return false;
            if (column_ == CaretColumn::HighDigit)
                b = static_cast<uint8_t>((b & 0x0F) | (v << 4));
            else
                b = static_cast<uint8_t>((b & 0xF0) | v);
            break;
        }
    }
    MoveCaret(1, 0);
    ShowCaretRow();
    return false;
}

bool HexEditModel::Key(HexKey key, bool shift, bool control) {
    if (!hasData_) return false;
    EnsureLayout();
    if (key == HexKey::Insert) return control && HasSelection();  // Ctrl+Insert copies
    if (key == HexKey::Delete) return false;
    if (key == HexKey::Tab) {
        column_ = (column_ == CaretColumn::Address || column_ == CaretColumn::Characters)
                      ? CaretColumn::HighDigit
                      : CaretColumn::Characters;
        return false;
    }

    // Every movement key extends the selection with Shift and clears it without.
    if (!shift)
        ClearSelection();
    else if (!HasSelection())
        anchor_ = caret_;
    bool forward = false;  // towards the end: the caret's byte joins a hex-column selection
    switch (key) {
        case HexKey::PageUp:
        case HexKey::PageDown:
            forward = key == HexKey::PageDown;
            VScroll(forward ? ScrollCode::PageDown : ScrollCode::PageUp);
            MoveCaretByPages(forward ? 1 : -1);
            break;
        case HexKey::Home:
            if (control) {
                top_ = 0;
                caret_ = 0;
            } else {
                caret_ -= caret_ % kRowWidth;
            }
            MoveCaret(0, 0);
            break;
        case HexKey::End:
            forward = true;
            if (control) {
                caret_ = std::max(length_ - 1, 0);
                top_ = MaxTop();
            } else {
                caret_ =
                    std::min(caret_ - caret_ % kRowWidth + kRowWidth - 1, std::max(length_ - 1, 0));
            }
            MoveCaret(0, 0);
            break;
        case HexKey::Left:
        case HexKey::Up:
            MoveCaret(key == HexKey::Left ? -1 : 0, key == HexKey::Up ? -1 : 0);
            break;
        case HexKey::Right:
        case HexKey::Down:
            forward = true;
            MoveCaret(key == HexKey::Right ? 1 : 0, key == HexKey::Down ? 1 : 0);
            break;
        default:
            break;
    }
    if (shift) end_ = caret_ + (forward && InHexColumn() ? 1 : 0);
    ShowCaretRow();
    return false;
}

bool HexEditModel::HitTest(int x, int y) {
    if (!hasData_ || x < 0 || y < 0) return false;
    EnsureLayout();
    const int row = y / lineHeight_;
    if (row >= visibleRows_) return false;
    const int32_t rowOffset = top_ + row * kRowWidth;
    if (rowOffset >= length_) return false;
    const int cell = x / charWidth_ + 1;
    if (showAddress_ && cell <= AddressDigits()) {
        column_ = CaretColumn::Address;
        caret_ = rowOffset;
        return true;
    }
    if (showHex_) {
        const int h = hexX_ / charWidth_;
        if (cell < h + kHexCells) {
            int r = cell - h;
            if (r % 3 != 0) r -= 1;
            const int32_t offset = rowOffset + r / 3;
            if (r < 0 || offset >= length_) return false;  // past a short last row
            column_ = r % 3 == 0 ? CaretColumn::HighDigit : CaretColumn::LowDigit;
            caret_ = offset;
            return true;
        }
    }
    if (showChars_) {
        const int index = (cell - 1) - charX_ / charWidth_;
        if (index >= 0 && index < kRowWidth) {
            const int32_t offset = rowOffset + index;
            if (offset >= length_) return false;
            column_ = CaretColumn::Characters;
            caret_ = offset;
            return true;
        }
    }
    return false;
}

bool HexEditModel::MousePress(int x, int y, bool shift) {
    if (!hasData_) return false;
    if (shift) anchor_ = caret_;
    const bool hit = HitTest(x, y);
    if (shift) {
        if (hit) ExtendSelectionEnd();
    } else {
        ClearSelection();
    }
    return hit;
}

void HexEditModel::BeginDrag() {
    if (!hasData_) return;
    anchor_ = end_ = caret_;
}

bool HexEditModel::MouseDrag(int x, int y) {
    if (!hasData_ || !HasSelection()) return false;
    EnsureLayout();
    if (y < 0) {
        VScroll(ScrollCode::LineUp);
        y = 0;
    } else if (y >= clientHeight_) {
        VScroll(ScrollCode::LineDown);
        // the last pixel row of the last whole row
        y = std::min(clientHeight_, visibleRows_ * lineHeight_) - 1;
    }
    const int32_t before = end_;
    if (HitTest(x, y)) ExtendSelectionEnd();
    return end_ != before;
}

HexClipboard HexEditModel::Copy() const {
    HexClipboard clip;
    if (!HasSelection()) return clip;
    const int32_t lo = SelectionLow(), hi = SelectionHigh();
    clip.binary.assign(data_.begin() + lo, data_.begin() + hi);
    for (int32_t i = lo; i < hi; ++i) {
        const uint8_t b = data_[static_cast<std::size_t>(i)];
        if (column_ == CaretColumn::Characters) {
            clip.text.push_back(Printable(b) ? static_cast<char>(b) : '.');
        } else {
            clip.text.push_back(kDigits[b >> 4]);
            clip.text.push_back(kDigits[b & 15]);
            clip.text.push_back(' ');
        }
    }
    return clip;
}

}  // namespace lumacrest
