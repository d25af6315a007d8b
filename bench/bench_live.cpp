// The window while a meter streams: the real window, shown, fed frames at a meter's pace by a timer
// on its own event loop, so every repaint a frame causes happens as it would on screen. Reports the
// process's CPU time per frame, painting included, at 17 frames/s (2400 baud) and 174 frames/s
// (19200 baud).
//
//   bench_live [--seconds N] [--poll MS] [--rows R] [--count]
//       N seconds per rate (10 by default). Each frame is delivered on its own, the most painting a
//       rate can cause; with --poll the frames that arrived are delivered together every MS
//       milliseconds, as the serial component's poll (50 ms) delivers them. With --rows the reading
//       table holds R saved rows before the run, as after opening a long recording, so that costs
//       which grow with the table show. With --count it also lists, per frame, the paint passes,
//       paints, timer events and posted calls the event loop delivered (counting costs CPU itself).
//
// Runs offscreen unless QT_QPA_PLATFORM says otherwise; for a real X server's painting:
//   QT_QPA_PLATFORM=xcb xvfb-run -a -s "-screen 0 1024x768x24" ./build/bench/bench_live
#include "LiveFrames.h"
#include "PacedLoop.h"
#include "SavedRows.h"
#include "app/VS500F.h"
#include "decode/FrameEncoders.h"
#include "store/ReadingTableModel.h"
#include "store/TableStore.h"

#include <QApplication>
#include <QCheckBox>
#include <QDebug>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <map>
#include <memory>
#include <vector>

namespace {

using liveframes::frameFor;

// With --count, what the event loop delivered while frames streamed: paint passes (update requests
// on the window), paints per widget class, timer events per timer's owner, posted calls and layout
// requests, as counts per frame.
class CountingApplication : public QApplication
{
public:
    using QApplication::QApplication;

    bool notify(QObject *receiver, QEvent *event) override
    {
        if (!m_counting)
            return QApplication::notify(receiver, event);
        const QString what = note(receiver, event);
        if (m_depth == 0) {
            m_cause = what;
            if (m_trace > 0) {
                --m_trace;
                std::fprintf(stderr, "%8.3f ms %s\n", double(m_clock.nsecsElapsed()) / 1e6, qPrintable(what));
            }
        }
        const long paintsBefore = m_paints;
        if (event->type() == QEvent::Paint)
            ++m_paints;
        ++m_depth;
        const bool done = QApplication::notify(receiver, event);
        --m_depth;
        // A request that painted something was a pass; the window may hold requests back.
        if (event->type() == QEvent::UpdateRequest && m_paints > paintsBefore)
            ++m_counts[(m_depth == 0 ? QStringLiteral("  painting pass, posted")
                                     : QStringLiteral("  painting pass inside ") + m_cause)];
        return done;
    }

    void startCounting()
    {
        m_counts.clear();
        m_counting = true;
        m_trace = qEnvironmentVariableIntValue("BENCH_LIVE_TRACE");
        m_clock.start();
    }

    void report(long frames)
    {
        m_counting = false;
        std::vector<std::pair<QString, long>> sorted(m_counts.begin(), m_counts.end());
        std::sort(sorted.begin(), sorted.end(),
                  [](const auto &a, const auto &b) { return a.second > b.second; });
        for (const auto &[what, count] : sorted) {
            if (count * 50 >= frames)
                std::printf("    %6.2f per frame  %s\n", double(count) / double(frames), qPrintable(what));
        }
    }

private:
    QString note(QObject *receiver, QEvent *event)
    {
        const char *cls = receiver->metaObject()->className();
        QString what;
        switch (event->type()) {
        case QEvent::UpdateRequest:
            what = QStringLiteral("update request %1").arg(QLatin1String(cls));
            break;
        case QEvent::Paint:
            what = QStringLiteral("paint %1 %2 (%3)")
                       .arg(QLatin1String(cls), receiver->objectName(),
                            m_cause.startsWith(QLatin1String("update"))
                                ? QStringLiteral("posted pass")
                                : QStringLiteral("pass inside ") + m_cause);
            break;
        case QEvent::Timer:
            what = QStringLiteral("timer %1 %2 %3")
                       .arg(QLatin1String(cls), receiver->objectName())
                       .arg(static_cast<QTimerEvent *>(event)->timerId());
            break;
        default:
            what = QStringLiteral("event %1 %2 %3")
                       .arg(int(event->type()))
                       .arg(QLatin1String(cls), receiver->objectName());
            break;
        }
        ++m_counts[what];
        return what;
    }

    bool m_counting = false;
    int m_depth = 0;
    long m_paints = 0;
    int m_trace = 0;
    QElapsedTimer m_clock;
    QString m_cause;
    std::map<QString, long> m_counts;
};

double processCpuSeconds()
{
    timespec ts{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return double(ts.tv_sec) + double(ts.tv_nsec) * 1e-9;
}

class LiveRun
{
public:
    LiveRun(int pollMs, long rows) : m_pollMs(pollMs)
    {
        m_window.setWorkingFolder(m_dir.path());
        m_window.setBitmapPath(m_dir.filePath(QStringLiteral("databmp.bmp")));
        m_window.setMessageHook([](QMessageBox::Icon, const QString &text) {
            std::fprintf(stderr, "message: %s\n", qPrintable(text));
        });
        m_window.FormCreate();
        fillTable(rows);
        m_window.show();
        settle(500);
    }

    // Feeds frames at `rate` per second for `seconds`; returns the CPU microseconds per frame.
    double run(double rate, double seconds)
    {
        // A second unmeasured, so that the chart, the grid and the caches hold something already.
        feedFor(rate, framesFor(rate, 1.0));
        // The frames are made before the clock starts: making them is the meter's work, not ours.
        const std::vector<std::vector<uint8_t>> measured = framesFor(rate, seconds);
        auto *app = dynamic_cast<CountingApplication *>(QCoreApplication::instance());
        if (m_count && app)
            app->startCounting();
        const double cpuBefore = processCpuSeconds();
        QElapsedTimer wall;
        wall.start();
        const long frames = feedFor(rate, measured);
        // The last frame's repaint is part of its cost.
        settle(50);
        const double cpu = processCpuSeconds() - cpuBefore;
        const double perFrame = cpu * 1e6 / double(frames);
        std::printf(
            "%6.1f frames/s: %ld frames in %.2f s, %.3f s CPU (%.1f %% of a core), %.0f us per frame\n", rate,
            frames, double(wall.elapsed()) / 1000.0, cpu, 100.0 * cpu / seconds, perFrame);
        if (m_count && app)
            app->report(frames);
        std::fflush(stdout);
        return perFrame;
    }

private:
    void fillTable(long rows)
    {
        fillSavedRows(*m_window.readingTable(), rows);
        m_window.readingModel()->flushPendingRows();
    }

    static void settle(int ms)
    {
        QEventLoop loop;
        QTimer::singleShot(ms, &loop, &QEventLoop::quit);
        loop.exec();
    }

    static double dueMs(double rate, long n) { return double(n) * 1000.0 / rate; }

    // The frames a meter sends at `rate` per second for `seconds`, from where the last run ended; frame
    // n is due n / rate seconds after the first.
    std::vector<std::vector<uint8_t>> framesFor(double rate, double seconds)
    {
        std::vector<std::vector<uint8_t>> frames(size_t(std::lround(rate * seconds)));
        for (size_t n = 0; n < frames.size(); ++n)
            frames[n] = frameFor(m_window, m_seconds + dueMs(rate, long(n)) / 1000.0, m_frame + long(n));
        m_seconds += seconds;
        m_frame += long(frames.size());
        return frames;
    }

    // One frame per timer shot, each at its own time on the event loop (or the frames of a poll
    // together); Qt paints in between as it sees fit.
    long feedFor(double rate, const std::vector<std::vector<uint8_t>> &frames)
    {
        const long total = long(frames.size());
        long fed = 0;
        PacedLoop paced;
        paced.run([&] {
            while (fed < total && dueMs(rate, fed) <= paced.elapsedMs()) {
                const std::vector<uint8_t> &frame = frames[size_t(fed)];
                const auto *data = reinterpret_cast<const char *>(frame.data());
                if (m_window.boundFamily() == DecoderFamily::VS500)
                    m_window.HVS500RData(m_window.COMM2, data, qint32(frame.size()));
                else
                    m_window.HOR200RData(m_window.COMM2, data, qint32(frame.size()));
                ++fed;
            }
            if (fed >= total)
                return -1.0;
            const double now = paced.elapsedMs();
            return m_pollMs > 0 ? now + m_pollMs - std::fmod(now, double(m_pollMs)) : dueMs(rate, fed);
        });
        return fed;
    }

public:
    bool m_count = false;

private:
    int m_pollMs = 0;
    QTemporaryDir m_dir;
    TFCOMM m_window;
    double m_seconds = 0; // meter time, carried from one run to the next
    long m_frame = 0;
};

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    qputenv("METERLINK_NO_SOUND", "1");
    const char *usage =
        "usage: bench_live [--seconds N] [--poll MS] [--rows R] [--count]\n"
        "  CPU per frame of the shown window at 17 and 174 frames/s, painting included.\n"
        "  --seconds N  seconds measured per rate (default 10)\n"
        "  --poll MS    deliver the frames that arrived every MS ms, as the port's poll does\n"
        "  --rows R     R saved rows in the reading table before the run (default 0)\n"
        "  --count      also list the paint passes, paints and timer events per frame\n";
    double seconds = 10;
    int pollMs = 0;
    long rows = 0;
    bool count = false;
    for (int i = 1; i < argc; ++i) {
        const bool hasValue = i + 1 < argc;
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
            std::fputs(usage, stdout);
            return 0;
        } else if (std::strcmp(argv[i], "--seconds") == 0 && hasValue) {
            seconds = std::atof(argv[++i]);
        } else if (std::strcmp(argv[i], "--poll") == 0 && hasValue) {
            pollMs = std::atoi(argv[++i]);
        } else if (std::strcmp(argv[i], "--count") == 0) {
            count = true;
        } else if (std::strcmp(argv[i], "--rows") == 0 && hasValue) {
            rows = std::atol(argv[++i]);
        } else {
            seconds = -1;
        }
    }
    if (seconds <= 0 || pollMs < 0 || rows < 0) {
        std::fputs(usage, stderr);
        return 2;
    }
    CountingApplication app(argc, argv);
    std::printf("platform %s, %.0f s per rate, %s, %ld rows in the table first\n",
                qPrintable(QApplication::platformName()), seconds,
                pollMs > 0 ? qPrintable(QStringLiteral("frames delivered every %1 ms").arg(pollMs))
                           : "each frame delivered on its own",
                rows);

    // A fresh window per rate: the first run's table and chart do not weigh on the second.
    double slow = 0;
    double fast = 0;
    {
        LiveRun live(pollMs, rows);
        live.m_count = count;
        slow = live.run(17.0, seconds);
    }
    {
        LiveRun live(pollMs, rows);
        live.m_count = count;
        fast = live.run(174.0, seconds);
    }
    std::printf("live: %ld us CPU per frame at 17 frames/s, %ld us at 174 frames/s\n", std::lround(slow),
                std::lround(fast));
    return 0;
}
