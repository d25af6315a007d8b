// Cost of recording one reading into the reading table (the recorder's rules, the row's append and
// the grid model's notification) with 1 000, 100 000 and 1 000 000 rows already present: median and
// worst single append, and the memory the rows take.
#include "recorder/Recorder.h"
#include "store/ReadingTableModel.h"
#include "store/TableStore.h"

#include <QCoreApplication>
#include <QTemporaryDir>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <malloc.h>
#include <string>
#include <vector>

namespace {

size_t heapInUse()
{
    const struct mallinfo2 info = mallinfo2();
    return info.uordblks + info.hblkhd;
}

Reading readingFor(int64_t i)
{
    Reading r;
    const int counts = int(i % 8000) - 3999;
    char value[16];
    std::snprintf(value, sizeof value, "%d.%03d", counts / 1000, std::abs(counts % 1000));
    r.value = value;
    r.unit = i % 3 ? "mV" : "V";
    r.dcac = "DC";
    r.autoText = "AUTO";
    r.Nval = float(counts);
    return r;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QTemporaryDir dir;
    constexpr int kSamples = 20000;
    std::printf("%-12s %12s %12s %12s %12s\n", "rows before", "median us", "p99.9 us", "worst us",
                "bytes/row");
    for (int64_t present : {int64_t(1000), int64_t(100000), int64_t(1000000)}) {
        TableStore table;
        if (!table.openWorkingTable(dir.path())) {
            std::fprintf(stderr, "%s\n", qPrintable(table.lastError()));
            return 1;
        }
        ReadingTableModel model(&table);
        Recorder recorder(&table);
        recorder.setRecordLimit(10000000);
        recorder.settings().RepeatSet = false;

        const size_t heapBefore = heapInUse();
        for (int64_t i = 0; i < present; ++i)
            recorder.INDataToTable(readingFor(i));
        model.flushPendingRows();
        const double bytesPerRow = double(heapInUse() - heapBefore) / double(present);

        std::vector<double> samples;
        samples.reserve(kSamples);
        for (int s = 0; s < kSamples; ++s) {
            const Reading r = readingFor(present + s);
            const auto start = std::chrono::steady_clock::now();
            recorder.INDataToTable(r);
            const auto stop = std::chrono::steady_clock::now();
            samples.push_back(std::chrono::duration<double, std::micro>(stop - start).count());
            if (s % 100 == 99)
                model.flushPendingRows(); // a timer tick's worth of rows
        }
        std::sort(samples.begin(), samples.end());
        std::printf("%-12lld %12.3f %12.3f %12.3f %12.1f\n", static_cast<long long>(present),
                    samples[samples.size() / 2], samples[samples.size() * 999 / 1000], samples.back(),
                    bytesPerRow);
        table.close();
    }
    return 0;
}
