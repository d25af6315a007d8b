#include "chart/ChartEnlargeRule.h"

#include <gtest/gtest.h>

namespace {

TEST(ChartEnlargeRule, EnlargesFromTheNormalPlaceAndRestoresIt)
{
    ChartEnlargeRule rule;
    const LayoutRect normal{292, 173, 320, 233};
    const LayoutRect big = rule.toggle(normal, 631, 468);
    EXPECT_EQ(big, (LayoutRect{2, 28, 619, 383}));
    EXPECT_TRUE(ChartEnlargeRule::isEnlargedForIcon(big));
    EXPECT_EQ(rule.toggle(big, 900, 700), normal); // the window's size does not matter for restoring
}

TEST(ChartEnlargeRule, IconAndResizeRuleDrawTheLineAtDifferentTops)
{
    // A chart between 51 and 99 pixels down counts as normal for the icon but as enlarged for the resize
    // rule, as the two handlers were written.
    const LayoutRect middle{292, 80, 320, 233};
    EXPECT_FALSE(ChartEnlargeRule::isEnlargedForIcon(middle));
    EXPECT_TRUE(ChartEnlargeRule::isEnlargedForResize(middle));
    EXPECT_TRUE(ChartEnlargeRule::isEnlargedForIcon(LayoutRect{0, 50, 1, 1}));
    EXPECT_FALSE(ChartEnlargeRule::isEnlargedForIcon(LayoutRect{0, 51, 1, 1}));
    EXPECT_FALSE(ChartEnlargeRule::isEnlargedForResize(LayoutRect{0, 100, 1, 1}));
}

} // namespace
