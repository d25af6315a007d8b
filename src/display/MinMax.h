#pragma once

#include "decode/LcdState.h"
#include "decode/ModelProfile.h"

#include <string>

// Position of the decimal point shown on the panel: 0 with no point, else 1, 2 or 3 for LcdP1, LcdP2,
// LcdP3. They are tested in that order, so the rightmost visible point wins.
int decimalPos(const LcdPanelState &panel);

// Lowest and highest reading since the meter last changed its unit text or decimal point.
struct MinMaxTracker
{
    float MaxSeen = RangeConstants().MaxSeen;
    float MinSeen = RangeConstants().MinSeen;
    std::string MaxSeenText;
    std::string MinSeenText;
    // "113" equals no unit text a decoder produces, so the first frame always resets.
    std::string LastUnit = "113";
    int LastDecimalPos = 0;

    MinMaxTracker() = default;
    explicit MinMaxTracker(const RangeConstants &range) : MaxSeen(range.MaxSeen), MinSeen(range.MinSeen) {}

    // Takes one decoded frame. Returns true when the frame reset the extremes (unit text or decimal
    // point changed); the caller then restarts the chart. A resetting frame does not enter the
    // extremes and leaves both texts as they were.
    bool update(const Reading &reading, int decimalPos, const PresentationInputs &inputs);
};

// True while the reading passes an enabled limit. Both comparisons are strict: a reading equal to a
// limit does not alarm.
bool limitAlarm(float Nval, float upperLimit, float lowerLimit, bool maxEnabled, bool minEnabled);

// Result of reading a limit box.
struct LimitText
{
    bool ok = false;
    float value = 0.0f;
    std::string error; // "'4-' is not a valid integer value" when ok is false
};

// A limit box's text as a limit: "-", "+" and the empty text mean 0; otherwise an optional sign and
// decimal digits that fit a signed 32-bit integer. Anything else fails and the limit must keep its
// previous value.
LimitText parseLimitText(const std::string &text);

// Keys a limit box accepts when typed: digits, backspace, "+" and "-".
bool limitKeyAccepted(char32_t key);
