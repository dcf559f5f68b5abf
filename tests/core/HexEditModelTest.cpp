#include <gtest/gtest.h>

#include <numeric>

#include "ui/edit/HexEditModel.h"

namespace lumacrest {
namespace {

constexpr int kCw = 8, kLh = 14;

// A model over `length` bytes 0, 1, 2, … in a client area of `rows` whole lines.
struct Editor {
    HexEditModel m;
    explicit Editor(int32_t length, int rows = 10, std::vector<uint8_t> bytes = {}) {
        if (bytes.empty()) {
            bytes.resize(static_cast<std::size_t>(length));
            std::iota(bytes.begin(), bytes.end(), uint8_t{0});
        }
        m.SetCharMetrics(kCw, kLh);
        m.SetClientSize(80 * kCw, rows * kLh);
        m.SetData(bytes.data(), length);
    }
    // Client point of a cell (counted from 0) in a visible row.
    static int X(int cell) { return cell * kCw + 2; }
    static int Y(int row) { return row * kLh + 3; }
    void Type(const std::string& s) {
        for (char c : s) m.Char(static_cast<unsigned char>(c), false);
    }
    void Keys(HexKey k, int n, bool shift = false, bool control = false) {
        while (n-- > 0) m.Key(k, shift, control);
    }
};

TEST(HexEditModel, RowsShowAddressPairsAndCharacters) {
    Editor e(20, 10, {'A', 'B', 0x00, 0x7F, 0x20, 0x7E, 0x80, 0xFF, 0,    0,
                      0,   0,   0,    0,    0,    0,    0x61, 0x62, 0x63, 0x64});
    EXPECT_EQ(e.m.RowCount(), 2);
    EXPECT_EQ(e.m.VisibleRows(), 2);
    EXPECT_EQ(e.m.AddressText(16), "00000010");
    EXPECT_EQ(e.m.HexText(0), "41 42 00 7F 20 7E 80 FF 00 00 00 00 00 00 00 00 ");
    EXPECT_EQ(e.m.CharText(0), "AB.. ~..........");
    EXPECT_EQ(e.m.HexText(16), "61 62 63 64" + std::string(37, ' '));
    EXPECT_EQ(e.m.HexText(16).size(), 48u);
    EXPECT_EQ(e.m.CharText(16), "abcd");
    EXPECT_EQ(e.m.HexX(), 9 * kCw);
    EXPECT_EQ(e.m.CharX(), 57 * kCw);
}

TEST(HexEditModel, RowCountHasNoExtraRowForLongPartialRows) {
    for (int32_t length : {1, 8, 15, 16, 17, 24, 31, 32, 0x42000}) {
        Editor e(length, 100000);
        EXPECT_EQ(e.m.RowCount(), (length + 15) / 16) << length;
        EXPECT_EQ(e.m.VisibleRows(), (length + 15) / 16) << length;
        EXPECT_EQ(e.m.ScrollMax(), 0) << length;
    }
}

TEST(HexEditModel, TypingHexDigitsOnHighAndLowNibbles) {
    Editor e(32);
    e.Type("a5");
    EXPECT_EQ(e.m.Bytes()[0], 0xA5);
    EXPECT_EQ(e.m.CaretOffset(), 1);
    EXPECT_EQ(e.m.Column(), CaretColumn::HighDigit);
    e.Type("AG-");  // upper case and others are not taken
    EXPECT_EQ(e.m.Bytes()[1], 0x01);
    EXPECT_EQ(e.m.CaretOffset(), 1);
    e.Keys(HexKey::Right, 1);  // low digit of byte 1
    e.Type("f");
    EXPECT_EQ(e.m.Bytes()[1], 0x0F);
    EXPECT_EQ(e.m.CaretOffset(), 2);
}

TEST(HexEditModel, TypingInTheCharacterAndAddressColumns) {
    Editor e(32);
    e.Keys(HexKey::Tab, 1);
    EXPECT_EQ(e.m.Column(), CaretColumn::Characters);
    e.Type("Hi");
    EXPECT_EQ(e.m.Bytes()[0], 'H');
    EXPECT_EQ(e.m.Bytes()[1], 'i');
    e.Keys(HexKey::Tab, 1);
    EXPECT_EQ(e.m.Column(), CaretColumn::HighDigit);
    EXPECT_EQ(e.m.CaretOffset(), 2);

    ASSERT_TRUE(e.m.HitTest(Editor::X(3), Editor::Y(1)));  // address of row 1
    EXPECT_EQ(e.m.Column(), CaretColumn::Address);
    EXPECT_EQ(e.m.CaretOffset(), 16);
    e.Type("12x");
    e.Keys(HexKey::Right, 3);
    EXPECT_EQ(e.m.Bytes()[16], 16);
    EXPECT_EQ(e.m.CaretOffset(), 16);
}

TEST(HexEditModel, TypingAtTheLastByteNeverGoesPastTheData) {
    Editor e(16);
    e.Keys(HexKey::End, 1, false, true);
    e.Type("12345");
    EXPECT_EQ(e.m.Bytes()[15], 0x54);  // "12", "34", then "5" again on the high digit
    EXPECT_EQ(e.m.Length(), 16);
    EXPECT_EQ(e.m.CaretOffset(), 15);
}

TEST(HexEditModel, NavigationAtRowAndBufferEnds) {
    Editor e(40);
    // Right walks high digit, low digit, next high digit and crosses into the next row.
    e.Keys(HexKey::Right, 31);
    EXPECT_EQ(e.m.CaretOffset(), 15);
    EXPECT_EQ(e.m.Column(), CaretColumn::LowDigit);
    e.Keys(HexKey::Right, 1);
    EXPECT_EQ(e.m.CaretOffset(), 16);
    EXPECT_EQ(e.m.Column(), CaretColumn::HighDigit);
    e.Keys(HexKey::Left, 1);
    EXPECT_EQ(e.m.CaretOffset(), 15);
    EXPECT_EQ(e.m.Column(), CaretColumn::LowDigit);
    // Down from row 1 to the short last row only where a byte is below.
    e.Keys(HexKey::Down, 2);
    EXPECT_EQ(e.m.CaretOffset(), 31);
    e.Keys(HexKey::Home, 1);
    EXPECT_EQ(e.m.CaretOffset(), 16);
    e.Keys(HexKey::Down, 1);
    EXPECT_EQ(e.m.CaretOffset(), 32);
    e.Keys(HexKey::End, 1);
    EXPECT_EQ(e.m.CaretOffset(), 39);  // last byte of a short row
    e.Keys(HexKey::Right, 1);          // from the low digit: taken back, on the high digit
    EXPECT_EQ(e.m.CaretOffset(), 39);
    EXPECT_EQ(e.m.Column(), CaretColumn::HighDigit);
    e.Keys(HexKey::Up, 5);
    EXPECT_EQ(e.m.CaretOffset(), 0);  // a negative offset becomes 0
    e.Keys(HexKey::Left, 3);
    EXPECT_EQ(e.m.CaretOffset(), 0);
    e.m.Char('\b', false);
    EXPECT_EQ(e.m.CaretOffset(), 0);
    e.Keys(HexKey::End, 1);
    e.m.Char('\b', false);
    EXPECT_EQ(e.m.CaretOffset(), 14);
    e.Keys(HexKey::Delete, 1);
    for (int i = 0; i < 40; ++i) EXPECT_EQ(e.m.Bytes()[static_cast<std::size_t>(i)], i);
}

TEST(HexEditModel, KeysScrollToKeepTheCaretVisible) {
    Editor e(1000, 4);
    EXPECT_EQ(e.m.ScrollMax(), (1000 + 15) / 16 - 4);
    e.Keys(HexKey::Down, 4);
    EXPECT_EQ(e.m.CaretOffset(), 64);
    EXPECT_EQ(e.m.TopOffset(), 16);
    e.Keys(HexKey::End, 1, false, true);  // Ctrl+End
    EXPECT_EQ(e.m.CaretOffset(), 999);
    EXPECT_EQ(e.m.TopOffset(), 16 * e.m.ScrollMax());
    EXPECT_TRUE(e.m.Caret().visible);
    e.Keys(HexKey::Home, 1, false, true);
    EXPECT_EQ(e.m.CaretOffset(), 0);
    EXPECT_EQ(e.m.TopOffset(), 0);

    Editor fits(40, 10);
    fits.Keys(HexKey::End, 1, false, true);
    EXPECT_EQ(fits.m.TopOffset(), 0);
    EXPECT_EQ(fits.m.CaretOffset(), 39);
}

TEST(HexEditModel, ScrollingKeepsTheLastPageFullAndTopOnARow) {
    Editor e(0x42000, 20);
    e.m.VScroll(ScrollCode::ThumbTrack, e.m.ScrollMax());
    EXPECT_EQ(e.m.TopOffset() + 16 * 20, 0x42000);  // the last row at the bottom
    e.m.VScroll(ScrollCode::LineDown);
    e.m.VScroll(ScrollCode::PageDown);
    EXPECT_EQ(e.m.TopOffset() + 16 * 20, 0x42000);
    e.m.VScroll(ScrollCode::ThumbTrack, 1 << 30);
    EXPECT_EQ(e.m.TopOffset() + 16 * 20, 0x42000);

    Editor odd(40, 2);  // three rows, two visible
    odd.m.VScroll(ScrollCode::PageDown);
    EXPECT_EQ(odd.m.TopOffset(), 16);
    odd.m.VScroll(ScrollCode::PageUp);
    EXPECT_EQ(odd.m.TopOffset(), 0);
    odd.m.ScrollToOffset(1000);
    EXPECT_EQ(odd.m.TopOffset(), 16);
    odd.m.ScrollToOffset(0);
    EXPECT_EQ(odd.m.TopOffset(), 0);
}

TEST(HexEditModel, HitTestPlacesCaretOnDigitsAndCharacters) {
    Editor e(32);
    ASSERT_TRUE(e.m.HitTest(Editor::X(9), Editor::Y(0)));  // first digit of byte 0
    EXPECT_EQ(e.m.CaretOffset(), 0);
    EXPECT_EQ(e.m.Column(), CaretColumn::HighDigit);
    ASSERT_TRUE(e.m.HitTest(Editor::X(10), Editor::Y(0)));
    EXPECT_EQ(e.m.Column(), CaretColumn::LowDigit);
    ASSERT_TRUE(e.m.HitTest(Editor::X(11), Editor::Y(1)));  // blank after byte 16
    EXPECT_EQ(e.m.CaretOffset(), 17);
    EXPECT_EQ(e.m.Column(), CaretColumn::HighDigit);
    ASSERT_TRUE(e.m.HitTest(Editor::X(9 + 45 + 1), Editor::Y(1)));
    EXPECT_EQ(e.m.CaretOffset(), 31);
    EXPECT_EQ(e.m.Column(), CaretColumn::LowDigit);
    ASSERT_TRUE(e.m.HitTest(Editor::X(57 + 4), Editor::Y(1)));
    EXPECT_EQ(e.m.CaretOffset(), 20);
    EXPECT_EQ(e.m.Column(), CaretColumn::Characters);
    EXPECT_FALSE(e.m.HitTest(Editor::X(57 + 16), Editor::Y(0)));  // right of the characters
}

TEST(HexEditModel, HitTestNeverLandsPastTheData) {
    Editor key(16, 10);  // the KeyCode editor: one row in a tall window
    EXPECT_FALSE(key.m.HitTest(Editor::X(9), Editor::Y(1)));
    EXPECT_FALSE(key.m.HitTest(Editor::X(60), Editor::Y(5)));
    key.Type("1");
    EXPECT_EQ(key.m.CaretOffset(), 0);
    EXPECT_EQ(key.m.Length(), 16);

    Editor partial(20, 10);
    EXPECT_FALSE(partial.m.HitTest(Editor::X(9 + 3 * 4), Editor::Y(1)));  // byte 20
    EXPECT_FALSE(partial.m.HitTest(Editor::X(57 + 4), Editor::Y(1)));
    EXPECT_TRUE(partial.m.HitTest(Editor::X(9 + 3 * 3 + 1), Editor::Y(1)));
    EXPECT_EQ(partial.m.CaretOffset(), 19);

    // The strip under the last whole row shows part of a row that holds bytes.
    Editor e(160, 4);
    e.m.SetClientSize(80 * kCw, 4 * kLh + 9);
    EXPECT_FALSE(e.m.HitTest(Editor::X(9), 4 * kLh + 2));
    EXPECT_EQ(e.m.CaretOffset(), 0);
    EXPECT_TRUE(e.m.HitTest(Editor::X(9), Editor::Y(3)));
    EXPECT_EQ(e.m.CaretOffset(), 48);
}

TEST(HexEditModel, ShiftSelectionsInBothColumns) {
    Editor e(64);
    e.Keys(HexKey::Right, 3, true);
    EXPECT_EQ(e.m.SelectionLow(), 0);
    EXPECT_EQ(e.m.SelectionHigh(), 2);
    EXPECT_TRUE(e.m.Selected(1));
    EXPECT_FALSE(e.m.Selected(2));
    e.Keys(HexKey::Down, 1, true);  // end follows the caret, plus one in the hex column
    EXPECT_EQ(e.m.SelectionHigh(), 18);
    e.Keys(HexKey::Left, 1);  // a plain key clears the selection
    EXPECT_FALSE(e.m.HasSelection());

    Editor c(64);
    c.Keys(HexKey::Tab, 1);
    c.Keys(HexKey::Right, 3, true);
    EXPECT_EQ(c.m.SelectionLow(), 0);
    EXPECT_EQ(c.m.SelectionHigh(), 3);  // no extra byte in the character column
    c.Keys(HexKey::End, 1, true);
    EXPECT_EQ(c.m.SelectionHigh(), 15);
    c.Keys(HexKey::Home, 1, true);  // back across the anchor
    EXPECT_EQ(c.m.SelectionLow(), 0);
    EXPECT_EQ(c.m.SelectionHigh(), 0);
    c.Type("z");  // typing clears the selection and writes
    EXPECT_FALSE(c.m.HasSelection());
    EXPECT_EQ(c.m.Bytes()[0], 'z');
}

TEST(HexEditModel, CopyGivesBytesAndColumnText) {
    Editor e(8, 10, {0x41, 0x00, 0x42, 0x43, 0, 0, 0, 0});
    e.m.SetSelection(0, 3);
    HexClipboard hex = e.m.Copy();
    EXPECT_EQ(hex.binary, std::string("A\0B", 3));
    EXPECT_EQ(hex.text, "41 00 42 ");
    e.Keys(HexKey::Tab, 1);  // the character column
    e.m.SetSelection(3, 0);  // backwards: same bytes
    HexClipboard chars = e.m.Copy();
    EXPECT_EQ(chars.binary, std::string("A\0B", 3));
    EXPECT_EQ(chars.text, "A.B");
    EXPECT_TRUE(e.m.Char(3, true));  // Ctrl+C asks for a copy with a selection
    e.m.ClearSelection();
    EXPECT_FALSE(e.m.Char(3, true));
    EXPECT_TRUE(e.m.Copy().binary.empty());
    e.m.SelectAll();
    EXPECT_EQ(e.m.Copy().binary.size(), 8u);
}

TEST(HexEditModel, PagesMoveTheCaretWithTheViewAndTypingFollowsTheCaret) {
    Editor e(1000, 4);
    e.Keys(HexKey::Right, 5);  // byte 2, low digit
    e.Keys(HexKey::PageDown, 1);
    EXPECT_EQ(e.m.TopOffset(), 64);
    EXPECT_EQ(e.m.CaretOffset(), 66);
    EXPECT_EQ(e.m.Column(), CaretColumn::LowDigit);
    e.Keys(HexKey::Down, 3);  // rows still on the page: no scrolling
    EXPECT_EQ(e.m.TopOffset(), 64);
    e.Keys(HexKey::Down, 1);
    EXPECT_EQ(e.m.TopOffset(), 80);
    e.Keys(HexKey::PageDown, 100);  // the last row, at the same place where it has a byte
    EXPECT_EQ(e.m.CaretOffset(), 992 + 2);
    e.Keys(HexKey::PageUp, 100);
    EXPECT_EQ(e.m.CaretOffset(), 2);
    EXPECT_EQ(e.m.TopOffset(), 0);

    // Typing across the bottom row brings the next row into view.
    e.Keys(HexKey::Down, 3);
    e.Keys(HexKey::End, 1);
    e.Type("12");
    EXPECT_EQ(e.m.CaretOffset(), 64);
    EXPECT_EQ(e.m.TopOffset(), 16);
    // So does typing after the scroll bar moved the view away from the caret.
    e.m.VScroll(ScrollCode::ThumbTrack, 40);
    e.Type("4");
    EXPECT_EQ(e.m.Bytes()[64], 0x24);
    EXPECT_EQ(e.m.TopOffset(), 64);
    e.m.VScroll(ScrollCode::ThumbTrack, 0);
    e.m.Char('\b', false);
    EXPECT_EQ(e.m.CaretOffset(), 64);
    EXPECT_EQ(e.m.TopOffset(), 16);
}

TEST(HexEditModel, EveryMovementKeyExtendsTheSelection) {
    Editor e(1000, 4);
    e.Keys(HexKey::Right, 2);  // byte 1
    e.Keys(HexKey::PageDown, 1, true);
    EXPECT_EQ(e.m.SelectionLow(), 1);
    EXPECT_EQ(e.m.SelectionHigh(), 66);  // through the caret's byte in the hex pane
    e.Keys(HexKey::End, 1, true);
    EXPECT_EQ(e.m.SelectionHigh(), 80);
    e.Keys(HexKey::End, 1, true, true);
    EXPECT_EQ(e.m.SelectionHigh(), 1000);
    e.Keys(HexKey::PageUp, 1, true);
    EXPECT_EQ(e.m.SelectionHigh(), 935);
    e.Keys(HexKey::Home, 1, true, true);
    EXPECT_EQ(e.m.CaretOffset(), 0);
    EXPECT_EQ(e.m.SelectionLow(), 0);
    EXPECT_EQ(e.m.SelectionHigh(), 1);
    EXPECT_EQ(e.m.TopOffset(), 0);
}

TEST(HexEditModel, MouseSelectionAndDragScrolling) {
    Editor e(400, 4);
    EXPECT_TRUE(e.m.MousePress(Editor::X(9), Editor::Y(1), false));
    EXPECT_EQ(e.m.CaretOffset(), 16);
    e.m.BeginDrag();
    EXPECT_TRUE(e.m.MouseDrag(Editor::X(9 + 3 * 2), Editor::Y(1)));
    EXPECT_EQ(e.m.SelectionLow(), 16);
    EXPECT_EQ(e.m.SelectionHigh(), 19);  // hex column: the byte under the pointer included
    EXPECT_TRUE(e.m.MouseDrag(Editor::X(9), 4 * kLh + 5));  // below: one row down
    EXPECT_EQ(e.m.TopOffset(), 16);
    EXPECT_EQ(e.m.SelectionHigh(), 16 + 48 + 1);
    e.m.MouseDrag(Editor::X(9), -3);  // above: one row up
    EXPECT_EQ(e.m.TopOffset(), 0);
    e.m.MousePress(Editor::X(9), Editor::Y(0), false);  // a plain click clears it
    EXPECT_FALSE(e.m.HasSelection());
    e.m.MousePress(Editor::X(57 + 5), Editor::Y(2), true);  // Shift+click from the caret
    EXPECT_EQ(e.m.SelectionLow(), 0);
    EXPECT_EQ(e.m.SelectionHigh(), 37);
}

}  // namespace
}  // namespace lumacrest
