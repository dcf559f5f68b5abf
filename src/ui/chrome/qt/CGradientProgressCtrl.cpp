#include "ui/chrome/qt/CGradientProgressCtrl.h"

#include <QPainter>

#include "ui/chrome/ProgressFace.h"

namespace lumacrest {

namespace {
QColor FromColorRef(uint32_t c) {
    return QColor(static_cast<int>(c & 0xFF), static_cast<int>((c >> 8) & 0xFF),
                  static_cast<int>((c >> 16) & 0xFF));
}
}  // namespace

CGradientProgressCtrl::CGradientProgressCtrl(QWidget* parent)
    : QWidget(parent), startColor_(kProgressStartColor), endColor_(kProgressEndColor) {
    setAttribute(Qt::WA_OpaquePaintEvent);
    (void)step_;
}

void CGradientProgressCtrl::SetRange(int lower, int upper) {
    lower_ = lower;
    upper_ = upper;
    position_ = lower;
    update();
}

void CGradientProgressCtrl::SetPos(int position) {
    if (position == position_) return;
    position_ = position;
    update();
}

void CGradientProgressCtrl::SetShowText(bool show) {
    showText_ = show;
    update();
}

void CGradientProgressCtrl::SetTextColor(const QColor& color) {
    textColor_ = color;
    update();
}

QString CGradientProgressCtrl::Text() const {
    if (!showText_) return {};
    auto text = ProgressText(position_, lower_, upper_);
    return text ? QString::fromStdString(*text) : QString();
}

void CGradientProgressCtrl::paintEvent(QPaintEvent*) {
    QPainter p(this);
    const QRect r = rect();
    p.fillRect(r, palette().color(QPalette::Button));
    p.setPen(palette().color(QPalette::Mid));
    p.drawRect(r.adjusted(0, 0, -1, -1));
    if (!ProgressShowsBar(position_, lower_, upper_)) return;

    const QRect inner = r.adjusted(1, 1, -1, -1);
    const int filled = ProgressExtent(position_, upper_, inner.width());
    const int steps = GradientSteps(startColor_, endColor_);
    // One band per gradient step over the filled part, in whole pixels.
    int x = inner.left();
    for (int i = 0; i < steps && x < inner.left() + filled; ++i) {
        const int next = inner.left() + static_cast<int>(static_cast<long long>(filled) * (i + 1) / steps);
        if (next > x) {
            p.fillRect(QRect(x, inner.top(), next - x, inner.height()),
                       FromColorRef(GradientColor(startColor_, endColor_, i, steps)));
            x = next;
        }
    }
    if (showText_) {
        p.setPen(textColor_);
        p.drawText(r, Qt::AlignCenter, Text());
    }
}

}  // namespace lumacrest
