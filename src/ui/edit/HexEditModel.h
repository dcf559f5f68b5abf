// The hex editor without its window: the bytes, the caret and its four columns, the
// selection, the scroll position and the row layout in character cells. The Qt control
// measures its font and client area, feeds its input here and paints what this says.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace lumacrest {

enum class CaretColumn : int { Address = 0, Characters = 1, HighDigit = 2, LowDigit = 3 };

enum class HexKey { Tab, PageUp, PageDown, Home, End, Left, Up, Right, Down, Insert, Delete };

enum class ScrollCode { LineUp, LineDown, PageUp, PageDown, ThumbTrack, Other };

// What a copy puts on the clipboard.
struct HexClipboard {
    std::string binary;  // the "BinaryData" format: the selected bytes themselves
    std::string text;    // plain text: characters, or "XX " per byte
};

struct CaretRect {
    int x = 0, y = 0, width = 0, height = 0;
    bool visible = false;  // inside the client area
};

class HexEditModel {
  public:
    static constexpr int kRowWidth = 16;
    static constexpr char kDigits[] = "0123456789ABCDEF";

    // Data
    void SetData(const uint8_t* bytes, int32_t count);
    int32_t GetData(uint8_t* destination, int32_t capacity) const;
    bool HasData() const { return hasData_; }
    int32_t Length() const { return length_; }
    const std::vector<uint8_t>& Bytes() const { return data_; }

    // Metrics from the view; any change marks the layout dirty.
    void SetCharMetrics(int charWidth, int lineHeight);
    void SetClientSize(int width, int height);
    int CharWidth() const { return charWidth_; }
    int LineHeight() const { return lineHeight_; }

    // Layout: measured again when dirty and data exists.
    void EnsureLayout();
    int VisibleRows() { return EnsureLayout(), visibleRows_; }
    int HexX() { return EnsureLayout(), hexX_; }
    int CharX() { return EnsureLayout(), charX_; }
    int AddressDigits() const { return wideAddress_ ? 8 : 4; }
    // (length + 15) / 16 rows
    int32_t RowCount() const { return (length_ + kRowWidth - 1) / kRowWidth; }
    // Scroll bar, in rows: 0 .. ScrollMax(), page VisibleRows(); the last position shows
    // the last row at the bottom of the window.
    int32_t ScrollMax() { return MaxTop() / kRowWidth; }
    int32_t ScrollPos() const { return top_ / kRowWidth; }
    bool ScrollNeeded() { return ScrollMax() > 0; }

    // Text of one row's columns (the hex column padded to 48 cells).
    std::string AddressText(int32_t rowOffset) const;
    std::string HexText(int32_t rowOffset) const;
    std::string CharText(int32_t rowOffset) const;
    static bool Printable(uint8_t b) { return b >= 0x20 && b <= 0x7E; }

    // Caret and selection
    int32_t TopOffset() const { return top_; }
    int32_t CaretOffset() const { return caret_; }
    CaretColumn Column() const { return column_; }
    bool InHexColumn() const {
        return column_ == CaretColumn::HighDigit || column_ == CaretColumn::LowDigit;
    }
    bool HasSelection() const { return anchor_ >= 0 && end_ >= 0; }
    int32_t SelectionAnchor() const { return anchor_; }
    int32_t SelectionEnd() const { return end_; }
    // Lower and upper (excluded) ends of the selection, clamped to the data.
    int32_t SelectionLow() const;
    int32_t SelectionHigh() const;
    bool Selected(int32_t offset) const {
        return HasSelection() && offset >= SelectionLow() && offset < SelectionHigh();
    }
    void SetSelection(int32_t anchor, int32_t end) { anchor_ = anchor, end_ = end; }
    void ClearSelection() { anchor_ = end_ = -1; }
    void SelectAll();
    CaretRect Caret();

    // Scrolling
    void ScrollToOffset(int32_t offset);
    void VScroll(ScrollCode code, int32_t thumb = 0);

    // Input. Both return true when the input asked for a copy of the selection (Ctrl+C,
    // Ctrl+Insert). Only a printable character (0x20..0x7E) typed without Control writes a
    // byte; after every key and character the view shows the caret. The buffer has a fixed
    // size: Insert and Delete change nothing.
    bool Char(uint32_t code, bool control);
    bool Key(HexKey key, bool shift, bool control);

    // Hit test of a client point: on a hit the caret moves there.
    bool HitTest(int x, int y);
    // Left button down. Returns whether the point hit a byte.
    bool MousePress(int x, int y, bool shift);
    // The press turned into a drag: the selection starts at the caret.
    void BeginDrag();
    // Mouse move with the left button down. Returns whether the selection end changed.
    bool MouseDrag(int x, int y);

    HexClipboard Copy() const;

  private:
    int32_t MaxTop();
    void MoveCaret(int dx, int dy);
    // Moves the caret by whole pages, keeping its place in the row where it can.
    void MoveCaretByPages(int pages);
    void SetTop(int32_t top);
    // Scrolls as little as needed for the caret's row to be one of the whole rows shown.
    void ShowCaretRow();
    void ExtendSelectionEnd() { end_ = caret_ + (InHexColumn() ? 1 : 0); }

    std::vector<uint8_t> data_;
    bool hasData_ = false;
    int32_t length_ = 64;
    int32_t top_ = 0;
    int32_t caret_ = 0;
    CaretColumn column_ = CaretColumn::HighDigit;
    int32_t anchor_ = -1;
    int32_t end_ = -1;
    int visibleRows_ = 1;
    bool showAddress_ = true, showChars_ = true, showHex_ = true;
    bool wideAddress_ = true;
    bool lastRowPartial_ = true;
    int charWidth_ = 8;
    int lineHeight_ = 14;
    int clientWidth_ = 0;
    int clientHeight_ = 0;
    bool layoutDirty_ = true;
    int hexX_ = 0, charX_ = 0;
    int caretX_ = 0, caretY_ = 0;
};

}  // namespace lumacrest
