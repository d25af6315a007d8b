#pragma once

#include <QRect>
#include <QSize>

#include <cstdint>

class FCOMMLayout;

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
inline WindowLayout computeWindowLayout(QSize outer)
{
    return computeWindowLayout(outer.width(), outer.height());
}

// The rule's outer size for a client area: the client plus the frame the layout was drawn with
// (caption, menu bar and borders of the layout's window).
inline QSize outerWindowSize(QSize client)
{
    return client + QSize(7, 48);
}

// The narrowest client area in which the rule still gives the chart `chartWidth`.
int clientWidthForChartWidth(int chartWidth);

// Where the window opens, as its frame's rectangle, on a screen whose free area is `available`: in the
// middle when it fits. On a smaller screen (or a larger scale) it is made as small as `minimumFrame`
// allows and kept inside the area from its top left corner on, so that the title bar, by which the
// window is moved, and the menu stay on the screen.
QRect openingFrame(const QRect &available, QSize frame, QSize minimumFrame);

// Moves and sizes the controls the rule names; the chart's left edge and everything else stay.
void applyWindowLayout(FCOMMLayout &ui, const WindowLayout &layout);
