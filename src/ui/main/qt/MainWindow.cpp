#include "ui/main/qt/MainWindow.h"

#include <QAction>
#include <QCloseEvent>
#include <QComboBox>
#include <QContextMenuEvent>
#include <QFontDatabase>
#include <QGridLayout>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QPainter>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QScrollBar>

#include "ui/main/MenuResource.h"
#include "ui/main/ResourceIds.h"

namespace lumacrest {

QIcon AppIcon() {
    QIcon icon;
    for (int size : {16, 32, 48, 64}) {
        QPixmap pixmap(size, size);
        pixmap.fill(Qt::transparent);
        QPainter p(&pixmap);
        p.setRenderHint(QPainter::Antialiasing);
        const qreal u = size / 16.0;
        p.setPen(QPen(QColor(0x40, 0x40, 0x48), u * 0.8));
        for (int i = 0; i < 4; ++i) {  // pins
            const qreal y = (4 + i * 2.6) * u;
            p.drawLine(QPointF(1 * u, y), QPointF(15 * u, y));
        }
        QLinearGradient g(0, 0, 0, size);
        g.setColorAt(0, QColor(0x2b, 0x5f, 0xb3));
        g.setColorAt(1, QColor(0x16, 0x2f, 0x66));
        p.setBrush(g);
        p.setPen(Qt::NoPen);
        p.drawRoundedRect(QRectF(3 * u, 2 * u, 10 * u, 12 * u), 1.5 * u, 1.5 * u);
        p.setPen(QPen(QColor(0xff, 0xc8, 0x3a), 1.6 * u, Qt::SolidLine, Qt::RoundCap));
        p.drawLine(QPointF(6.5 * u, 5 * u), QPointF(6.5 * u, 11 * u));
        p.drawLine(QPointF(6.5 * u, 11 * u), QPointF(10 * u, 11 * u));
        icon.addPixmap(pixmap);
    }
    return icon;
}

MainWindow::MainWindow(CMainDlg& dlg, QWidget* parent)
    : QMainWindow(parent), dlg_(dlg), model_(dlg.host().ui) {
    setWindowTitle(QString::fromUtf8(kCaption));
    setWindowIcon(AppIcon());
    BuildMenu();
    BuildControls();
    model_.AddObserver(this);
    SyncAll();
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

    loadFile_ = new QPushButton(QStringLiteral("Load File"), central);
    update_ = new QPushButton(QStringLiteral("Update"), central);
    update_->setDefault(true);
    connect(loadFile_, &QPushButton::clicked, this, [this] { dlg_.OnCommand(id::LoadFile); });
    connect(update_, &QPushButton::clicked, this, [this] { dlg_.OnCommand(id::Update); });

    progress_ = new QProgressBar(central);
    progress_->setRange(0, MainModel::kProgressUpper);
    progress_->setTextVisible(false);

    log_ = new QPlainTextEdit(central);
    log_->setReadOnly(true);
    log_->setLineWrapMode(QPlainTextEdit::NoWrap);
    log_->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    log_->setMinimumSize(420, 260);

    grid->addWidget(new QLabel(QStringLiteral("COM:"), central), 0, 0);
    grid->addWidget(com_, 0, 1);
    grid->addWidget(new QLabel(QStringLiteral("MCU:"), central), 0, 2);
    grid->addWidget(mcu_, 0, 3);
    grid->addWidget(loadFile_, 0, 4);
    grid->addWidget(update_, 0, 5);
    grid->addWidget(progress_, 1, 0, 1, 6);
    grid->addWidget(log_, 2, 0, 1, 6);
    grid->setColumnStretch(3, 1);
    grid->setRowStretch(2, 1);
    setCentralWidget(central);

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
    progress_->setValue(position <= MainModel::kProgressLower
                            ? 0
                            : std::min(position, MainModel::kProgressUpper));
}

void MainWindow::EnabledChanged(int id, bool enabled) {
    if (QAction* action = Action(id)) action->setEnabled(enabled);
    if (id == id::ProgressControl || id == id::Log) return;
    if (QWidget* control = Control(id)) control->setEnabled(enabled);
}

void MainWindow::SelectionChanged(int listId, int index) {
    QComboBox* combo = listId == id::ComList ? com_ : listId == id::McuList ? mcu_ : nullptr;
    if (!combo) return;
    const QSignalBlocker block(combo);
    combo->setCurrentIndex(index);
}

void MainWindow::closeEvent(QCloseEvent* event) {
    dlg_.OnDestroy();
    event->accept();
}

void MainWindow::contextMenuEvent(QContextMenuEvent* event) {
    QMenu menu(this);
    QAction* about = menu.addAction(QString::fromUtf8(kAboutSysMenuText));
    connect(about, &QAction::triggered, this, [this] { dlg_.OnSysCommand(id::SysAbout); });
    menu.exec(event->globalPos());
}

}  // namespace lumacrest
