// One programmer of the station on screen: its port and device, who answers there, the stage
// and progress of a run, and the last verdict as a word large enough to read across the bench.
#pragma once

#include <QWidget>

#include "ui/station/Station.h"

namespace lumacrest {

class TileWidget : public QWidget {
    Q_OBJECT
public:
    explicit TileWidget(std::size_t index, QWidget* parent = nullptr);

    void Show(const TileState& state, bool selected);
    const TileState& State() const { return state_; }
    bool IsSelected() const { return selected_; }
    // The big word the tile shows now: "PASS", "FAIL", the stage of a run, or nothing.
    QString BigWord() const;
    // The colour behind it.
    QColor Face() const;

    QSize sizeHint() const override { return {300, 190}; }
    QSize minimumSizeHint() const override { return {220, 150}; }

signals:
    void clicked(std::size_t index);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;

private:
    std::size_t index_;
    TileState state_;
    bool selected_ = false;
};

}  // namespace lumacrest
