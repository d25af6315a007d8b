#include "app/ReadingGrid.h"
#include "store/ReadingTableModel.h"
#include "store/TableStore.h"

#include <QApplication>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <vector>

namespace {

// The width Qt itself finds the shown cells of the first column need.
struct MeasuredGrid : ReadingGrid
{
    int firstColumnNeeds() const { return sizeHintForColumn(0); }
};

// The grid's first column grows to the longest No in the table (Qt's own measure of the cells must
// fit), while the other columns keep the widths they were given; an emptied table gives the first
// column its width back.
TEST(ReadingGrid, TheNoColumnFitsTheLongestNoAndTheOthersKeepTheirWidths)
{
    const struct
    {
        const char *name;
        std::vector<int64_t> nos;
        bool widened;
    } cases[] = {
        {"short numbers", {1, 2, 999}, false},
        {"five digits", {1, 12345}, true},
        {"millions", {1, 2, 3456789}, true},
        {"a long negative number first", {-1234567, 1}, true},
    };
    const int widths[] = {34, 72, 38, 46, 30, 40};
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        QTemporaryDir dir;
        TableStore table;
        ASSERT_TRUE(table.openWorkingTable(dir.path()));
        ReadingTableModel model(&table);
        MeasuredGrid grid;
        grid.setModel(&model);
        for (int column = 0; column < 6; ++column)
            grid.setColumnWidth(column, widths[column]);
        grid.resize(300, 200);
        grid.show();
        QApplication::processEvents();

        int longest = 0;
        for (size_t i = 0; i < c.nos.size(); ++i) {
            RowInput row;
            row.no = c.nos[i];
            row.timeMs = 1000;
            table.appendRow(row);
            if (QString::number(c.nos[i]).size() > QString::number(c.nos[size_t(longest)]).size())
                longest = int(i);
        }
        model.flushPendingRows();
        grid.scrollTo(model.index(longest, 0));
        QApplication::processEvents();

        EXPECT_GE(grid.columnWidth(0), grid.firstColumnNeeds());
        EXPECT_EQ(grid.columnWidth(0) > widths[0], c.widened) << grid.columnWidth(0);
        for (int column = 1; column < 6; ++column)
            EXPECT_EQ(grid.columnWidth(column), widths[column]) << column;

        ASSERT_TRUE(table.emptyTable());
        QApplication::processEvents();
        EXPECT_EQ(grid.columnWidth(0), widths[0]);
    }
}

} // namespace
