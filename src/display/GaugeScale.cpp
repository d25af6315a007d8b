#include "display/GaugeScale.h"

namespace {

struct LabelRow
{
    int i;
    const char *text;
    int dx;
    int dy;
};

const LabelRow kHzLabels[] = {
    {0, "-50", -5, -7},  {10, "-40", -8, -6}, {20, "-30", -10, -5},  {30, "-20", -10, -4},
    {40, "-10", -5, -4}, {50, "0", -3, -3},   {60, "10", -8, -5},    {70, "20", -8, -5},
    {80, "30", -9, -4},  {90, "40", -12, -9}, {100, "50", -14, -11},
};
const LabelRow kLabels4[] = {
    {0, "-40", -5, -7}, {10, "-30", -8, -6}, {20, "-20", -10, -5}, {30, "-10", -10, -4}, {40, "0", -3, -4},
    {50, "10", -5, -5}, {60, "20", -8, -5},  {70, "30", -10, -6},  {80, "40", -11, -7},
};
const LabelRow kLabels34[] = {
    {4, "-30", -8, -6}, {14, "-20", -10, -5}, {24, "-10", -10, -4}, {34, "0", -3, -4},
    {44, "10", -5, -5}, {54, "20", -8, -5},   {64, "30", -10, -6},
};
const LabelRow kLabels6[] = {
    {0, "-60", -5, -7}, {15, "-45", -8, -6}, {30, "-30", -10, -5}, {45, "-15", -10, -4}, {60, "0", -3, -4},
    {75, "15", -5, -5}, {90, "30", -8, -5},  {105, "45", -10, -6}, {120, "60", -11, -7},
};

template <size_t N> const LabelRow *findLabel(const LabelRow (&table)[N], int i)
{
    for (const LabelRow &row : table) {
        if (row.i == i)
            return &row;
    }
    return nullptr;
}

const LabelRow *labelFor(const GaugeInputs &in, int i)
{
    if (in.HzMode)
        return findLabel(kHzLabels, i);
    if (in.RangeClass == "4")
        return findLabel(kLabels4, i);
    if (in.RangeClass == "34")
        return findLabel(kLabels34, i);
    if (in.RangeClass == "6")
        return findLabel(kLabels6, i);
    return nullptr;
}

bool hasDot(const GaugeInputs &in, int i)
{
    if (in.HzMode)
        return i % 10 == 0;
    if (in.RangeClass == "6")
        return i % 15 == 0;
    if (in.RangeClass == "4")
        return i % 10 == 0;
    if (in.RangeClass == "34")
        return i % 10 == 4;
    return false;
}

} // namespace

std::vector<ScaleMark> gaugeScaleMarks(const GaugeGeometry &geometry, const GaugeInputs &inputs)
{
    std::vector<ScaleMark> marks;
    if (!geometry.valid())
        return marks;
    const int n = inputs.HzMode ? 100 : inputs.GaugeSpan;
    for (int i = 0; i <= n; ++i) {
        ScaleMark mark;
        mark.i = i;
        mark.dotAt = geometry.point(float(i), float(n), 6.0f);
        mark.dot = hasDot(inputs, i);
        const GaugePoint anchor = geometry.point(float(i), float(n), 18.0f);
        if (const LabelRow *row = labelFor(inputs, i)) {
            mark.label = row->text;
            mark.labelAt = GaugePoint{anchor.x + row->dx, anchor.y + row->dy};
        }
        marks.push_back(mark);
    }
    return marks;
}

bool gaugeBandRed(const GaugeInputs &inputs, int j)
{
    // j = 0 is -FullScale and j = GaugeSpan x 10 is +FullScale.
    const double c = (j - inputs.FullScale * 0.1) * 10.0;
    return (c > inputs.UpperLimit && inputs.maxEnabled) || (c < inputs.LowerLimit && inputs.minEnabled);
}
