// The progress control: a red-to-blue gradient up to the position and the percentage as
// text over it.
#pragma once

#include <QColor>
#include <QWidget>

namespace lumacrest {

class CGradientProgressCtrl : public QWidget {
    Q_OBJECT
public:
    explicit CGradientProgressCtrl(QWidget* parent = nullptr);

    void SetRange(int lower, int upper);  // also puts the position at the lower bound
    void SetPos(int position);
    int Pos() const { return position_; }
    int Lower() const { return lower_; }
    int Upper() const { return upper_; }
    void SetShowText(bool show);
    void SetTextColor(const QColor& color);
    // The text painted now, empty when none is.
    QString Text() const;

    QSize sizeHint() const override { return {200, 22}; }
    QSize minimumSizeHint() const override { return {60, 16}; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    int lower_ = 0;
    int upper_ = 100;
    int step_ = 10;
    int position_ = 0;
    uint32_t startColor_;
    uint32_t endColor_;
    QColor textColor_ = Qt::white;
    bool showText_ = true;
};

}  // namespace lumacrest
