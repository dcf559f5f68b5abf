// SIGTERM, SIGINT and SIGHUP as a Qt signal on the event loop, the first and the second one;
// a third ends the program at once.
#pragma once

#include <QObject>

namespace lumacrest {

class TerminationSignals : public QObject {
    Q_OBJECT
public:
    explicit TerminationSignals(QObject* parent = nullptr);
    ~TerminationSignals() override;

signals:
    void terminationRequested(int signal);
};

}  // namespace lumacrest
