// The skinned push button: a generated background texture (effect styles 1..8; the program
// uses style 7, a shaded relief with noise), hover and pressed states, and one or two images.
#pragma once

#include <QIcon>
#include <QPixmap>
#include <QPushButton>

namespace lumacrest {

class CSkinButton : public QPushButton {
    Q_OBJECT
public:
    explicit CSkinButton(const QString& text = QString(), QWidget* parent = nullptr);

    // Builds the background faces for `style` from the palette's highlight, face and shadow
    // colours in 128 steps; the four parameters shape the pattern (style 7: noise amount,
    // relief depth).
    void SetEffect(int style, int p1, int p2, int p3, int p4);
    int EffectStyle() const { return style_; }

    // Two images: the first while hovered or pressed, the second otherwise. One image: always.
    void SetImages(const QPixmap& hot, const QPixmap& normal = QPixmap());
    // The image drawn now.
    QPixmap CurrentImage() const;
    bool IsHovered() const { return hovered_; }

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void BuildFaces();
    void SyncPlainIcon();
    int LabelWidth() const;  // the text's width, a mnemonic's "&" left out

    int style_ = 0;
    int params_[4] = {0, 0, 0, 0};
    QPixmap face_;
    QPixmap hotFace_;
    QPixmap hot_;
    QPixmap normal_;
    bool hovered_ = false;
};

// The toolbar of the main window. It is constructed and enabled or disabled with the other
// controls, but its window is never shown.
class CToolBarEx : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;
    void EnableWindow(bool enabled) { enabled_ = enabled; }
    bool IsWindowEnabled() const { return enabled_; }
    bool HasWindow() const { return false; }

private:
    bool enabled_ = true;
};

}  // namespace lumacrest
