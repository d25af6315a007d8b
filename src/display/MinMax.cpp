#include "display/MinMax.h"

#include <cstdint>

int decimalPos(const LcdPanelState &panel)
{
    int pos = 0;
    if (panel.isVisible(LcdElement::LcdP1))
        pos = 1;
    if (panel.isVisible(LcdElement::LcdP2))
        pos = 2;
    if (panel.isVisible(LcdElement::LcdP3))
        pos = 3;
    return pos;
}

bool MinMaxTracker::update(const Reading &reading, int decimalPos, const PresentationInputs &inputs)
{
    bool reset = false;
    if (reading.unit != LastUnit || decimalPos != LastDecimalPos) {
        LastUnit = reading.unit;
        MaxSeen = inputs.maxSeenReset;
        MinSeen = inputs.minSeenReset;
        reset = true;
    } else {
        // >= and <=: an equal reading replaces the stored text, and one frame may set both.
        if (reading.Nval >= MaxSeen) {
            MaxSeenText = reading.value;
            MaxSeen = reading.Nval;
        }
        if (reading.Nval <= MinSeen) {
            MinSeenText = reading.value;
            MinSeen = reading.Nval;
        }
    }
    LastDecimalPos = decimalPos;
    return reset;
}

bool limitAlarm(float Nval, float upperLimit, float lowerLimit, bool maxEnabled, bool minEnabled)
{
    return (Nval > upperLimit && maxEnabled) || (Nval < lowerLimit && minEnabled);
}

std::string invalidIntegerMessage(const std::string &text)
{
    return "'" + text + "' is not a valid integer value";
}

LimitText parseLimitText(const std::string &text)
{
    LimitText result;
    if (text.empty() || text == "-" || text == "+") {
        result.ok = true;
        return result;
    }
    size_t i = 0;
    bool negative = false;
    if (text[0] == '-' || text[0] == '+') {
        negative = text[0] == '-';
        i = 1;
    }
    if (i == text.size()) {
        result.error = invalidIntegerMessage(text);
        return result;
    }
    int64_t magnitude = 0;
    for (; i < text.size(); ++i) {
        const char c = text[i];
        if (c < '0' || c > '9') {
            result.error = invalidIntegerMessage(text);
            return result;
        }
        magnitude = magnitude * 10 + (c - '0');
        if (magnitude > int64_t(INT32_MAX) + 1) {
            result.error = invalidIntegerMessage(text);
            return result;
        }
    }
    const int64_t value = negative ? -magnitude : magnitude;
    if (value > INT32_MAX || value < INT32_MIN) {
        result.error = invalidIntegerMessage(text);
        return result;
    }
    result.ok = true;
    result.value = static_cast<float>(value);
    return result;
}

bool limitKeyAccepted(char32_t key)
{
    return (key >= U'0' && key <= U'9') || key == U'\b' || key == U'+' || key == U'-';
}
