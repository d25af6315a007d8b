#pragma once

#include <vector>

// Where an axis gets its ticks, worked out without painting so that the rule can be tested alone.
struct AxisTicks
{
    double step = 1;           // between major ticks: 1, 2 or 5 times a power of ten
    std::vector<double> major; // labelled, at whole multiples of step from min to max
    std::vector<double> minor; // unlabelled, `minorPerMajor` evenly between majors, and below the first
};

// A step of 1, 2 or 5 times a power of ten, at least `minimum` (1 for a minimum of 0 or less).
double niceStep(double minimum);

// The ticks from min to max with a major step of at least minStep.
AxisTicks axisTicks(double min, double max, double minStep, int minorPerMajor = 0);
