// SIGTERM, SIGINT and SIGHUP as a Qt signal on the event loop, the first `taken` of them; one
// more ends the program at once.
#pragma once

#include <QObject>

namespace lumacrest {

class TerminationSignals : public QObject {
    Q_OBJECT
public:
    explicit TerminationSignals(int taken = 1, QObject* parent = nullptr);
    ~TerminationSignals() override;

    // Readable once a signal has come (until the event loop has taken it): a wait that blocks
    // the loop watches it to end early.
    int Descriptor() const;

signals:
    void terminationRequested(int signal);
};

}  // namespace lumacrest
