#include "ui/main/qt/QtPrompts.h"

#include <QApplication>
#include <QDesktopServices>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QLabel>
#include <QMessageBox>
#include <QPointer>
#include <QStringList>
#include <QUrl>
#include <QVBoxLayout>

#include "ui/edit/qt/CBufferEditDlg.h"
#include "ui/edit/qt/CLoadAddressDlg.h"
#include "ui/edit/qt/CSnSetDlg.h"

namespace lumacrest {

namespace {
QString CaseFreePattern(const QString& pattern) {
    QString out;
    for (QChar c : pattern) {
        if (c.isLetter() && c.toLower() != c.toUpper())
            out += QStringLiteral("[%1%2]").arg(c.toLower()).arg(c.toUpper());
        else
            out += c;
    }
    return out;
}
}  // namespace

QString QtNameFilter(const std::string& filter) {
    const QStringList parts = QString::fromStdString(filter).split('|', Qt::SkipEmptyParts);
    QStringList filters;
    for (int i = 0; i + 1 < parts.size(); i += 2) {
        QStringList patterns;
        for (const QString& p : parts[i + 1].split(';', Qt::SkipEmptyParts))
            patterns << CaseFreePattern(p.trimmed());
        filters << QStringLiteral("%1 (%2)").arg(parts[i].trimmed(), patterns.join(' '));
    }
    return filters.join(QStringLiteral(";;"));
}

void QtPrompts::MessageBox(const std::string& text, MsgIcon icon) {
    QMessageBox box(parent_);
    box.setWindowTitle(QStringLiteral("Lumacrest"));
    box.setText(QString::fromStdString(text));
    switch (icon) {
        case MsgIcon::None:
            box.setIcon(QMessageBox::NoIcon);
            break;
        case MsgIcon::Error:
            box.setIcon(QMessageBox::Critical);
            break;
        case MsgIcon::Information:
            box.setIcon(QMessageBox::Information);
            break;
    }
    box.exec();
}

bool QtPrompts::AskYesNo(const std::string& text) {
    QMessageBox box(QMessageBox::Question, QStringLiteral("Lumacrest"), QString::fromStdString(text),
                    QMessageBox::Yes | QMessageBox::No, parent_);
    box.setDefaultButton(QMessageBox::No);
    QPointer<QMessageBox> outer = question_;
    question_ = &box;
    const int answer = box.exec();
    question_ = outer;
    return answer == QMessageBox::Yes;
}

bool QtPrompts::RewordQuestion(const std::string& asked, const std::string& now) {
    if (!question_ || question_->text() != QString::fromStdString(asked)) return false;
    question_->setText(QString::fromStdString(now));
    return true;
}

namespace {
// A file dialog gives the focus back to the control that had it before, not to the one that
// is focused when it closes.
class FocusKept {
public:
    FocusKept() : widget_(QApplication::focusWidget()) {}
    ~FocusKept() {
        if (widget_) widget_->setFocus(Qt::OtherFocusReason);
    }
    FocusKept(const FocusKept&) = delete;
    FocusKept& operator=(const FocusKept&) = delete;

private:
    QPointer<QWidget> widget_;
};
}  // namespace

std::optional<std::string> QtPrompts::OpenFile(const std::string& filter) {
    const FocusKept focus;
    QString path = QFileDialog::getOpenFileName(parent_, QString(), QString(), QtNameFilter(filter),
                                                nullptr, QFileDialog::HideNameFilterDetails);
    if (path.isEmpty()) return std::nullopt;
    return path.toStdString();
}

std::optional<std::string> QtPrompts::SaveFile(const std::string& filter) {
    const FocusKept focus;
    QString path = QFileDialog::getSaveFileName(parent_, QString(), QString(), QtNameFilter(filter),
                                                nullptr,
                                                QFileDialog::DontConfirmOverwrite |
                                                    QFileDialog::HideNameFilterDetails);
    if (path.isEmpty()) return std::nullopt;
    return path.toStdString();
}

void QtPrompts::ShowAbout() {
    QDialog dialog(parent_);
    dialog.setWindowTitle(QStringLiteral("About Lumacrest"));
    auto* layout = new QVBoxLayout(&dialog);
    layout->addWidget(new QLabel(QStringLiteral("Lumacrest V3.0 版"), &dialog));
    layout->addWidget(
        new QLabel(QStringLiteral("Host tool for the Lumacrest MCU programmer"), &dialog));
    if (!programDir_.empty()) {
        auto* folder = new QLabel(
            QStringLiteral("Program directory: %1").arg(QString::fromStdString(programDir_)), &dialog);
        folder->setTextInteractionFlags(Qt::TextSelectableByMouse);
        layout->addWidget(folder);
    }
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, &dialog);
    QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    layout->addWidget(buttons);
    dialog.exec();
}

std::optional<uint32_t> QtPrompts::AskLoadAddress() {
    CLoadAddressDlg dialog(parent_);
    if (dialog.exec() != QDialog::Accepted) return std::nullopt;
    return dialog.Address();
}

bool QtPrompts::EditBuffer(BufferEditSession& session) {
    CBufferEditDlg dialog(session, *this, parent_);
    return dialog.exec() == QDialog::Accepted;
}

bool QtPrompts::EditSerialNumber(SnSetSession& session) {
    CSnSetDlg dialog(session, *this, parent_);
    return dialog.exec() == QDialog::Accepted;
}

void QtShell::OpenDocument(const std::string& path, bool /*maximized*/) {
    QDesktopServices::openUrl(QUrl::fromLocalFile(QString::fromStdString(path)));
}

void QtShell::OpenUrl(const std::string& url) {
    QDesktopServices::openUrl(QUrl(QString::fromStdString(url)));
}

}  // namespace lumacrest
