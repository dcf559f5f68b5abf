#include "app/qt/SingleInstance.h"

#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QDir>
#include <QLocalServer>
#include <QLocalSocket>
#include <QSocketNotifier>
#include <QStandardPaths>

namespace lumacrest {

namespace {
QString RuntimeDir() {
    QString dir = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (dir.isEmpty()) dir = QDir::tempPath();
    return dir;
}
}  // namespace

SingleInstance::SingleInstance(QObject* parent) : QObject(parent), dir_(RuntimeDir()) {}

SingleInstance::~SingleInstance() = default;

bool SingleInstance::BecomePrimary() {
    lock_ = std::make_unique<QLockFile>(dir_ + QStringLiteral("/lumacrest.lock"));
    lock_->setStaleLockTime(0);  // a copy that died leaves a stale lock, detected by pid
    if (!lock_->tryLock(0)) {
        lock_.reset();
        return false;
    }
    const QString name = dir_ + QStringLiteral("/lumacrest.sock");
    QLocalServer::removeServer(name);
    server_ = new QLocalServer(this);
    server_->setSocketOptions(QLocalServer::UserAccessOption);
    if (server_->listen(name)) {
        connect(server_, &QLocalServer::newConnection, this, [this] {
            while (QLocalSocket* peer = server_->nextPendingConnection()) {
                connect(peer, &QLocalSocket::disconnected, peer, &QObject::deleteLater);
                emit showRequested();
            }
        });
    }
    return true;
}

void SingleInstance::AskPrimaryToShow() {
    QLocalSocket socket;
    socket.connectToServer(dir_ + QStringLiteral("/lumacrest.sock"));
    if (socket.waitForConnected(1000)) {
        socket.write("show\n");
        socket.waitForBytesWritten(1000);
        socket.disconnectFromServer();
    }
}

namespace {
int g_signalPipe[2] = {-1, -1};  // written from the signal handler only
volatile sig_atomic_t g_terminating = 0;

void OnTerminationSignal(int sig) {
    // The first signal asks the window to close (which saves the settings); a second one
    // while that is still going on, say behind a message box, ends the program.
    if (g_terminating) {
        ::signal(sig, SIG_DFL);
        ::raise(sig);
        return;
    }
    g_terminating = 1;
    const char byte = 1;
    ssize_t ignored = ::write(g_signalPipe[1], &byte, 1);
    (void)ignored;
}
}  // namespace

TerminationSignals::TerminationSignals(QObject* parent) : QObject(parent) {
    if (::socketpair(AF_UNIX, SOCK_STREAM, 0, g_signalPipe) != 0) return;
    auto* notifier = new QSocketNotifier(g_signalPipe[0], QSocketNotifier::Read, this);
    connect(notifier, &QSocketNotifier::activated, this, [this] {
        char byte;
        ssize_t ignored = ::read(g_signalPipe[0], &byte, 1);
        (void)ignored;
        emit terminationRequested();
    });
    struct sigaction action {};
    action.sa_handler = OnTerminationSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int sig : {SIGTERM, SIGINT, SIGHUP}) ::sigaction(sig, &action, nullptr);
}

TerminationSignals::~TerminationSignals() {
    struct sigaction action {};
    action.sa_handler = SIG_DFL;
    for (int sig : {SIGTERM, SIGINT, SIGHUP}) ::sigaction(sig, &action, nullptr);
}

}  // namespace lumacrest
