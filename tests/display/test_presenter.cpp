#include "display/FramePresenter.h"

#include <gtest/gtest.h>

namespace {

FrameOutcome frame(const char *value, float nval, const char *unit = "V")
{
    FrameOutcome f;
    f.ok = true;
    f.reading.value = value;
    f.reading.unit = unit;
    f.reading.Nval = nval;
    f.inputs.barPosition = int(nval / 100);
    f.inputs.chartValue = int(nval);
    f.inputs.maxSeenReset = -4001;
    f.inputs.minSeenReset = 4001;
    return f;
}

// The sequence without widgets: what the window shows follows from the frame, the limits and the
// extremes seen so far.
TEST(FramePresenter, AlarmExtremesBarAndAxisFollowTheFrames)
{
    FramePresenter presenter;
    AlarmLimits limits;
    limits.upper = 2000;
    limits.maxEnabled = true;

    Presentation p = presenter.present(frame("1.000", 1000), limits);
    EXPECT_TRUE(p.newTrend) << "the first frame always starts a trend";
    EXPECT_FALSE(p.alarm);
    EXPECT_FALSE(p.axisMax.has_value());

    p = presenter.present(frame("3.000", 3000), limits);
    EXPECT_FALSE(p.newTrend);
    EXPECT_TRUE(p.alarm);
    EXPECT_EQ(p.maxText, "3.000");
    EXPECT_EQ(p.barPosition, 30);

    FrameOutcome overload = frame("9.999", 9999);
    overload.inputs.barPosition = 99; // past the bar's end: a full bar
    overload.hzModeChanged = true;
    overload.hzMode = true;
    p = presenter.present(overload, limits);
    EXPECT_EQ(p.barPosition, FramePresenter::kBarSteps);
    EXPECT_EQ(p.axisMax, kHzModeAxisLimit);

    overload.hzMode = false;
    EXPECT_EQ(presenter.present(overload, limits).axisMax, presenter.range().FullScale);
    EXPECT_TRUE(presenter.present(frame("1.000", 1000, "mV"), limits).newTrend) << "a new unit";
}

} // namespace
