#include "logger/PendingReadings.h"

#include <QTimeZone>
#include <gtest/gtest.h>

namespace {

LoggedReading readingNo(int64_t no,
                        const QDateTime &time = QDateTime(QDate(2026, 3, 29), QTime(1, 59), QTimeZone(3600)))
{
    LoggedReading r;
    r.time = time.addMSecs(no * 250);
    r.no = no;
    r.value = no % 2 ? "-3.999" : "0.L";
    r.unit = no % 3 ? "mV" : "k*";
    r.dcac = no % 2 ? "DC" : "";
    r.autoText = "AUTO";
    r.nval = double(-no);
    return r;
}

// Hands out everything unsent, as the publisher does once connected; returns the numbers sent.
std::vector<int64_t> sendAll(PendingReadings &queue, int &nextId)
{
    std::vector<int64_t> sent;
    while (queue.hasUnsent()) {
        sent.push_back(queue.nextUnsent().no);
        queue.markSent(nextId++);
    }
    return sent;
}

} // namespace

TEST(PendingReadings, GivesBackEachReadingAsItWasQueued)
{
    PendingReadings queue;
    // Local time across a change of offset, and a fixed offset: the JSON must not change.
    const QDateTime local(QDate(2026, 3, 29), QTime(1, 59, 59, 500), QTimeZone("Europe/Berlin"));
    // Reading 7 has reading 1's texts but for its range: both go out as they came.
    LoggedReading manual = readingNo(7);
    manual.autoText = "MANU";
    const std::vector<LoggedReading> readings = {
        readingNo(1), manual, readingNo(2), readingNo(3, local), readingNo(4, local), readingNo(5, local)};
    for (const LoggedReading &r : readings)
        queue.push(r);
    for (const LoggedReading &r : readings) {
        ASSERT_TRUE(queue.hasUnsent());
        EXPECT_EQ(readingJson(queue.nextUnsent()), readingJson(r));
        queue.markSent(int(r.no));
    }
    EXPECT_FALSE(queue.hasUnsent());
}

TEST(PendingReadings, LeavesOnlyWhenAcknowledgedAndResendsInOrderAfterALoss)
{
    PendingReadings queue;
    int nextId = 1;
    for (int64_t no = 1; no <= 6; ++no)
        queue.push(readingNo(no));
    EXPECT_EQ(sendAll(queue, nextId), (std::vector<int64_t>{1, 2, 3, 4, 5, 6}));
    EXPECT_EQ(queue.inFlight(), 6);

    EXPECT_TRUE(queue.acknowledge(1));
    EXPECT_TRUE(queue.acknowledge(3)); // out of order: 2 still holds it in the queue
    EXPECT_FALSE(queue.acknowledge(3));
    EXPECT_FALSE(queue.acknowledge(99));
    EXPECT_EQ(queue.delivered(), 2);
    EXPECT_EQ(queue.waiting(), 4);

    queue.unsendAll();
    queue.push(readingNo(7));
    EXPECT_EQ(queue.inFlight(), 0);
    nextId = 1; // a new connection numbers its messages afresh
    EXPECT_EQ(sendAll(queue, nextId), (std::vector<int64_t>{2, 4, 5, 6, 7}));
    for (int id = 1; id <= 5; ++id)
        EXPECT_TRUE(queue.acknowledge(id));
    EXPECT_EQ(queue.waiting(), 0);
    EXPECT_EQ(queue.delivered(), 7);
    EXPECT_EQ(queue.dropped(), 0);
}

TEST(PendingReadings, PastItsCapacityDropsTheOldestUnsentAndCountsThem)
{
    PendingReadings queue(4);
    int nextId = 1;
    queue.push(readingNo(1));
    queue.push(readingNo(2));
    sendAll(queue, nextId); // 1 and 2 in flight: they stay
    for (int64_t no = 3; no <= 9; ++no)
        queue.push(readingNo(no));
    EXPECT_EQ(queue.dropped(), 5);
    EXPECT_EQ(queue.waiting(), 4);
    EXPECT_EQ(sendAll(queue, nextId), (std::vector<int64_t>{8, 9}));
    queue.unsendAll();
    EXPECT_EQ(sendAll(queue, nextId), (std::vector<int64_t>{1, 2, 8, 9}));
}
