// The window while a meter streams: the real window, shown, fed frames at a meter's pace by a timer
// on its own event loop, so every repaint a frame causes happens as it would on screen. Reports the
// process's CPU time per frame, painting included, at 17 frames/s (2400 baud) and 174 frames/s
// (19200 baud).
//
//   bench_live [--seconds N] [--poll MS] [--rows R]
//       N seconds per rate (10 by default). Each frame is delivered on its own, the most painting a
//       rate can cause; with --poll the frames that arrived are delivered together every MS
//       milliseconds, as the serial component's poll (50 ms) delivers them. With --rows the reading
//       table holds R saved rows before the run, as after opening a long recording, so that costs
//       which grow with the table show.
//
// Runs offscreen unless QT_QPA_PLATFORM says otherwise; for a real X server's painting:
//   QT_QPA_PLATFORM=xcb xvfb-run -a -s "-screen 0 1024x768x24" ./build/bench/bench_live
#include "LiveFrames.h"
#include "SavedRows.h"
#include "app/VS500F.h"
#include "decode/FrameEncoders.h"
#include "store/ReadingTableModel.h"
#include "store/TableStore.h"

#include <QApplication>
#include <QCheckBox>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTemporaryDir>
#include <QTimer>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <memory>
#include <vector>

namespace {

using liveframes::frameFor;

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
        feedFor(rate, 1.0);
        const double cpuBefore = processCpuSeconds();
        QElapsedTimer wall;
        wall.start();
        const long frames = feedFor(rate, seconds);
        // The last frame's repaint is part of its cost.
        settle(50);
        const double cpu = processCpuSeconds() - cpuBefore;
        const double perFrame = cpu * 1e6 / double(frames);
        std::printf(
            "%6.1f frames/s: %ld frames in %.2f s, %.3f s CPU (%.1f %% of a core), %.0f us per frame\n", rate,
            frames, double(wall.elapsed()) / 1000.0, cpu, 100.0 * cpu / seconds, perFrame);
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

    // One frame per timer shot, each at its own time on the event loop (or the frames of a poll
    // together); Qt paints in between as it sees fit.
    long feedFor(double rate, double seconds)
    {
        const long total = std::lround(rate * seconds);
        long fed = 0;
        QEventLoop loop;
        QTimer timer;
        timer.setSingleShot(true);
        timer.setTimerType(Qt::PreciseTimer);
        QElapsedTimer clock;
        clock.start();
        auto dueMs = [rate](long n) {
            return double(n) * 1000.0 / rate;
        };
        QObject::connect(&timer, &QTimer::timeout, &loop, [&] {
            while (fed < total && dueMs(fed) <= double(clock.nsecsElapsed()) / 1e6) {
                const std::vector<uint8_t> frame =
                    frameFor(m_window, m_seconds + dueMs(fed) / 1000.0, m_frame);
                const auto *data = reinterpret_cast<const char *>(frame.data());
                if (m_window.boundFamily() == DecoderFamily::VS500)
                    m_window.HVS500RData(m_window.COMM2, data, qint32(frame.size()));
                else
                    m_window.HOR200RData(m_window.COMM2, data, qint32(frame.size()));
                ++fed;
                ++m_frame;
            }
            if (fed >= total) {
                loop.quit();
                return;
            }
            const double now = double(clock.nsecsElapsed()) / 1e6;
            const double wait = m_pollMs > 0 ? m_pollMs - std::fmod(now, double(m_pollMs)) : dueMs(fed) - now;
            timer.start(std::max(0, int(std::ceil(wait))));
        });
        timer.start(0);
        loop.exec();
        m_seconds += seconds;
        return fed;
    }

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
        "usage: bench_live [--seconds N] [--poll MS] [--rows R]\n"
        "  CPU per frame of the shown window at 17 and 174 frames/s, painting included.\n"
        "  --seconds N  seconds measured per rate (default 10)\n"
        "  --poll MS    deliver the frames that arrived every MS ms, as the port's poll does\n"
        "  --rows R     R saved rows in the reading table before the run (default 0)\n";
    double seconds = 10;
    int pollMs = 0;
    long rows = 0;
    for (int i = 1; i < argc; ++i) {
        const bool hasValue = i + 1 < argc;
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
            std::fputs(usage, stdout);
            return 0;
        } else if (std::strcmp(argv[i], "--seconds") == 0 && hasValue) {
            seconds = std::atof(argv[++i]);
        } else if (std::strcmp(argv[i], "--poll") == 0 && hasValue) {
            pollMs = std::atoi(argv[++i]);
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
    QApplication app(argc, argv);
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
        slow = live.run(17.0, seconds);
    }
    {
        LiveRun live(pollMs, rows);
        fast = live.run(174.0, seconds);
    }
    std::printf("live: %ld us CPU per frame at 17 frames/s, %ld us at 174 frames/s\n", std::lround(slow),
                std::lround(fast));
    return 0;
}
