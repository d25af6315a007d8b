#include "StoreTestSupport.h"

#include "store/ReadingTableModel.h"
#include "store/TableStore.h"

#include <QAbstractItemModelTester>
#include <QSignalSpy>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

using namespace storetest;

namespace {

class ReadingTableModelTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        ASSERT_TRUE(table.openWorkingTable(dir.path())) << table.lastError().toStdString();
    }

    QTemporaryDir dir;
    TableStore table;
    ReadingTableModel model{&table};
    QAbstractItemModelTester tester{&model, QAbstractItemModelTester::FailureReportingMode::Warning};
};

TEST_F(ReadingTableModelTest, SixReadOnlyColumnsWithTheGridsHeadersAndAlignment)
{
    EXPECT_EQ(model.columnCount(), 6);
    QStringList headers;
    for (int c = 0; c < model.columnCount(); ++c)
        headers << model.headerData(c, Qt::Horizontal).toString();
    EXPECT_EQ(headers,
              (QStringList{QStringLiteral("No"), QStringLiteral("Time"), QStringLiteral("DC/AC"),
                           QStringLiteral("Value"), QStringLiteral("Unit"), QStringLiteral("AUTO")}));

    table.appendRow(reading(1, "-3.999", "mV", "DC", "AUTO", -3999.0f, 1000));
    model.flushPendingRows();
    const Qt::Alignment expected[] = {Qt::AlignLeft | Qt::AlignVCenter,
                                      Qt::AlignCenter,
                                      Qt::AlignCenter,
                                      Qt::AlignRight | Qt::AlignVCenter,
                                      Qt::AlignRight | Qt::AlignVCenter,
                                      Qt::AlignCenter};
    QStringList shown;
    for (int c = 0; c < 6; ++c) {
        const QModelIndex i = model.index(0, c);
        EXPECT_EQ(i.data(Qt::TextAlignmentRole).value<Qt::Alignment>(), expected[c]) << c;
        EXPECT_FALSE(model.flags(i) & Qt::ItemIsEditable);
        shown << i.data().toString();
    }
    EXPECT_EQ(shown, (QStringList{QStringLiteral("1"), QStringLiteral("00:00:01.000"), QStringLiteral("DC"),
                                  QStringLiteral("-3.999"), QStringLiteral("mV"), QStringLiteral("AUTO")}));
    EXPECT_FALSE(model.setData(model.index(0, 3), QStringLiteral("x")));
}

TEST_F(ReadingTableModelTest, AppendedRowsAreAnnouncedInOneBatch)
{
    QSignalSpy inserted(&model, &QAbstractItemModel::rowsInserted);
    QSignalSpy newest(&model, &ReadingTableModel::newestRowShown);
    for (int i = 1; i <= 500; ++i)
        table.appendRow(reading(i, "1.000"));
    EXPECT_EQ(model.rowCount(), 0);
    EXPECT_EQ(inserted.count(), 0);

    model.flushPendingRows();
    ASSERT_EQ(inserted.count(), 1);
    EXPECT_EQ(inserted[0][1].toInt(), 0);
    EXPECT_EQ(inserted[0][2].toInt(), 499);
    EXPECT_EQ(model.rowCount(), 500);
    ASSERT_EQ(newest.count(), 1);
    EXPECT_EQ(newest[0][0].toInt(), 499);

    model.flushPendingRows(); // nothing new: no signal
    EXPECT_EQ(inserted.count(), 1);
}

TEST_F(ReadingTableModelTest, TimerShowsNewRowsWithinAFractionOfASecond)
{
    QSignalSpy newest(&model, &ReadingTableModel::newestRowShown);
    table.appendRow(reading(1, "1.000"));
    table.appendRow(reading(2, "2.000"));
    EXPECT_TRUE(newest.wait(1000));
    EXPECT_EQ(model.rowCount(), 2);
    EXPECT_EQ(newest.count(), 1);
}

TEST_F(ReadingTableModelTest, ARowAfterAPauseIsShownAtOnceAndFasterRowsWaitForTheTimer)
{
    table.appendRow(reading(1, "1.000"));
    model.flushIfDue(); // the first row: nothing was shown before
    EXPECT_EQ(model.rowCount(), 1);
    table.appendRow(reading(2, "1.000"));
    model.flushIfDue(); // right after a showing: left to the timer
    EXPECT_EQ(model.rowCount(), 1);
    QTest::qWait(ReadingTableModel::kPromptFlushMs + 5);
    model.flushIfDue();
    EXPECT_EQ(model.rowCount(), 2);
    model.flushIfDue(); // nothing pending
    EXPECT_EQ(model.rowCount(), 2);
}

TEST_F(ReadingTableModelTest, EmptyingAndReopeningResetTheModel)
{
    for (int i = 1; i <= 3; ++i)
        table.appendRow(reading(i, "1.000"));
    model.flushPendingRows();
    QSignalSpy resets(&model, &QAbstractItemModel::modelReset);

    // Rows still waiting for the timer must not be announced after the reset.
    table.appendRow(reading(4, "1.000"));
    ASSERT_TRUE(table.emptyTable());
    EXPECT_EQ(resets.count(), 1);
    EXPECT_EQ(model.rowCount(), 0);
    QTest::qWait(2 * ReadingTableModel::kFlushIntervalMs);
    EXPECT_EQ(model.rowCount(), 0);

    const QString saved = dir.filePath(QStringLiteral("saved.db"));
    ASSERT_EQ(execSql(saved, std::string(kCreateReadings) + "INSERT INTO Readings VALUES (1, '10:00:00.000', "
                                                            "'DC', '1', 'V', 'AUTO', 1);"),
              "");
    ASSERT_TRUE(table.openFile(saved));
    EXPECT_EQ(resets.count(), 2);
    EXPECT_EQ(model.rowCount(), 1);
    table.close();
    EXPECT_EQ(model.rowCount(), 0);
}

TEST_F(ReadingTableModelTest, LongTextsAreCutForDisplayOnly)
{
    const QString saved = dir.filePath(QStringLiteral("long.db"));
    const std::string longValue(300, '7');
    ASSERT_EQ(execSql(saved, std::string(kCreateReadings) + "INSERT INTO Readings (No, Value) VALUES (1, '" +
                                 longValue + "');"),
              "");
    ASSERT_TRUE(table.openFile(saved));
    const QString shown = model.index(0, int(TableColumn::Value)).data().toString();
    EXPECT_EQ(shown.size(), ReadingTableModel::kDisplayChars);
    EXPECT_TRUE(shown.endsWith(QChar(0x2026)));
    EXPECT_EQ(table.fieldText(0, TableColumn::Value).size(), 300);
}

TEST_F(ReadingTableModelTest, GridFollowsTheNewestRow)
{
    QTableView grid;
    grid.setModel(&model);
    QObject::connect(&model, &ReadingTableModel::newestRowShown, &grid,
                     [&grid](int row) { grid.setCurrentIndex(grid.model()->index(row, 0)); });
    grid.resize(400, 200);
    grid.show();
    for (int i = 1; i <= 100; ++i)
        table.appendRow(reading(i, "1.000"));
    model.flushPendingRows();
    EXPECT_EQ(grid.currentIndex().row(), 99);
}

} // namespace
