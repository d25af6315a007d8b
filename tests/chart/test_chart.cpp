#include "chart/TrendChart.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QLineEdit>
#include <QPaintEvent>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <set>
#include <string>
#include <utility>
#include <vector>

namespace {

// A trace that looks like a reading drifting around: used for the screenshot and pixel checks.
int sample(int i)
{
    return int(1800 * std::sin(i * 0.09) + 900 * std::sin(i * 0.023) + 300);
}

void feed(TrendChart &chart, int count)
{
    for (int i = 0; i < count; ++i)
        chart.addPoint(sample(i));
}

bool isBlank(const QImage &image, const QColor &colour)
{
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (image.pixelColor(x, y) == colour)
                return false;
    return true;
}

TEST(TrendChartStart, ControlsAndSeriesAsLaidOut)
{
    TrendChart chart;
    EXPECT_EQ(chart.objectName(), QStringLiteral("Chtshow"));
    EXPECT_EQ(chart.size(), QSize(320, 233));
    EXPECT_TRUE(chart.BtFill->isChecked());
    EXPECT_EQ(chart.BtFill->text(), QStringLiteral("Fill"));
    EXPECT_EQ(chart.BtFill->toolTip(), QStringLiteral("Graphic Fill"));
    EXPECT_EQ(chart.Maxrecord->text(), QStringLiteral("100"));
    EXPECT_EQ(chart.Bt10->text(), QStringLiteral("1"));
    EXPECT_EQ(chart.Bt10->toolTip(), QStringLiteral("Page No."));
    EXPECT_TRUE(chart.Bt10->isFlat());
    EXPECT_EQ(chart.BTlast->toolTip(), QStringLiteral("last"));
    EXPECT_FALSE(chart.TbFd->isHidden());
    EXPECT_TRUE(chart.TbSx->isHidden());
    EXPECT_EQ(chart.TbSx->toolTip(), QStringLiteral("Graphic Restore"));
    for (const char *name : {"BtFill", "Maxrecord", "BtNew", "BtSave", "BtFirst", "BTPrevious", "BtNext",
                             "BTlast", "Bt10", "TbFd", "TbSx"})
        EXPECT_NE(chart.findChild<QWidget *>(QLatin1String(name)), nullptr) << name;
    // New ran: one placeholder point; the area series (Fill checked) is the one shown.
    EXPECT_EQ(chart.pointCount(), 1);
    EXPECT_TRUE(chart.isSeriesActive(TrendChart::kAreaSeries));
    EXPECT_FALSE(chart.isSeriesActive(TrendChart::kLineSeries));
    EXPECT_EQ(TrendChart::seriesName(TrendChart::kAreaSeries), QStringLiteral("Series2"));
    EXPECT_TRUE(chart.FollowLastPage());
    EXPECT_EQ(chart.pointsPerPage(), 100);
}

TEST(TrendChartControls, TopEdgeControlsFitSideBySide)
{
    TrendChart chart;
    chart.show();
    QRect used;
    for (QWidget *w : std::initializer_list<QWidget *>{chart.BtFill, chart.Maxrecord, chart.BtNew,
                                                       chart.BtSave, chart.BtFirst, chart.BTPrevious,
                                                       chart.BtNext, chart.BTlast, chart.Bt10, chart.TbFd}) {
        EXPECT_TRUE(chart.rect().contains(w->geometry())) << w->objectName().toStdString();
        EXPECT_FALSE(used.intersects(w->geometry())) << w->objectName().toStdString();
        EXPECT_LT(w->geometry().bottom(), 24);
        used = used.united(w->geometry());
    }
}

TEST(TrendChartPaging, PointsAreFollowedAndPagedThroughTheButtons)
{
    TrendChart chart;
    feed(chart, 249); // with the placeholder: 250 points
    EXPECT_EQ(chart.pointCount(), 250);
    EXPECT_EQ(chart.pageCount(), 3);
    EXPECT_EQ(chart.page(), 3);
    EXPECT_EQ(chart.Bt10->text(), QStringLiteral("3"));

    chart.BtFirst->click();
    EXPECT_EQ(chart.page(), 1);
    EXPECT_EQ(chart.Bt10->text(), QStringLiteral("1"));
    EXPECT_FALSE(chart.BtFirst->isEnabled());
    EXPECT_FALSE(chart.BTPrevious->isEnabled());
    EXPECT_FALSE(chart.FollowLastPage());
    feed(chart, 100);
    EXPECT_EQ(chart.page(), 1); // new points do not move the view

    chart.BtNext->click();
    EXPECT_EQ(chart.page(), 2);
    EXPECT_TRUE(chart.BtFirst->isEnabled());

    chart.BTlast->click();
    EXPECT_EQ(chart.page(), 4);
    EXPECT_EQ(chart.Bt10->text(), QStringLiteral("4"));
    EXPECT_FALSE(chart.BtNext->isEnabled());
    EXPECT_FALSE(chart.BTlast->isEnabled());
    EXPECT_TRUE(chart.FollowLastPage());
    feed(chart, 100);
    EXPECT_EQ(chart.page(), 5);
    EXPECT_EQ(chart.Bt10->text(), QStringLiteral("5"));
}

TEST(TrendChartPaging, PreviousOnPageOneOnlyChangesEnables)
{
    TrendChart chart;
    feed(chart, 10);
    QSignalSpy navigation(&chart, &TrendChart::navigationChanged);
    chart.BTPreviousClick();
    EXPECT_EQ(chart.page(), 1);
    EXPECT_FALSE(chart.BtFirst->isEnabled());
    EXPECT_FALSE(chart.BTPrevious->isEnabled());
    EXPECT_TRUE(chart.BtNext->isEnabled());
    EXPECT_TRUE(chart.BTlast->isEnabled());
    EXPECT_EQ(navigation.count(), 1);
}

TEST(TrendChartPaging, MaxrecordSetsThePageSize)
{
    TrendChart chart;
    feed(chart, 249);
    chart.Maxrecord->setText(QStringLiteral("0"));
    EXPECT_EQ(chart.pointsPerPage(), 0);
    EXPECT_EQ(chart.pageCount(), 1);
    EXPECT_EQ(chart.page(), 1);
    EXPECT_EQ(chart.Bt10->text(), QStringLiteral("3")); // the caption is not updated here
    chart.Maxrecord->setText(QStringLiteral("50"));
    EXPECT_EQ(chart.pageCount(), 5);
}

TEST(TrendChartPaging, EmptyOrOversizedMaxrecordIsReportedAndLeavesThePageSize)
{
    TrendChart chart;
    QSignalSpy errors(&chart, &TrendChart::maxrecordError);
    chart.Maxrecord->setText(QStringLiteral("25"));
    chart.Maxrecord->clear();
    ASSERT_EQ(errors.count(), 1);
    EXPECT_EQ(errors.at(0).at(0).toString(), QStringLiteral("'' is not a valid integer value"));
    EXPECT_EQ(chart.pointsPerPage(), 25);
    chart.Maxrecord->setText(QStringLiteral("99999999999"));
    EXPECT_EQ(errors.count(), 2);
    EXPECT_EQ(chart.pointsPerPage(), 25);
}

TEST(TrendChartPaging, MaxrecordTakesDigitsOnlyTypedOrPasted)
{
    TrendChart chart;
    chart.Maxrecord->clear();
    QTest::keyClicks(chart.Maxrecord, QStringLiteral("1a-2+ 3"));
    EXPECT_EQ(chart.Maxrecord->text(), QStringLiteral("123"));
    QTest::keyClick(chart.Maxrecord, Qt::Key_Backspace);
    EXPECT_EQ(chart.Maxrecord->text(), QStringLiteral("12"));
    EXPECT_EQ(chart.pointsPerPage(), 12);
    chart.Maxrecord->selectAll();
    chart.Maxrecord->insert(QStringLiteral("4x5")); // what a paste does
    EXPECT_EQ(chart.Maxrecord->text(), QStringLiteral("12"));
}

TEST(TrendChartNew, LeavesOnePlaceholderAndTheNextReadingIsAtXOne)
{
    TrendChart chart;
    feed(chart, 300);
    chart.BtFirstClick();
    chart.BtFill->setChecked(false);
    chart.BtNew->click();
    EXPECT_EQ(chart.pointCount(), 1);
    EXPECT_EQ(chart.page(), 1);
    EXPECT_FALSE(chart.FollowLastPage()); // New leaves following as it was
    EXPECT_TRUE(chart.isSeriesActive(TrendChart::kLineSeries));
    chart.addPoint(1234);
    ASSERT_EQ(chart.pointCount(), 2);
    EXPECT_EQ(chart.points().at(1), 1234); // X = 1
}

TEST(TrendChartNew, KeepsThePageCaption)
{
    TrendChart chart;
    feed(chart, 300);
    ASSERT_EQ(chart.Bt10->text(), QStringLiteral("4"));
    chart.BtNewClick();
    EXPECT_EQ(chart.Bt10->text(), QStringLiteral("4"));
    EXPECT_EQ(chart.page(), 1);
    chart.addPoint(1);
    EXPECT_EQ(chart.Bt10->text(), QStringLiteral("1"));
}

TEST(TrendChartFill, BoxAndMenuSelectTheSeriesTogether)
{
    TrendChart chart;
    QSignalSpy menu(&chart, &TrendChart::fillChanged);
    chart.BtFill->click();
    EXPECT_FALSE(chart.BtFill->isChecked());
    EXPECT_TRUE(chart.isSeriesActive(TrendChart::kLineSeries));
    EXPECT_FALSE(chart.isSeriesActive(TrendChart::kAreaSeries));
    ASSERT_EQ(menu.count(), 1);
    EXPECT_FALSE(menu.last().at(0).toBool());

    chart.FillClick();
    EXPECT_TRUE(chart.BtFill->isChecked());
    EXPECT_TRUE(chart.isSeriesActive(TrendChart::kAreaSeries));
    EXPECT_FALSE(chart.isSeriesActive(TrendChart::kLineSeries));
    ASSERT_EQ(menu.count(), 2);
    EXPECT_TRUE(menu.last().at(0).toBool());

    chart.ShowSeries(TrendChart::kLineSeries);
    EXPECT_EQ(chart.activeSeries(), TrendChart::kLineSeries);
    chart.ShowSeries(7); // no such series: nothing changes
    EXPECT_EQ(chart.activeSeries(), TrendChart::kLineSeries);
}

TEST(TrendChartEnlarge, EnlargesOverTheWindowAndRestores)
{
    QWidget window;
    window.resize(615, 409);
    auto *chart = new TrendChart(&window);
    chart->setGeometry(292, 173, 320, 233);
    QSignalSpy enlarged(chart, &TrendChart::enlargedChanged);
    chart->TbFdClick(QSize(631, 468));
    EXPECT_EQ(chart->geometry(), QRect(2, 28, 619, 383));
    EXPECT_TRUE(chart->TbFd->isHidden());
    EXPECT_FALSE(chart->TbSx->isHidden());
    EXPECT_TRUE(chart->isEnlarged());
    chart->TbFdClick(QSize(631, 468));
    EXPECT_EQ(chart->geometry(), QRect(292, 173, 320, 233));
    EXPECT_FALSE(chart->TbFd->isHidden());
    EXPECT_TRUE(chart->TbSx->isHidden());
    EXPECT_EQ(enlarged.count(), 2);
}

TEST(TrendChartEnlarge, ResizeRestoresAnEnlargedChartBeforeApplyingTheRule)
{
    QWidget window;
    auto *chart = new TrendChart(&window);
    chart->setGeometry(292, 173, 320, 233);
    chart->TbFdClick(QSize(631, 468));
    chart->applyWindowLayout(228, 498, 313); // the rule at 800 x 600
    EXPECT_EQ(chart->x(), 292);
    EXPECT_EQ(chart->geometry(), QRect(292, 228, 498, 313));
    EXPECT_FALSE(chart->TbFd->isHidden());
    EXPECT_TRUE(chart->TbSx->isHidden());
}

TEST(TrendChartEnlarge, AChartHighInASmallWindowIsNotTakenForEnlarged)
{
    QWidget window;
    auto *chart = new TrendChart(&window);
    chart->setGeometry(292, 173, 320, 233);
    // Outer height 226: the rule puts the chart's top at 89, above the resize rule's line.
    chart->applyWindowLayout(89, 35, 85); // the rule at 337 x 226
    ASSERT_EQ(chart->y(), 89);
    chart->applyWindowLayout(228, 498, 313); // the rule at 800 x 600
    EXPECT_EQ(chart->geometry(), QRect(292, 228, 498, 313));
    EXPECT_FALSE(chart->TbFd->isHidden());
    EXPECT_TRUE(chart->TbSx->isHidden());

    // Enlarged in the small window, it still goes back to its place there first.
    chart->applyWindowLayout(89, 35, 85); // the rule at 337 x 226
    chart->TbFdClick(QSize(337, 226));
    EXPECT_TRUE(chart->isEnlarged());
    chart->applyWindowLayout(228, 498, 313); // the rule at 800 x 600
    EXPECT_EQ(chart->geometry(), QRect(292, 228, 498, 313));
    EXPECT_FALSE(chart->TbFd->isHidden());
}

TEST(TrendChartPainting, BackgroundGradientAndTheShownSeriesColour)
{
    TrendChart chart;
    feed(chart, 59); // the page is 100 wide: its right part stays empty
    chart.setAxisRange(-4000, 4000);
    const QImage area = chart.renderChart();
    EXPECT_EQ(area.size(), chart.size());
    EXPECT_EQ(area.pixelColor(1, 1), TrendChart::kPanelColor);
    // The back wall shades from the top colour down to the bottom colour: sample a column right of the
    // trace's end, where nothing else is drawn.
    const int x = chart.width() - 14;
    QColor top, bottom;
    for (int y = 0; y < chart.height(); ++y) {
        const QColor c = area.pixelColor(x, y);
        const bool backWall = c.red() == 255 && c.green() >= 221 && c.blue() >= 164 && c.blue() <= 221;
        if (backWall && !top.isValid())
            top = c;
        if (backWall)
            bottom = c;
    }
    ASSERT_TRUE(top.isValid());
    EXPECT_GE(top.green(), 250);
    EXPECT_LE(top.blue(), 170);
    EXPECT_LE(bottom.green(), 226);
    EXPECT_GE(bottom.blue(), 216);
    EXPECT_FALSE(isBlank(area, TrendChart::kAreaLineColor));
    EXPECT_FALSE(isBlank(area, TrendChart::kAreaColor));
    EXPECT_TRUE(isBlank(area, TrendChart::kLinePenColor));

    chart.FillClick();
    const QImage line = chart.renderChart();
    EXPECT_FALSE(isBlank(line, TrendChart::kLinePenColor));
    EXPECT_TRUE(isBlank(line, TrendChart::kAreaLineColor));
}

TEST(TrendChartPainting, AValueAtTheAxisTopIsDrawnAtThePlotsTop)
{
    TrendChart chart;
    chart.setAxisRange(-4000, 4000);
    chart.ShowSeries(TrendChart::kLineSeries);
    for (int i = 0; i < 99; ++i)
        chart.addPoint(i < 50 ? 4000 : -4000);
    const QImage image = chart.renderChart();
    int highest = image.height(), lowest = -1;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (image.pixelColor(x, y) == TrendChart::kLinePenColor) {
                highest = std::min(highest, y);
                lowest = std::max(lowest, y);
            }
    // The axis labels' row starts below the controls; the plot spans most of the height.
    EXPECT_LT(highest, 35);
    EXPECT_GT(lowest, image.height() - 35);
    EXPECT_GT(lowest - highest, 150);
}

TEST(TrendChartPainting, AMillionPointPageStillDraws)
{
    TrendChart chart;
    chart.Maxrecord->setText(QStringLiteral("0"));
    chart.ShowSeries(TrendChart::kLineSeries);
    for (int i = 0; i < 1000000; ++i)
        chart.addPoint(sample(i / 100));
    EXPECT_EQ(chart.pageCount(), 1);
    const QImage image = chart.renderChart();
    int columns = 0;
    for (int x = 0; x < image.width(); ++x)
        for (int y = 0; y < image.height(); ++y)
            if (image.pixelColor(x, y) == TrendChart::kLinePenColor) {
                ++columns;
                break;
            }
    EXPECT_GT(columns, 200); // the trace runs across the whole plot
}

// What a shown chart puts on screen, built up from the paints its new points asked for.
QImage shown(TrendChart &chart)
{
    QImage image(chart.size(), QImage::Format_RGB32);
    chart.render(&image, QPoint(), QRegion(), QWidget::DrawWindowBackground); // without the controls
    return image;
}

// Jagged, and now and then beyond the axis, so joins, caps and clipping at the plot's edges all occur.
int jagged(int i)
{
    return sample(i) * 2 + (i * 7919) % 1201 - 600;
}

struct IncrementalCase
{
    const char *name;
    bool area;
    const char *perPage;
    int points;
    int axisChangeAt; // the axis range narrows before this point
    int paintEvery;   // points added between paints
};

class TrendChartIncremental : public ::testing::TestWithParam<IncrementalCase>
{};

TEST_P(TrendChartIncremental, PaintingPointByPointShowsWhatAFreshPaintShows)
{
    const IncrementalCase &c = GetParam();
    TrendChart chart;
    chart.resize(330, 233);
    chart.setAxisRange(-4000, 4000);
    chart.Maxrecord->setText(QLatin1String(c.perPage));
    if (!c.area)
        chart.FillClick();
    shown(chart);
    for (int i = 0; i < c.points; ++i) {
        if (i == c.axisChangeAt)
            chart.setAxisRange(-2500, 3000);
        chart.addPoint(jagged(i));
        if (i % c.paintEvery == 0) {
            ASSERT_EQ(shown(chart), chart.renderChart()) << "after point " << i;
        }
    }
}

// 100 points a page leave about 2.7 pixels between points, 30 leave room for the area's lines under
// each point, 1000 draw one span per pixel column. Each run turns pages.
INSTANTIATE_TEST_SUITE_P(Table, TrendChartIncremental,
                         ::testing::Values(IncrementalCase{"area100", true, "100", 260, 150, 1},
                                           IncrementalCase{"line100", false, "100", 260, 150, 1},
                                           IncrementalCase{"area30", true, "30", 75, 40, 1},
                                           IncrementalCase{"line30", false, "30", 75, 40, 1},
                                           IncrementalCase{"area100by3", true, "100", 130, 60, 3},
                                           IncrementalCase{"area1000", true, "1000", 2300, 1500, 5},
                                           IncrementalCase{"line1000", false, "1000", 2300, 1500, 5}),
                         [](const ::testing::TestParamInfo<IncrementalCase> &info) {
                             return std::string(info.param.name);
                         });

// Every change of what the chart shows must reach the kept picture, even with no point added after it.
TEST(TrendChartIncremental, EachChangeOfTheViewIsShown)
{
    const std::vector<std::pair<const char *, std::function<void(TrendChart &)>>> changes = {
        {"axis",
         [](TrendChart &c) {
             c.setAxisRange(-1000, 1000);
         }},
        {"fill",
         [](TrendChart &c) {
             c.FillClick();
         }},
        {"per page",
         [](TrendChart &c) {
             c.Maxrecord->setText(QStringLiteral("20"));
         }},
        {"new",
         [](TrendChart &c) {
             c.BtNewClick();
         }},
        {"first page",
         [](TrendChart &c) {
             c.BtFirstClick();
         }},
        {"resize",
         [](TrendChart &c) {
             c.resize(300, 260);
         }},
        {"font",
         [](TrendChart &c) {
             QFont italic = c.font(); // the axes keep their own size and weight, not the slant
             italic.setItalic(true);
             c.setFont(italic);
         }},
        {"zoom",
         [](TrendChart &c) {
             c.zoomTo(60, 80, -1000, 3000);
         }},
    };
    for (const auto &[name, change] : changes) {
        TrendChart chart;
        chart.setAxisRange(-4000, 4000);
        for (int i = 0; i < 150; ++i)
            chart.addPoint(jagged(i));
        shown(chart);
        change(chart);
        EXPECT_EQ(shown(chart), chart.renderChart()) << name;
        for (int i = 150; i < 153; ++i)
            chart.addPoint(jagged(i));
        EXPECT_EQ(shown(chart), chart.renderChart()) << name << ", points added";
    }
}

// A new point asks for a repaint of a few columns at the trace's end, not of the whole chart.
TEST(TrendChartIncremental, ANewPointRepaintsOnlyTheTracesEnd)
{
    struct Spy : QObject
    {
        QRegion painted;
        bool eventFilter(QObject *, QEvent *event) override
        {
            if (event->type() == QEvent::Paint)
                painted += static_cast<QPaintEvent *>(event)->region();
            return false;
        }
    };
    for (const char *perPage : {"100", "1000"}) {
        TrendChart chart;
        chart.Maxrecord->setText(QLatin1String(perPage));
        chart.show();
        for (int i = 0; i < 50; ++i)
            chart.addPoint(jagged(i));
        QCoreApplication::processEvents();
        Spy spy;
        chart.installEventFilter(&spy);
        chart.addPoint(jagged(50));
        QCoreApplication::processEvents();
        // Below the row of controls, which repaint on their own (focus, hover).
        const QRect r = (spy.painted & QRect(0, 24, chart.width(), chart.height())).boundingRect();
        EXPECT_GT(r.width(), 0) << perPage;
        EXPECT_LE(r.width(), 11) << perPage; // the newest segment and the caps at its ends
    }
}

// A new page or axis redraws the chart, but the row of controls on it stays as it was.
TEST(TrendChartIncremental, AChangeOfTheViewLeavesTheControlsUnpainted)
{
    struct Spy : QObject
    {
        std::set<QObject *> painted;
        bool eventFilter(QObject *watched, QEvent *event) override
        {
            if (event->type() == QEvent::Paint)
                painted.insert(watched);
            return false;
        }
    };
    TrendChart chart;
    chart.show();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&chart)); // the focus has settled on a control
    for (int i = 0; i < 50; ++i)
        chart.addPoint(jagged(i));
    QCoreApplication::processEvents();
    Spy spy;
    chart.installEventFilter(&spy);
    for (QWidget *control : chart.findChildren<QWidget *>())
        control->installEventFilter(&spy);
    chart.setAxisRange(-1000, 1000);
    QCoreApplication::processEvents();
    EXPECT_EQ(spy.painted, std::set<QObject *>{&chart});
}

TEST(TrendChartZoom, DragDownRightZoomsAndTheOtherWayReturnsToThePage)
{
    TrendChart chart;
    chart.show();
    feed(chart, 99);
    QTest::mousePress(&chart, Qt::LeftButton, {}, QPoint(100, 60));
    QTest::mouseMove(&chart, QPoint(200, 150));
    QTest::mouseRelease(&chart, Qt::LeftButton, {}, QPoint(200, 150));
    EXPECT_TRUE(chart.isZoomed());
    QTest::mousePress(&chart, Qt::LeftButton, {}, QPoint(200, 150));
    QTest::mouseRelease(&chart, Qt::LeftButton, {}, QPoint(120, 80));
    EXPECT_FALSE(chart.isZoomed());
    EXPECT_EQ(chart.cursor().shape(), Qt::CrossCursor);
}

TEST(TrendChartSave, WritesABitmapOfTheChartReplacingAnOldFile)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("databmp.bmp"));
    {
        QFile old(path);
        ASSERT_TRUE(old.open(QIODevice::WriteOnly));
        old.write("not a bitmap");
    }
    TrendChart chart;
    chart.resize(400, 260);
    feed(chart, 150);
    QString error;
    ASSERT_TRUE(chart.saveBitmap(path, &error)) << error.toStdString();
    QImage saved;
    ASSERT_TRUE(saved.load(path, "BMP"));
    EXPECT_EQ(saved.size(), QSize(400, 260));
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files), QStringList{QStringLiteral("databmp.bmp")});

    const QString missing = dir.filePath(QStringLiteral("no/such/folder/databmp.bmp"));
    EXPECT_FALSE(chart.saveBitmap(missing, &error));
    EXPECT_TRUE(error.startsWith(missing)) << error.toStdString();
}

TEST(TrendChartSave, DefaultPathIsInTheHomeFolder)
{
#ifdef Q_OS_WIN
    EXPECT_EQ(TrendChart::defaultBitmapPath(), QStringLiteral("c:\\databmp.bmp"));
#else
    EXPECT_EQ(TrendChart::defaultBitmapPath(), QDir::home().filePath(QStringLiteral("databmp.bmp")));
#endif
}

// The widget as it shows itself, controls included, in its three looks. The pictures are kept for
// a person to look at when METERLINK_SCREENSHOTS names a folder.
TEST(TrendChartScreenshot, FilledLineAndDensePicturesShowTheTrace)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString keep = qEnvironmentVariable("METERLINK_SCREENSHOTS");
    TrendChart chart;
    chart.setAxisRange(-4000, 4000);
    feed(chart, 173);
    chart.show();
    // Saves a picture and returns how many of its columns show the trace's colour.
    auto shoot = [&](const QString &name, const QColor &trace) {
        const QString file = dir.filePath(name);
        EXPECT_TRUE(chart.grab().save(file)) << name.toStdString();
        if (!keep.isEmpty()) {
            QFile::remove(QDir(keep).filePath(name));
            QFile::copy(file, QDir(keep).filePath(name));
        }
        const QImage image(file);
        EXPECT_EQ(image.size(), chart.size()) << name.toStdString();
        int columns = 0;
        for (int x = 0; x < image.width(); ++x)
            for (int y = 0; y < image.height(); ++y)
                if (image.pixelColor(x, y) == trace) {
                    ++columns;
                    break;
                }
        return columns;
    };
    const int filled = shoot(QStringLiteral("chart.png"), TrendChart::kAreaLineColor);
    chart.FillClick();
    const int line = shoot(QStringLiteral("chart-line.png"), TrendChart::kLinePenColor);
    chart.FillClick();
    chart.Maxrecord->setText(QStringLiteral("0"));
    for (int i = 0; i < 200000; ++i)
        chart.addPoint(sample(i / 20) + (i % 7) * 40);
    const int dense = shoot(QStringLiteral("chart-dense.png"), TrendChart::kAreaLineColor);
    // 73 points on a page 100 wide span about three quarters of the plot the dense trace fills.
    for (int partial : {filled, line}) {
        EXPECT_GT(partial, dense * 6 / 10);
        EXPECT_LT(partial, dense * 85 / 100);
    }
}

} // namespace

TEST(TrendChartControls, EnlargeIconNeverCoversThePagingControlsAndAllTakeTheFocus)
{
    TrendChart chart;
    chart.show();
    for (int width = 10; width <= 700; width += 7) {
        chart.resize(width, 233);
        const QRect icon = chart.TbFd->geometry();
        for (QWidget *control : std::initializer_list<QWidget *>{chart.BTlast, chart.Bt10})
            EXPECT_FALSE(icon.intersects(control->geometry())) << width;
        if (width >= TrendChart::kControlsRowWidth) {
            EXPECT_LE(icon.right(), width - 1) << width;
        }
    }
    for (QWidget *control : std::initializer_list<QWidget *>{
             chart.BtFill, chart.Maxrecord, chart.BtNew, chart.BtSave, chart.BtFirst, chart.BTPrevious,
             chart.BtNext, chart.BTlast, chart.TbFd, chart.TbSx})
        EXPECT_TRUE(control->focusPolicy() & Qt::TabFocus) << control->objectName().toStdString();
}
