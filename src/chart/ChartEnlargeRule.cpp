#include "chart/ChartEnlargeRule.h"

LayoutRect ChartEnlargeRule::toggle(const LayoutRect &chart, int outerWidth, int outerHeight)
{
    if (isEnlargedForIcon(chart))
        return restore();
    m_remembered = chart;
    m_enlarged = true;
    return LayoutRect{kEnlargedLeft, kEnlargedTop, outerWidth - 12, outerHeight - 85};
}
