#include "ui/edit/qt/CHexEditCtrl.h"

#include <algorithm>
#include <iterator>
#include <utility>

#include <QApplication>
#include <QClipboard>
#include <QFontDatabase>
#include <QFontInfo>
#include <QKeyEvent>
#include <QMimeData>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <QStyle>

namespace lumacrest {

namespace {
// Every cell the same width: what the columns of the editor rely on.
bool EvenPitch(const QFont& font) {
    const QFontMetrics fm(font);
    const int w = fm.horizontalAdvance(QLatin1Char('0'));
    return w > 0 && fm.horizontalAdvance(QLatin1Char('i')) == w &&
           fm.horizontalAdvance(QLatin1Char('W')) == w &&
           fm.horizontalAdvance(QLatin1Char('.')) == w;
}
}  // namespace

QFont HexEditorFont() {
    // "Courier New" where it is installed; else a fixed-pitch face that Linux desktops have.
    const QStringList families = {QStringLiteral("Courier New"), QStringLiteral("DejaVu Sans Mono"),
                                  QStringLiteral("Liberation Mono"), QStringLiteral("Noto Mono"),
                                  QStringLiteral("Courier")};
    for (const QString& family : families) {
        QFont font(family);
        font.setPixelSize(14);
        font.setHintingPreference(QFont::PreferFullHinting);  // whole-pixel advances
        if (QFontInfo(font).family().compare(family, Qt::CaseInsensitive) == 0 && EvenPitch(font))
            return font;
    }
    QFont font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    font.setStyleHint(QFont::Monospace);
    font.setFixedPitch(true);
    font.setPixelSize(14);
    font.setHintingPreference(QFont::PreferFullHinting);
    return font;
}

CHexEditCtrl::CHexEditCtrl(QWidget* parent) : QAbstractScrollArea(parent), font_(HexEditorFont()) {
    setFocusPolicy(Qt::StrongFocus);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    viewport()->setAttribute(Qt::WA_OpaquePaintEvent);
    viewport()->setCursor(Qt::IBeamCursor);
    verticalScrollBar()->setSingleStep(1);
    UpdateMetrics();
    Refresh();
}

void CHexEditCtrl::UpdateMetrics() {
    const QFontMetrics fm(font_);
    model_.SetCharMetrics(fm.horizontalAdvance(QLatin1Char('0')), fm.height());
    ascent_ = fm.ascent();
    // A run of text lands on the cells only when the advance is a whole pixel count.
    const qreal run = QFontMetricsF(font_).horizontalAdvance(QStringLiteral("0123456789ABCDEF"));
    wholeRuns_ = qFuzzyCompare(run, 16.0 * fm.horizontalAdvance(QLatin1Char('0')));
    model_.SetClientSize(viewport()->width(), viewport()->height());
}

QSize CHexEditCtrl::SizeForRows(int rows) const {
    const QFontMetrics fm(font_);
    const int cells = 9 + 48 + 16 + 1;
    const int frame = 2 * frameWidth();
    return QSize(cells * fm.horizontalAdvance(QLatin1Char('0')) + frame +
                     style()->pixelMetric(QStyle::PM_ScrollBarExtent),
                 rows * fm.height() + frame);
}

void CHexEditCtrl::SetData(const uint8_t* bytes, int32_t count) {
    model_.SetData(bytes, count);
    Refresh();
}

int32_t CHexEditCtrl::GetData(uint8_t* destination, int32_t capacity) const {
    return model_.GetData(destination, capacity);
}

void CHexEditCtrl::ScrollToOffset(int32_t offset) {
    model_.ScrollToOffset(offset);
    Refresh();
}

void CHexEditCtrl::SetSelection(int32_t anchor, int32_t end) {
    model_.SetSelection(anchor, end);
    Refresh();
}

void CHexEditCtrl::SelectAll() {
    model_.SelectAll();
    Refresh();
}

void CHexEditCtrl::Copy() {
    if (!model_.HasSelection()) return;
    const HexClipboard clip = model_.Copy();
    auto* mime = new QMimeData;
    mime->setData(QString::fromLatin1(kBinaryDataFormat),
                  QByteArray(clip.binary.data(), static_cast<qsizetype>(clip.binary.size())));
    mime->setText(QString::fromLatin1(clip.text.data(), static_cast<qsizetype>(clip.text.size())));
    QApplication::clipboard()->setMimeData(mime);
}

void CHexEditCtrl::Refresh() {
    if (model_.HasData()) {
        const int32_t max = model_.ScrollMax();
        syncing_ = true;
        QScrollBar* bar = verticalScrollBar();
        bar->setRange(0, max);
        bar->setPageStep(std::max(model_.VisibleRows(), 1));
        bar->setValue(model_.ScrollPos());
        bar->setEnabled(max > 0);
        syncing_ = false;
    } else {
        verticalScrollBar()->setRange(0, 0);
        verticalScrollBar()->setEnabled(false);
    }
    viewport()->update();
}

void CHexEditCtrl::scrollContentsBy(int, int) {
    if (syncing_) return;
    model_.VScroll(ScrollCode::ThumbTrack, verticalScrollBar()->value());
    viewport()->update();
}

void CHexEditCtrl::resizeEvent(QResizeEvent* e) {
    QAbstractScrollArea::resizeEvent(e);
    model_.SetClientSize(viewport()->width(), viewport()->height());
    Refresh();
}

void CHexEditCtrl::paintEvent(QPaintEvent*) {
    // The viewport is painted whole into Qt's back buffer: never a separate erase.
    // Background and text both from the palette, so that a dark theme stays readable.
    QPainter p(viewport());
    const QRect client = viewport()->rect();
    const QPalette& pal = palette();
    p.fillRect(client, pal.color(QPalette::Base));
    if (!model_.HasData()) return;
    p.setFont(font_);
    const QColor text = pal.color(QPalette::Text);
    const QColor hiText = pal.color(QPalette::HighlightedText);
    const QColor hiBack = pal.color(QPalette::Highlight);

    const int cw = model_.CharWidth();
    const int lh = model_.LineHeight();
    const int rows = model_.VisibleRows();
    const int wholeRows = client.height() / lh;
    const int hexX = model_.HexX();
    const int charX = model_.CharX();
    const bool selection = model_.HasSelection();
    const bool hexHighlight = selection && model_.InHexColumn();
    const bool charHighlight = selection && model_.Column() == CaretColumn::Characters;
    const int32_t length = model_.Length();
    const std::vector<uint8_t>& bytes = model_.Bytes();

    // One text call per row and column; cell by cell where the font's advance is fractional.
    auto drawRun = [&](int x, int y, const QString& s) {
        if (wholeRuns_) {
            p.drawText(x, y + ascent_, s);
            return;
        }
        for (int i = 0; i < s.size(); ++i) p.drawText(x + i * cw, y + ascent_, QString(s[i]));
    };
    auto drawCell = [&](int x, int y, const QString& s, bool highlighted) {
        if (highlighted) {
            p.fillRect(QRect(x, y, cw * static_cast<int>(s.size()), lh), hiBack);
            p.setPen(hiText);
        } else {
            p.setPen(text);
        }
        drawRun(x, y, s);
    };

    p.setPen(text);
    for (int row = 0; row < rows && row < std::max(wholeRows, 1); ++row) {
        const int32_t offset = model_.TopOffset() + row * HexEditModel::kRowWidth;
        if (offset >= length) break;
        const int y = row * lh;
        p.setPen(text);
        drawRun(0, y, QString::fromStdString(model_.AddressText(offset)));
        const int count = std::min<int32_t>(HexEditModel::kRowWidth, length - offset);
        if (!hexHighlight) {
            p.setPen(text);
            drawRun(hexX, y, QString::fromStdString(model_.HexText(offset)));
        } else {
            for (int i = 0; i < count; ++i) {
                const uint8_t b = bytes[static_cast<std::size_t>(offset + i)];
                const QChar pair[2] = {QLatin1Char(HexEditModel::kDigits[b >> 4]),
                                       QLatin1Char(HexEditModel::kDigits[b & 15])};
                drawCell(hexX + 3 * i * cw, y, QString(pair, 2), model_.Selected(offset + i));
            }
        }
        if (!charHighlight) {
            p.setPen(text);
            drawRun(charX, y, QString::fromLatin1(model_.CharText(offset)));
        } else {
            const std::string chars = model_.CharText(offset);
            for (int i = 0; i < count; ++i)
                drawCell(charX + i * cw, y, QString(QLatin1Char(chars[i])),
                         model_.Selected(offset + i));
        }
    }

    if (hasFocus() && !selection) {
        const CaretRect caret = model_.Caret();
        if (caret.visible) {
            p.setCompositionMode(QPainter::RasterOp_SourceXorDestination);
            p.fillRect(QRect(caret.x, caret.y, caret.width, caret.height), Qt::white);
        }
    }
}

bool CHexEditCtrl::event(QEvent* e) {
    // Tab, Enter and Escape belong to the editor, not to the dialog around it; Alt keys go
    // to the dialog's mnemonics, and Ctrl+Tab leaves the editor.
    if (e->type() == QEvent::ShortcutOverride) {
        if (static_cast<QKeyEvent*>(e)->modifiers() & Qt::AltModifier) return false;
        e->accept();
        return true;
    }
    if (e->type() == QEvent::KeyPress) {
        auto* ke = static_cast<QKeyEvent*>(e);
        if (ke->key() == Qt::Key_Tab || ke->key() == Qt::Key_Backtab) {
            const bool shift = ke->modifiers() & Qt::ShiftModifier;
            if (ke->modifiers() & Qt::ControlModifier)
                focusNextPrevChild(ke->key() == Qt::Key_Tab && !shift);
            else
                keyPressEvent(ke);
            return true;
        }
    }
    return QAbstractScrollArea::event(e);
}

void CHexEditCtrl::keyPressEvent(QKeyEvent* e) {
    if (e->modifiers() & Qt::AltModifier) {
        e->ignore();
        return;
    }
    e->accept();
    if (!model_.HasData()) return;
    const bool shift = e->modifiers() & Qt::ShiftModifier;
    const bool control = e->modifiers() & Qt::ControlModifier;

    static const std::pair<int, HexKey> kKeys[] = {
        {Qt::Key_Tab, HexKey::Tab},     {Qt::Key_Backtab, HexKey::Tab},
        {Qt::Key_PageUp, HexKey::PageUp}, {Qt::Key_PageDown, HexKey::PageDown},
        {Qt::Key_Home, HexKey::Home},   {Qt::Key_End, HexKey::End},
        {Qt::Key_Left, HexKey::Left},   {Qt::Key_Up, HexKey::Up},
        {Qt::Key_Right, HexKey::Right}, {Qt::Key_Down, HexKey::Down},
        {Qt::Key_Insert, HexKey::Insert}, {Qt::Key_Delete, HexKey::Delete}};
    bool copy = false;
    const auto key = std::find_if(std::begin(kKeys), std::end(kKeys),
                                  [e](const auto& k) { return k.first == e->key(); });
    if (key != std::end(kKeys)) {
        copy = model_.Key(key->second, shift, control);
    } else if (control && e->key() >= Qt::Key_A && e->key() <= Qt::Key_Z) {
        copy = model_.Char(static_cast<uint32_t>(e->key() - Qt::Key_A + 1), true);
    } else if (e->key() == Qt::Key_Backspace) {
        model_.Char('\b', control);
    } else if (!control && e->text().size() == 1) {
        model_.Char(e->text().at(0).unicode(), false);  // the model takes printable ones only
    }
    if (copy) Copy();
    Refresh();
}

void CHexEditCtrl::mousePressEvent(QMouseEvent* e) {
    if (e->button() != Qt::LeftButton) return;
    setFocus(Qt::MouseFocusReason);
    if (!model_.HasData()) return;
    const bool shift = e->modifiers() & Qt::ShiftModifier;
    const QPoint pt = e->position().toPoint();
    model_.MousePress(pt.x(), pt.y(), shift);
    dragPending_ = !shift;
    pressPos_ = pt;
    Refresh();
}

void CHexEditCtrl::mouseMoveEvent(QMouseEvent* e) {
    if (!model_.HasData()) return;
    if (!(e->buttons() & Qt::LeftButton)) return;
    const QPoint pt = e->position().toPoint();
    if (dragPending_ && (pt - pressPos_).manhattanLength() >= QApplication::startDragDistance()) {
        dragPending_ = false;
        model_.BeginDrag();
    }
    if (model_.HasSelection()) model_.MouseDrag(pt.x(), pt.y());
    Refresh();
}

void CHexEditCtrl::mouseReleaseEvent(QMouseEvent*) {
    dragPending_ = false;
}

void CHexEditCtrl::mouseDoubleClickEvent(QMouseEvent*) {}

void CHexEditCtrl::focusInEvent(QFocusEvent* e) {
    QAbstractScrollArea::focusInEvent(e);
    viewport()->update();
}

void CHexEditCtrl::focusOutEvent(QFocusEvent* e) {
    QAbstractScrollArea::focusOutEvent(e);
    viewport()->update();
}

void CHexEditCtrl::contextMenuEvent(QContextMenuEvent* e) {
    e->accept();
}

}  // namespace lumacrest
