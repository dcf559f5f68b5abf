#include "ui/main/qt/MainWindow.h"

#include <algorithm>
#include <cmath>

#include <QAction>
#include <QCloseEvent>
#include <QComboBox>
#include <QContextMenuEvent>
#include <QFontDatabase>
#include <QGridLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QPainter>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QStatusBar>

#include "ui/chrome/qt/CGradientProgressCtrl.h"
#include "ui/chrome/qt/CSkinButton.h"
#include "ui/main/MenuResource.h"
#include "ui/main/ResourceIds.h"
#include "app/CMainDlg.h"
#include "ui/main/qt/QtPrompts.h"

namespace lumacrest {

MainWindow::MainWindow(WindowCommands& commands, MainModel& model, QWidget* parent)
    : QMainWindow(parent), dlg_(commands), model_(model) {
    setWindowTitle(QString::fromUtf8(kCaption));
    setWindowIcon(AppIcon());
    BuildMenu();
    BuildControls();
    model_.AddObserver(this);
    SyncAll();
    resize(DefaultSize());
}

MainWindow::~MainWindow() { model_.RemoveObserver(this); }

void MainWindow::BuildMenu() {
    const std::vector<MenuPopup>& resource = MainMenuResource();
    for (const MenuPopup& popup : resource) {
        QMenu* menu = menuBar()->addMenu(QString::fromStdString(popup.text));
        popups_.push_back(menu);
        for (const MenuItem& item : popup.items) {
            if (item.id == 0) {
                menu->addSeparator();
                continue;
            }
            // "&&" in a resource is a literal ampersand, as in Qt.
            QAction* action = menu->addAction(QString::fromStdString(item.text));
            const int id = item.id;
            connect(action, &QAction::triggered, this, [this, id] { dlg_.OnCommand(id); });
            actions_[id] = action;
        }
    }
}

void MainWindow::BuildControls() {
    auto* central = new QWidget(this);
    auto* grid = new QGridLayout(central);
    grid->setContentsMargins(8, 8, 8, 8);
    grid->setHorizontalSpacing(8);
    grid->setVerticalSpacing(6);

    com_ = new QComboBox(central);
    mcu_ = new QComboBox(central);
    for (const std::string& item : model_.Combo(id::ComList).items)
        com_->addItem(QString::fromStdString(item));
    for (const std::string& item : model_.Combo(id::McuList).items)
        mcu_->addItem(QString::fromStdString(item));
    com_->setMinimumContentsLength(8);
    mcu_->setMinimumContentsLength(16);
    connect(com_, &QComboBox::activated, this, [this](int index) {
        model_.Select(id::ComList, index);
        dlg_.OnCommand(id::ComList);
    });
    connect(mcu_, &QComboBox::activated, this, [this](int index) {
        model_.Select(id::McuList, index);
        dlg_.OnCommand(id::McuList);
    });

    loadFile_ = new CSkinButton(QStringLiteral("Load File"), central);
    loadFile_->SetEffect(7, 8, 10, 0, 0);
    loadFile_->SetImages(ResourceImage(QStringLiteral("load-file-158.svg"), QSize(24, 24)));
    update_ = new CSkinButton(QStringLiteral("Update"), central);
    update_->SetEffect(7, 8, 10, 0, 0);
    update_->SetImages(ResourceImage(QStringLiteral("update-163.svg"), QSize(24, 24)));
    // Update is the default button (Return and Enter, see keyPressEvent); a focused button
    // takes Return and Enter itself. A click leaves the focus where it was, so that Return
    // after a file dialog starts Update again; a button reached by Tab keeps its Return.
    update_->setDefault(true);
    loadFile_->setAutoDefault(true);
    update_->setFocusPolicy(Qt::TabFocus);
    loadFile_->setFocusPolicy(Qt::TabFocus);
    QFont bold = update_->font();
    bold.setBold(true);
    update_->setFont(bold);
    // The web-page buttons exist but are hidden.
    auto* download = new CSkinButton(QStringLiteral("资 料 下 载"), central);
    download->SetEffect(7, 8, 10, 0, 0);
    download->hide();
    auto* maker = new CSkinButton(QString(), central);
    maker->SetImages(ResourceImage(QStringLiteral("maker-174.svg"), QSize(96, 24)),
                     ResourceImage(QStringLiteral("maker-173.svg"), QSize(96, 24)));
    maker->hide();
    connect(download, &QPushButton::clicked, this, [this] { dlg_.OnCommand(id::DownloadPage); });
    connect(maker, &QPushButton::clicked, this, [this] { dlg_.OnCommand(id::MakerPage); });
    controls_[id::DownloadPage] = download;
    controls_[id::MakerPage] = maker;
    connect(loadFile_, &QPushButton::clicked, this, [this] { dlg_.OnCommand(id::LoadFile); });
    connect(update_, &QPushButton::clicked, this, [this] { dlg_.OnCommand(id::Update); });

    progress_ = new CGradientProgressCtrl(central);
    progress_->SetRange(MainModel::kProgressLower, MainModel::kProgressUpper);
    progress_->SetShowText(true);
    progress_->SetTextColor(Qt::black);
    progress_->setMinimumHeight(22);

    log_ = new QPlainTextEdit(central);
    log_->setReadOnly(true);
    log_->setLineWrapMode(QPlainTextEdit::NoWrap);
    log_->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    log_->setMinimumSize(420, 260);

    auto* comLabel = new QLabel(QStringLiteral("COM:"), central);
    auto* mcuLabel = new QLabel(QStringLiteral("MCU:"), central);
    comLabel->setBuddy(com_);
    mcuLabel->setBuddy(mcu_);
    grid->addWidget(comLabel, 0, 0);
    grid->addWidget(com_, 0, 1);
    grid->addWidget(mcuLabel, 1, 0);
    grid->addWidget(mcu_, 1, 1);
    grid->addWidget(loadFile_, 0, 3, 2, 1);
    grid->addWidget(update_, 0, 4, 2, 1);
    grid->addWidget(progress_, 2, 0, 1, 5);
    grid->addWidget(log_, 3, 0, 1, 5);
    grid->setColumnStretch(1, 1);
    grid->setColumnMinimumWidth(2, 12);
    grid->setRowStretch(3, 1);
    loadFile_->setMinimumHeight(52);
    update_->setMinimumHeight(52);
    loadFile_->setMinimumWidth(116);
    update_->setMinimumWidth(116);
    setCentralWidget(central);

    // The verdict of the last run and the shift's counts, below the log: no control moves.
    verdict_ = new QLabel(this);
    QFont large = verdict_->font();
    large.setBold(true);
    large.setPixelSize(18);
    verdict_->setFont(large);
    verdict_->setTextFormat(Qt::PlainText);
    verdict_->setContentsMargins(8, 2, 8, 2);
    verdict_->setAutoFillBackground(true);
    countsLabel_ = new QLabel(this);
    countsLabel_->setTextFormat(Qt::PlainText);
    countsLabel_->setText(QString::fromStdString(counts_.Line()));
    statusBar()->addWidget(verdict_, 1);
    statusBar()->addPermanentWidget(countsLabel_);
    statusBar()->setSizeGripEnabled(false);

    controls_[id::ComList] = com_;
    controls_[id::McuList] = mcu_;
    controls_[id::LoadFile] = loadFile_;
    controls_[id::Update] = update_;
    controls_[id::ProgressControl] = progress_;
    controls_[id::Log] = log_;
}

void MainWindow::SyncAll() {
    log_->setPlainText(QString::fromStdString(model_.LogText()));
    ProgressChanged(model_.Progress());
    for (auto& [id, action] : actions_) action->setEnabled(model_.IsEnabled(id));
    for (std::size_t i = 0; i < popups_.size(); ++i)
        popups_[i]->setEnabled(model_.PopupEnabled(i));
    for (auto& [id, widget] : controls_)
        if (id != id::ProgressControl && id != id::Log) widget->setEnabled(model_.IsEnabled(id));
    SelectionChanged(id::ComList, model_.Combo(id::ComList).selected);
    SelectionChanged(id::McuList, model_.Combo(id::McuList).selected);
}

QWidget* MainWindow::Control(int id) const {
    auto it = controls_.find(id);
    return it == controls_.end() ? nullptr : it->second;
}

QAction* MainWindow::Action(int id) const {
    auto it = actions_.find(id);
    return it == actions_.end() ? nullptr : it->second;
}

QMenu* MainWindow::Popup(std::size_t index) const {
    return index < popups_.size() ? popups_[index] : nullptr;
}

void MainWindow::LogAppended(const std::string& appended, bool cleared) {
    if (cleared) log_->clear();
    QTextCursor cursor(log_->document());
    cursor.movePosition(QTextCursor::End);
    cursor.insertText(QString::fromStdString(appended));
    log_->verticalScrollBar()->setValue(log_->verticalScrollBar()->maximum());
}

void MainWindow::ProgressChanged(int position) {
    // Positions at or below the lower bound show an empty bar.
    progress_->SetPos(position);
}

void MainWindow::EnabledChanged(int id, bool enabled) {
    if (QAction* action = Action(id)) action->setEnabled(enabled);
    if (id == id::ProgressControl || id == id::Log) return;
    if (id == id::Update) toolbar_.EnableWindow(enabled);
    if (QWidget* control = Control(id)) control->setEnabled(enabled);
}

void MainWindow::SelectionChanged(int listId, int index) {
    QComboBox* combo = listId == id::ComList ? com_ : listId == id::McuList ? mcu_ : nullptr;
    if (!combo) return;
    const QSignalBlocker block(combo);
    combo->setCurrentIndex(index);
}

void MainWindow::closeEvent(QCloseEvent* event) {
    if (!dlg_.OnCloseRequest(!closingForSignal_)) {
        event->ignore();
        return;
    }
    dlg_.OnDestroy();
    event->accept();
}

void MainWindow::CloseForSignal() {
    closingForSignal_ = true;
    close();
}

void MainWindow::keyPressEvent(QKeyEvent* event) {
    // Return or Enter that the focused control did not use: the Update button's command.
    const bool enter = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
    if (enter && !(event->modifiers() & ~Qt::KeypadModifier)) {
        update_->click();  // nothing while Update is disabled
        return;
    }
    QMainWindow::keyPressEvent(event);
}

QSize MainWindow::DefaultSize() const {
    const QFontMetricsF fm(log_->font());
    qreal text = 0;
    for (const char* line : {MainModel::kSeparatorStars, MainModel::kSeparatorEquals})
        text = std::max(text, fm.horizontalAdvance(QString::fromLatin1(line)));
    // The log spans the window between the grid's margins, beside its vertical scroll bar.
    const QMargins grid = centralWidget()->layout()->contentsMargins();
    const int log = static_cast<int>(std::ceil(text + 2 * log_->document()->documentMargin())) +
                    2 * log_->frameWidth() + log_->verticalScrollBar()->sizeHint().width() + 2;
    // The verdict line below adds its own height: the log keeps its size.
    return QSize(std::max(620, log + grid.left() + grid.right()), 460 + statusBar()->sizeHint().height());
}

void MainWindow::contextMenuEvent(QContextMenuEvent* event) {
    QMenu menu(this);
    QAction* about = menu.addAction(QString::fromUtf8(kAboutSysMenuText));
    connect(about, &QAction::triggered, this, [this] { dlg_.OnSysCommand(id::SysAbout); });
    QAction* reset = menu.addAction(QStringLiteral("Reset the counts"));
    connect(reset, &QAction::triggered, this, [this] { ResetCounts(); });
    if (stationAction_) menu.addAction(stationAction_);
    menu.exec(event->globalPos());
}

void MainWindow::FollowRuns(std::function<void(const Outcome&)>& onRunEnded, QtPrompts* prompts) {
    auto earlier = std::move(onRunEnded);
    onRunEnded = [this, prompts, earlier = std::move(earlier)](const Outcome& outcome) {
        if (earlier) earlier(outcome);
        ShowVerdict(outcome);
        if (prompts) prompts->RewordQuestion(kStopRunQuestion, kRunEndedCloseQuestion);
    };
}

void MainWindow::ShowVerdict(const Outcome& outcome) {
    const std::optional<VerdictFace> face = FaceOf(outcome);
    if (!face) return;
    if (IsChipRun(outcome)) {
        counts_.Count(face->passed, lastChipFailed_);
        lastChipFailed_ = !face->passed;
        countsLabel_->setText(QString::fromStdString(counts_.Line()));
    }
    // The word and the stage in large letters; the reason, which the log also holds, on the
    // pointer.
    std::string text = face->word;
    if (!face->passed) text += " " + face->where;
    if (face->serialNumber) text += "   SN " + std::to_string(*face->serialNumber);
    text += "   " + face->seconds;
    verdict_->setText(QString::fromStdString(text));
    verdict_->setToolTip(QString::fromStdString(face->reason));
    QPalette colours = verdict_->palette();
    colours.setColor(QPalette::Window, face->passed ? QColor(0x1b, 0x7a, 0x36) : QColor(0xc0, 0x1f, 0x1f));
    colours.setColor(QPalette::WindowText, Qt::white);
    verdict_->setPalette(colours);
}

void MainWindow::OfferStation(std::function<std::vector<PickerPort>()> ports,
                              std::function<void(const std::vector<std::string>&)> open) {
    stationPorts_ = std::move(ports);
    openStation_ = std::move(open);
    if (stationAction_) return;
    // Not in the menu bar: its menus keep their items.
    stationAction_ = new QAction(QStringLiteral("Station..."), this);
    stationAction_->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_T));
    stationAction_->setShortcutContext(Qt::WindowShortcut);
    addAction(stationAction_);
    connect(stationAction_, &QAction::triggered, this, [this] { (void)PickStation(); });
}

bool MainWindow::PickStation() {
    if (!stationPorts_ || !openStation_) return false;
    // The port the window has chosen is ticked to begin with.
    std::vector<std::string> ticked;
    const std::string chosen = model_.Combo(id::ComList).SelectedText();
    if (chosen != "USB") ticked.push_back(chosen);
    StationPicker picker(stationPorts_(), ticked, this);
    if (picker.exec() != QDialog::Accepted) return false;
    const std::vector<std::string> picked = picker.Picked();
    if (picked.empty() || !close()) return false;
    openStation_(picked);
    return true;
}

void MainWindow::ResetCounts() {
    counts_ = {};
    lastChipFailed_ = false;
    countsLabel_->setText(QString::fromStdString(counts_.Line()));
}

}  // namespace lumacrest
