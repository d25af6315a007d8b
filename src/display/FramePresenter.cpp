#include "display/FramePresenter.h"

#include <algorithm>

Presentation FramePresenter::present(const FrameOutcome &outcome, const AlarmLimits &limits)
{
    Presentation p;
    p.panel = outcome.panel;
    p.reading = outcome.reading;
    if (outcome.hzModeChanged)
        p.axisMax = outcome.hzMode ? kHzModeAxisLimit : m_range.FullScale;
    p.alarm = limitAlarm(p.reading.Nval, limits.upper, limits.lower, limits.maxEnabled, limits.minEnabled);
    p.newTrend = m_minMax.update(p.reading, decimalPos(outcome.panel), outcome.inputs);
    p.minText = m_minMax.MinSeenText;
    p.maxText = m_minMax.MaxSeenText;
    p.unit = p.reading.unit;
    p.gaugeInput = outcome.inputs.gaugeInput;
    p.barPosition = std::clamp(outcome.inputs.barPosition, 0, kBarSteps);
    p.chartValue = outcome.inputs.chartValue;
    return p;
}
