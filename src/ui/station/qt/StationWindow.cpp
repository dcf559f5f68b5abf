#include "ui/station/qt/StationWindow.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QDialog>
#include <QDialogButtonBox>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QFontDatabase>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QTimer>
#include <QVBoxLayout>
#include <algorithm>

#include "app/CMainDlg.h"
#include "image/ImageLoading.h"
#include "image/ProjectFile.h"
#include "platform/DialogSessions.h"
#include "platform/Prompts.h"
#include "platform/qt/QtLink.h"
#include "ui/chrome/qt/Resources.h"
#include "ui/station/qt/TileWidget.h"

namespace lumacrest {

namespace {
constexpr int kRefreshMs = 100;        // the view follows the tiles ten times a second
constexpr int kDeviceCheckMs = 1000;  // how often the tiles look for their devices
constexpr const char* kKeysHelp =
    "Return: Update every idle tile    1-9, 0: that tile    arrows + Space: the chosen tile    "
    "L: its log    Esc: hide the log";
}  // namespace

StationWindow::StationWindow(const StationSetup& setup, QWidget* parent)
    : QMainWindow(parent), setup_(setup), station_(setup.ports) {
    setWindowTitle(QStringLiteral("Lumacrest station"));
    setWindowIcon(AppIcon());
    refresh_ = new QTimer(this);
    refresh_->setSingleShot(true);
    refresh_->setInterval(kRefreshMs);
    connect(refresh_, &QTimer::timeout, this, &StationWindow::Refresh);
    devices_ = new QTimer(this);
    devices_->setInterval(kDeviceCheckMs);
    connect(devices_, &QTimer::timeout, this, &StationWindow::CheckDevices);
    for (std::size_t i = 0; i < setup_.ports.size(); ++i) {
        Slot s;
        s.serial = std::make_unique<QtSerialPort>();
        s.serial->ShareHolderScan(holderScan_);
        s.timers = std::make_unique<QtTimers>();
        TilePlatform platform{setup_.shell, s.serial.get(), s.timers.get(), setup_.processes,
                              setup_.serials};
        TileFeed::Events events;
        events.changed = [this] { Changed(); };
        events.runEnded = [this, i](const Outcome& o) { RunEnded(i, o); };
        events.message = [this, i](const std::string& text) {
            station_.Tile(i).message = text;
            Changed();
        };
        s.feed = std::make_unique<TileFeed>(setup_.programDir, setup_.ports[i], platform, events);
        slots_.push_back(std::move(s));
    }
    for (std::size_t i = 0; i < slots_.size(); ++i) {
        TileState& t = station_.Tile(i);
        const std::string why = slots_[i].feed->Init();
        if (!setup_.recordPath.empty())
            slots_[i].feed->RecordTo(setup_.recordPath, setup_.onRecordError);
        t.device = slots_[i].feed->Device();
        if (!why.empty()) {
            t.presence = TilePresence::NoProgrammer;
            t.message = why;
        }
    }
    BuildWindow();
    Refresh();
}

StationWindow::~StationWindow() { Shutdown(); }

void StationWindow::BuildWindow() {
    QMenu* menu = menuBar()->addMenu(QStringLiteral("&Station"));
    auto add = [&](const QString& text, const QKeySequence& keys, auto slot) {
        QAction* a = menu->addAction(text);
        if (!keys.isEmpty()) a->setShortcut(keys);
        connect(a, &QAction::triggered, this, slot);
        return a;
    };
    add(QStringLiteral("&Update every idle tile\tReturn"), QKeySequence(), [this] { UpdateAll(); });
    add(QStringLiteral("Load &File..."), QKeySequence(Qt::CTRL | Qt::Key_O), [this] {
        if (SettingsWait()) return;
        const std::optional<std::string> path = setup_.prompts->OpenFile(kImageFilter);
        if (!path) return;
        LoadFlashFile(*path, setup_.prompts->AskLoadAddress());
    });
    add(QStringLiteral("Load &Boot File..."), QKeySequence(Qt::CTRL | Qt::Key_B), [this] {
        if (SettingsWait()) return;
        const std::optional<std::string> path = setup_.prompts->OpenFile(kImageFilter);
        if (!path) return;
        LoadBootFile(*path, setup_.prompts->AskLoadAddress());
    });
    add(QStringLiteral("Load &KeyCode..."), QKeySequence(Qt::CTRL | Qt::Key_K), [this] {
        if (SettingsWait()) return;
        if (const std::optional<std::string> path = setup_.prompts->OpenFile(kImageFilter))
            LoadKeyCode(*path);
    });
    add(QStringLiteral("Load &Project..."), QKeySequence(Qt::CTRL | Qt::Key_P), [this] {
        if (SettingsWait()) return;
        if (const std::optional<std::string> path = setup_.prompts->OpenFile(kProjectFilter))
            LoadProject(*path);
    });
    add(QStringLiteral("&SN Set..."), QKeySequence(Qt::CTRL | Qt::Key_N), [this] { EditSerialNumber(); });
    add(QStringLiteral("Program &options..."), QKeySequence(Qt::CTRL | Qt::Key_E), [this] { EditOptions(); });
    add(QStringLiteral("&Reset the counts"), QKeySequence(Qt::CTRL | Qt::Key_R), [this] { ResetCounts(); });
    menu->addSeparator();
    add(QStringLiteral("&Close"), QKeySequence(Qt::CTRL | Qt::Key_Q), [this] { close(); });

    auto* central = new QWidget(this);
    central->setFocusPolicy(Qt::StrongFocus);
    auto* column = new QVBoxLayout(central);
    column->setContentsMargins(8, 8, 8, 8);
    column->setSpacing(6);

    auto* top = new QHBoxLayout;
    counts_ = new QLabel(central);
    QFont big = counts_->font();
    big.setPixelSize(28);
    big.setBold(true);
    counts_->setFont(big);
    counts_->setTextFormat(Qt::PlainText);
    top->addWidget(counts_, 1);
    auto* reset = new QPushButton(QStringLiteral("Reset counts"), central);
    reset->setFocusPolicy(Qt::NoFocus);
    reset->setToolTip(QStringLiteral("Ctrl+R"));
    connect(reset, &QPushButton::clicked, this, [this] { ResetCounts(); });
    top->addWidget(reset);
    update_ = new QPushButton(QStringLiteral("Update"), central);
    update_->setFocusPolicy(Qt::NoFocus);
    update_->setToolTip(QStringLiteral("Return: every idle tile with a programmer"));
    QFont button = big;
    button.setPixelSize(26);
    update_->setFont(button);
    update_->setMinimumSize(180, 64);
    connect(update_, &QPushButton::clicked, this, [this] { UpdateAll(); });
    top->addWidget(update_);
    column->addLayout(top);

    auto* board = new QWidget(central);
    grid_ = new QGridLayout(board);
    grid_->setContentsMargins(0, 0, 0, 0);
    grid_->setSpacing(4);
    const std::size_t columns = Station::ColumnsFor(slots_.size());
    for (std::size_t i = 0; i < slots_.size(); ++i) {
        auto* tile = new TileWidget(i, board);
        connect(tile, &TileWidget::clicked, this, [this](std::size_t at) {
            station_.Select(at);
            ShowLog(at);
        });
        slots_[i].widget = tile;
        grid_->addWidget(tile, static_cast<int>(i / columns), static_cast<int>(i % columns));
    }
    column->addWidget(board, 3);

    logPane_ = new QWidget(central);
    auto* logColumn = new QVBoxLayout(logPane_);
    logColumn->setContentsMargins(0, 0, 0, 0);
    logTitle_ = new QLabel(logPane_);
    log_ = new QPlainTextEdit(logPane_);
    log_->setReadOnly(true);
    log_->setLineWrapMode(QPlainTextEdit::NoWrap);
    log_->setFocusPolicy(Qt::NoFocus);
    log_->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    logColumn->addWidget(logTitle_);
    logColumn->addWidget(log_);
    logPane_->hide();
    column->addWidget(logPane_, 2);

    auto* help = new QLabel(QString::fromLatin1(kKeysHelp), central);
    help->setWordWrap(true);
    column->addWidget(help);
    setCentralWidget(central);
    central->setFocus();
    resize(1280, 800);
}

void StationWindow::Start() {
    for (std::size_t i = 0; i < slots_.size(); ++i) {
        TileState& t = station_.Tile(i);
        if (!t.message.empty() && t.presence == TilePresence::NoProgrammer) continue;
        slots_[i].deviceSeen = DeviceExists(i);
        if (!slots_[i].deviceSeen) {
            t.presence = TilePresence::Lost;
            continue;
        }
        t.presence = TilePresence::Probing;
        slots_[i].feed->Identify();
    }
    devices_->start();
    Refresh();
}

void StationWindow::LoadProject(const std::string& path) {
    for (Slot& s : slots_) s.feed->LoadProject(path);
    Refresh();
}

void StationWindow::LoadFlashFile(const std::string& path, std::optional<uint32_t> address) {
    for (Slot& s : slots_) s.feed->LoadFlashFile(path, address);
    Refresh();
}

void StationWindow::LoadBootFile(const std::string& path, std::optional<uint32_t> address) {
    for (Slot& s : slots_) s.feed->LoadBootFile(path, address);
    Refresh();
}

void StationWindow::LoadKeyCode(const std::string& path) {
    for (Slot& s : slots_) s.feed->LoadKeyCode(path);
    Refresh();
}

bool StationWindow::SetSerialNumber(uint32_t value, uint32_t address) {
    bool all = true;
    for (Slot& s : slots_) all = s.feed->SetSerialNumber(value, address).empty() && all;
    Refresh();
    return all;
}

bool StationWindow::SetOptions(const ProgramOptions& options) {
    bool all = true;
    for (Slot& s : slots_) all = s.feed->SetOptions(options).empty() && all;
    Refresh();
    return all;
}

void StationWindow::EditSerialNumber() {
    if (slots_.empty() || SettingsWait()) return;
    const TileFeed& first = *slots_.front().feed;
    SnSetSession session{first.NextSerialNumber(), first.SerialNumberAddress(), first.FlashSize()};
    if (!setup_.prompts->EditSerialNumber(session)) return;
    (void)SetSerialNumber(session.value, session.address);
}

void StationWindow::EditOptions() {
    if (slots_.empty() || SettingsWait()) return;
    const ProgramOptions now = slots_.front().feed->Options();
    QDialog dialog(this);
    dialog.setWindowTitle(QStringLiteral("Program options"));
    auto* column = new QVBoxLayout(&dialog);
    struct Box {
        const char* text;
        bool ProgramOptions::*field;
    };
    const Box boxes[] = {{"&Erase chip", &ProgramOptions::eraseChip},
                         {"Program &flash", &ProgramOptions::programFlash},
                         {"Program &boot", &ProgramOptions::programBoot},
                         {"Program &KeyCode", &ProgramOptions::programKeyCode},
                         {"Enable &protect", &ProgramOptions::enableProtect},
                         {"Program &SN", &ProgramOptions::programSn}};
    std::vector<QCheckBox*> checks;
    for (const Box& box : boxes) {
        auto* check = new QCheckBox(QString::fromUtf8(box.text), &dialog);
        check->setChecked(now.*box.field);
        check->setObjectName(QString::fromUtf8(box.text).remove(QLatin1Char('&')));
        column->addWidget(check);
        checks.push_back(check);
    }
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &dialog);
    buttons->button(QDialogButtonBox::Ok)->setDefault(true);
    column->addWidget(buttons);
    connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    checks.front()->setFocus();
    if (dialog.exec() != QDialog::Accepted) return;
    ProgramOptions chosen;
    for (std::size_t i = 0; i < checks.size(); ++i) chosen.*boxes[i].field = checks[i]->isChecked();
    (void)SetOptions(chosen);
}

bool StationWindow::SettingsWait() {
    if (!AnyBusy()) return false;
    setup_.prompts->MessageBox("The tiles share their settings: change them when no tile runs.",
                               MsgIcon::Information);
    return true;
}

bool StationWindow::DeviceExists(std::size_t i) const {
    const std::string& device = station_.Tiles()[i].device;
    return !device.empty() && QFileInfo::exists(QString::fromStdString(device));
}

void StationWindow::CheckDevices() {
    // A port that went away shows as lost; once its device is back the tile asks again who
    // answers there.
    for (std::size_t i = 0; i < slots_.size(); ++i) {
        TileState& t = station_.Tile(i);
        if (slots_[i].feed->Busy() || t.device.empty()) continue;
        const bool seen = DeviceExists(i);
        if (!seen && t.presence != TilePresence::Lost) {
            t.presence = TilePresence::Lost;
            Changed();
        } else if (seen && t.presence == TilePresence::Lost) {
            t.presence = TilePresence::Probing;
            t.message.clear();
            slots_[i].feed->Identify();
            Changed();
        }
        slots_[i].deviceSeen = seen;
    }
}

void StationWindow::RunEnded(std::size_t i, const Outcome& outcome) {
    TileState& t = station_.Tile(i);
    TileFeed& feed = *slots_[i].feed;
    if (outcome.kind == RunKind::Identify || outcome.kind == RunKind::Scan) {
        const bool found = outcome.Passed() && !feed.ProgrammerName().empty();
        t.presence = found ? TilePresence::Ready
                     : DeviceExists(i) ? TilePresence::NoProgrammer
                                       : TilePresence::Lost;
        t.programmer = found ? feed.ProgrammerName() : std::string();
        t.firmware = found ? feed.Firmware() : std::string();
    } else if (const std::optional<VerdictFace> face = FaceOf(outcome)) {
        if (IsChipRun(outcome))
            station_.ChipEnded(i, *face);
        else
            t.verdict = face;
        if (outcome.verdict == Verdict::PortLost && !DeviceExists(i)) t.presence = TilePresence::Lost;
    }
    Changed();
}

void StationWindow::Changed() {
    if (!refresh_->isActive()) refresh_->start();
}

void StationWindow::Refresh() {
    for (std::size_t i = 0; i < slots_.size(); ++i) {
        TileState& t = station_.Tile(i);
        TileFeed& feed = *slots_[i].feed;
        t.running = feed.Busy();
        t.stage = feed.Stage();
        t.progress = feed.Progress();
        if (slots_[i].widget) slots_[i].widget->Show(t, i == station_.Selected());
    }
    ShowCounts();
    update_->setEnabled(!station_.TilesToStart(StationKey::Return).empty());
    if (!LogShown()) return;
    const std::string& text = slots_.at(logTile_).feed->Log();
    // The log only grows, unless a long one was emptied: the new part is added.
    if (text.size() >= logShownLength_) {
        if (text.size() > logShownLength_) {
            QTextCursor cursor(log_->document());
            cursor.movePosition(QTextCursor::End);
            cursor.insertText(QString::fromStdString(text.substr(logShownLength_)));
            log_->verticalScrollBar()->setValue(log_->verticalScrollBar()->maximum());
        }
    } else {
        log_->setPlainText(QString::fromStdString(text));
    }
    logShownLength_ = text.size();
}

void StationWindow::ShowCounts() {
    counts_->setText(QString::fromStdString(station_.Totals().Line()));
}

void StationWindow::StartTiles(const std::vector<std::size_t>& tiles) {
    for (std::size_t i : tiles) {
        station_.Tile(i).message.clear();
        slots_[i].feed->StartUpdate();
    }
    Refresh();
}

void StationWindow::SyncRunning() {
    for (std::size_t i = 0; i < slots_.size(); ++i) station_.Tile(i).running = slots_[i].feed->Busy();
}

void StationWindow::UpdateAll() {
    SyncRunning();
    // Tiles where nobody answered are asked again; they start with the next Return.
    for (std::size_t i = 0; i < slots_.size(); ++i) {
        TileState& t = station_.Tile(i);
        if (t.presence == TilePresence::NoProgrammer && !slots_[i].feed->Busy() && DeviceExists(i)) {
            t.presence = TilePresence::Probing;
            slots_[i].feed->Identify();
        }
    }
    StartTiles(station_.TilesToStart(StationKey::Return));
}

void StationWindow::PressKey(StationKey key, int digit) {
    SyncRunning();
    switch (key) {
        case StationKey::Return: UpdateAll(); return;
        case StationKey::Space:
        case StationKey::Digit: StartTiles(station_.TilesToStart(key, digit)); return;
        default:
            station_.Move(key, Station::ColumnsFor(slots_.size()));
            if (LogShown()) ShowLog(station_.Selected());
            Refresh();
            return;
    }
}

void StationWindow::ResetCounts() {
    station_.ResetCounts();
    Refresh();
}

bool StationWindow::LogShown() const { return logPane_ && !logPane_->isHidden(); }

void StationWindow::ShowLog(std::size_t i) {
    if (i >= slots_.size()) return;
    logTile_ = i;
    logTitle_->setText(QStringLiteral("Log of %1").arg(QString::fromStdString(station_.Tiles()[i].Title())));
    const std::string& text = slots_[i].feed->Log();
    log_->setPlainText(QString::fromStdString(text));
    log_->verticalScrollBar()->setValue(log_->verticalScrollBar()->maximum());
    logShownLength_ = text.size();
    logPane_->show();
    Refresh();
}

void StationWindow::HideLog() {
    logPane_->hide();
    Refresh();
}

bool StationWindow::AnyBusy() const {
    return std::any_of(slots_.begin(), slots_.end(), [](const Slot& s) { return s.feed->Busy(); });
}

void StationWindow::keyPressEvent(QKeyEvent* event) {
    const int key = event->key();
    const Qt::KeyboardModifiers mods = event->modifiers() & ~Qt::KeypadModifier;
    if (mods != Qt::NoModifier) {
        QMainWindow::keyPressEvent(event);
        return;
    }
    if (key == Qt::Key_Return || key == Qt::Key_Enter) PressKey(StationKey::Return);
    else if (key >= Qt::Key_0 && key <= Qt::Key_9) PressKey(StationKey::Digit, key - Qt::Key_0);
    else if (key == Qt::Key_Space) PressKey(StationKey::Space);
    else if (key == Qt::Key_Left) PressKey(StationKey::Left);
    else if (key == Qt::Key_Right) PressKey(StationKey::Right);
    else if (key == Qt::Key_Up) PressKey(StationKey::Up);
    else if (key == Qt::Key_Down) PressKey(StationKey::Down);
    else if (key == Qt::Key_L) LogShown() && logTile_ == station_.Selected() ? HideLog() : ShowLog(station_.Selected());
    else if (key == Qt::Key_Escape) HideLog();
    else if (key == Qt::Key_PageUp || key == Qt::Key_PageDown) {
        QScrollBar* bar = log_->verticalScrollBar();
        bar->setValue(bar->value() + (key == Qt::Key_PageUp ? -bar->pageStep() : bar->pageStep()));
    } else {
        QMainWindow::keyPressEvent(event);
        return;
    }
    event->accept();
}

void StationWindow::closeEvent(QCloseEvent* event) {
    if (AnyBusy()) {
        if (!closingForSignal_ && !setup_.prompts->AskYesNo(kStopRunQuestion)) {
            event->ignore();
            return;
        }
        // The running chips are told they failed; their last answers are waited for.
        const std::string why = closingForSignal_ ? "stopped by a termination signal"
                                                  : "the window was closed during the run";
        for (Slot& s : slots_)
            if (s.feed->Busy()) s.feed->Stop(why);
        // A stop waits a second for the answer under way and one for the exit frame's; a run
        // that has not ended after that is abandoned below.
        QElapsedTimer waited;
        waited.start();
        while (AnyBusy() && waited.elapsed() < 5000) slots_.front().timers->PumpEvents();
    }
    Shutdown();
    event->accept();
}

void StationWindow::CloseForSignal() {
    closingForSignal_ = true;
    close();
}

void StationWindow::Shutdown() {
    if (shutDown_ || slots_.empty()) return;
    shutDown_ = true;
    devices_->stop();
    // Several tiles ask for the lowest number any of them holds next: one given back is issued
    // again first, the ledger passes over those issued.
    uint32_t next = slots_.front().feed->NextSerialNumber();
    for (std::size_t i = 1; i < slots_.size(); ++i) {
        next = std::min(next, slots_[i].feed->NextSerialNumber());
        slots_[i].feed->Abandon();
    }
    slots_.front().feed->SetNextSerialNumber(next);
    slots_.front().feed->SaveSettings();
}

}  // namespace lumacrest
