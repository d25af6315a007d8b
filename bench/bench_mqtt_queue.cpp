// Memory of the MQTT publisher's queue while the broker is away: a day at 17 readings a second
// (1 468 800 readings), then the queue's full capacity and beyond it (the oldest are dropped),
// then what is left once the broker has taken them all.
#include "logger/PendingReadings.h"

#include <QTimeZone>

#include <cstdio>
#include <malloc.h>

namespace {

size_t heapInUse()
{
    const struct mallinfo2 info = mallinfo2();
    return info.uordblks + info.hblkhd;
}

// A meter sweeping its 4000 counts, switching unit now and then, 17 readings a second.
LoggedReading readingFor(int64_t i)
{
    static const QDateTime start(QDate(2026, 12, 8), QTime(8, 0), QTimeZone(3600));
    LoggedReading r;
    r.time = start.addMSecs(i * 1000 / 17);
    r.no = i + 1;
    const int counts = int(i % 8000) - 3999;
    char value[16];
    std::snprintf(value, sizeof value, "%d.%03d", counts / 1000, std::abs(counts % 1000));
    r.value = value;
    r.unit = (i / 100000) % 2 ? "mV" : "V";
    r.dcac = "DC";
    r.autoText = "AUTO";
    r.nval = counts;
    return r;
}

void report(const char *what, const PendingReadings &queue, size_t heapBefore)
{
    const double bytes = double(heapInUse() - heapBefore);
    std::printf("%-28s %10lld waiting %9lld dropped %8.1f MB %8.1f bytes/reading\n", what,
                static_cast<long long>(queue.waiting()), static_cast<long long>(queue.dropped()), bytes / 1e6,
                queue.waiting() ? bytes / double(queue.waiting()) : 0.0);
}

} // namespace

int main()
{
    constexpr int64_t kDay = 24 * 3600 * 17;
    const size_t heapBefore = heapInUse();
    PendingReadings queue;
    int64_t i = 0;
    for (; i < kDay; ++i)
        queue.push(readingFor(i));
    report("24 h at 17 readings/s", queue, heapBefore);
    for (; i < int64_t(PendingReadings::kDefaultCapacity) + 100000; ++i)
        queue.push(readingFor(i));
    report("capacity + 100000", queue, heapBefore);
    int id = 0;
    while (queue.hasUnsent()) {
        queue.markSent(++id % 60000 + 1);
        queue.acknowledge(id % 60000 + 1);
    }
    report("all delivered", queue, heapBefore);
    return 0;
}
