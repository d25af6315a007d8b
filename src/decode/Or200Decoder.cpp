#include "decode/Or200Decoder.h"

#include "decode/IntegerText.h"
#include "decode/ShortText.h"

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

// Seven-segment patterns in the order d, c, g, b, e, f, a, read as a 7-bit number with d as its
// highest bit.
constexpr uint8_t kDigitPatterns[10] = {0x6F, 0x28, 0x5D, 0x79, 0x3A, 0x73, 0x77, 0x29, 0x7F, 0x7B};
constexpr uint8_t kLetterL = 0x46;

// What each pattern reads as: a digit character, or 0 for none. The L counts only in digit 3, where
// the overload shows, so it is not in the table.
struct DigitTable
{
    char digitOf[128] = {};
    constexpr DigitTable()
    {
        for (int d = 0; d < 10; ++d)
            digitOf[kDigitPatterns[d]] = static_cast<char>('0' + d);
    }
};
constexpr DigitTable kDigitTable;

// Digit k (0..3) takes segments d, c, g, b from nibble 2k + 2 and e, f, a from the low three bits of
// nibble 2k + 1 (nibbles counted from 0); the result is '0'..'9', '@' for the L, or 0 for none.
char decodeDigit(const uint8_t *nibbles, int index)
{
    const size_t first = static_cast<size_t>(2 * index + 1);
    const unsigned pattern = (unsigned(nibbles[first + 1]) << 3) | (nibbles[first] & 7U);
    if (index == 2 && pattern == kLetterL)
        return '@';
    return kDigitTable.digitOf[pattern];
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

namespace {

// The 56 segment bits, S(1) as the highest bit of the first nibble, counted from 1 as the bit map
// is written.
struct Segments
{
    uint8_t nibbles[Or200FrameBuffer::kFrameLength];
    uint64_t bits = 0;

    bool operator()(int n) const { return ((bits >> (56 - n)) & 1U) != 0; }
};

Segments readSegments(const std::string &frameNibbles)
{
    Segments s;
    for (size_t k = 0; k < Or200FrameBuffer::kFrameLength; ++k) {
        s.nibbles[k] = static_cast<uint8_t>(k < frameNibbles.size() ? hexValue(frameNibbles[k]) : 0);
        s.bits = (s.bits << 4) | s.nibbles[k];
    }
    return s;
}

struct Digits
{
    char sign, d1, d2, d3, d4;
};

// The numbers the presentation takes from the digits.
struct Numbers
{
    int nval = 0, gauge = 0, bar = 0, chart = 0;
};

// Every conversion the frame needs is done first, in the order the presentation uses them, so a
// frame that fails is rejected before any of it is applied. Returns the text that did not convert.
std::optional<std::string> convertNumbers(const Digits &d, const RangeConstants &range, Numbers *numbers)
{
    const bool overload = d.d2 == '0' && d.d3 == '@';
    if (overload) {
        numbers->nval = d.sign ? -range.FullScale : range.FullScale;
        numbers->gauge = d.sign ? 0 : range.GaugeSpan * 10;
        numbers->bar = range.BarFull;
        numbers->chart = d.sign ? -range.FullScale : range.FullScale;
        return std::nullopt;
    }
    ShortText count;
    count << d.sign << d.d1 << d.d2 << d.d3 << d.d4;
    const std::optional<int32_t> n = parseInteger(count.view());
    if (!n)
        return std::string(count.view());
    numbers->nval = *n;
    ShortText leading;
    leading << d.sign << d.d1 << d.d2 << d.d3;
    const std::optional<int32_t> g = parseInteger(leading.view());
    if (!g)
        return std::string(leading.view());
    numbers->gauge = *g + range.GaugeZero;
    ShortText head;
    head << d.d1 << d.d2;
    const std::optional<int32_t> b = parseInteger(head.view());
    if (!b)
        return std::string(head.view());
    numbers->bar = *b >= 2 ? *b : 1;
    numbers->chart = numbers->nval;
    return std::nullopt;
}

// Sign, points, AC/DC, AUTO and RS-232.
void showStatus(const Segments &S, const DecodeContext &context, LcdPanelState *panel, Reading *reading)
{
    panel->setVisible(LcdElement::LcdFH, S(5));
    panel->setVisible(LcdElement::LcdP1, S(13));
    panel->setVisible(LcdElement::LcdP2, S(21));
    panel->setVisible(LcdElement::LcdP3, S(29));

    panel->setVisible(LcdElement::LcdAC, S(1));
    if (isChecked(context.selectors, ModelSelector::IFOR230)) {
        panel->setVisible(LcdElement::LCDTRMST, S(1));
        panel->setVisible(LcdElement::LCDTRMS, S(1));
    }
    if (S(1))
        reading->dcac = "AC";
    if (S(2))
        reading->dcac = "DC";
    panel->setVisible(LcdElement::LcdAuto, S(3));
    reading->autoText = S(3) ? "AUTO" : "MANU";
    panel->setVisible(LcdElement::LCDRS, S(4));
    panel->setVisible(LcdElement::LCD232C, S(4));
}

// Prefix, unit and mode annunciators; the lit ones spell the unit in this order.
void showAnnunciators(const Segments &S, LcdPanelState *panel, Reading *reading)
{
    struct Annunciator
    {
        int bit;
        LcdElement element;
        char unitText; // 0: contributes nothing to the unit
    };
    static const Annunciator kAnnunciators[] = {
        {37, LcdElement::LCDu, 'u'},   {38, LcdElement::LCDn, 'n'}, {39, LcdElement::LCDk, 'k'},
        {40, LcdElement::LCDDI, 0},    {41, LcdElement::Lcdm, 'm'}, {42, LcdElement::LCDBF, '%'},
        {43, LcdElement::LCDM1, 'M'},  {44, LcdElement::LCDFm, 0},  {45, LcdElement::LCDF, 'F'},
        {46, LcdElement::LCDohm, '*'}, {47, LcdElement::LCDRec, 0}, {48, LcdElement::LCDHold, 0},
        {49, LcdElement::LCDA, 'A'},   {50, LcdElement::LcdV, 'V'}, {52, LcdElement::LCDBATT, 0},
    };
    ShortText unit;
    for (const Annunciator &a : kAnnunciators) {
        const bool on = S(a.bit);
        panel->setVisible(a.element, on);
        if (on)
            unit << a.unitText;
    }
    reading->unit = unit.view();
}

// The Celsius bit only counts outside frequency mode, and then it overrides prefix and unit.
// Returns whether the meter is in frequency mode.
bool applyCelsiusAndHertz(const Segments &S, LcdPanelState *panel, Reading *reading)
{
    const bool hertz = S(51);
    const bool celsius = S(56) && !hertz;
    panel->setVisible(LcdElement::LCDCS, celsius);
    if (celsius) {
        reading->dcac.clear();
        reading->unit = "#";
    }
    panel->setVisible(LcdElement::LCDHz, hertz);
    if (hertz) {
        reading->unit += "Hz";
        reading->autoText = "AUTO";
    }
    return hertz;
}

void composeValue(const Segments &S, const Digits &d, Reading *reading)
{
    ShortText value;
    value << d.sign << d.d1 << (S(13) ? '.' : 0) << d.d2 << (S(21) ? '.' : 0) << (d.d3 == '@' ? 'L' : d.d3)
          << (S(29) ? '.' : 0) << d.d4;
    reading->value = value.view();
}

} // namespace

FrameOutcome LcdDisplayOR200(const std::string &frameNibbles, const LcdPanelState &previous,
                             bool previousHzMode, const DecodeContext &context)
{
    const Segments S = readSegments(frameNibbles);
    const Digits digits = {S(5) ? '-' : char(0), decodeDigit(S.nibbles, 0), decodeDigit(S.nibbles, 1),
                           decodeDigit(S.nibbles, 2), decodeDigit(S.nibbles, 3)};
    const RangeConstants &range = context.range;
    Numbers numbers;
    if (const std::optional<std::string> text = convertNumbers(digits, range, &numbers)) {
        FrameOutcome failed;
        failed.panel = previous;
        failed.hzMode = previousHzMode;
        failed.error = invalidIntegerMessage(*text);
        return failed;
    }

    FrameOutcome outcome;
    LcdPanelState &panel = outcome.panel;
    Reading &reading = outcome.reading;
    panel = previous;
    showStatus(S, context, &panel, &reading);
    showAnnunciators(S, &panel, &reading);
    const bool hertz = applyCelsiusAndHertz(S, &panel, &reading);
    composeValue(S, digits, &reading);
    reading.Nval = static_cast<float>(numbers.nval);
    panel.digits = {digitText(digits.d1), digitText(digits.d2), digitText(digits.d3), digitText(digits.d4)};

    outcome.ok = true;
    outcome.inputs.maxSeenReset = static_cast<float>(-range.FullScale);
    outcome.inputs.minSeenReset = static_cast<float>(range.FullScale);
    outcome.inputs.gaugeInput = numbers.gauge;
    outcome.inputs.barPosition = numbers.bar;
    outcome.inputs.chartValue = numbers.chart;
    outcome.hzMode = hertz;
    outcome.hzModeChanged = hertz != previousHzMode;
    return outcome;
}
