#pragma once

#include <QObject>

class QSocketNotifier;

// SIGTERM and SIGINT (the session ending, `kill`, Ctrl+C) as a Qt signal on the main thread,
// so the program ends as through "Quit": the server hears that the player left. One per
// process; the handlers are restored to the defaults when it is destroyed.
class TerminationSignals : public QObject {
    Q_OBJECT
public:
    explicit TerminationSignals(QObject *parent = nullptr);
    ~TerminationSignals() override;

Q_SIGNALS:
    void terminationRequested();

private:
    void readSignal();

    QSocketNotifier *m_notifier = nullptr;
};
