#include "display/GaugeGeometry.h"
#include "display/GaugeScale.h"
#include "display/GaugeView.h"

#include <QApplication>
#include <QBackingStore>
#include <QImage>
#include <QPaintEvent>
#include <QPainter>
#include <QTest>

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

namespace {

double distance(GaugePoint p, double cx, double cy)
{
    return std::hypot(p.x - cx, p.y - cy);
}

bool isColour(const QImage &image, int x, int y, QRgb rgb)
{
    return (image.pixel(x, y) & 0xFFFFFF) == (rgb & 0xFFFFFF);
}

int countColour(const QImage &image, QRgb rgb)
{
    int n = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            n += isColour(image, x, y, rgb) ? 1 : 0;
    return n;
}

constexpr QRgb kRed = 0xFF0000;
constexpr QRgb kBlue = 0x0000FF;
constexpr QRgb kBlack = 0x000000;
constexpr QRgb kWhite = 0xFFFFFF;

GaugeInputs inputsFor(const std::string &rangeClass)
{
    GaugeInputs in;
    in.RangeClass = rangeClass;
    in.FullScale = rangeClass == "6" ? 6000 : rangeClass == "34" ? 3400 : 4000;
    in.GaugeSpan = in.FullScale / 50;
    in.GaugeZero = in.FullScale / 10;
    in.UpperLimit = float(in.FullScale + 2);
    in.LowerLimit = -float(in.FullScale + 2);
    return in;
}

} // namespace

TEST(GaugeGeometry, LayoutPanelGivesTheKnownCircle)
{
    const GaugeGeometry g(318, 137);
    ASSERT_TRUE(g.valid());
    EXPECT_FLOAT_EQ(g.W, 278.0f);
    EXPECT_FLOAT_EQ(g.H, 77.0f);
    EXPECT_NEAR(g.R, 101000.0 / 616.0, 1e-4);
    EXPECT_FLOAT_EQ(g.B, (180.0f - g.A) * 0.5f);
    // The truncated 1/3.1415 factor makes the sweep a hair wider than the true angle.
    const double trueSweep = std::atan(139.0 / (g.R - 77.0)) * 2.0 * 180.0 / M_PI;
    EXPECT_GT(g.A, trueSweep);
    EXPECT_NEAR(g.A / trueSweep, 3.141592653589793 * 0.31831927423205475, 1e-6);

    for (int n : {68, 80, 100, 120, 800}) {
        EXPECT_EQ(g.point(0, float(n), 0), (GaugePoint{20, 107})) << n;
        EXPECT_EQ(g.point(float(n), float(n), 0), (GaugePoint{298, 107})) << n;
    }
    EXPECT_EQ(g.point(40, 80, 0), (GaugePoint{159, 30}));
    EXPECT_EQ(g.point(50, 100, 0), (GaugePoint{159, 30}));
}

TEST(GaugeGeometry, MarksLieOutsideTheCircleByTheirOffset)
{
    const GaugeGeometry g(318, 137);
    const double cx = 159.0;
    const double cy = 30.0 + g.R;
    for (int q = 0; q <= 80; q += 7) {
        for (float k : {3.0f, 6.0f, 18.0f})
            EXPECT_NEAR(distance(g.point(float(q), 80, k), cx, cy), g.R + k, 1.0) << q << " k " << k;
    }
}

TEST(GaugeGeometry, RoundsHalvesToEven)
{
    EXPECT_EQ(roundPixelHalfEven(2.5), 2);
    EXPECT_EQ(roundPixelHalfEven(3.5), 4);
    EXPECT_EQ(roundPixelHalfEven(-2.5), -2);
    EXPECT_EQ(roundPixelHalfEven(2.51), 3);
    EXPECT_EQ(roundPixelHalfEven(1e30), 1000000);
    EXPECT_EQ(roundPixelHalfEven(-INFINITY), -1000000);
    EXPECT_EQ(roundPixelHalfEven(NAN), 0);
}

TEST(GaugeGeometry, NeedleAtZeroStandsStraightUp)
{
    const GaugeGeometry g(318, 137);
    EXPECT_NEAR(g.theta(400, 800) * 180.0 / M_PI, 90.0, 1e-4);
    const GaugeNeedle n = g.needle(400, false, 80);
    EXPECT_EQ(n.tip, (GaugePoint{159, 34}));
    EXPECT_EQ(n.inner, (GaugePoint{159, 387}));

    // Frequency mode: 1000 steps shifted by 100, so 400 is the middle as well.
    const GaugeNeedle hz = g.needle(400, true, 80);
    EXPECT_EQ(hz.tip, n.tip);

    // Ends of the scale: the tip sits 4 pixels below the arc's ends.
    EXPECT_EQ(g.needle(0, false, 80).tip, (GaugePoint{20, 111}));
    EXPECT_EQ(g.needle(800, false, 80).tip, (GaugePoint{298, 111}));
    // Not clamped: beyond full scale the tip goes past the right end, below it.
    const GaugeNeedle beyond = g.needle(900, false, 80);
    EXPECT_GT(beyond.tip.x, 298);
    EXPECT_GT(beyond.tip.y, 111);
}

TEST(GaugeGeometry, TooSmallPanelsHaveNoCircle)
{
    struct Case
    {
        int w, h;
        bool valid;
    };
    for (const Case c : {Case{318, 60, false}, Case{318, 61, true}, Case{40, 137, false}, Case{41, 137, true},
                         Case{0, 0, false}, Case{-5, 200, false}, Case{318, -1, false}}) {
        const GaugeGeometry g(c.w, c.h);
        EXPECT_EQ(g.valid(), c.valid) << c.w << "x" << c.h;
        if (g.valid()) {
            EXPECT_TRUE(std::isfinite(g.R) && std::isfinite(g.A));
        }
    }
}

TEST(GaugeScale, LabelsAndDotsFollowTheRangeClass)
{
    const GaugeGeometry g(318, 137);
    struct Case
    {
        std::string rangeClass;
        bool hz;
        size_t steps;
        std::vector<std::string> labels;
        std::vector<int> dots;
    };
    const Case cases[] = {
        {"4",
         false,
         81,
         {"-40", "-30", "-20", "-10", "0", "10", "20", "30", "40"},
         {0, 10, 20, 30, 40, 50, 60, 70, 80}},
        {"34", false, 69, {"-30", "-20", "-10", "0", "10", "20", "30"}, {4, 14, 24, 34, 44, 54, 64}},
        {"6",
         false,
         121,
         {"-60", "-45", "-30", "-15", "0", "15", "30", "45", "60"},
         {0, 15, 30, 45, 60, 75, 90, 105, 120}},
        {"4",
         true,
         101,
         {"-50", "-40", "-30", "-20", "-10", "0", "10", "20", "30", "40", "50"},
         {0, 10, 20, 30, 40, 50, 60, 70, 80, 90, 100}},
    };
    for (const Case &c : cases) {
        GaugeInputs in = inputsFor(c.rangeClass);
        in.HzMode = c.hz;
        const auto marks = gaugeScaleMarks(g, in);
        ASSERT_EQ(marks.size(), c.steps) << c.rangeClass << c.hz;
        std::vector<std::string> labels;
        std::vector<int> dots;
        for (const ScaleMark &m : marks) {
            if (!m.label.empty())
                labels.push_back(m.label);
            if (m.dot)
                dots.push_back(m.i);
        }
        EXPECT_EQ(labels, c.labels) << c.rangeClass << c.hz;
        EXPECT_EQ(dots, c.dots) << c.rangeClass << c.hz;
    }
}

TEST(GaugeScale, ZeroLabelSitsAboveTheTopOfTheArc)
{
    const GaugeGeometry g(318, 137);
    const auto marks = gaugeScaleMarks(g, inputsFor("4"));
    const ScaleMark &zero = marks[40];
    EXPECT_EQ(zero.label, "0");
    // Anchor 18 pixels above the top (159, 12), moved by (-3, -4).
    EXPECT_EQ(zero.labelAt, (GaugePoint{156, 8}));
    EXPECT_EQ(zero.dotAt, (GaugePoint{159, 24}));
}

TEST(GaugeScale, BandTurnsRedStrictlyBeyondEnabledLimits)
{
    GaugeInputs in = inputsFor("4");
    in.UpperLimit = 2000.0f;
    EXPECT_FALSE(gaugeBandRed(in, 800)) << "limit not enabled";
    in.maxEnabled = true;
    EXPECT_FALSE(gaugeBandRed(in, 600)) << "c = 2000 equals the limit";
    EXPECT_TRUE(gaugeBandRed(in, 601));
    EXPECT_TRUE(gaugeBandRed(in, 800));
    EXPECT_FALSE(gaugeBandRed(in, 0));

    in.LowerLimit = -1000.0f;
    in.minEnabled = true;
    EXPECT_TRUE(gaugeBandRed(in, 299));
    EXPECT_FALSE(gaugeBandRed(in, 300));
    EXPECT_TRUE(gaugeBandRed(in, 0));

    GaugeInputs six = inputsFor("6");
    six.UpperLimit = 0.0f;
    six.maxEnabled = true;
    EXPECT_FALSE(gaugeBandRed(six, 600));
    EXPECT_TRUE(gaugeBandRed(six, 601));
}

class GaugeViewTest : public ::testing::Test
{
protected:
    GaugeView view;
};

TEST_F(GaugeViewTest, StartsWhiteAtLayoutSize)
{
    EXPECT_EQ(view.objectName(), QStringLiteral("KD"));
    EXPECT_EQ(view.pictureWidget()->objectName(), QStringLiteral("KD1"));
    EXPECT_EQ(view.size(), QSize(318, 137));
    view.KDsetup(1);
    EXPECT_EQ(view.picture().size(), QSize(318, 137));
}

TEST_F(GaugeViewTest, NeedleAtZeroIsDrawnStraightUpAndErasedWhenItMoves)
{
    view.setInputs(inputsFor("4"));
    view.KDsetup(1);
    view.KDrun(400);
    const QImage &img = view.picture();
    for (int y = 40; y < 137; y += 8)
        EXPECT_TRUE(isColour(img, 159, y, kBlack)) << "y " << y;
    EXPECT_FALSE(isColour(img, 170, 100, kBlack));

    view.KDrun(700);
    // The old needle is painted white: below the labels nothing of it is left.
    for (int y = 60; y < 137; y += 8)
        EXPECT_TRUE(isColour(view.picture(), 159, y, kWhite)) << "y " << y;
    const GaugeNeedle n = view.lastNeedle();
    EXPECT_GT(n.tip.x, 159);
    EXPECT_TRUE(isColour(view.picture(), n.tip.x, n.tip.y, kBlack));
}

TEST_F(GaugeViewTest, NeedleMovesLeaveThePixelsThatDrawingTheLinesLeaves)
{
    // Each move paints the old needle white and the new one black; places come back, the scale
    // changes under the needle, and inputs run far off the dial.
    GaugeInputs hz = inputsFor("4");
    hz.HzMode = true;
    const struct
    {
        GaugeInputs inputs;
        std::vector<int> moves;
    } runs[] = {
        {inputsFor("4"), {400, 401, 650, 400, 650, 0, 800, -100000, 100000, 401}},
        {hz, {500, 120, 980, 500, 120}},
        {inputsFor("6"), {600, 601, 600, 1200, 3}},
    };
    QImage expected;
    GaugeNeedle shown;
    for (const auto &run : runs) {
        view.setInputs(run.inputs);
        view.KDsetup(1);
        expected = view.picture().copy();
        for (int v : run.moves) {
            const GaugeNeedle next = view.scaleGeometry().needle(v, run.inputs.HzMode, run.inputs.GaugeSpan);
            QPainter painter(&expected);
            painter.setPen(QPen(Qt::white, 2));
            painter.drawLine(shown.tip.x, shown.tip.y, shown.inner.x, shown.inner.y);
            painter.setPen(QPen(Qt::black, 2));
            painter.drawLine(next.tip.x, next.tip.y, next.inner.x, next.inner.y);
            painter.end();
            shown = next;
            view.KDrun(v);
            ASSERT_EQ(view.picture(), expected) << "input " << v;
        }
    }
}

TEST_F(GaugeViewTest, SetupWipesTheNeedleButRemembersItsEnds)
{
    view.setInputs(inputsFor("4"));
    view.KDsetup(1);
    view.KDrun(400);
    view.KDsetup(1);
    EXPECT_TRUE(isColour(view.picture(), 159, 100, kWhite));
    EXPECT_EQ(view.lastNeedle().tip, (GaugePoint{159, 34}));
}

TEST_F(GaugeViewTest, BandIsRedBeyondTheUpperLimitAfterSetup)
{
    GaugeInputs in = inputsFor("4");
    in.UpperLimit = 2000.0f;
    in.maxEnabled = true;
    view.setInputs(in);
    view.KDsetup(1);
    const GaugeGeometry g = view.scaleGeometry();
    const QImage &img = view.picture();
    const GaugePoint high = g.point(750, 800, 3);
    const GaugePoint low = g.point(250, 800, 3);
    EXPECT_TRUE(isColour(img, high.x + 1, high.y + 1, kRed));
    EXPECT_TRUE(isColour(img, low.x + 1, low.y + 1, kBlue));

    // Unchecking and redrawing brings the blue back.
    in.maxEnabled = false;
    view.setInputs(in);
    view.KDsetup(1);
    EXPECT_TRUE(isColour(view.picture(), high.x + 1, high.y + 1, kBlue));
}

TEST_F(GaugeViewTest, FrequencyModeDrawsRedScaleWithNormalBand)
{
    GaugeInputs in = inputsFor("4");
    in.HzMode = true;
    view.setInputs(in);
    view.KDsetup(1);
    const int redHz = countColour(view.picture(), kRed);
    in.HzMode = false;
    view.setInputs(in);
    view.KDsetup(1);
    const int redNormal = countColour(view.picture(), kRed);
    // The fixed arc is red and wider in the frequency mode, and there are two more dots.
    EXPECT_GT(redHz, redNormal + 100);
    // The band stays blue in both.
    const GaugePoint mid = view.scaleGeometry().point(400, 800, 3);
    EXPECT_TRUE(isColour(view.picture(), mid.x + 1, mid.y + 1, kBlue));
}

TEST_F(GaugeViewTest, AScaleDrawnBeforeComesBackWithoutTheNeedleDrawnOnItSince)
{
    GaugeInputs hz = inputsFor("4");
    hz.HzMode = true;
    view.setInputs(inputsFor("4"));
    view.KDsetup(1);
    const QImage volts = view.picture().copy();
    view.KDrun(700); // drawn on the picture, not on the scale kept
    for (const GaugeInputs &in : {hz, inputsFor("6"), inputsFor("4")}) {
        view.setInputs(in);
        view.KDsetup(1);
    }
    EXPECT_EQ(view.picture(), volts);
    view.resize(300, 120); // another size: drawn anew, not copied
    view.KDsetup(1);
    GaugeView fresh;
    fresh.resize(300, 120);
    fresh.setInputs(inputsFor("4"));
    fresh.KDsetup(1);
    EXPECT_EQ(view.picture(), fresh.picture());
}

TEST_F(GaugeViewTest, TinyPanelsStayWhiteAndDoNotCrash)
{
    view.setInputs(inputsFor("4"));
    for (const QSize size : {QSize(318, 60), QSize(40, 137), QSize(1, 1), QSize(0, 0), QSize(200, 61)}) {
        view.resize(size);
        view.KDsetup(1);
        view.KDrun(400);
        view.KDrun(-100000);
        view.KDrun(100000);
        const QImage &img = view.picture();
        if (!GaugeGeometry(size.width(), size.height()).valid()) {
            EXPECT_EQ(countColour(img, kWhite), img.width() * img.height())
                << size.width() << "x" << size.height();
        }
    }
}

TEST_F(GaugeViewTest, ResizeRedrawsAtTheNewSizeWithTheNeedleInPlace)
{
    view.setInputs(inputsFor("4"));
    view.KDsetup(1);
    view.KDrun(400);
    view.show();
    view.resize(400, 180);
    EXPECT_EQ(view.picture().size(), QSize(400, 180));
    const GaugeNeedle n = view.lastNeedle();
    EXPECT_EQ(n.tip.x, 200);
    EXPECT_TRUE(isColour(view.picture(), 200, 150, kBlack));
    // The next move erases the redrawn needle, not the old-size one.
    view.KDrun(200);
    EXPECT_TRUE(isColour(view.picture(), 200, 150, kWhite));
}

namespace {

// The region each paint event of a widget covered, together.
class PaintedArea : public QObject
{
public:
    QRegion painted;

protected:
    bool eventFilter(QObject *, QEvent *event) override
    {
        if (event->type() == QEvent::Paint)
            painted += static_cast<QPaintEvent *>(event)->region();
        return false;
    }
};

} // namespace

TEST_F(GaugeViewTest, TheSameScaleAgainRepaintsOnlyWhereTheNeedleWasAndShowsThePicture)
{
    GaugeInputs hz = inputsFor("4");
    hz.HzMode = true;
    view.setInputs(inputsFor("4"));
    view.KDsetup(1);
    view.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&view));
    PaintedArea area;
    view.pictureWidget()->installEventFilter(&area);
    const QRect whole = view.pictureWidget()->rect();
    const struct
    {
        const char *step;
        GaugeInputs inputs;
        bool wholeRepainted;
    } steps[] = {
        {"the same scale", inputsFor("4"), false},
        {"the same scale again", inputsFor("4"), false},
        {"the frequency scale", hz, true},
        {"back", inputsFor("4"), true},
        {"the same once more", inputsFor("4"), false},
    };
    for (const auto &step : steps) {
        view.KDrun(300);
        view.KDrun(650);
        QApplication::processEvents();
        area.painted = QRegion();
        view.setInputs(step.inputs);
        view.KDsetup(1);
        QApplication::processEvents();
        EXPECT_EQ(area.painted.contains(whole) && QRegion(whole).subtracted(area.painted).isEmpty(),
                  step.wholeRepainted)
            << step.step;
        const auto *store = static_cast<const QImage *>(view.backingStore()->paintDevice());
        EXPECT_EQ(store->copy(whole).convertToFormat(QImage::Format_RGB32), view.picture()) << step.step;
    }
}
