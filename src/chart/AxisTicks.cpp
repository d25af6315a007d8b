#include "chart/AxisTicks.h"

#include <cmath>

double niceStep(double minimum)
{
    if (minimum <= 0)
        return 1;
    const double magnitude = std::pow(10.0, std::floor(std::log10(minimum)));
    for (double factor : {1.0, 2.0, 5.0, 10.0}) {
        if (factor * magnitude >= minimum)
            return factor * magnitude;
    }
    return 10 * magnitude;
}

AxisTicks axisTicks(double min, double max, double minStep, int minorPerMajor)
{
    AxisTicks ticks;
    ticks.step = niceStep(minStep);
    const double step = ticks.step;
    const double first = std::ceil(min / step) * step;
    // Stepping by addition, with a tolerance at the top, so the last major lands on max when a
    // multiple of the step falls there despite rounding.
    for (double v = first; v <= max + step * 1e-9; v += step) {
        ticks.major.push_back(v);
        for (int m = 1; m <= minorPerMajor; ++m) {
            const double mv = v + step * m / (minorPerMajor + 1);
            if (mv > max)
                break;
            ticks.minor.push_back(mv);
        }
    }
    for (int m = 1; m <= minorPerMajor; ++m) {
        const double mv = first - step * m / (minorPerMajor + 1);
        if (mv < min)
            break;
        ticks.minor.push_back(mv);
    }
    return ticks;
}
