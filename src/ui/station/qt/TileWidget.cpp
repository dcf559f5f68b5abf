#include "ui/station/qt/TileWidget.h"

#include <QMouseEvent>
#include <algorithm>
#include <QPainter>

namespace lumacrest {

namespace {
// Colours of their own, not the theme's: the same under a light and a dark desktop.
const QColor kPassFace(0x1b, 0x7a, 0x36);
const QColor kFailFace(0xc0, 0x1f, 0x1f);
const QColor kRunFace(0x1f, 0x4e, 0x8c);
const QColor kIdleFace(0x33, 0x3a, 0x42);
const QColor kAbsentFace(0x5f, 0x63, 0x68);
const QColor kLostFace(0x6d, 0x4c, 0x1f);
const QColor kText(0xff, 0xff, 0xff);
const QColor kDimText(0xcf, 0xd3, 0xd8);
const QColor kSelection(0xff, 0xc1, 0x07);
}  // namespace

TileWidget::TileWidget(std::size_t index, QWidget* parent) : QWidget(parent), index_(index) {
    setFocusPolicy(Qt::NoFocus);
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void TileWidget::Show(const TileState& state, bool selected) {
    // The view follows every tile a few times a second: only a tile that looks different is
    // painted again.
    if (state == state_ && selected == selected_) return;
    state_ = state;
    selected_ = selected;
    update();
}

QString TileWidget::BigWord() const {
    if (state_.running) return QString::fromStdString(state_.stage);
    if (state_.verdict) return QString::fromStdString(state_.verdict->word);
    return {};
}

QColor TileWidget::Face() const {
    if (state_.running) return kRunFace;
    if (state_.presence == TilePresence::Lost) return kLostFace;
    if (state_.presence == TilePresence::NoProgrammer) return kAbsentFace;
    if (state_.verdict) return state_.verdict->passed ? kPassFace : kFailFace;
    return kIdleFace;
}

void TileWidget::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const QRect all = rect();
    p.fillRect(all, palette().window());
    const QRect card = all.adjusted(3, 3, -3, -3);
    p.setPen(Qt::NoPen);
    p.setBrush(Face());
    p.drawRoundedRect(card, 6, 6);
    if (selected_) {
        p.setPen(QPen(kSelection, 4));
        p.setBrush(Qt::NoBrush);
        p.drawRoundedRect(card.adjusted(2, 2, -2, -2), 5, 5);
    }
    const QRect inner = card.adjusted(10, 8, -10, -8);
    const int h = inner.height();
    QFont f = font();

    // Top: the key that starts it, the port and the device; who answers there.
    f.setBold(true);
    f.setPixelSize(std::max(13, h / 11));
    p.setFont(f);
    p.setPen(kText);
    const QString key = index_ < 10 ? QString::number((index_ + 1) % 10) + QStringLiteral("  ") : QString();
    const QFontMetrics top(f);
    const QRect titleRect(inner.left(), inner.top(), inner.width(), top.height());
    p.drawText(titleRect, Qt::AlignLeft | Qt::AlignVCenter,
               top.elidedText(key + QString::fromStdString(state_.Title()), Qt::ElideMiddle, inner.width()));
    f.setBold(false);
    f.setPixelSize(std::max(12, h / 13));
    p.setFont(f);
    p.setPen(state_.presence == TilePresence::Ready ? kText : kDimText);
    const QFontMetrics line(f);
    const QRect presenceRect(inner.left(), titleRect.bottom() + 2, inner.width(), line.height());
    p.drawText(presenceRect, Qt::AlignLeft | Qt::AlignVCenter,
               line.elidedText(QString::fromStdString(state_.PresenceText()), Qt::ElideRight, inner.width()));

    // Bottom: the tile's counts.
    const QRect countsRect(inner.left(), inner.bottom() - line.height(), inner.width(), line.height());
    p.setPen(kDimText);
    p.drawText(countsRect, Qt::AlignLeft | Qt::AlignVCenter,
               QStringLiteral("passed %1  failed %2  first-pass %3")
                   .arg(state_.counts.passed)
                   .arg(state_.counts.failed)
                   .arg(QString::fromStdString(state_.counts.FirstPassYield())));

    // Middle: the big word, and the progress of a run or the verdict's detail.
    const int middleTop = presenceRect.bottom() + 4;
    const int middleBottom = countsRect.top() - 4;
    const QString word = BigWord();
    QFont big = font();
    big.setBold(true);
    big.setPixelSize(state_.running ? std::max(16, h / 7) : std::max(28, h / 3));
    p.setFont(big);
    p.setPen(kText);
    const QFontMetrics bigMetrics(big);
    const QRect wordRect(inner.left(), middleTop, inner.width(), bigMetrics.height());
    p.drawText(wordRect, Qt::AlignLeft | Qt::AlignVCenter,
               bigMetrics.elidedText(word, Qt::ElideRight, inner.width()));
    p.setFont(f);
    if (state_.running) {
        const QRect bar(inner.left(), wordRect.bottom() + 6, inner.width(), std::max(12, h / 10));
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(0, 0, 0, 90));
        p.drawRoundedRect(bar, 3, 3);
        const int pos = std::clamp(state_.progress, 0, 100);
        if (pos > 1) {
            p.setBrush(QColor(0x8b, 0xc3, 0x4a));
            p.drawRoundedRect(QRect(bar.left(), bar.top(), bar.width() * pos / 100, bar.height()), 3, 3);
        }
        return;
    }
    // Where and why (the reason wrapped over the lines left), the serial number, the seconds.
    QStringList before, after;
    QString reason;
    if (state_.verdict) {
        const VerdictFace& v = *state_.verdict;
        if (!v.where.empty()) before << QString::fromStdString(v.where);
        reason = QString::fromStdString(v.reason);
        if (v.serialNumber) after << QStringLiteral("SN %1").arg(*v.serialNumber);
        after << QString::fromStdString(v.seconds);
    } else if (!state_.message.empty()) {
        reason = QString::fromStdString(state_.message);
    }
    int y = wordRect.bottom() + 2;
    p.setPen(kText);
    auto drawLine = [&](const QString& text) {
        if (y + line.height() > middleBottom) return;
        p.drawText(QRect(inner.left(), y, inner.width(), line.height()), Qt::AlignLeft | Qt::AlignVCenter,
                   line.elidedText(text, Qt::ElideRight, inner.width()));
        y += line.height();
    };
    for (const QString& text : before) drawLine(text);
    const int reserved = static_cast<int>(after.size()) * line.height();
    const int room = (middleBottom - y - reserved) / line.height() * line.height();
    if (!reason.isEmpty() && room > 0) {
        const QRect box(inner.left(), y, inner.width(), room);
        const QRect used = line.boundingRect(box, Qt::TextWordWrap | Qt::AlignLeft, reason);
        p.drawText(box, Qt::TextWordWrap | Qt::AlignLeft | Qt::AlignTop, reason);
        y += std::min(room, used.height());
    }
    for (const QString& text : after) drawLine(text);
}

void TileWidget::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) emit clicked(index_);
}

}  // namespace lumacrest
