#include "app/ReadingGrid.h"

#include <QAbstractTableModel>
#include <QApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLineEdit>
#include <QScreen>
#include <QScrollBar>
#include <QTableView>
#include <QTest>
#include <gtest/gtest.h>

#include <functional>

namespace {

// Rows of the grid's six columns, made up from the row number, counting what the views ask for.
class CountingModel : public QAbstractTableModel
{
public:
    explicit CountingModel(int rows, int firstNo = 1) : m_rows(rows), m_firstNo(firstNo) {}

    int rowCount(const QModelIndex &parent = {}) const override { return parent.isValid() ? 0 : m_rows; }
    int columnCount(const QModelIndex &parent = {}) const override { return parent.isValid() ? 0 : 6; }
    Qt::ItemFlags flags(const QModelIndex &) const override
    {
        return Qt::ItemIsEnabled | Qt::ItemIsSelectable;
    }
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override
    {
        static const char *const names[] = {"No", "Time", "DC/AC", "Value", "Unit", "AUTO"};
        if (orientation == Qt::Horizontal && role == Qt::DisplayRole)
            return QString::fromLatin1(names[section]);
        return QAbstractTableModel::headerData(section, orientation, role);
    }
    QVariant data(const QModelIndex &index, int role) const override
    {
        ++reads;
        const int row = index.row();
        if (role == Qt::TextAlignmentRole)
            return QVariant::fromValue(index.column() == 0 ? Qt::AlignLeft | Qt::AlignVCenter
                                       : index.column() >= 3 && index.column() <= 4
                                           ? Qt::AlignRight | Qt::AlignVCenter
                                           : Qt::Alignment(Qt::AlignCenter));
        if (role != Qt::DisplayRole)
            return {};
        if (!texts.isEmpty() && (index.column() == 1 || index.column() == 3))
            return texts.at(row % texts.size());
        switch (index.column()) {
        case 0:
            return QString::number(m_firstNo + row);
        case 1:
            return QStringLiteral("12:%1:%2.%3")
                .arg(row / 60 % 60, 2, 10, QLatin1Char('0'))
                .arg(row % 60, 2, 10, QLatin1Char('0'))
                .arg(row % 1000, 3, 10, QLatin1Char('0'));
        case 2:
            return row % 3 ? QStringLiteral("DC") : QStringLiteral("AC");
        case 3:
            return QString::number(1.5 + row % 97 * 0.25, 'f', 3);
        case 4:
            return QStringLiteral("V");
        default:
            return row % 5 ? QStringLiteral("AUTO") : QString();
        }
    }
    void reset()
    {
        beginResetModel();
        endResetModel();
    }
    void append(int rows)
    {
        beginInsertRows({}, m_rows, m_rows + rows - 1);
        m_rows += rows;
        endInsertRows();
    }

    mutable long reads = 0;
    QStringList texts; // shown in the Time and Value columns instead of the made-up ones

private:
    int m_rows;
    int m_firstNo;
};

constexpr int kWidths[] = {34, 72, 38, 46, 30, 40};

void setUp(QAbstractScrollArea *view)
{
    QFont font(QStringLiteral("Liberation Sans"));
    font.setPixelSize(10);
    view->setFont(font);
    QPalette palette = view->palette();
    palette.setColor(QPalette::Base, QColor(148, 190, 254));
    view->setPalette(palette);
    view->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    view->setFixedSize(284, 150);
}

// The grid and, beside it, the item view it stands in for, set up as the window had it.
struct Pair
{
    explicit Pair(int rows, int firstNo = 1, const QStringList &texts = {})
        : model(rows, firstNo), other(rows, firstNo)
    {
        model.texts = texts;
        other.texts = texts;
        auto *layout = new QHBoxLayout(&window);
        elsewhere = new QLineEdit;
        layout->addWidget(elsewhere);
        grid = new ReadingGrid;
        table = new QTableView;
        layout->addWidget(grid);
        layout->addWidget(table);
        setUp(grid);
        setUp(table);
        table->setEditTriggers(QAbstractItemView::NoEditTriggers);
        table->setSelectionBehavior(QAbstractItemView::SelectRows);
        table->setSelectionMode(QAbstractItemView::SingleSelection);
        table->setTabKeyNavigation(false);
        table->verticalHeader()->setVisible(false);
        table->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
        table->verticalHeader()->setDefaultSectionSize(17);
        grid->setModel(&model);
        table->setModel(&other);
        for (QHeaderView *header : {grid->horizontalHeader(), table->horizontalHeader()}) {
            QFont bold = grid->font();
            bold.setBold(true);
            header->setFont(bold);
            header->setHighlightSections(false);
            header->setSectionResizeMode(QHeaderView::Fixed);
        }
        for (int column = 0; column < 6; ++column) {
            grid->setColumnWidth(column, kWidths[column]);
            table->setColumnWidth(column, kWidths[column]);
        }
        window.show();
        window.activateWindow();
        EXPECT_TRUE(QTest::qWaitForWindowActive(&window));
        elsewhere->setFocus();
    }

    void showNewest()
    {
        grid->setCurrentIndex(model.index(model.rowCount() - 1, 0));
        table->setCurrentIndex(other.index(other.rowCount() - 1, 0));
    }

    // Both views as painted from scratch, and the grid as its updates left it on screen.
    // (Only the view with the focus shows a focus frame: where the grid has it, or where the two
    // are not meant to agree, the grid is compared with itself alone.)
    void expectSamePictures(const std::string &what, bool likeTheTable = true)
    {
        QApplication::processEvents();
        const QImage gridImage = grid->grab().toImage();
        const QImage screen = window.screen()->grabWindow(window.winId()).toImage();
        const QImage onScreen = screen.copy(QRect(grid->mapTo(&window, QPoint()), grid->size()));
        if (likeTheTable && !grid->hasFocus()) {
            EXPECT_TRUE(gridImage == table->grab().toImage()) << what;
        }
        EXPECT_TRUE(onScreen.convertToFormat(gridImage.format()) == gridImage) << what << " on screen";
    }

    QWidget window;
    CountingModel model;
    CountingModel other;
    QLineEdit *elsewhere = nullptr;
    ReadingGrid *grid = nullptr;
    QTableView *table = nullptr;
};

TEST(ReadingGrid, LooksAndMovesAsTheItemViewItReplaces)
{
    using Step = std::function<void(QWidget *)>;
    const auto keys = [](std::vector<Qt::Key> list, Qt::KeyboardModifiers modifiers = {}) {
        return Step([list, modifiers](QWidget *view) {
            for (Qt::Key key : list)
                QTest::keyClick(view, key, modifiers);
        });
    };
    const auto click = [](int x, int y) {
        return Step([x, y](QWidget *view) {
            QWidget *port = static_cast<QAbstractScrollArea *>(view)->viewport();
            QTest::mouseClick(port, Qt::LeftButton, {}, QPoint(x, y));
        });
    };
    const auto wheel = [](int notches) {
        return Step([notches](QWidget *view) {
            QWidget *port = static_cast<QAbstractScrollArea *>(view)->viewport();
            const QPointF at(100, 50);
            QWheelEvent event(at, port->mapToGlobal(at), {}, QPoint(0, 120 * notches), Qt::NoButton, {},
                              Qt::NoScrollPhase, false);
            QApplication::sendEvent(port, &event);
        });
    };
    struct Case
    {
        const char *name;
        int rows;
        bool newest; // the newest row current, as while recording
        bool focus;
        Step step;
    };
    const Case cases[] = {
        {"empty", 0, false, false, {}},
        {"a few rows", 3, true, false, {}},
        {"a few rows, focused", 3, true, true, {}},
        {"scrolled to the end", 40, true, false, {}},
        {"up three", 40, true, true, keys({Qt::Key_Up, Qt::Key_Up, Qt::Key_Up})},
        {"page up twice, page down", 400, true, true,
         keys({Qt::Key_PageUp, Qt::Key_PageUp, Qt::Key_PageDown})},
        {"left, end, home", 40, true, true, keys({Qt::Key_Left, Qt::Key_End, Qt::Key_Left, Qt::Key_Home})},
        {"ctrl+home", 9000, true, true, keys({Qt::Key_Home}, Qt::ControlModifier)},
        {"ctrl+home, ctrl+end", 9000, true, true,
         [keys](QWidget *view) {
             keys({Qt::Key_Home}, Qt::ControlModifier)(view);
             keys({Qt::Key_Down, Qt::Key_Down})(view);
             keys({Qt::Key_End}, Qt::ControlModifier)(view);
         }},
        {"no current row, down", 40, false, true, keys({Qt::Key_Down, Qt::Key_Down})},
        {"click a cell", 40, true, true, click(120, 30)},
        {"click the half row at the top", 40, true, true, click(20, 3)},
        {"wheel up and down", 9000, true, false,
         [wheel](QWidget *view) {
             wheel(2)(view);
             wheel(-1)(view);
         }},
    };
    for (const Case &c : cases) {
        Pair pair(c.rows);
        if (c.newest)
            pair.showNewest();
        for (QWidget *view : {static_cast<QWidget *>(pair.grid), static_cast<QWidget *>(pair.table)}) {
            if (c.focus) {
                view->setFocus(Qt::TabFocusReason);
                if (c.step)
                    c.step(view);
            }
            if (!c.focus && c.step)
                c.step(view);
        }
        // Each with the focus it would have, in turn.
        if (c.focus)
            pair.grid->setFocus(Qt::TabFocusReason);
        QApplication::processEvents();
        const QImage gridImage = pair.grid->grab().toImage();
        if (c.focus)
            pair.table->setFocus(Qt::TabFocusReason);
        QApplication::processEvents();
        EXPECT_TRUE(gridImage == pair.table->grab().toImage()) << c.name;
        EXPECT_EQ(pair.grid->currentIndex(),
                  pair.model.index(pair.table->currentIndex().row(), pair.table->currentIndex().column()))
            << c.name;
        EXPECT_EQ(pair.grid->verticalScrollBar()->value(), pair.table->verticalScrollBar()->value())
            << c.name;
    }
}

TEST(ReadingGrid, RowsAppendedWhileFollowingTheNewestLeaveWhatAFullRepaintShows)
{
    Pair pair(5);
    pair.showNewest();
    for (int batch : {1, 2, 1, 5, 1, 1, 20, 1}) {
        pair.model.append(batch);
        pair.other.append(batch);
        pair.showNewest();
        pair.expectSamePictures("after " + std::to_string(pair.model.rowCount()) + " rows");
    }
    QTest::keyClick(pair.grid, Qt::Key_PageUp);
    QTest::keyClick(pair.table, Qt::Key_PageUp);
    pair.expectSamePictures("paged up");
}

TEST(ReadingGrid, RowsAppendedAfterAChangeLeaveWhatAFreshPaintShows)
{
    // What the grid keeps between appends (the scroll bar's slider, cell pictures with their grid
    // lines, rows left where they were) must follow each change: on screen the grid looks as
    // painted afresh.
    using Change = std::function<void(QAbstractScrollArea *)>;
    struct Case
    {
        const char *name;
        int rows;
        bool follow;   // the newest row made current after each append, as while recording
        Change change; // made to both views
    };
    const Case cases[] = {
        {"following, few rows", 3, true, {}},
        {"the last row current, not following", 40, false, {}},
        {"the last row current, not following, as the rows outgrow the view", 7, false, {}},
        {"taller", 40, true,
         [](QAbstractScrollArea *view) {
             view->setFixedSize(284, 230);
         }},
        {"another palette", 40, true,
         [](QAbstractScrollArea *view) {
             QPalette palette = view->palette();
             palette.setColor(QPalette::Base, QColor(250, 240, 200));
             palette.setColor(QPalette::Highlight, QColor(20, 90, 40));
             palette.setColor(QPalette::HighlightedText, QColor(255, 255, 0));
             view->setPalette(palette);
         }},
        {"another font", 40, true,
         [](QAbstractScrollArea *view) {
             QFont font = view->font();
             font.setPixelSize(9);
             view->setFont(font);
         }},
        {"focused", 40, true,
         [](QAbstractScrollArea *view) {
             if (qobject_cast<QTableView *>(view) == nullptr)
                 view->setFocus(Qt::TabFocusReason);
         }},
    };
    for (const Case &c : cases) {
        Pair pair(c.rows);
        pair.showNewest();
        QApplication::processEvents();
        if (c.change) {
            c.change(pair.grid);
            c.change(pair.table);
        }
        for (int batch : {1, 3, 1, 1}) {
            pair.model.append(batch);
            pair.other.append(batch);
            if (c.follow)
                pair.showNewest();
            const std::string what = c.name + (", " + std::to_string(pair.model.rowCount()) + " rows");
            // The item view does not stay at the end by itself.
            pair.expectSamePictures(what, c.follow);
        }
    }
}

TEST(ReadingGrid, AnAppendReadsOnlyTheRowsInView)
{
    Pair pair(2000000);
    pair.showNewest();
    QApplication::processEvents();
    pair.model.reads = 0;
    pair.model.append(1);
    pair.grid->setCurrentIndex(pair.model.index(pair.model.rowCount() - 1, 0));
    QApplication::processEvents();
    // A view of eight rows; every read was for a cell in view.
    EXPECT_GT(pair.model.reads, 0);
    EXPECT_LE(pair.model.reads, 10 * 6 * 2);
}

TEST(ReadingGrid, TheNumberColumnWidensToTheLongestNumberShownAndTheOthersKeepTheirWidths)
{
    Pair pair(40, 999990);
    pair.showNewest();
    QApplication::processEvents();
    const int wide = pair.grid->columnWidth(0);
    const QFontMetrics metrics(pair.grid->font());
    EXPECT_GE(wide, metrics.horizontalAdvance(QStringLiteral("1000029")) + 5);
    for (int column = 1; column < 6; ++column)
        EXPECT_EQ(pair.grid->columnWidth(column), kWidths[column]);
    QTest::keyClick(pair.grid, Qt::Key_Home, Qt::ControlModifier); // back to six digits
    EXPECT_EQ(pair.grid->columnWidth(0), wide);
    pair.model.reset();
    EXPECT_LT(pair.grid->columnWidth(0), wide); // fitted again to the six-digit numbers in view
    EXPECT_GT(pair.grid->columnWidth(0), kWidths[0]);

    Pair shortNumbers(40);
    shortNumbers.showNewest();
    EXPECT_EQ(shortNumbers.grid->columnWidth(0), kWidths[0]);
}

TEST(ReadingGrid, TabLeavesTheGridAndAnEmptyGridShowsItsFocus)
{
    QWidget window;
    auto *before = new QLineEdit(&window);
    auto *grid = new ReadingGrid(&window);
    auto *after = new QLineEdit(&window);
    CountingModel model(0);
    grid->setModel(&model);
    grid->setGeometry(0, 30, 284, 150);
    after->move(0, 200);
    window.show();
    window.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    before->setFocus();
    const QImage unfocused = grid->grab().toImage();
    QTest::keyClick(before, Qt::Key_Tab);
    ASSERT_TRUE(grid->hasFocus());
    EXPECT_NE(grid->grab().toImage(), unfocused);

    model.append(50);
    for (int key : {Qt::Key_Down, Qt::Key_Right, Qt::Key_PageDown, Qt::Key_Up})
        QTest::keyClick(grid, Qt::Key(key));
    EXPECT_TRUE(grid->hasFocus());
    QTest::keyClick(grid, Qt::Key_Tab);
    EXPECT_TRUE(after->hasFocus());
    QTest::keyClick(after, Qt::Key_Tab, Qt::ShiftModifier);
    EXPECT_TRUE(grid->hasFocus());
    QTest::keyClick(grid, Qt::Key_Tab, Qt::ShiftModifier);
    EXPECT_TRUE(before->hasFocus());
}

TEST(ReadingGrid, NewNumbersAndTimesLookAsTheStyleDrawsThem)
{
    // Each list's first text is plain: it is the one checked against the style before the rest
    // are drawn without it, so a mistake in the others shows here.
    const std::vector<const char *> cases[] = {
        {"0", "11", "1.1", "-0.001", "+9/8,7", "111.11", "7:11:17.171"},
        {"0", "12:34:56.789", "(1)", "[2]*#", "%&$@", "_~^|", "\"'`;"},
        {"0", "1111111111111111", "99999.999", "-12345678", "0.000000001", "1:1", "/"},
        {"0", "OL", "1e-3", "-OL", "1,2 V", "\u00b5s", "10\u00b0"},
    };
    for (const auto &list : cases) {
        QStringList texts;
        for (const char *text : list)
            texts << QString::fromUtf8(text);
        Pair pair(int(texts.size()), 1, texts);
        pair.showNewest();
        pair.expectSamePictures(texts.join(QLatin1Char(' ')).toStdString());
        for (QWidget *view : {static_cast<QWidget *>(pair.grid), static_cast<QWidget *>(pair.table)})
            QTest::keyClick(view, Qt::Key_Up);
        pair.expectSamePictures("one up, " + texts.join(QLatin1Char(' ')).toStdString());
    }
}

TEST(ReadingGrid, TypingMovesToTheNextRowStartingWithWhatWasTypedAsTheItemViewDoes)
{
    struct Case
    {
        const char *name;
        int column;
        int row;
        std::vector<const char *> bursts; // typed at once, with a pause between them
        int expectedRow;
    };
    // Rows are numbered 1 to 40 in column 0; column 2 holds AC every third row, else DC; column 5
    // AUTO except every fifth row.
    const Case cases[] = {
        {"a digit", 0, 0, {"3"}, 2},
        {"two digits", 0, 0, {"25"}, 24},
        {"again after a pause", 0, 0, {"2", "2"}, 19},
        {"one key twice looks from the next row", 0, 0, {"11"}, 10},
        {"one key over and over", 2, 0, {"ddd"}, 1},
        {"lower case finds upper", 5, 0, {"au"}, 1},
        {"wraps around", 0, 35, {"1"}, 0},
        {"nothing starts so", 0, 5, {"x"}, 5},
        {"a longer text that stops matching", 2, 0, {"dcx"}, 1},
    };
    const int interval = QApplication::keyboardInputInterval();
    for (const Case &c : cases) {
        Pair pair(40);
        pair.grid->setCurrentIndex(pair.model.index(c.row, c.column));
        pair.table->setCurrentIndex(pair.other.index(c.row, c.column));
        for (QWidget *view : {static_cast<QWidget *>(pair.grid), static_cast<QWidget *>(pair.table)}) {
            for (const char *burst : c.bursts) {
                QApplication::setKeyboardInputInterval(0); // the first key starts anew ...
                QTest::qWait(2);
                QTest::keyClicks(view, QString::fromLatin1(burst).left(1));
                QApplication::setKeyboardInputInterval(3600000); // ... the others add to it
                QTest::keyClicks(view, QString::fromLatin1(burst).mid(1));
            }
        }
        EXPECT_EQ(pair.grid->currentIndex(), pair.model.index(c.expectedRow, c.column)) << c.name;
        EXPECT_EQ(pair.table->currentIndex(), pair.other.index(c.expectedRow, c.column)) << c.name;
        pair.expectSamePictures(c.name);
    }
    QApplication::setKeyboardInputInterval(interval);
}

TEST(ReadingGrid, DraggingPastAnEdgeKeepsScrollingWhileTheButtonIsHeld)
{
    struct Case
    {
        const char *name;
        int y; // where the drag is held, from the viewport's top; above 200 counts from its bottom
        bool release;
        int expectedRow; // -1: where the drag left it
    };
    const Case cases[] = {
        {"above the top", -20, false, 0},
        {"in the top margin", 4, false, 0},
        {"below the bottom", 220, false, 199},
        {"let go below the bottom", 220, true, -1},
    };
    for (const Case &c : cases) {
        Pair pair(200);
        pair.grid->setCurrentIndex(pair.model.index(100, 1));
        QWidget *port = pair.grid->viewport();
        const int y = c.y > 200 ? port->height() + c.y - 200 : c.y;
        const auto send = [port](QEvent::Type type, QPoint at, Qt::MouseButtons buttons) {
            QMouseEvent event(type, at, port->mapToGlobal(at), Qt::LeftButton, buttons, {});
            QApplication::sendEvent(port, &event);
        };
        send(QEvent::MouseButtonPress, QPoint(100, 60), Qt::LeftButton);
        send(QEvent::MouseMove, QPoint(100, y), Qt::LeftButton);
        if (c.release)
            send(QEvent::MouseButtonRelease, QPoint(100, y), Qt::NoButton);
        const QModelIndex left = pair.grid->currentIndex();
        const int value = pair.grid->verticalScrollBar()->value();
        if (c.expectedRow < 0) {
            QTest::qWait(200);
            EXPECT_EQ(pair.grid->currentIndex(), left) << c.name;
            EXPECT_EQ(pair.grid->verticalScrollBar()->value(), value) << c.name;
            continue;
        }
        const QModelIndex expected = pair.model.index(c.expectedRow, 1);
        EXPECT_TRUE(QTest::qWaitFor([&] { return pair.grid->currentIndex() == expected; }, 10000)) << c.name;
        const QScrollBar *bar = pair.grid->verticalScrollBar();
        EXPECT_EQ(bar->value(), c.expectedRow == 0 ? 0 : bar->maximum()) << c.name;
        send(QEvent::MouseButtonRelease, QPoint(100, y), Qt::NoButton);
    }
}

} // namespace
