// The data files with many recorded rows, done as the window does them (in slices, its events
// handled between them, a grid showing the table): the text export, the table copy, reopening the
// copy to a ready grid (with the share of the file's integrity check), the longest time the window's
// event loop waited during each, and the memory a row takes once loaded.
//
//   bench_datafiles [--rows N]
//   bench_datafiles --foreign N
//   bench_datafiles --reopen FILE
//
// N defaults to 1 000 000 (targets: export 1 s, copy 3 s, reopen 1.5 s, under 64 bytes a row). At
// 10 000 000 rows the targets are: export 2 s, copy 4 s, reopen 3 s; at any size the event loop
// waits at most 100 ms at a time. 10 000 000 rows take about 2 GB of memory and 1 GB of disk.
//
// --reopen times only reopening FILE, a table saved before (by an earlier run, the window or another
// program), with the same progress as the window's.
//
// --foreign reads a table of N rows as another program writes it (full dates in Time, Nval a double
// no float holds, every tenth row with NULL fields) as meterlink-cli convert does, and prints the
// time and the peak resident memory of reading it and of its text export (target at 1 000 000 rows:
// 120 MB peak).
#include "app/WindowPrompts.h"
#include "store/DataFiles.h"
#include "store/ReadingTableModel.h"
#include "store/TableFileCheck.h"
#include "store/TableStore.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QTableView>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <malloc.h>
#include <sqlite3.h>
#include <string>

namespace {

size_t heapInUse()
{
    const struct mallinfo2 info = mallinfo2();
    return info.uordblks + info.hblkhd;
}

// Measures how long the event loop went without a turn while a piece of work ran.
class EventLoopWatch
{
public:
    EventLoopWatch()
    {
        m_timer.setTimerType(Qt::PreciseTimer);
        m_timer.setInterval(1);
        QObject::connect(&m_timer, &QTimer::timeout, [this] { tick(); });
        m_clock.start();
    }
    void start()
    {
        m_longest = 0;
        m_last = m_clock.nsecsElapsed();
        m_timer.start();
    }
    // The longest wait in milliseconds since start().
    double stop()
    {
        tick();
        m_timer.stop();
        return double(m_longest) / 1e6;
    }

private:
    void tick()
    {
        const qint64 now = m_clock.nsecsElapsed();
        m_longest = std::max(m_longest, now - m_last);
        m_last = now;
    }

    QTimer m_timer;
    QElapsedTimer m_clock;
    qint64 m_last = 0;
    qint64 m_longest = 0;
};

struct Targets
{
    double exportSeconds = 0, copySeconds = 0, openSeconds = 0;
};

QString target(double seconds)
{
    return seconds > 0 ? QStringLiteral("; target %1 s").arg(seconds) : QString();
}

// Reopening a saved table to a grid showing its last row, as the window does it.
struct Reopened
{
    int64_t rows = -1; // -1: the open failed
    double seconds = 0, checkSeconds = 0, gridSeconds = 0, blockMs = 0, bytesPerRow = 0;
    bool checkAlongside = false; // the structure check ran alongside the load, not before it
    QString lastTime;
};

Reopened reopenTable(const QString &file, QWidget &window, WindowPrompts &prompts)
{
    Reopened out;
    out.checkAlongside = QFileInfo(file).size() >= tablefile::checkAlongsideFrom();
    TableStore reopened;
    ReadingTableModel model(&reopened);
    QTableView grid(&window);
    grid.setModel(&model);
    window.resize(640, 480);
    grid.resize(600, 400);
    window.show();
    QApplication::processEvents();

    EventLoopWatch watch;
    QElapsedTimer clock;
    const size_t heapBefore = heapInUse();
    qint64 checkNs = -1;
    const WorkProgress shown = prompts.progress(QStringLiteral("Opening"));
    const WorkProgress progress = [&](int64_t done, int64_t total) {
        if (checkNs < 0 && done >= TableStore::kCheckProgressShare)
            checkNs = clock.nsecsElapsed();
        return shown(done, total);
    };
    watch.start();
    clock.start();
    if (!reopened.openFile(file, progress)) {
        std::fprintf(stderr, "%s\n", qPrintable(reopened.lastError()));
        return out;
    }
    const double loadedSeconds = double(clock.nsecsElapsed()) / 1e9;
    out.lastTime = model.index(model.rowCount() - 1, 1).data().toString();
    grid.scrollToBottom();
    QApplication::processEvents();
    out.seconds = double(clock.nsecsElapsed()) / 1e9;
    out.blockMs = watch.stop();
    out.checkSeconds = double(checkNs) / 1e9;
    out.gridSeconds = out.seconds - loadedSeconds;
    out.rows = model.rowCount();
    out.bytesPerRow = double(heapInUse() - heapBefore) / double(std::max<int64_t>(1, out.rows));
    return out;
}

void printReopened(const Reopened &r, double targetSeconds)
{
    if (r.checkAlongside) {
        std::printf(
            "reopen to ready grid   %.3f s  (integrity check alongside the load; the grid after loading "
            "%.3f s; last row time %s%s)\n",
            r.seconds, r.gridSeconds, qPrintable(r.lastTime), qPrintable(target(targetSeconds)));
        return;
    }
    std::printf(
        "reopen to ready grid   %.3f s  (integrity check %.3f s, %.0f %%; the grid after loading %.3f s; "
        "last row time %s%s)\n",
        r.seconds, r.checkSeconds, 100.0 * r.checkSeconds / r.seconds, r.gridSeconds, qPrintable(r.lastTime),
        qPrintable(target(targetSeconds)));
}

// The process's peak resident memory in MB since the last resetPeakMemory().
double peakMemoryMb()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').value(0).toDouble() / 1024.0;
    }
    return -1;
}

void resetPeakMemory()
{
    QFile clear(QStringLiteral("/proc/self/clear_refs"));
    if (clear.open(QIODevice::WriteOnly))
        clear.write("5");
}

bool writeForeignTable(const QString &path, int64_t rows)
{
    sqlite3 *db = nullptr;
    sqlite3_stmt *insert = nullptr;
    bool ok = sqlite3_open(QFile::encodeName(path).constData(), &db) == SQLITE_OK &&
              sqlite3_exec(db,
                           "PRAGMA journal_mode=OFF; PRAGMA synchronous=OFF;"
                           "CREATE TABLE measurements (No INTEGER, Time TEXT, \"DC/AC\" TEXT, Value TEXT, "
                           "Unit TEXT, AUTO TEXT, Nval REAL); BEGIN",
                           nullptr, nullptr, nullptr) == SQLITE_OK &&
              sqlite3_prepare_v2(db, "INSERT INTO measurements VALUES (?, ?, ?, ?, ?, ?, ?)", -1, &insert,
                                 nullptr) == SQLITE_OK;
    for (int64_t i = 0; ok && i < rows; ++i) {
        const int64_t ms = i * 250;
        char time[32];
        std::snprintf(time, sizeof time, "2026-12-%02d %02d:%02d:%02d.%03d", int(1 + ms / 86400000 % 28),
                      int(ms / 3600000 % 24), int(ms / 60000 % 60), int(ms / 1000 % 60), int(ms % 1000));
        const int counts = int(i % 8000) - 3999;
        char value[16];
        std::snprintf(value, sizeof value, "%d.%03d", counts / 1000, std::abs(counts % 1000));
        sqlite3_reset(insert);
        sqlite3_clear_bindings(insert);
        if (i % 10 != 9) {
            sqlite3_bind_int64(insert, 1, i + 1);
            sqlite3_bind_text(insert, 2, time, -1, SQLITE_TRANSIENT);
            sqlite3_bind_text(insert, 3, "DC", -1, SQLITE_STATIC);
            sqlite3_bind_text(insert, 4, value, -1, SQLITE_TRANSIENT);
            sqlite3_bind_text(insert, 5, i % 3 ? "mV" : "V", -1, SQLITE_STATIC);
            sqlite3_bind_text(insert, 6, "AUTO", -1, SQLITE_STATIC);
            sqlite3_bind_double(insert, 7, counts * 0.001 + 1e-7);
        }
        ok = sqlite3_step(insert) == SQLITE_DONE;
    }
    ok = ok && sqlite3_finalize(insert) == SQLITE_OK &&
         sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr) == SQLITE_OK;
    if (!ok)
        std::fprintf(stderr, "%s\n", sqlite3_errmsg(db));
    sqlite3_close(db);
    return ok;
}

int benchForeign(int64_t rows)
{
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("foreign.db"));
    if (!writeForeignTable(file, rows))
        return 1;
    QElapsedTimer clock;
    const double before = peakMemoryMb();
    resetPeakMemory();
    clock.start();
    TableStore table;
    if (!table.openFile(file)) {
        std::fprintf(stderr, "%s\n", qPrintable(table.lastError()));
        return 1;
    }
    const double openSeconds = double(clock.nsecsElapsed()) / 1e9;
    const double openPeak = peakMemoryMb();
    QString error;
    clock.start();
    if (!ExportTableAsText(table, dir.filePath(QStringLiteral("foreign.xls")), &error)) {
        std::fprintf(stderr, "%s\n", qPrintable(error));
        return 1;
    }
    const double exportSeconds = double(clock.nsecsElapsed()) / 1e9;
    std::printf("foreign rows           %lld  (%lld bytes of table file)\n", static_cast<long long>(rows),
                static_cast<long long>(QFileInfo(file).size()));
    std::printf("open                   %.3f s  (%.1f bytes a row loaded)\n", openSeconds,
                double(table.rows().bytesReserved()) / double(rows));
    std::printf("text export            %.3f s\n", exportSeconds);
    std::printf("peak resident memory   %.0f MB reading, %.0f MB reading and exporting  (%.0f MB before; "
                "target at 1000000 rows: 120 MB)\n",
                openPeak, peakMemoryMb(), before);
    return 0;
}

} // namespace

int main(int argc, char **argv)
{
    int64_t rows = 1000000;
    int64_t foreignRows = 0;
    QString reopenFile;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--rows") == 0 && i + 1 < argc) {
            rows = std::atoll(argv[++i]);
        } else if (std::strcmp(argv[i], "--foreign") == 0 && i + 1 < argc) {
            foreignRows = std::atoll(argv[++i]);
            if (foreignRows < 1 || foreignRows > TableStore::kMaxRows) {
                std::fprintf(stderr, "bench_datafiles: --foreign takes 1 to %lld\n",
                             static_cast<long long>(TableStore::kMaxRows));
                return 2;
            }
        } else if (std::strcmp(argv[i], "--reopen") == 0 && i + 1 < argc) {
            reopenFile = QString::fromLocal8Bit(argv[++i]);
        } else {
            std::fprintf(stderr, "usage: bench_datafiles [--rows N | --foreign N | --reopen FILE]\n");
            return 2;
        }
    }
    if (foreignRows > 0)
        return benchForeign(foreignRows);
    if (!reopenFile.isEmpty()) {
        if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
            qputenv("QT_QPA_PLATFORM", "offscreen");
        QApplication app(argc, argv);
        QWidget window;
        WindowPrompts prompts(&window);
        const Reopened reopened = reopenTable(reopenFile, window, prompts);
        if (reopened.rows < 0)
            return 1;
        std::printf("rows                   %lld\n", static_cast<long long>(reopened.rows));
        printReopened(reopened, 0);
        std::printf("longest event-loop wait  reopen %.0f ms  (target 100 ms)\n", reopened.blockMs);
        return 0;
    }
    if (rows < 1 || rows > TableStore::kMaxRows) {
        std::fprintf(stderr, "bench_datafiles: --rows takes 1 to %lld\n",
                     static_cast<long long>(TableStore::kMaxRows));
        return 2;
    }
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    Targets targets;
    if (rows == 1000000)
        targets = {1.0, 3.0, 1.5};
    else if (rows == 10000000)
        targets = {2.0, 4.0, 3.0};

    QTemporaryDir dir;
    TableStore table;
    if (!table.openWorkingTable(dir.path())) {
        std::fprintf(stderr, "%s\n", qPrintable(table.lastError()));
        return 1;
    }
    for (int64_t i = 0; i < rows; ++i) {
        const int counts = int(i % 8000) - 3999;
        char value[16];
        std::snprintf(value, sizeof value, "%d.%03d", counts / 1000, std::abs(counts % 1000));
        RowInput row;
        row.no = i + 1;
        row.timeMs = int32_t((i * 250) % 86400000);
        row.value = value;
        row.unit = i % 3 ? "mV" : "V";
        row.dcac = "DC";
        row.autoText = "AUTO";
        row.nval = float(counts);
        table.appendRow(row);
    }

    QWidget window;
    WindowPrompts prompts(&window);
    EventLoopWatch watch;
    QElapsedTimer clock;
    QString error;

    const QString text = dir.filePath(QStringLiteral("run.xls"));
    watch.start();
    clock.start();
    if (!ExportTableAsText(table, text, &error, prompts.progress(QStringLiteral("Saving")))) {
        std::fprintf(stderr, "%s\n", qPrintable(error));
        return 1;
    }
    const double exportSeconds = double(clock.nsecsElapsed()) / 1e9;
    const double exportBlock = watch.stop();

    const QString copy = dir.filePath(QStringLiteral("run.db"));
    watch.start();
    clock.start();
    if (!CopyTableToFile(table, copy, &error, prompts.progress(QStringLiteral("Saving")))) {
        std::fprintf(stderr, "%s\n", qPrintable(error));
        return 1;
    }
    const double copySeconds = double(clock.nsecsElapsed()) / 1e9;
    const double copyBlock = watch.stop();
    table.close();

    const Reopened reopened = reopenTable(copy, window, prompts);
    if (reopened.rows != rows)
        return 1;

    std::printf("rows                   %lld\n", static_cast<long long>(rows));
    std::printf("text export            %.3f s  (%lld bytes%s)\n", exportSeconds,
                static_cast<long long>(QFileInfo(text).size()), qPrintable(target(targets.exportSeconds)));
    std::printf("table copy             %.3f s  (%lld bytes%s)\n", copySeconds,
                static_cast<long long>(QFileInfo(copy).size()), qPrintable(target(targets.copySeconds)));
    printReopened(reopened, targets.openSeconds);
    std::printf("longest event-loop wait  export %.0f ms, copy %.0f ms, reopen %.0f ms  (target 100 ms)\n",
                exportBlock, copyBlock, reopened.blockMs);
    std::printf("memory per row         %.1f bytes, table and grid  (target < 64)\n", reopened.bytesPerRow);
    return 0;
}
