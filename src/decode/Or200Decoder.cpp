#include "decode/Or200Decoder.h"

#include "decode/IntegerText.h"

#include <array>
#include <optional>

namespace {

const char kHexDigits[] = "0123456789ABCDEF";
const char kFrameOrder[] = "123456789ABCDE";

int hexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return 0;
}

// Seven-segment patterns in the order d, c, g, b, e, f, a.
struct DigitPattern
{
    const char *segments;
    const char *text;
};

const std::array<DigitPattern, 10> kDigitPatterns = {{
    {"1101111", "0"},
    {"0101000", "1"},
    {"1011101", "2"},
    {"1111001", "3"},
    {"0111010", "4"},
    {"1110011", "5"},
    {"1110111", "6"},
    {"0101001", "7"},
    {"1111111", "8"},
    {"1111011", "9"},
}};

const char kLetterL[] = "1000110";

// index is 0..3 for digits 1..4; the L is only meaningful in digit 3, where the overload shows.
std::string decodeDigit(const std::string &bits, int index)
{
    // Digit k's first byte is byte 2k (segments e, f, a in bits 2..0), its second byte 2k+1.
    const size_t firstByte = static_cast<size_t>(2 * index + 1); // zero-based byte index
    const std::string pattern = bits.substr(4 * (firstByte + 1), 4) + bits.substr(4 * firstByte + 1, 3);
    for (const DigitPattern &p : kDigitPatterns) {
        if (pattern == p.segments)
            return p.text;
    }
    if (index == 2 && pattern == kLetterL)
        return "@";
    return std::string();
}

} // namespace

void Or200FrameBuffer::receive(const uint8_t *data, size_t size,
                               const std::function<void(const std::string &)> &onFrame)
{
    for (size_t i = 0; i < size; ++i) {
        const char high = kHexDigits[data[i] >> 4];
        const char low = kHexDigits[data[i] & 0x0F];
        ++m_runLength;
        if (FrameLowNibbles.size() < kFrameLength)
            FrameLowNibbles += low;
        if (FrameHighNibbles.size() < kFrameLength)
            FrameHighNibbles += high;
        if (high != 'E')
            continue;
        FrameNibbles = FrameLowNibbles;
        const bool exact = m_runLength == kFrameLength && FrameHighNibbles == kFrameOrder;
        FrameHighNibbles.clear();
        FrameLowNibbles.clear();
        m_runLength = 0;
        // Buffers are emptied before the frame is handed on, so whatever the decoder makes of it the
        // next byte starts a new run.
        if (exact)
            onFrame(FrameNibbles);
    }
}

FrameOutcome LcdDisplayOR200(const std::string &frameNibbles, const LcdPanelState &previous,
                             bool previousHzMode, const DecodeContext &context)
{
    FrameOutcome outcome;
    outcome.panel = previous;
    outcome.hzMode = previousHzMode;

    std::string bits;
    bits.reserve(56);
    for (size_t k = 0; k < Or200FrameBuffer::kFrameLength; ++k) {
        const int nibble = k < frameNibbles.size() ? hexValue(frameNibbles[k]) : 0;
        for (int b = 3; b >= 0; --b)
            bits += (nibble >> b) & 1 ? '1' : '0';
    }
    // S[n] counted from 1, as the bit map is written.
    auto S = [&bits](int n) {
        return bits[static_cast<size_t>(n - 1)] == '1';
    };

    const std::string d1 = decodeDigit(bits, 0);
    const std::string d2 = decodeDigit(bits, 1);
    const std::string d3 = decodeDigit(bits, 2);
    const std::string d4 = decodeDigit(bits, 3);

    LcdPanelState panel = previous;
    Reading reading;

    const std::string sign = S(5) ? "-" : "";
    const std::string p1 = S(13) ? "." : "";
    const std::string p2 = S(21) ? "." : "";
    const std::string p3 = S(29) ? "." : "";
    panel.setVisible(LcdElement::LcdFH, S(5));
    panel.setVisible(LcdElement::LcdP1, S(13));
    panel.setVisible(LcdElement::LcdP2, S(21));
    panel.setVisible(LcdElement::LcdP3, S(29));

    panel.setVisible(LcdElement::LcdAC, S(1));
    if (isChecked(context.selectors, ModelSelector::IFOR230)) {
        panel.setVisible(LcdElement::LCDTRMST, S(1));
        panel.setVisible(LcdElement::LCDTRMS, S(1));
    }
    if (S(1))
        reading.dcac = "AC";
    if (S(2))
        reading.dcac = "DC";
    panel.setVisible(LcdElement::LcdAuto, S(3));
    reading.autoText = S(3) ? "AUTO" : "MANU";
    panel.setVisible(LcdElement::LCDRS, S(4));
    panel.setVisible(LcdElement::LCD232C, S(4));

    struct Annunciator
    {
        int bit;
        LcdElement element;
        const char *unitText; // nullptr: contributes nothing to the unit
    };
    static const Annunciator kAnnunciators[] = {
        {37, LcdElement::LCDu, "u"},        {38, LcdElement::LCDn, "n"},
        {39, LcdElement::LCDk, "k"},        {40, LcdElement::LCDDI, nullptr},
        {41, LcdElement::Lcdm, "m"},        {42, LcdElement::LCDBF, "%"},
        {43, LcdElement::LCDM1, "M"},       {44, LcdElement::LCDFm, nullptr},
        {45, LcdElement::LCDF, "F"},        {46, LcdElement::LCDohm, "*"},
        {47, LcdElement::LCDRec, nullptr},  {48, LcdElement::LCDHold, nullptr},
        {49, LcdElement::LCDA, "A"},        {50, LcdElement::LcdV, "V"},
        {52, LcdElement::LCDBATT, nullptr},
    };
    for (const Annunciator &a : kAnnunciators) {
        panel.setVisible(a.element, S(a.bit));
        if (a.unitText && S(a.bit))
            reading.unit += a.unitText;
    }

    // The Celsius bit only counts outside frequency mode, and then it overrides prefix and unit.
    const bool hertz = S(51);
    const bool celsius = S(56) && !hertz;
    panel.setVisible(LcdElement::LCDCS, celsius);
    if (celsius) {
        reading.dcac.clear();
        reading.unit = "#";
    }
    panel.setVisible(LcdElement::LCDHz, hertz);
    if (hertz) {
        reading.unit += "Hz";
        reading.autoText = "AUTO";
    }

    const std::string D3 = d3 == "@" ? "L" : d3;
    reading.value = sign + d1 + p1 + d2 + p2 + D3 + p3 + d4;

    // Every conversion the frame needs is done here, in the order the presentation uses them, so a
    // frame that fails is rejected before any of it is applied.
    const RangeConstants &range = context.range;
    const std::string overloadTest = sign + d2 + d3;
    const bool overload = d2 + d3 == "0@";
    const std::string count = sign + d1 + d2 + d3 + d4;

    auto fail = [&outcome](const std::string &text) {
        outcome.ok = false;
        outcome.error = invalidIntegerMessage(text);
        return outcome;
    };

    int nval = 0;
    if (overloadTest == "0@") {
        nval = range.FullScale;
    } else if (overloadTest == "-0@") {
        nval = -range.FullScale;
    } else {
        const std::optional<int32_t> n = parseInteger(count);
        if (!n)
            return fail(count);
        nval = *n;
    }

    int gauge = 0;
    if (overloadTest == "0@") {
        gauge = range.GaugeSpan * 10;
    } else if (overloadTest == "-0@") {
        gauge = 0;
    } else {
        const std::string leading = sign + d1 + d2 + d3;
        const std::optional<int32_t> n = parseInteger(leading);
        if (!n)
            return fail(leading);
        gauge = *n + range.GaugeZero;
    }

    int bar = 0;
    if (overload) {
        bar = range.BarFull;
    } else {
        const std::string head = d1 + d2;
        const std::optional<int32_t> n = parseInteger(head);
        if (!n)
            return fail(head);
        bar = *n >= 2 ? *n : 1;
    }

    int chart = 0;
    if (overload) {
        const std::optional<int32_t> unitSign = parseInteger(sign + "1");
        chart = *unitSign * range.FullScale;
    } else {
        const std::optional<int32_t> n = parseInteger(count);
        if (!n)
            return fail(count);
        chart = *n;
    }

    reading.Nval = static_cast<float>(nval);
    panel.digits = {d1, d2, d3, d4};

    outcome.ok = true;
    outcome.panel = panel;
    outcome.reading = reading;
    outcome.inputs.maxSeenReset = static_cast<float>(-range.FullScale);
    outcome.inputs.minSeenReset = static_cast<float>(range.FullScale);
    outcome.inputs.gaugeInput = gauge;
    outcome.inputs.barPosition = bar;
    outcome.inputs.chartValue = chart;
    outcome.hzMode = hertz;
    outcome.hzModeChanged = hertz != previousHzMode;
    return outcome;
}
