#include "logger/Outbox.h"
#include "store/TableFileWriter.h"

#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

struct Row
{
    const char *time;      // in the table: the time of day only
    const char *publishAs; // the local date and time the broker gets
};

// The table holds times of day; the side file gives the date they start on and each later run's.
TEST(Outbox, DatesTheTablesTimesAcrossMidnightAndRuns)
{
    QTemporaryDir dir;
    const QString table = dir.filePath(QStringLiteral("log.db"));
    const Row rows[] = {
        {"23:59:58.500", "2026-12-08T23:59:58.500"}, {"23:59:59.900", "2026-12-08T23:59:59.900"},
        {"00:00:00.100", "2026-12-09T00:00:00.100"}, {"02:00:00.000", "2026-12-09T02:00:00.000"},
        {"01:30:00.000", "2026-12-09T01:30:00.000"}, // the clock put back an hour: the same day
        {"10:00:00.000", "2026-12-12T10:00:00.000"}, // a later run, days after
    };
    TableFileWriter writer;
    ASSERT_TRUE(writer.open(table, TableFileWriter::Access::Shared, false));
    int64_t no = 0;
    for (const Row &row : rows) {
        RowInput input;
        input.no = ++no;
        input.timeText = row.time;
        input.value = "1.000";
        input.unit = "V";
        writer.append(input);
    }
    ASSERT_TRUE(writer.commit());
    QFile side(Outbox::sideFileFor(table));
    ASSERT_TRUE(side.open(QIODevice::WriteOnly));
    side.write("next 1\nafter 0 0 2026-12-08 -1\nrun 6 2026-12-12\n");
    side.close();

    Outbox outbox;
    QString error;
    ASSERT_TRUE(outbox.open(table, no, &error)) << error.toStdString();
    EXPECT_EQ(outbox.unacknowledged(), 6);
    for (const Row &row : rows) {
        LoggedReading reading;
        ASSERT_TRUE(outbox.next(&reading));
        EXPECT_EQ(reading.time.toString(Qt::ISODateWithMs).toStdString(), row.publishAs);
    }
    LoggedReading none;
    EXPECT_FALSE(outbox.next(&none));

    outbox.acknowledgedAllBut(2);
    ASSERT_TRUE(side.open(QIODevice::ReadOnly));
    EXPECT_EQ(side.readAll(), "next 5\nafter 4 4 2026-12-09 7200000\nrun 6 2026-12-12\n");
    side.close();

    // A side file left by a table since removed and made anew: only new readings are for the broker.
    side.open(QIODevice::WriteOnly);
    side.write("next 100\nafter 99 99 2026-12-08 0\n");
    side.close();
    Outbox fresh;
    ASSERT_TRUE(fresh.open(table, no, &error));
    EXPECT_EQ(fresh.nextNo(), 7);
    EXPECT_FALSE(fresh.next(&none));
}

} // namespace
