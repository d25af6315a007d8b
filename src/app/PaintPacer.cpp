#include "app/PaintPacer.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEvent>
#include <QWidget>

#include <algorithm>

PaintPacer::PaintPacer(QWidget *window, Clock clock)
    : QObject(window), m_window(window), m_clock(std::move(clock))
{
    if (!m_clock) {
        m_clock = [] {
            static QElapsedTimer steady = [] {
                QElapsedTimer t;
                t.start();
                return t;
            }();
            return steady.elapsed();
        };
    }
    m_timer.setSingleShot(true);
    m_timer.setTimerType(Qt::PreciseTimer);
    connect(&m_timer, &QTimer::timeout, this, &PaintPacer::requestPass);
    m_window->installEventFilter(this);
}

PaintPacer::Batch::Batch(PaintPacer *pacer) : m_pacer(pacer)
{
    if (m_pacer)
        ++m_pacer->m_batchDepth;
}

PaintPacer::Batch::~Batch()
{
    if (m_pacer)
        m_pacer->endBatch();
}

qint64 PaintPacer::msUntilDue() const
{
    return m_painted ? m_lastPass + kMinIntervalMs - m_clock() : 0;
}

void PaintPacer::endBatch()
{
    if (--m_batchDepth > 0)
        return;
    // Posted with the lowest priority, the request comes after everything the batch posted, so that
    // what those events change is in the same pass.
    if (m_heldInBatch || (m_timer.isActive() && msUntilDue() <= 0)) {
        m_heldInBatch = false;
        QCoreApplication::postEvent(m_window, new QEvent(QEvent::UpdateRequest), Qt::LowEventPriority);
    }
}

void PaintPacer::requestPass()
{
    QEvent request(QEvent::UpdateRequest);
    QCoreApplication::sendEvent(m_window, &request);
}

bool PaintPacer::eventFilter(QObject *watched, QEvent *event)
{
    if (watched != m_window || event->type() != QEvent::UpdateRequest)
        return QObject::eventFilter(watched, event);
    // What is not painted now stays marked: Qt asks again only after a pass, so the pacer must.
    if (m_batchDepth > 0) {
        m_heldInBatch = true;
        return true;
    }
    const qint64 wait = msUntilDue();
    if (wait > 0) {
        if (!m_timer.isActive())
            m_timer.start(int(std::min<qint64>(wait + kMaxDelayMs - kMinIntervalMs, kMaxDelayMs)));
        return true;
    }
    m_timer.stop();
    m_lastPass = m_clock();
    m_painted = true;
    return false;
}
