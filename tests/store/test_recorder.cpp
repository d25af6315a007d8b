#include "StoreTestSupport.h"

#include "recorder/Recorder.h"
#include "store/TableStore.h"

#include <QTemporaryDir>
#include <QTime>
#include <gtest/gtest.h>

using namespace storetest;

namespace {

Reading makeReading(const char *value, const char *unit = "V", const char *dcac = "DC",
                    const char *autoText = "AUTO", float nval = 1000.0f)
{
    Reading r;
    r.value = value;
    r.unit = unit;
    r.dcac = dcac;
    r.autoText = autoText;
    r.Nval = nval;
    return r;
}

class RecorderTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        ASSERT_TRUE(table.openWorkingTable(dir.path())) << table.lastError().toStdString();
        recorder.setClock([this] { return now; });
    }

    // A reading different from the one before, so the repeat filter never refuses it.
    RecordOutcome store()
    {
        ++serial;
        return recorder.INDataToTable(makeReading(std::to_string(serial).c_str()));
    }

    QTemporaryDir dir;
    TableStore table;
    Recorder recorder{&table};
    RecorderState &state = recorder.state();
    RecorderSettings &settings = recorder.settings();
    int32_t now = 0;
    int serial = 0;
};

TEST_F(RecorderTest, StartValues)
{
    EXPECT_EQ(state.RecordNo, 1);
    EXPECT_EQ(state.RecordCount, 0);
    EXPECT_EQ(state.RecordLimit, 10000);
    EXPECT_EQ(state.SampleCountdown, 0);
    EXPECT_EQ(state.LastRecordKey, "");
    EXPECT_TRUE(settings.RepeatSet);
    EXPECT_FALSE(settings.RecordSI);
    EXPECT_EQ(settings.RecordSITime, QStringLiteral("10"));
}

TEST_F(RecorderTest, StoredRowCarriesTheReadingTheClockAndRecordNo)
{
    now = ((13 * 60 + 14) * 60 + 15) * 1000 + 16;
    state.RecordNo = 41;
    ASSERT_EQ(recorder.INDataToTable(makeReading("-3.999", "mV", "AC", "MANU", -3999.0f)),
              RecordOutcome::Stored);
    ASSERT_EQ(table.rowCount(), 1);
    EXPECT_EQ(rowText(table, 0), QStringLiteral("41|13:14:15.016|AC|-3.999|mV|MANU|-3999"));
    EXPECT_EQ(state.RecordNo, 42);
    EXPECT_EQ(state.RecordCount, 1);
    EXPECT_EQ(state.LastRecordKey, "-3.999ACmVMANU");
    EXPECT_EQ(state.SampleCountdown, 10); // restarted even with the interval off
}

TEST(RecorderClock, RowsCarryTheLocalTimeOfDay)
{
    QTemporaryDir dir;
    TableStore table;
    ASSERT_TRUE(table.openWorkingTable(dir.path()));
    Recorder recorder(&table);
    const int before = QTime::currentTime().msecsSinceStartOfDay();
    ASSERT_EQ(recorder.INDataToTable(makeReading("1.000")), RecordOutcome::Stored);
    const int stored =
        QTime::fromString(table.fieldText(0, TableColumn::Time), QStringLiteral("HH:mm:ss.zzz"))
            .msecsSinceStartOfDay();
    EXPECT_NEAR(stored, before, 1000) << "unless midnight passed just then";
}

TEST_F(RecorderTest, LimitIsPassedByOneRowThenHolds)
{
    recorder.setRecordLimit(1000);
    int stored = 0;
    for (int i = 0; i < 1002; ++i)
        stored += store() == RecordOutcome::Stored;
    EXPECT_EQ(stored, 1001);
    EXPECT_EQ(table.rowCount(), 1001);
    EXPECT_EQ(store(), RecordOutcome::LimitReached);
    EXPECT_EQ(state.RecordCount, 1001);
    EXPECT_EQ(state.RecordNo, 1002);
}

TEST_F(RecorderTest, SmallerLimitStopsAtOnceLargerOneResumesWithoutClearing)
{
    recorder.setRecordLimit(10000);
    for (int i = 0; i < 5000; ++i)
        ASSERT_EQ(store(), RecordOutcome::Stored);
    recorder.setRecordLimit(1000);
    EXPECT_EQ(store(), RecordOutcome::LimitReached);
    EXPECT_EQ(table.rowCount(), 5000);
    recorder.setRecordLimit(10000);
    EXPECT_EQ(store(), RecordOutcome::Stored);
    EXPECT_EQ(table.rowCount(), 5001);
    EXPECT_EQ(state.RecordCount, 5001);
}

TEST_F(RecorderTest, RepeatFilterComparesTheConcatenatedKey)
{
    ASSERT_EQ(recorder.INDataToTable(makeReading("1.000", "V")), RecordOutcome::Stored);
    EXPECT_EQ(recorder.INDataToTable(makeReading("1.000", "V")), RecordOutcome::Repeated);
    EXPECT_EQ(recorder.INDataToTable(makeReading("1.000", "V", "DC", "AUTO", 5.0f)), RecordOutcome::Repeated)
        << "Nval is not part of the key";
    EXPECT_EQ(recorder.INDataToTable(makeReading("1.000", "mV")), RecordOutcome::Stored);
    // No separators: "1" + "" + "2V" equals "12" + "" + "V".
    ASSERT_EQ(recorder.INDataToTable(makeReading("1", "2V", "")), RecordOutcome::Stored);
    EXPECT_EQ(recorder.INDataToTable(makeReading("12", "V", "")), RecordOutcome::Repeated);
    EXPECT_EQ(table.rowCount(), 3);

    settings.RepeatSet = false;
    EXPECT_EQ(recorder.INDataToTable(makeReading("12", "V", "")), RecordOutcome::Stored);
    EXPECT_EQ(recorder.INDataToTable(makeReading("12", "V", "")), RecordOutcome::Stored);
    EXPECT_EQ(state.LastRecordKey, "12VAUTO");
}

TEST_F(RecorderTest, NewEmptiesAndRenumbersButKeepsTheLastKeyAndCountdown)
{
    settings.RecordSI = false;
    ASSERT_EQ(recorder.INDataToTable(makeReading("7.000")), RecordOutcome::Stored);
    ASSERT_EQ(store(), RecordOutcome::Stored);
    ASSERT_EQ(recorder.INDataToTable(makeReading("7.000")), RecordOutcome::Stored);
    recorder.RecordNewClick();
    EXPECT_EQ(table.rowCount(), 0);
    EXPECT_EQ(state.RecordNo, 1);
    EXPECT_EQ(state.RecordCount, 0);
    EXPECT_EQ(state.SampleCountdown, 10);
    EXPECT_EQ(recorder.INDataToTable(makeReading("7.000")), RecordOutcome::Repeated);

    recorder.RecordNewClick(); // on an empty table: counters only
    EXPECT_EQ(state.RecordNo, 1);
    ASSERT_EQ(store(), RecordOutcome::Stored);
    EXPECT_EQ(table.fieldText(0, TableColumn::No), QStringLiteral("1"));
}

TEST_F(RecorderTest, SamplingIntervalWaitsTenTicks)
{
    settings.RecordSI = true;
    ASSERT_EQ(store(), RecordOutcome::Stored);
    EXPECT_EQ(state.SampleCountdown, 10);
    for (int tick = 1; tick <= 9; ++tick) {
        recorder.TrecordTimer();
        EXPECT_EQ(store(), RecordOutcome::Waiting) << tick;
    }
    recorder.TrecordTimer();
    EXPECT_EQ(state.SampleCountdown, 0);
    recorder.TrecordTimer(); // never below zero
    EXPECT_EQ(state.SampleCountdown, 0);
    EXPECT_EQ(store(), RecordOutcome::Stored);
    EXPECT_EQ(table.rowCount(), 2);
}

TEST_F(RecorderTest, IntervalTextsThatMeanZeroLetEveryReadingThrough)
{
    settings.RecordSI = true;
    for (const char *text : {"", "0", "-", "+"}) {
        SCOPED_TRACE(text);
        ASSERT_TRUE(recorder.RecordSITimeChange(QLatin1String(text)));
        for (int i = 0; i < 3; ++i)
            EXPECT_EQ(store(), RecordOutcome::Stored);
    }
}

TEST_F(RecorderTest, RepeatRefusalDoesNotRestartTheInterval)
{
    settings.RecordSI = true;
    ASSERT_EQ(recorder.INDataToTable(makeReading("1.000")), RecordOutcome::Stored);
    for (int i = 0; i < 10; ++i)
        recorder.TrecordTimer();
    EXPECT_EQ(recorder.INDataToTable(makeReading("1.000")), RecordOutcome::Repeated);
    EXPECT_EQ(state.SampleCountdown, 0);
    EXPECT_EQ(recorder.INDataToTable(makeReading("2.000")), RecordOutcome::Stored);
}

TEST_F(RecorderTest, UncheckedIntervalStillSetsACountdownThatWaitsLater)
{
    settings.RecordSI = false;
    ASSERT_EQ(store(), RecordOutcome::Stored);
    for (int i = 0; i < 20; ++i)
        recorder.TrecordTimer();
    EXPECT_EQ(state.SampleCountdown, 10);
    EXPECT_EQ(store(), RecordOutcome::Stored);
    settings.RecordSI = true;
    EXPECT_EQ(store(), RecordOutcome::Waiting);
}

TEST_F(RecorderTest, IntervalChangeRestartsTheWaitAtOnce)
{
    settings.RecordSI = true;
    ASSERT_EQ(store(), RecordOutcome::Stored);
    ASSERT_TRUE(recorder.RecordSITimeChange(QStringLiteral("3")));
    EXPECT_EQ(state.SampleCountdown, 3);
    EXPECT_EQ(settings.RecordSITime, QStringLiteral("3"));
    for (int i = 0; i < 3; ++i)
        recorder.TrecordTimer();
    EXPECT_EQ(store(), RecordOutcome::Stored);
    EXPECT_EQ(state.SampleCountdown, 3);
}

TEST_F(RecorderTest, IntervalTextThatDoesNotConvertStopsBeforeCounting)
{
    EXPECT_FALSE(recorder.RecordSITimeChange(QStringLiteral("1O")));
    EXPECT_EQ(recorder.lastError(), QStringLiteral("'1O' is not a valid integer value"));
    EXPECT_EQ(recorder.INDataToTable(makeReading("5.000")), RecordOutcome::IntervalError);
    EXPECT_EQ(recorder.lastError(), QStringLiteral("'1O' is not a valid integer value"));
    EXPECT_EQ(state.RecordCount, 0);
    EXPECT_EQ(state.RecordNo, 1);
    EXPECT_EQ(table.rowCount(), 0);
    EXPECT_EQ(state.LastRecordKey, "5.000DCVAUTO"); // the key was taken before the interval was read
}

TEST_F(RecorderTest, WithoutATableNothingIsStoredOrCounted)
{
    table.close();
    EXPECT_EQ(store(), RecordOutcome::NoTable);
    EXPECT_EQ(state.RecordCount, 0);
    EXPECT_EQ(state.RecordNo, 1);
    EXPECT_EQ(state.LastRecordKey, "");
    recorder.RecordNewClick(); // still resets the counters
    ASSERT_TRUE(table.openWorkingTable(dir.path()));
    EXPECT_EQ(store(), RecordOutcome::Stored);
}

TEST_F(RecorderTest, RecordingContinuesIntoAReopenedTable)
{
    ASSERT_EQ(store(), RecordOutcome::Stored);
    ASSERT_EQ(store(), RecordOutcome::Stored);
    const QString saved = dir.filePath(QStringLiteral("old.db"));
    ASSERT_EQ(execSql(saved, std::string(kCreateReadings) + "INSERT INTO Readings (No) VALUES (1);"), "");
    ASSERT_TRUE(table.openFile(saved));
    ASSERT_EQ(store(), RecordOutcome::Stored);
    EXPECT_EQ(table.rowCount(), 2);
    EXPECT_EQ(table.fieldText(1, TableColumn::No), QStringLiteral("3"));
    EXPECT_EQ(state.RecordCount, 3);
}

TEST(RecorderRules, IntervalTextConversion)
{
    const struct
    {
        const char *text;
        std::optional<int32_t> interval;
    } cases[] = {
        {"", 0},
        {"-", 0},
        {"+", 0},
        {"0", 0},
        {"10", 10},
        {"007", 7},
        {"+5", 5},
        {"-5", -5},
        {"abc", std::nullopt},
        {"1.5", std::nullopt},
        {"99999999999", std::nullopt},
        {"--", std::nullopt},
    };
    for (const auto &c : cases)
        EXPECT_EQ(Recorder::intervalFromText(QLatin1String(c.text)), c.interval) << c.text;
}

TEST(RecorderRules, IntervalTextIsDigitsOnlySoItAlwaysConverts)
{
    const struct
    {
        const char *text;
        bool ok;
    } cases[] = {
        {"", true},    {"10", true},   {"123456789", true}, {"1234567890", false}, {"-", false},
        {"+1", false}, {"1 0", false}, {"1e3", false},      {"\xd9\xa3", false}}; // an Arabic-Indic digit is
                                                                                  // a digit, but not one the
                                                                                  // conversion reads
    for (const auto &c : cases) {
        const QString text = QString::fromUtf8(c.text);
        EXPECT_EQ(Recorder::isValidIntervalText(text), c.ok) << c.text;
        if (c.ok) {
            EXPECT_TRUE(Recorder::intervalFromText(text).has_value()) << c.text;
        }
    }
}

} // namespace
