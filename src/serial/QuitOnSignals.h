#pragma once

#include <QObject>

// Ends the event loop on SIGTERM, SIGINT and SIGHUP, so that a program told to stop (a logout, a
// service manager, Ctrl+C) ends as after Exit: what it was writing committed, the port closed, its
// lock released. The handler only records the request; the loop does the rest. One per process; the
// window and the headless logger, the two programs that hold a port open, both use it.
class QuitOnSignals : public QObject
{
    Q_OBJECT

public:
    explicit QuitOnSignals(QObject *parent = nullptr);
    ~QuitOnSignals() override;

    // Whether a signal has come.
    bool hasReceived() const { return m_received; }

signals:
    // A signal came; emitted before the event loop is told to quit, so that a program that would
    // otherwise ask before ending (the window) can end without asking, and every nested loop with it.
    void received();

private:
    bool m_received = false;
};
