#include "ui/chrome/qt/CSkinButton.h"

#include <QEnterEvent>
#include <QPainter>
#include <QRandomGenerator>
#include <QStyleOptionButton>
#include <algorithm>

namespace lumacrest {

namespace {
QColor Mix(const QColor& a, const QColor& b, int step, int steps) {
    auto ch = [&](int x, int y) { return x + (y - x) * step / steps; };
    return QColor(ch(a.red(), b.red()), ch(a.green(), b.green()), ch(a.blue(), b.blue()));
}

// A face: colours from `top` over `middle` to `bottom` in 128 steps, light and dark relief
// edges, and (for the noise styles) every pixel moved up or down by a random amount.
QPixmap MakeFace(QSize size, const QColor& top, const QColor& middle, const QColor& bottom,
                 int noise, int relief) {
    QImage image(size, QImage::Format_RGB32);
    const int h = std::max(1, size.height());
    constexpr int kSteps = 128;
    QRandomGenerator random(0x5EED);  // the same texture for the same button size
    for (int y = 0; y < size.height(); ++y) {
        const int step = y * kSteps / h;
        const QColor base = step < kSteps / 2 ? Mix(top, middle, step, kSteps / 2)
                                              : Mix(middle, bottom, step - kSteps / 2, kSteps / 2);
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < size.width(); ++x) {
            const int d = noise > 0 ? static_cast<int>(random.bounded(2 * noise + 1)) - noise : 0;
            line[x] = qRgb(std::clamp(base.red() + d, 0, 255), std::clamp(base.green() + d, 0, 255),
                           std::clamp(base.blue() + d, 0, 255));
        }
    }
    QPainter p(&image);
    for (int i = 0; i < relief; ++i) {
        p.setPen(QColor(255, 255, 255, 150 - i * 40));
        p.drawLine(i, i, size.width() - 1 - i, i);
        p.drawLine(i, i, i, size.height() - 1 - i);
        p.setPen(QColor(0, 0, 0, 110 - i * 30));
        p.drawLine(i, size.height() - 1 - i, size.width() - 1 - i, size.height() - 1 - i);
        p.drawLine(size.width() - 1 - i, i, size.width() - 1 - i, size.height() - 1 - i);
    }
    return QPixmap::fromImage(image);
}
}  // namespace

CSkinButton::CSkinButton(const QString& text, QWidget* parent) : QPushButton(text, parent) {
    setAttribute(Qt::WA_Hover);
    setMouseTracking(true);
}

void CSkinButton::SetEffect(int style, int p1, int p2, int p3, int p4) {
    style_ = style;
    if (style_ != 0) setIcon(QIcon());
    params_[0] = p1;
    params_[1] = p2;
    params_[2] = p3;
    params_[3] = p4;
    BuildFaces();
    update();
}

void CSkinButton::BuildFaces() {
    if (style_ == 0 || width() <= 0 || height() <= 0) return;
    const QPalette pal = palette();
    const QColor light = pal.color(QPalette::Light);
    const QColor face = pal.color(QPalette::Button);
    const QColor shadow = pal.color(QPalette::Mid);
    const QColor highlight = pal.color(QPalette::Highlight);
    const bool noisy = style_ == 7 || style_ == 8;
    const int noise = noisy ? std::clamp(params_[0], 0, 32) : 0;
    const int relief = std::clamp(params_[1] / 5, 1, 3);
    face_ = MakeFace(size(), light, face, shadow, noise, relief);
    hotFace_ = MakeFace(size(), light, Mix(face, highlight, 1, 5), Mix(shadow, highlight, 1, 4),
                        noise, relief);
}

void CSkinButton::SetImages(const QPixmap& hot, const QPixmap& normal) {
    hot_ = hot;
    normal_ = normal;
    SyncPlainIcon();
    update();
}

QPixmap CSkinButton::CurrentImage() const {
    if (normal_.isNull()) return hot_;
    return (hovered_ || isDown()) ? hot_ : normal_;
}

int CSkinButton::LabelWidth() const {
    return fontMetrics().size(Qt::TextShowMnemonic, text()).width();
}

QSize CSkinButton::sizeHint() const {
    QSize hint = QPushButton::sizeHint();
    const QPixmap image = CurrentImage();
    if (!image.isNull()) {
        const QSize img = image.deviceIndependentSize().toSize();
        const int textWidth = text().isEmpty() ? 0 : LabelWidth() + 8;
        hint = hint.expandedTo(QSize(img.width() + textWidth + 20, img.height() + 10));
    }
    return hint.expandedTo(QSize(84, 30));
}

void CSkinButton::SyncPlainIcon() {
    // Without an effect the platform draws the button; the image goes in as its icon.
    if (style_ != 0) return;
    const QPixmap image = CurrentImage();
    setIcon(image.isNull() ? QIcon() : QIcon(image));
    if (!image.isNull()) setIconSize(image.deviceIndependentSize().toSize());
}

void CSkinButton::enterEvent(QEnterEvent* event) {
    hovered_ = true;
    SyncPlainIcon();
    update();
    QPushButton::enterEvent(event);
}

void CSkinButton::leaveEvent(QEvent* event) {
    hovered_ = false;
    SyncPlainIcon();
    update();
    QPushButton::leaveEvent(event);
}

void CSkinButton::resizeEvent(QResizeEvent* event) {
    QPushButton::resizeEvent(event);
    BuildFaces();
}

void CSkinButton::paintEvent(QPaintEvent* event) {
    if (style_ == 0) {
        QPushButton::paintEvent(event);
        return;
    }
    QPainter p(this);
    const bool down = isDown() || isChecked();
    const QPixmap& face = (hovered_ && isEnabled()) ? hotFace_ : face_;
    if (down) {
        p.save();  // pressed: the relief turned upside down
        p.translate(width(), height());
        p.rotate(180);
        p.drawPixmap(0, 0, face);
        p.restore();
    } else {
        p.drawPixmap(0, 0, face);
    }
    p.setPen(palette().color(QPalette::Shadow));
    p.drawRect(rect().adjusted(0, 0, -1, -1));
    if (hasFocus()) {
        p.setPen(QPen(palette().color(QPalette::Highlight), 1, Qt::DotLine));
        p.drawRect(rect().adjusted(3, 3, -4, -4));
    }

    QRect content = rect().adjusted(6, 3, -6, -3);
    if (down) content.translate(1, 1);
    const QPixmap image = CurrentImage();
    const QString label = text();
    int x = content.left();
    if (!image.isNull()) {
        const QSize img = image.deviceIndependentSize().toSize();
        const int total = img.width() + (label.isEmpty() ? 0 : 6 + LabelWidth());
        x = content.left() + std::max(0, (content.width() - total) / 2);
        const int y = content.top() + (content.height() - img.height()) / 2;
        if (isEnabled()) {
            p.drawPixmap(x, y, image);
        } else {
            QIcon icon(image);
            p.drawPixmap(x, y, icon.pixmap(img, QIcon::Disabled));
        }
        x += img.width() + 6;
    }
    p.setPen(palette().color(isEnabled() ? QPalette::Active : QPalette::Disabled, QPalette::ButtonText));
    // "&OK": the ampersand marks the mnemonic (Alt+O) and is drawn as an underline.
    if (image.isNull())
        p.drawText(content, Qt::AlignCenter | Qt::TextShowMnemonic, label);
    else
        p.drawText(QRect(x, content.top(), content.right() - x, content.height()),
                   Qt::AlignVCenter | Qt::AlignLeft | Qt::TextShowMnemonic, label);
}

}  // namespace lumacrest
