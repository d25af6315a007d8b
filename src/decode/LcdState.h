#pragma once

#include <array>
#include <bitset>
#include <string>

// Every element of the on-screen LCD panel that a decoder shows or hides, by its layout name.
enum class LcdElement
{
    LcdFH,
    LcdDa,
    LcdDb,
    LcdDc,
    LcdDd,
    LcdP1,
    LcdP2,
    LcdP3,
    LcdAuto,
    LCDRS,
    LCD232C,
    LcdACDC,
    LcdAC,
    LcdDc1,
    LCDBF,
    LCDHold,
    LCDRec,
    LCDBATT,
    LCDBT,
    LcdRPM,
    LCDTRMST,
    LCDTRMS,
    LCDCS,
    LCDFS,
    LCDDI,
    LCDFm,
    LCDk,
    LCDM1,
    LCDHz,
    LCDohm,
    LCDu,
    Lcdm,
    LCDn,
    LCDA,
    LCDF,
    LcdV,
    Count
};

constexpr int kLcdElementCount = static_cast<int>(LcdElement::Count);

const char *lcdElementName(LcdElement element);

// What the panel shows: which elements are visible and the four digit captions. A decoder takes the
// previous state and returns the next one; the window only applies it.
struct LcdPanelState
{
    std::bitset<kLcdElementCount> visible;
    std::array<std::string, 4> digits; // captions of LcdDa..LcdDd, in the LCD symbol font ("@" is the L)

    bool isVisible(LcdElement e) const { return visible.test(static_cast<size_t>(e)); }
    void setVisible(LcdElement e, bool on) { visible.set(static_cast<size_t>(e), on); }

    // The layout's start state: the minus sign and the digits 3, 9, 9, 9; everything else hidden.
    static LcdPanelState startState();

    bool operator==(const LcdPanelState &o) const { return visible == o.visible && digits == o.digits; }
    bool operator!=(const LcdPanelState &o) const { return !(*this == o); }
};

// The last decoded measurement, named after the reading table's fields.
struct Reading
{
    std::string value;    // "-3.999", "0.L"
    std::string unit;     // "mV", "k*", "#"
    std::string dcac;     // "AC", "DC" or empty
    std::string autoText; // "AUTO" or "MANU"
    float Nval = 0.0f;    // displayed digits as one signed whole number

    bool operator==(const Reading &o) const
    {
        return value == o.value && unit == o.unit && dcac == o.dcac && autoText == o.autoText &&
               Nval == o.Nval;
    }
};

// What the presentation sequence needs besides the reading, worked out by the decoder.
struct PresentationInputs
{
    float maxSeenReset = 0.0f; // what MaxSeen becomes on a MIN/MAX reset
    float minSeenReset = 0.0f;
    int gaugeInput = 0;
    int barPosition = 0;
    int chartValue = 0;
};

// One decoded frame. When ok is false the frame changes nothing but the link indicator, and error
// holds "'%s' is not a valid integer value" with the text that failed.
struct FrameOutcome
{
    bool ok = false;
    std::string error;
    LcdPanelState panel;
    Reading reading;
    PresentationInputs inputs;
    bool hzMode = false;        // OR200 only: the frame showed the Hz annunciator
    bool hzModeChanged = false; // OR200 only: re-run the gauge setup and switch the chart axis
};
