#pragma once

// An event loop woken by one precise single-shot timer at a time, as a meter's frames wake the
// window: the benchmarks' pace, so that their figures compare.
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>

#include <algorithm>
#include <cmath>
#include <utility>

class PacedLoop
{
public:
    // `shot` runs at each wake-up and says when to wake next, in ms since run() began, or a
    // negative number to end.
    template <typename Shot> void run(Shot shot)
    {
        QTimer timer;
        timer.setSingleShot(true);
        timer.setTimerType(Qt::PreciseTimer);
        QObject::connect(&timer, &QTimer::timeout, &m_loop, [&] {
            const double next = shot();
            if (next < 0) {
                m_loop.quit();
                return;
            }
            timer.start(std::max(0, int(std::ceil(next - elapsedMs()))));
        });
        m_clock.start();
        timer.start(0);
        m_loop.exec();
    }

    double elapsedMs() const { return double(m_clock.nsecsElapsed()) / 1e6; }

private:
    QEventLoop m_loop;
    QElapsedTimer m_clock;
};
