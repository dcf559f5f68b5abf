#include "ui/chrome/qt/CGradientProgressCtrl.h"

#include <QPainter>
#include <vector>

#include "ui/chrome/ProgressFace.h"

namespace lumacrest {

namespace {
QColor FromColorRef(uint32_t c) {
    return QColor(static_cast<int>(c & 0xFF), static_cast<int>((c >> 8) & 0xFF),
                  static_cast<int>((c >> 16) & 0xFF));
}

uint32_t ToColorRef(const QColor& c) {
    return static_cast<uint32_t>(c.red()) | static_cast<uint32_t>(c.green()) << 8 |
           static_cast<uint32_t>(c.blue()) << 16;
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
    const QColor background = palette().color(QPalette::Button);
    p.fillRect(r, background);
    p.setPen(palette().color(QPalette::Mid));
    p.drawRect(r.adjusted(0, 0, -1, -1));
    if (!ProgressShowsBar(position_, lower_, upper_)) return;

    // The text takes, run by run, a colour that reads well on what is behind it: the text
    // colour on the light part, black or white on the dark part of the gradient.
    struct Run {
        int x0, x1;
        QColor text;
    };
    std::vector<Run> runs;
    const uint32_t text = ToColorRef(textColor_);
    auto behind = [&](int x0, int x1, const QColor& color) {
        const QColor c = FromColorRef(LegibleTextColor(text, ToColorRef(color)));
        if (!runs.empty() && runs.back().text == c)
            runs.back().x1 = x1;
        else
            runs.push_back({runs.empty() ? r.left() : x0, x1, c});
    };

    const QRect inner = r.adjusted(1, 1, -1, -1);
    const int filled = ProgressExtent(position_, upper_, inner.width());
    const int steps = GradientSteps(startColor_, endColor_);
    // One band per gradient step over the filled part, in whole pixels.
    int x = inner.left();
    for (int i = 0; i < steps && x < inner.left() + filled; ++i) {
        const int next = inner.left() + static_cast<int>(static_cast<long long>(filled) * (i + 1) / steps);
        if (next > x) {
            const QColor band = FromColorRef(GradientColor(startColor_, endColor_, i, steps));
            p.fillRect(QRect(x, inner.top(), next - x, inner.height()), band);
            behind(x, next, band);
            x = next;
        }
    }
    behind(x, r.right() + 1, background);
    if (showText_) {
        for (const Run& run : runs) {
            p.setClipRect(QRect(run.x0, r.top(), run.x1 - run.x0, r.height()));
            p.setPen(run.text);
            p.drawText(r, Qt::AlignCenter, Text());
        }
    }
}

}  // namespace lumacrest
