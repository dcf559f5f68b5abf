// The buffer editor dialog: a hex editor over the session's working copy, Save of a range to
// a ".ses" file and Fill of a range with one value. The checks and the actions are the
// session's; this is their window.
#pragma once

#include <QDialog>
#include <QTimer>

#include "platform/DialogSessions.h"

class QPushButton;

namespace lumacrest {

class CHexEditCtrl;
class CHexInputEdit;
class Prompts;

class CBufferEditDlg : public QDialog {
    Q_OBJECT
  public:
    CBufferEditDlg(BufferEditSession& session, Prompts& prompts, QWidget* parent = nullptr);

    CHexEditCtrl* Editor() const { return editor_; }
    // Fields and buttons by resource id (1008 … 1015, 1013, 1014, 1, 2).
    CHexInputEdit* Field(int id) const;
    QPushButton* Button(int id) const;
    // Whether the editor has been handed the working copy (100 ms after opening).
    bool Loaded() const { return loaded_; }
    // Hands the working copy to the editor now instead of at the timer tick.
    void LoadEditor();

  public slots:
    void accept() override;
    void OnSave();
    void OnFill();

  private:
    void TakeFields();
    void PushFields();
    void TakeEditorBytes();

    BufferEditSession& session_;
    Prompts& prompts_;
    CHexEditCtrl* editor_;
    QTimer loadTimer_;
    bool loaded_ = false;
};

}  // namespace lumacrest
