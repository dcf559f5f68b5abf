// One copy per user: a lock file in the user's runtime directory, and a local socket
// through which a second copy asks the first to show its window.
#pragma once

#include <QLockFile>
#include <QObject>
#include <QString>
#include <memory>

class QLocalServer;

namespace lumacrest {

class SingleInstance : public QObject {
    Q_OBJECT
public:
    explicit SingleInstance(QObject* parent = nullptr);
    ~SingleInstance() override;

    // True when this copy is the first one; it then listens for later copies.
    bool BecomePrimary();
    // From a later copy: asks the running one to show and raise its window.
    void AskPrimaryToShow();

signals:
    void showRequested();

private:
    QString dir_;
    std::unique_ptr<QLockFile> lock_;
    QLocalServer* server_ = nullptr;
};

}  // namespace lumacrest
