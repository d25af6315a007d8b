#include "serial/QuitOnSignals.h"

#include "platform/StopSignals.h"

#include <QCoreApplication>
#ifdef Q_OS_WIN
#include <QWinEventNotifier>
#else
#include <QSocketNotifier>
#endif

QuitOnSignals::QuitOnSignals(QObject *parent) : QObject(parent)
{
    if (!platform::installStopHandlers(true))
        return;
    const auto onRequest = [this] {
        platform::clearStopWait();
        m_received = true;
        emit received();
        QCoreApplication::quit();
    };
#ifdef Q_OS_WIN
    auto *notifier = new QWinEventNotifier(platform::stopWaitHandle(), this);
    connect(notifier, &QWinEventNotifier::activated, this, onRequest);
#else
    auto *notifier = new QSocketNotifier(platform::stopWaitHandle(), QSocketNotifier::Read, this);
    connect(notifier, &QSocketNotifier::activated, this, onRequest);
#endif
}

QuitOnSignals::~QuitOnSignals()
{
    platform::removeStopHandlers();
}
