#include "app/WindowLayoutRule.h"

#include <gtest/gtest.h>

namespace {

struct RoundCase
{
    int64_t numerator;
    int64_t denominator;
    int64_t expected;
};

class RoundHalfEven : public ::testing::TestWithParam<RoundCase>
{};

TEST_P(RoundHalfEven, HalvesGoToTheEvenNeighbour)
{
    EXPECT_EQ(divideRoundHalfEven(GetParam().numerator, GetParam().denominator), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(Table, RoundHalfEven,
                         ::testing::Values(RoundCase{1850, 100, 18}, RoundCase{5550, 100, 56},
                                           RoundCase{1851, 100, 19}, RoundCase{1849, 100, 18},
                                           RoundCase{-1850, 100, -18}, RoundCase{-5550, 100, -56},
                                           RoundCase{-1851, 100, -19}, RoundCase{0, 100, 0},
                                           RoundCase{-49, 100, 0}, RoundCase{-51, 100, -1}));

struct LayoutCase
{
    int outerWidth;
    int outerHeight;
    WindowLayout expected;
};

class ResizeRule : public ::testing::TestWithParam<LayoutCase>
{};

TEST_P(ResizeRule, SizesTheControlsFromTheOuterSize)
{
    const WindowLayout got = computeWindowLayout(GetParam().outerWidth, GetParam().outerHeight);
    const WindowLayout &want = GetParam().expected;
    EXPECT_EQ(got.btExitLeft, want.btExitLeft);
    EXPECT_EQ(got.btConLeft, want.btConLeft);
    EXPECT_EQ(got.dbGridHeight, want.dbGridHeight);
    EXPECT_EQ(got.chartWidth, want.chartWidth);
    EXPECT_EQ(got.chartHeight, want.chartHeight);
    EXPECT_EQ(got.chartTop, want.chartTop);
    EXPECT_EQ(got.kdWidth, want.kdWidth);
    EXPECT_EQ(got.kdHeight, want.kdHeight);
    EXPECT_EQ(got.kd2Width, want.kd2Width);
    EXPECT_EQ(got.kd2Height, want.kd2Height);
}

// Fields: BtExit left, BTCon left, DBGrid1 height, chart width, height, top, KD width, height, KD2 width,
// height.
INSTANTIATE_TEST_SUITE_P(Table, ResizeRule,
                         ::testing::Values(
                             // The laid-out window: client 615 x 409 plus an assumed frame of 16 x 59.
                             LayoutCase{631, 468, {551, 441, 157, 329, 232, 179, 328, 141, 326, 135}},
                             LayoutCase{800, 600, {720, 610, 289, 498, 313, 228, 497, 190, 495, 184}},
                             // h = 50: 18.5 and 30.5 both round down to the even neighbour.
                             LayoutCase{400, 137, {320, 210, -174, 98, 30, 56, 97, 18, 95, 12}},
                             // h = 150: 55.5 and 91.5 both round up to the even neighbour.
                             LayoutCase{400, 237, {320, 210, -74, 98, 92, 94, 97, 56, 95, 50}}));

} // namespace

TEST(OpeningFrame, CentredWhenItFitsElseTheTitleBarStaysOnTheScreen)
{
    const QRect screen(0, 24, 1024, 576); // a panel takes the top 24 pixels
    const struct
    {
        QSize frame;
        QSize minimum;
        QRect expected;
    } rows[] = {
        {{631, 468}, {580, 260}, {196, 78, 631, 468}},  // fits: in the middle
        {{631, 900}, {580, 260}, {196, 24, 631, 576}},  // too tall: as tall as the screen, from its top
        {{1230, 894}, {1122, 520}, {0, 24, 1122, 576}}, // twice the scale: the minimum width sticks out right
    };
    for (const auto &row : rows)
        EXPECT_EQ(openingFrame(screen, row.frame, row.minimum), row.expected);
}
