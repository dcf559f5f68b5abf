// The hex editor control: rows of an address, sixteen hex byte values and the same bytes as
// characters. It does all its own painting (only the visible rows), caret and input; the
// editing rules are those of HexEditModel.
#pragma once

#include <QAbstractScrollArea>
#include <QFont>
#include <QPoint>

#include "ui/edit/HexEditModel.h"

namespace lumacrest {

// The clipboard format that carries the selected bytes themselves.
inline constexpr const char* kBinaryDataFormat = "BinaryData";

class CHexEditCtrl : public QAbstractScrollArea {
    Q_OBJECT
  public:
    explicit CHexEditCtrl(QWidget* parent = nullptr);

    void SetData(const uint8_t* bytes, int32_t count);
    int32_t GetData(uint8_t* destination, int32_t capacity) const;
    void ScrollToOffset(int32_t offset);
    void SetSelection(int32_t anchor, int32_t end);

    HexEditModel& model() { return model_; }
    const QFont& EditorFont() const { return font_; }
    // The size that shows `rows` whole rows of the three columns.
    QSize SizeForRows(int rows) const;
    QSize sizeHint() const override { return SizeForRows(16); }

  public slots:
    void Copy();
    void SelectAll();

  protected:
    bool event(QEvent* e) override;
    void paintEvent(QPaintEvent* e) override;
    void resizeEvent(QResizeEvent* e) override;
    void scrollContentsBy(int dx, int dy) override;
    void keyPressEvent(QKeyEvent* e) override;
    void mousePressEvent(QMouseEvent* e) override;
    void mouseMoveEvent(QMouseEvent* e) override;
    void mouseReleaseEvent(QMouseEvent* e) override;
    void mouseDoubleClickEvent(QMouseEvent* e) override;
    void focusInEvent(QFocusEvent* e) override;
    void focusOutEvent(QFocusEvent* e) override;
    void contextMenuEvent(QContextMenuEvent* e) override;

  private:
    void Refresh();  // scroll bar from the model, then repaint
    void UpdateMetrics();

    HexEditModel model_;
    QFont font_;
    int ascent_ = 0;
    bool wholeRuns_ = true;
    bool syncing_ = false;
    bool dragPending_ = false;
    QPoint pressPos_;
};

// "Courier New" when installed, else the system's fixed-pitch font; 14 pixels high.
QFont HexEditorFont();

}  // namespace lumacrest
