#pragma once

#include "decode/LcdState.h"
#include "decode/ModelProfile.h"
#include "display/MinMax.h"

#include <optional>
#include <string>

// The limits as the MIN/MAX panel holds them.
struct AlarmLimits
{
    float upper = RangeConstants().UpperLimit;
    float lower = RangeConstants().LowerLimit;
    bool maxEnabled = false; // SetMaxB checked
    bool minEnabled = false; // SetMinB checked
};

// What one decoded frame shows, in the order the window applies it: LCD, alarm, MIN/MAX (and a new
// trend when they reset), gauge, recorder, bar, chart.
struct Presentation
{
    LcdPanelState panel;
    Reading reading;            // the current reading, handed to the recorder
    std::optional<int> axisMax; // set when the frequency mode came or went: the chart's axis is ±axisMax
    bool alarm = false;         // beep, and show oltext
    bool newTrend = false;      // MIN/MAX reset: the chart starts a new trend
    std::string minText;
    std::string maxText;
    std::string unit;
    int gaugeInput = 0;
    int barPosition = 0; // within the bar's 0 .. kBarSteps
    int chartValue = 0;
};

// The presentation sequence without widgets: a decoded frame, the limits and the MIN/MAX tracker in,
// what the window shows out.
class FramePresenter
{
public:
    // The bar's fixed range; a larger position shows a full bar.
    static constexpr int kBarSteps = 40;

    explicit FramePresenter(const RangeConstants &range = RangeConstants()) : m_range(range), m_minMax(range)
    {}

    // Takes a frame that decoded (outcome.ok).
    Presentation present(const FrameOutcome &outcome, const AlarmLimits &limits);

    const MinMaxTracker &minMax() const { return m_minMax; }
    const RangeConstants &range() const { return m_range; }

private:
    RangeConstants m_range;
    MinMaxTracker m_minMax;
};
