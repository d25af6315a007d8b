// The whole per-frame path of the window, headless: decode -> presentation sequence -> recorder ->
// grid model, with 1 000, 100 000 and 1 000 000 rows already in the reading table.
//
//   bench_frame_path            the three sizes
//   bench_frame_path --soak N   N frames through the window with "limitless" recording, reporting
//                               memory and per-frame cost as the table and the chart grow
#include "SavedRows.h"
#include "app/VS500F.h"
#include "chart/TrendChart.h"
#include "decode/FrameEncoders.h"
#include "store/ReadingTableModel.h"
#include "store/TableStore.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <sys/resource.h>
#include <vector>

namespace {

long currentRssKb()
{
    FILE *f = std::fopen("/proc/self/statm", "r");
    if (!f)
        return 0;
    long pages = 0, resident = 0;
    if (std::fscanf(f, "%ld %ld", &pages, &resident) != 2)
        resident = 0;
    std::fclose(f);
    return resident * 4;
}

long peakRssKb()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

// Frames of a slowly varying DC voltage: every one differs from the last, so each is recorded.
std::vector<uint8_t> frameFor(long i)
{
    Or200Display d;
    const long count = 1000 + (i % 2900);
    d.digits[0] = char('0' + (count / 1000) % 10);
    d.digits[1] = char('0' + (count / 100) % 10);
    d.digits[2] = char('0' + (count / 10) % 10);
    d.digits[3] = char('0' + count % 10);
    d.pointAfter = 1;
    d.dc = true;
    d.autoRange = true;
    d.volt = true;
    return encodeOr200(d);
}

struct Window
{
    QTemporaryDir dir;
    TFCOMM w;

    explicit Window(bool recovery = false)
    {
        w.setWorkingFolder(dir.path());
        if (!recovery)
            w.setRecoveryFolder(QStringLiteral(""));
        w.setMessageHook([](QMessageBox::Icon, const QString &text) {
            std::fprintf(stderr, "message: %s\n", qPrintable(text));
        });
        w.FormCreate();
        w.limitessClick();
        w.ConTimer->stop();
        w.Trecord->stop();
        // Shown (offscreen) so the grid lays out and the chart and gauge paint as they would on screen.
        w.show();
    }

    void feed(long i)
    {
        const std::vector<uint8_t> frame = frameFor(i);
        w.HOR200RData(w.COMM2, reinterpret_cast<const char *>(frame.data()), qint32(frame.size()));
    }
};

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v.empty() ? 0.0 : v[v.size() / 2];
}

double measureAt(long rowsBefore, bool recovery = false)
{
    Window win(recovery);
    TableStore *table = win.w.readingTable();
    const long rssBefore = currentRssKb();
    fillSavedRows(*table, rowsBefore);
    win.w.readingModel()->flushPendingRows();
    QCoreApplication::processEvents();
    const double bytesPerRow =
        rowsBefore ? double(currentRssKb() - rssBefore) * 1024.0 / double(rowsBefore) : 0;

    const long frames = 3000;
    std::vector<double> us;
    us.reserve(frames);
    double worst = 0;
    QElapsedTimer t;
    for (long i = 0; i < frames; ++i) {
        t.start();
        win.feed(rowsBefore + i);
        const double e = double(t.nsecsElapsed()) / 1000.0;
        us.push_back(e);
        worst = std::max(worst, e);
        // Let the grid's coalesced updates run as they would in the window's event loop.
        if (i % 16 == 0) {
            t.start();
            QCoreApplication::processEvents();
            worst = std::max(worst, double(t.nsecsElapsed()) / 1000.0);
        }
    }
    std::printf(
        "%srows before %8ld: median %7.1f us/frame, worst %8.1f us, rows now %ld, %.1f bytes per row\n",
        recovery ? "recovery file on, " : "", rowsBefore, median(us), worst, long(table->rowCount()),
        bytesPerRow);
    if (recovery) {
        // The rows waiting for the recovery file go in one commit, on the event loop between frames.
        t.start();
        win.w.sessionEnding(false);
        std::printf("recovery file on: one batch commit of %ld rows took %.1f ms\n", frames,
                    double(t.nsecsElapsed()) / 1e6);
    }
    return median(us);
}

void soak(long frames)
{
    Window win;
    const long rssStart = currentRssKb();
    QElapsedTimer total;
    total.start();
    const long step = std::max(1L, frames / 10);
    QElapsedTimer t;
    double firstBlock = 0;
    for (long block = 0; block * step < frames; ++block) {
        t.start();
        const long end = std::min(frames, (block + 1) * step);
        for (long i = block * step; i < end; ++i) {
            win.feed(i);
            if (i % 64 == 0)
                QCoreApplication::processEvents();
        }
        const double perFrame = double(t.nsecsElapsed()) / 1000.0 / double(end - block * step);
        if (block == 0)
            firstBlock = perFrame;
        const long rss = currentRssKb();
        const long rows = long(win.w.readingTable()->rowCount());
        const long points = long(win.w.Chtshow->pointCount());
        std::printf("frames %10ld: %6.2f us/frame (x%.2f of first), rss %7ld MB, rows %ld, chart points %ld, "
                    "%.1f bytes per row+point\n",
                    end, perFrame, perFrame / firstBlock, rss / 1024, rows, points,
                    rows ? double(rss - rssStart) * 1024.0 / double(rows) : 0.0);
        std::fflush(stdout);
    }
    std::printf("soak: %ld frames in %.1f s, peak rss %ld MB\n", frames, double(total.elapsed()) / 1000.0,
                peakRssKb() / 1024);
}

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    qputenv("METERLINK_NO_SOUND", "1");
    QApplication app(argc, argv);
    if (argc >= 3 && std::strcmp(argv[1], "--soak") == 0) {
        soak(std::atol(argv[2]));
        return 0;
    }
    double without = 0;
    for (long rows : {1000L, 100000L, 1000000L})
        without = measureAt(rows);
    const double with = measureAt(1000000L, true);
    std::printf("recovery file: median per frame at 1M rows %.2fx the run without\n", with / without);
    return 0;
}
