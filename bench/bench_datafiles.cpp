// The data files with 1 000 000 recorded rows: text export (target 1 s), table copy (3 s), reopening
// the copy to a ready grid model (1.5 s) and the memory a row takes once loaded (under 64 bytes).
#include "store/DataFiles.h"
#include "store/ReadingTableModel.h"
#include "store/TableStore.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QTemporaryDir>

#include <chrono>
#include <cstdio>
#include <malloc.h>
#include <string>

namespace {

size_t heapInUse()
{
    const struct mallinfo2 info = mallinfo2();
    return info.uordblks + info.hblkhd;
}

double secondsSince(std::chrono::steady_clock::time_point start)
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    constexpr int64_t kRows = 1000000;
    QTemporaryDir dir;
    TableStore table;
    if (!table.openWorkingTable(dir.path())) {
        std::fprintf(stderr, "%s\n", qPrintable(table.lastError()));
        return 1;
    }
    for (int64_t i = 0; i < kRows; ++i) {
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

    const QString text = dir.filePath(QStringLiteral("run.xls"));
    auto start = std::chrono::steady_clock::now();
    if (!ExportTableAsText(table, text))
        return 1;
    const double exportSeconds = secondsSince(start);

    const QString copy = dir.filePath(QStringLiteral("run.db"));
    start = std::chrono::steady_clock::now();
    QString error;
    if (!CopyTableToFile(table, copy, &error)) {
        std::fprintf(stderr, "%s\n", qPrintable(error));
        return 1;
    }
    const double copySeconds = secondsSince(start);
    table.close();

    TableStore reopened;
    ReadingTableModel model(&reopened);
    const size_t heapBefore = heapInUse();
    start = std::chrono::steady_clock::now();
    if (!reopened.openFile(copy)) {
        std::fprintf(stderr, "%s\n", qPrintable(reopened.lastError()));
        return 1;
    }
    const QString last = model.index(model.rowCount() - 1, 1).data().toString();
    const double reopenSeconds = secondsSince(start);
    const double bytesPerRow = double(heapInUse() - heapBefore) / double(kRows);
    if (model.rowCount() != kRows)
        return 1;

    std::printf("rows                   %lld\n", static_cast<long long>(kRows));
    std::printf("text export            %.3f s  (%lld bytes; target 1 s)\n", exportSeconds,
                static_cast<long long>(QFileInfo(text).size()));
    std::printf("table copy             %.3f s  (%lld bytes; target 3 s)\n", copySeconds,
                static_cast<long long>(QFileInfo(copy).size()));
    std::printf("reopen to ready model  %.3f s  (last row time %s; target 1.5 s)\n", reopenSeconds,
                qPrintable(last));
    std::printf("memory per row         %.1f bytes  (target < 64)\n", bytesPerRow);
    return 0;
}
