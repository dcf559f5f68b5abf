#include "ui/edit/qt/CBufferEditDlg.h"

#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "ui/chrome/qt/CSkinButton.h"
#include "ui/chrome/qt/Resources.h"

#include "ui/edit/qt/CHexEditCtrl.h"
#include "ui/edit/qt/CHexInputEdit.h"

namespace lumacrest {

namespace {
CHexInputEdit* NewField(QWidget* parent, int id) {
    auto* field = new CHexInputEdit(parent);
    field->setObjectName(QString::number(id));
    field->setMaximumWidth(110);
    return field;
}

CSkinButton* NewButton(QWidget* parent, int id, const QString& text) {
    auto* button = new CSkinButton(text, parent);
    button->setObjectName(QString::number(id));
    button->setAutoDefault(false);
    return button;
}
}  // namespace

CBufferEditDlg::CBufferEditDlg(BufferEditSession& session, Prompts& prompts, QWidget* parent)
    : QDialog(parent), session_(session), prompts_(prompts), editor_(new CHexEditCtrl(this)) {
    setWindowTitle(QString::fromStdString(session.title));
    editor_->setObjectName(QStringLiteral("1007"));

    // Column heads set in the editor's font so they stand over the hex pairs.
    const int cw = QFontMetrics(editor_->EditorFont()).horizontalAdvance(QLatin1Char('0'));
    auto* heads = new QWidget(this);
    auto* address = new QLabel(QStringLiteral("Address"), heads);
    address->setFont(editor_->EditorFont());
    auto* digits =
        new QLabel(QStringLiteral("0  1  2  3  4  5  6  7  8  9  A  B  C  D  E  F"), heads);
    digits->setFont(editor_->EditorFont());
    const int left = editor_->frameWidth();
    address->move(left, 0);
    digits->move(left + 9 * cw, 0);
    heads->setFixedHeight(QFontMetrics(editor_->EditorFont()).height() + 2);

    auto* save = new QGroupBox(QStringLiteral("Save"), this);
    auto* saveGrid = new QGridLayout(save);
    saveGrid->addWidget(new QLabel(QStringLiteral("Form"), save), 0, 0);
    saveGrid->addWidget(NewField(save, 1008), 0, 1);
    saveGrid->addWidget(new QLabel(QStringLiteral("To"), save), 1, 0);
    saveGrid->addWidget(NewField(save, 1009), 1, 1);
    CSkinButton* saveButton = NewButton(save, 1014, QStringLiteral("&Save"));
    saveButton->SetImages(ResourceImage(QStringLiteral("save-161.svg"), QSize(20, 20)));
    saveGrid->addWidget(saveButton, 2, 0, 1, 2);

    auto* fill = new QGroupBox(QStringLiteral("Fill"), this);
    auto* fillGrid = new QGridLayout(fill);
    fillGrid->addWidget(new QLabel(QStringLiteral("Form"), fill), 0, 0);
    fillGrid->addWidget(NewField(fill, 1010), 0, 1);
    fillGrid->addWidget(new QLabel(QStringLiteral("To"), fill), 1, 0);
    fillGrid->addWidget(NewField(fill, 1011), 1, 1);
    fillGrid->addWidget(new QLabel(QStringLiteral("Value"), fill), 2, 0);
    fillGrid->addWidget(NewField(fill, 1012), 2, 1);
    CSkinButton* fillButton = NewButton(fill, 1013, QStringLiteral("&Fill"));
    fillButton->SetImages(ResourceImage(QStringLiteral("fill-162.svg"), QSize(20, 20)));
    fillGrid->addWidget(fillButton, 3, 0, 1, 2);

    auto* add = new QHBoxLayout;
    add->addWidget(new QLabel(QStringLiteral("Add"), this));
    add->addWidget(NewField(this, 1015));

    CSkinButton* ok = NewButton(this, 1, QStringLiteral("&OK"));
    CSkinButton* cancel = NewButton(this, 2, QStringLiteral("&Cancel"));
    ok->SetEffect(7, 8, 10, 0, 0);
    cancel->SetEffect(7, 8, 10, 0, 0);

    auto* side = new QVBoxLayout;
    side->addWidget(save);
    side->addWidget(fill);
    side->addLayout(add);
    side->addStretch();
    side->addWidget(ok);
    side->addWidget(cancel);

    auto* left_ = new QVBoxLayout;
    left_->setSpacing(0);
    left_->addWidget(heads);
    left_->addWidget(editor_, 1);
    editor_->setMinimumSize(editor_->SizeForRows(16));

    auto* layout = new QHBoxLayout(this);
    layout->addLayout(left_, 1);
    layout->addLayout(side);

    connect(saveButton, &QPushButton::clicked, this, &CBufferEditDlg::OnSave);
    connect(fillButton, &QPushButton::clicked, this, &CBufferEditDlg::OnFill);
    connect(ok, &QPushButton::clicked, this, &CBufferEditDlg::accept);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);

    PushFields();
    loadTimer_.setSingleShot(true);
    loadTimer_.setInterval(100);
    connect(&loadTimer_, &QTimer::timeout, this, &CBufferEditDlg::LoadEditor);
    loadTimer_.start();
    editor_->setFocus();
}

CHexInputEdit* CBufferEditDlg::Field(int id) const {
    return findChild<CHexInputEdit*>(QString::number(id));
}

QPushButton* CBufferEditDlg::Button(int id) const {
    return findChild<QPushButton*>(QString::number(id));
}

void CBufferEditDlg::LoadEditor() {
    loadTimer_.stop();
    loaded_ = true;
    editor_->SetData(session_.work.data(), static_cast<int32_t>(session_.length));
    editor_->ScrollToOffset(1000);
    editor_->ScrollToOffset(0);
}

void CBufferEditDlg::TakeFields() {
    session_.saveStart = Field(1008)->Unsigned();
    session_.saveEnd = Field(1009)->Unsigned();
    session_.fillStart = Field(1010)->Unsigned();
    session_.fillEnd = Field(1011)->Unsigned();
    session_.fillValue = Field(1012)->Unsigned();
    session_.addValue = Field(1015)->Unsigned();
}

void CBufferEditDlg::PushFields() {
    Field(1008)->SetValue(session_.saveStart);
    Field(1009)->SetValue(session_.saveEnd);
    Field(1010)->SetValue(session_.fillStart);
    Field(1011)->SetValue(session_.fillEnd);
    Field(1012)->SetValue(session_.fillValue);
    Field(1015)->SetValue(session_.addValue);
}

void CBufferEditDlg::TakeEditorBytes() {
    if (!loaded_) return;  // the editor still holds nothing of its own
    editor_->GetData(session_.work.data(), static_cast<int32_t>(session_.length));
}

void CBufferEditDlg::OnSave() {
    TakeFields();
    TakeEditorBytes();
    if (session_.Save(prompts_)) PushFields();
}

void CBufferEditDlg::OnFill() {
    TakeFields();
    TakeEditorBytes();
    if (!session_.Fill(prompts_)) return;
    editor_->SetData(session_.work.data(), static_cast<int32_t>(session_.length));
}

void CBufferEditDlg::accept() {
    TakeFields();
    TakeEditorBytes();
    QDialog::accept();
}

}  // namespace lumacrest
