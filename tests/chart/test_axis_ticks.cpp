#include "chart/AxisTicks.h"

#include <gtest/gtest.h>

namespace {

TEST(AxisTicks, StepsAreOneTwoOrFiveTimesAPowerOfTen)
{
    const struct
    {
        double minimum;
        double step;
    } cases[] = {{0, 1}, {-3, 1}, {0.7, 1},   {1, 1},       {1.01, 2},
                 {3, 5}, {7, 10}, {130, 200}, {2000, 2000}, {2001, 5000}};
    for (const auto &c : cases)
        EXPECT_DOUBLE_EQ(niceStep(c.minimum), c.step) << c.minimum;
}

TEST(AxisTicks, MajorsAtMultiplesWithMinorsBetweenAndBelowTheFirst)
{
    const AxisTicks t = axisTicks(-4100, 4100, 1500, 4);
    EXPECT_DOUBLE_EQ(t.step, 2000);
    EXPECT_EQ(t.major, (std::vector<double>{-4000, -2000, 0, 2000, 4000}));
    // Four between each pair of majors, none past 4100 above the last, none below -4100.
    EXPECT_EQ(t.minor.size(), 4u * 4u);
    EXPECT_DOUBLE_EQ(t.minor.front(), -3600);
    for (double v : t.minor) {
        EXPECT_GE(v, -4100);
        EXPECT_LE(v, 4100);
    }
    // The top lands on a major despite rounding, and an empty span has one tick at most.
    EXPECT_EQ(axisTicks(0, 0.3, 0.1).major.size(), 4u);
    EXPECT_EQ(axisTicks(5, 5, 1).major, std::vector<double>{5});
}

} // namespace
