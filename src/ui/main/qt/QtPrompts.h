// Operator prompts shown as Qt windows.
#pragma once

#include <QMessageBox>
#include <QPointer>
#include <QString>
#include <string>

#include "platform/Prompts.h"

class QWidget;

namespace lumacrest {

// "Hex Files (*.hex)|*.hex|Bin Files (*.bin)|*.bin||" to a Qt name filter: each label as
// written, followed by patterns that match the extension in any case,
// "Hex Files (*.hex) (*.[hH][eE][xX])". The dialogs hide that last part
// (QFileDialog::HideNameFilterDetails), so the operator sees "Hex Files (*.hex)".
QString QtNameFilter(const std::string& filter);

class QtPrompts : public Prompts {
  public:
    explicit QtPrompts(QWidget* parent = nullptr) : parent_(parent) {}
    void SetParent(QWidget* parent) { parent_ = parent; }
    // Named in the About box.
    void SetProgramDirectory(const std::string& dir) { programDir_ = dir; }

    void MessageBox(const std::string& text, MsgIcon icon) override;
    bool AskYesNo(const std::string& text) override;
    std::optional<std::string> OpenFile(const std::string& filter) override;
    std::optional<std::string> SaveFile(const std::string& filter) override;
    void ShowAbout() override;
    std::optional<uint32_t> AskLoadAddress() override;
    bool EditBuffer(BufferEditSession& session) override;
    bool EditSerialNumber(SnSetSession& session) override;

    // A question still open whose words no longer hold (the run it asks about has ended) is
    // put in `now`; false when `asked` is not the question open.
    bool RewordQuestion(const std::string& asked, const std::string& now);

  private:
    QWidget* parent_;
    QPointer<QMessageBox> question_;
    std::string programDir_;
};

class QtShell : public Shell {
  public:
    void OpenDocument(const std::string& path, bool maximized) override;
    void OpenUrl(const std::string& url) override;
};

}  // namespace lumacrest
