// The hex editor control driven by keys, mouse and clipboard on the offscreen platform.
#include <QApplication>
#include <QClipboard>
#include <QDialog>
#include <QElapsedTimer>
#include <QMimeData>
#include <QPushButton>
#include <QScrollBar>
#include <QVBoxLayout>
#include <QtTest>
#include <numeric>

#include "ui/edit/qt/CHexEditCtrl.h"

using namespace lumacrest;

class HexEditCtrlTest : public QObject {
    Q_OBJECT

    std::unique_ptr<CHexEditCtrl> editor_;

    CHexEditCtrl* Make(int32_t length, int rows = 8) {
        editor_ = std::make_unique<CHexEditCtrl>();
        editor_->resize(editor_->SizeForRows(rows));
        std::vector<uint8_t> bytes(static_cast<std::size_t>(length));
        std::iota(bytes.begin(), bytes.end(), uint8_t{0});
        editor_->SetData(bytes.data(), length);
        editor_->show();
        editor_->setFocus();
        QApplication::setActiveWindow(editor_.get());
        return editor_.get();
    }
    uint8_t Byte(int32_t i) { return editor_->model().Bytes()[static_cast<std::size_t>(i)]; }
    QPoint Cell(int cell, int row) {
        const HexEditModel& m = editor_->model();
        return QPoint(cell * m.CharWidth() + 1, row * m.LineHeight() + 2);
    }

    // Renders the editor and checks every shown cell of both panes against the model: the
    // selection highlighted in the caret's pane, the caret cell inverted when there is no
    // selection, everything else on the palette's base colour. The caret must be in view.
    void VerifyPaint() {
        CHexEditCtrl* e = editor_.get();
        HexEditModel& m = e->model();
        const QImage img = e->viewport()->grab().toImage();
        const QPalette& pal = e->palette();
        const QColor base = pal.color(QPalette::Base), high = pal.color(QPalette::Highlight);
        const int cw = m.CharWidth(), lh = m.LineHeight();
        const int rows = e->viewport()->height() / lh;
        const int32_t caretRow = m.CaretOffset() / 16 - m.TopOffset() / 16;
        QVERIFY2(caretRow >= 0 && caretRow < rows, qPrintable(QString::number(caretRow)));
        const CaretRect caret = m.Caret();
        for (int row = 0; row < rows; ++row) {
            for (int i = 0; i < 16; ++i) {
                const int32_t offset = m.TopOffset() + 16 * row + i;
                if (offset >= m.Length()) break;
                const int cells[3] = {m.HexX() + 3 * i * cw, m.HexX() + (3 * i + 1) * cw,
                                      m.CharX() + i * cw};
                for (int c = 0; c < 3; ++c) {
                    const bool caretPane = c < 2 ? m.InHexColumn()
                                                 : m.Column() == CaretColumn::Characters;
                    QColor want = caretPane && m.Selected(offset) ? high : base;
                    if (!m.HasSelection() && caret.x == cells[c] && caret.y == row * lh)
                        want = QColor(want.rgb() ^ 0xFFFFFF);
                    const QColor got = img.pixelColor(cells[c] + 1, row * lh + 1);
                    const bool near = std::abs(got.red() - want.red()) < 24 &&
                                      std::abs(got.green() - want.green()) < 24 &&
                                      std::abs(got.blue() - want.blue()) < 24;  // a glyph's edge
                    QVERIFY2(near, qPrintable(QStringLiteral("offset %1 cell %2: %3, not %4")
                                                         .arg(offset).arg(c)
                                                         .arg(got.name(), want.name())));
                }
            }
        }
    }

  private slots:
    void fontIsFixedPitchAndColumnsLineUp() {
        CHexEditCtrl* e = Make(32);
        const QFontMetrics fm(e->EditorFont());
        QVERIFY(QFontInfo(e->EditorFont()).fixedPitch());
        QCOMPARE(
            QFontMetricsF(e->EditorFont()).horizontalAdvance(QStringLiteral("0123456789ABCDEF")),
            16 * fm.horizontalAdvance(QLatin1Char('0')));
        QCOMPARE(fm.horizontalAdvance(QStringLiteral(". ~")), 3 * fm.horizontalAdvance('0'));
        QCOMPARE(e->model().CharX() - e->model().HexX(), 48 * e->model().CharWidth());
    }

    void digitsOnHighAndLowNibbles() {
        CHexEditCtrl* e = Make(32);
        QTest::keyClicks(e, "a5");
        QCOMPARE(Byte(0), uint8_t(0xA5));
        QCOMPARE(e->model().CaretOffset(), 1);
        QTest::keyClicks(e, "A");  // upper case is not taken
        QCOMPARE(Byte(1), uint8_t(0x01));
        QTest::keyClick(e, Qt::Key_Right);
        QTest::keyClicks(e, "c");
        QCOMPARE(Byte(1), uint8_t(0x0C));
        QCOMPARE(e->model().CaretOffset(), 2);
        QTest::keyClick(e, Qt::Key_Backspace);
        QCOMPARE(e->model().CaretOffset(), 1);
        QTest::keyClick(e, Qt::Key_Delete);
        QCOMPARE(Byte(1), uint8_t(0x0C));
        QCOMPARE(e->model().Length(), 32);
    }

    void controlKeysWriteNothingAndTheSizeStays() {
        QDialog dialog;
        auto* e = new CHexEditCtrl(&dialog);
        auto* after = new QPushButton(QStringLiteral("after"), &dialog);
        auto* layout = new QVBoxLayout(&dialog);
        layout->addWidget(e);
        layout->addWidget(after);
        std::vector<uint8_t> bytes(32, 0x30);
        e->SetData(bytes.data(), 32);
        dialog.show();
        e->setFocus();
        QApplication::setActiveWindow(&dialog);
        QTRY_VERIFY(e->hasFocus());
        QTest::keyClick(e, Qt::Key_Tab);
        QCOMPARE(e->model().Column(), CaretColumn::Characters);
        QVERIFY(e->hasFocus());
        QTest::keyClick(e, Qt::Key_Escape);
        QTest::keyClick(e, Qt::Key_Return);
        QTest::keyClick(e, Qt::Key_Enter, Qt::KeypadModifier);
        for (Qt::Key key : {Qt::Key_S, Qt::Key_1, Qt::Key_V, Qt::Key_X})
            QTest::keyClick(e, key, Qt::ControlModifier);
        using Mods = Qt::KeyboardModifiers;
        for (Mods mods : {Mods(), Mods(Qt::ShiftModifier), Mods(Qt::ControlModifier)}) {
            QTest::keyClick(e, Qt::Key_Insert, mods);
            QTest::keyClick(e, Qt::Key_Delete, mods);
        }
        QVERIFY(dialog.isVisible());
        QCOMPARE(e->model().Length(), 32);
        QCOMPARE(QByteArray(reinterpret_cast<const char*>(e->model().Bytes().data()), 32),
                 QByteArray(32, '0'));
        QCOMPARE(e->model().CaretOffset(), 0);

        QTest::keyClick(e, Qt::Key_A, Qt::ControlModifier);
        QCOMPARE(e->model().SelectionLow(), 0);
        QCOMPARE(e->model().SelectionHigh(), 32);
        QTest::keyClick(e, Qt::Key_Insert, Qt::ControlModifier);  // copies, like Ctrl+C
        QCOMPARE(QApplication::clipboard()->mimeData()->data(kBinaryDataFormat),
                 QByteArray(32, '0'));
        QTest::keyClicks(e, "Z~");
        QCOMPARE(e->model().Bytes()[0], uint8_t('Z'));
        QCOMPARE(e->model().Bytes()[1], uint8_t('~'));
        QTest::keyClick(e, Qt::Key_Tab);
        QCOMPARE(e->model().Column(), CaretColumn::HighDigit);
        QTest::keyClick(e, Qt::Key_Tab, Qt::ControlModifier);  // leaves the editor
        QVERIFY(after->hasFocus());
    }

    void navigationAtRowAndBufferEnds() {
        CHexEditCtrl* e = Make(40);
        QTest::keyClick(e, Qt::Key_End);
        QCOMPARE(e->model().CaretOffset(), 15);
        QTest::keyClick(e, Qt::Key_Right);  // low digit of byte 15
        QTest::keyClick(e, Qt::Key_Right);  // high digit of byte 16
        QCOMPARE(e->model().CaretOffset(), 16);
        QTest::keyClick(e, Qt::Key_Down);
        QTest::keyClick(e, Qt::Key_Down);  // nothing below byte 32 + 16
        QCOMPARE(e->model().CaretOffset(), 32);
        QTest::keyClick(e, Qt::Key_End, Qt::ControlModifier);
        QCOMPARE(e->model().CaretOffset(), 39);
        QTest::keyClick(e, Qt::Key_Right);
        QTest::keyClick(e, Qt::Key_Right);
        QCOMPARE(e->model().CaretOffset(), 39);
        QCOMPARE(e->model().Column(), CaretColumn::HighDigit);
        QTest::keyClick(e, Qt::Key_Home, Qt::ControlModifier);
        QCOMPARE(e->model().CaretOffset(), 0);
        QTest::keyClick(e, Qt::Key_Left);
        QTest::keyClick(e, Qt::Key_Up);
        QCOMPARE(e->model().CaretOffset(), 0);
    }

    void keysScrollTheViewAndTheScrollBarFollows() {
        CHexEditCtrl* e = Make(0x42000, 8);
        QScrollBar* bar = e->verticalScrollBar();
        const int rows = e->model().VisibleRows();
        QCOMPARE(bar->maximum(), 0x42000 / 16 - rows);
        QCOMPARE(bar->pageStep(), rows);
        for (int i = 0; i < rows; ++i) QTest::keyClick(e, Qt::Key_Down);
        QCOMPARE(e->model().TopOffset(), 16);
        QCOMPARE(bar->value(), 1);
        QTest::keyClick(e, Qt::Key_End, Qt::ControlModifier);
        QCOMPARE(bar->value(), bar->maximum());
        QCOMPARE(e->model().TopOffset() + 16 * rows, 0x42000);
        bar->setValue(10);  // the operator drags the thumb
        QCOMPARE(e->model().TopOffset(), 160);
    }

    void shiftSelectionsInBothColumns() {
        CHexEditCtrl* e = Make(64);
        for (int i = 0; i < 3; ++i) QTest::keyClick(e, Qt::Key_Right, Qt::ShiftModifier);
        QCOMPARE(e->model().SelectionLow(), 0);
        QCOMPARE(e->model().SelectionHigh(), 2);
        QTest::keyClick(e, Qt::Key_Down, Qt::ShiftModifier);
        QCOMPARE(e->model().SelectionHigh(), 18);
        QTest::keyClick(e, Qt::Key_Right);
        QVERIFY(!e->model().HasSelection());

        QTest::keyClick(e, Qt::Key_Tab);
        for (int i = 0; i < 3; ++i) QTest::keyClick(e, Qt::Key_Left, Qt::ShiftModifier);
        const int32_t caret = e->model().CaretOffset();
        QCOMPARE(e->model().SelectionLow(), caret);
        QCOMPARE(e->model().SelectionHigh(), caret + 3);
    }

    void copyOffersBinaryDataAndText() {
        CHexEditCtrl* e = Make(16);
        QTest::keyClicks(e, "41");
        QTest::keyClicks(e, "00");
        QTest::keyClicks(e, "42");
        QTest::keyClick(e, Qt::Key_Home);
        for (int i = 0; i < 5; ++i) QTest::keyClick(e, Qt::Key_Right, Qt::ShiftModifier);
        QTest::keyClick(e, Qt::Key_C, Qt::ControlModifier);
        const QMimeData* mime = QApplication::clipboard()->mimeData();
        QVERIFY(mime);
        QCOMPARE(mime->data(kBinaryDataFormat), QByteArray("A\0B", 3));
        QCOMPARE(mime->text(), QStringLiteral("41 00 42 "));
        QCOMPARE(Byte(0), uint8_t(0x41));  // Ctrl+C wrote nothing

        QTest::keyClick(e, Qt::Key_Tab);  // the same bytes from the character column
        e->SetSelection(3, 0);
        e->Copy();
        mime = QApplication::clipboard()->mimeData();
        QCOMPARE(mime->data(kBinaryDataFormat), QByteArray("A\0B", 3));
        QCOMPARE(mime->text(), QStringLiteral("A.B"));

        e->SelectAll();
        e->Copy();
        QCOMPARE(QApplication::clipboard()->mimeData()->data(kBinaryDataFormat).size(), 16);
    }

    void mouseClicksDragsAndClicksPastTheData() {
        CHexEditCtrl* e = Make(20, 8);
        QWidget* vp = e->viewport();
        QTest::mouseClick(vp, Qt::LeftButton, {}, Cell(9 + 3 * 2 + 1, 1));
        QCOMPARE(e->model().CaretOffset(), 18);
        QCOMPARE(e->model().Column(), CaretColumn::LowDigit);
        QTest::mouseClick(vp, Qt::LeftButton, {}, Cell(9 + 3 * 5, 1));  // past byte 19
        QCOMPARE(e->model().CaretOffset(), 18);
        QTest::mouseClick(vp, Qt::LeftButton, {}, Cell(10, 4));  // below the last row
        QCOMPARE(e->model().CaretOffset(), 18);
        QTest::keyClicks(e, "7");
        QCOMPARE(Byte(18), uint8_t(0x17));

        QTest::mousePress(vp, Qt::LeftButton, {}, Cell(57 + 1, 0));
        QTest::mouseMove(vp, Cell(57 + 9, 0));
        QMouseEvent move(QEvent::MouseMove, Cell(57 + 9, 0), vp->mapToGlobal(Cell(57 + 9, 0)),
                         Qt::NoButton, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(vp, &move);
        QTest::mouseRelease(vp, Qt::LeftButton, {}, Cell(57 + 9, 0));
        QCOMPARE(e->model().SelectionLow(), 1);
        QCOMPARE(e->model().SelectionHigh(), 9);
        QCOMPARE(e->model().Column(), CaretColumn::Characters);
        QTest::mouseClick(vp, Qt::LeftButton, Qt::ShiftModifier, Cell(57 + 12, 0));
        QCOMPARE(e->model().SelectionLow(), 9);
        QCOMPARE(e->model().SelectionHigh(), 12);
    }

    void paintShowsCaretAndSelectionWhereTheModelSays() {
        CHexEditCtrl* e = Make(0x1000, 8);
        QPalette dark = e->palette();  // a dark theme
        dark.setColor(QPalette::Base, QColor(0x1E, 0x1E, 0x1E));
        dark.setColor(QPalette::Text, QColor(0xE0, 0xE0, 0xE0));
        dark.setColor(QPalette::Highlight, QColor(0x30, 0x60, 0xC0));
        dark.setColor(QPalette::HighlightedText, Qt::white);
        e->setPalette(dark);
        QTRY_VERIFY(e->hasFocus());
        VerifyPaint();
        const QImage first = e->viewport()->grab().toImage();
        bool textInk = false;  // the digits in the palette's text colour
        for (int x = 0; x < first.width() && !textInk; ++x)
            for (int y = 0; y < e->model().LineHeight() && !textInk; ++y)
                textInk = first.pixelColor(x, y) == QColor(0xE0, 0xE0, 0xE0);
        QVERIFY(textInk);

        QTest::keyClick(e, Qt::Key_PageDown);
        QCOMPARE(e->model().TopOffset(), 128);
        QCOMPARE(e->model().CaretOffset(), 128);
        VerifyPaint();
        for (int i = 0; i < 7; ++i) QTest::keyClick(e, Qt::Key_Down);  // the bottom row
        QTest::keyClick(e, Qt::Key_End);
        QTest::keyClicks(e, "abcd");  // across the end of the bottom row
        QCOMPARE(e->model().Bytes()[255], uint8_t(0xAB));
        QCOMPARE(e->model().Bytes()[256], uint8_t(0xCD));
        QCOMPARE(e->model().TopOffset(), 144);
        VerifyPaint();

        QTest::keyClick(e, Qt::Key_PageDown, Qt::ShiftModifier);
        QTest::keyClick(e, Qt::Key_End, Qt::ShiftModifier);
        QCOMPARE(e->model().SelectionLow(), 257);
        QCOMPARE(e->model().SelectionHigh(), 400);  // through the row's last byte
        VerifyPaint();
        QTest::keyClick(e, Qt::Key_Left);
        QTest::keyClick(e, Qt::Key_Tab);  // the character pane
        VerifyPaint();
        QTest::keyClick(e, Qt::Key_PageUp, Qt::ShiftModifier);
        QCOMPARE(e->model().SelectionHigh() - e->model().SelectionLow(), 128);
        VerifyPaint();
        QTest::keyClick(e, Qt::Key_Home, Qt::ShiftModifier | Qt::ControlModifier);
        QCOMPARE(e->model().SelectionLow(), 0);
        QCOMPARE(e->model().TopOffset(), 0);
        VerifyPaint();
    }

    void clickInTheStripUnderTheLastWholeRowDoesNothing() {
        CHexEditCtrl* e = Make(0x1000, 8);
        const int lh = e->model().LineHeight();
        e->resize(e->width(), e->height() + lh / 2);
        QCOMPARE(e->model().VisibleRows(), 8);
        QTest::mouseClick(e->viewport(), Qt::LeftButton, {}, QPoint(Cell(12, 0).x(), 8 * lh + 2));
        QCOMPARE(e->model().CaretOffset(), 0);
        QTest::mouseClick(e->viewport(), Qt::LeftButton, {}, Cell(12, 7));
        QCOMPARE(e->model().CaretOffset(), 7 * 16 + 1);
    }

    void largestBufferStaysResponsive() {
        CHexEditCtrl* e = Make(0x42000, 30);
        QElapsedTimer timer;
        timer.start();
        for (int i = 0; i < 100; ++i) {
            QTest::keyClick(e, Qt::Key_PageDown);
            QTest::keyClicks(e, "a");
            e->viewport()->grab();
        }
        e->SelectAll();
        e->viewport()->grab();
        // About 50 ms here (three times that sanitized); ten times that leaves room for a
        // loaded machine.
        QVERIFY2(timer.elapsed() < 500 * LUMACREST_TIME_FACTOR,
                 qPrintable(QString::number(timer.elapsed())));
    }
};

QTEST_MAIN(HexEditCtrlTest)
#include "HexEditCtrlTest.moc"
