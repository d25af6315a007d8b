#pragma once

#include "decode/ModelProfile.h"
#include "display/GaugeGeometry.h"

#include <string>
#include <vector>

// What the scale and the needle read from the window's state.
struct GaugeInputs
{
    bool HzMode = false;
    std::string RangeClass = RangeConstants().RangeClass;
    int GaugeSpan = RangeConstants().GaugeSpan;
    int GaugeZero = RangeConstants().GaugeZero;
    int FullScale = RangeConstants().FullScale;
    float UpperLimit = RangeConstants().UpperLimit;
    float LowerLimit = RangeConstants().LowerLimit;
    bool maxEnabled = false; // SetMaxB checked
    bool minEnabled = false; // SetMinB checked

    bool operator==(const GaugeInputs &o) const
    {
        return HzMode == o.HzMode && RangeClass == o.RangeClass && GaugeSpan == o.GaugeSpan &&
               GaugeZero == o.GaugeZero && FullScale == o.FullScale && UpperLimit == o.UpperLimit &&
               LowerLimit == o.LowerLimit && maxEnabled == o.maxEnabled && minEnabled == o.minEnabled;
    }
    bool operator!=(const GaugeInputs &o) const { return !(*this == o); }
};

// One step of the scale: where its dot goes (when it has one) and its label, if numbered.
struct ScaleMark
{
    int i = 0;
    GaugePoint dotAt; // 6 pixels outside the circle
    bool dot = false;
    GaugePoint labelAt; // top-left corner of the label: 18 pixels outside, moved by the table's offset
    std::string label;  // empty for an unnumbered step
};

// The steps of the scale: 100 in the frequency mode (-50 to 50), else GaugeSpan steps numbered in
// hundreds of display counts.
std::vector<ScaleMark> gaugeScaleMarks(const GaugeGeometry &geometry, const GaugeInputs &inputs);

// Whether the limit band is red at step j of its GaugeSpan x 10 steps: its value in display counts
// is beyond an enabled limit (strictly).
bool gaugeBandRed(const GaugeInputs &inputs, int j);
