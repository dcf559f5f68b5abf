#include "app/qt/SingleInstance.h"

#include <QDir>
#include <QLocalServer>
#include <QLocalSocket>
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

}  // namespace lumacrest
