#include "app/WindowLayoutRule.h"

int64_t divideRoundHalfEven(int64_t numerator, int64_t denominator)
{
    // Floor division, then look at the remainder against half the denominator.
    int64_t q = numerator / denominator;
    int64_t r = numerator % denominator;
    if (r < 0) {
        --q;
        r += denominator;
    }
    const int64_t twice = 2 * r;
    if (twice > denominator || (twice == denominator && (q & 1) != 0))
        ++q;
    return q;
}

WindowLayout computeWindowLayout(int outerWidth, int outerHeight)
{
    WindowLayout l;
    l.btExitLeft = outerWidth - 80;
    l.btConLeft = outerWidth - 190;
    l.dbGridHeight = outerHeight - 311;
    l.chartWidth = outerWidth - 302;
    l.kdWidth = outerWidth - 303;
    l.kd2Width = outerWidth - 305;
    const int64_t h = outerHeight - 87;
    l.kdHeight = static_cast<int>(divideRoundHalfEven(h * 37, 100));
    l.kd2Height = l.kdHeight - 6;
    l.chartHeight = static_cast<int>(divideRoundHalfEven(h * 61, 100));
    l.chartTop = l.kdHeight + 38;
    return l;
}
