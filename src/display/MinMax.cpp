#include "display/MinMax.h"

#include "decode/IntegerText.h"

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

LimitText parseLimitText(const std::string &text)
{
    LimitText result;
    if (text.empty() || text == "-" || text == "+") {
        result.ok = true;
        return result;
    }
    if (const std::optional<int32_t> value = parseInteger(text)) {
        result.ok = true;
        result.value = static_cast<float>(*value);
    } else {
        result.error = invalidIntegerMessage(text);
    }
    return result;
}

bool limitKeyAccepted(char32_t key)
{
    return (key >= U'0' && key <= U'9') || key == U'\b' || key == U'+' || key == U'-';
}
