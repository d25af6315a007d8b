#pragma once

#include <cstdint>

// Rounds numerator / denominator (denominator > 0) to the nearest whole number, halves to the even
// neighbour. Done on integers so that a factor such as 0.37 is exact and a half is really a half.
int64_t divideRoundHalfEven(int64_t numerator, int64_t denominator);

// What FormResize sets from the window's outer width and height (Wf, Hf). The chart's left edge and
// the other controls are not touched by the rule.
struct WindowLayout
{
    int btExitLeft = 0;   // BtExit
    int btConLeft = 0;    // BTCon and BtDiscon
    int dbGridHeight = 0; // DBGrid1
    int chartWidth = 0;   // Chtshow
    int chartHeight = 0;
    int chartTop = 0;
    int kdWidth = 0; // gauge panel KD
    int kdHeight = 0;
    int kd2Width = 0; // stretched picture KD2 behind the gauge panel
    int kd2Height = 0;
};

WindowLayout computeWindowLayout(int outerWidth, int outerHeight);
