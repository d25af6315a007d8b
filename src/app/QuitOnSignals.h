#pragma once

#include <QObject>

class QSocketNotifier;

// Ends the event loop on SIGTERM, SIGINT and SIGHUP, so that a program told to stop (a logout, a
// service manager, Ctrl+C) ends as after Exit: the recovery file committed, the port closed, its
// lock released. The handler only writes to a pipe; the loop does the rest. One per process.
class QuitOnSignals : public QObject
{
    Q_OBJECT

public:
    explicit QuitOnSignals(QObject *parent = nullptr);
    ~QuitOnSignals() override;

private:
    QSocketNotifier *m_notifier = nullptr;
};
