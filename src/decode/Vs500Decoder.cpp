#include "decode/Vs500Decoder.h"

#include "decode/IntegerText.h"
#include "decode/ShortText.h"

#include <vector>

namespace {

constexpr char kCarriageReturn = 0x0D;
constexpr char kLineFeed = 0x0A;
// The LCD font draws this character as the seven-segment L of the overload display.
constexpr char kOverloadCharacter = '@';

char hexDigit(unsigned v)
{
    return "0123456789ABCDEF"[v & 0xF];
}

unsigned nibbleValue(char c)
{
    if (c >= '0' && c <= '9')
        return static_cast<unsigned>(c - '0');
    if (c >= 'A' && c <= 'F')
        return static_cast<unsigned>(c - 'A' + 10);
    if (c >= 'a' && c <= 'f')
        return static_cast<unsigned>(c - 'a' + 10);
    return 0;
}

// Point, prefix and ampere flags of one frame.
struct Flags
{
    int point = 0; // 0: none, 1..3: after digit 1..3
    bool k = false, M = false, m = false, u = false, n = false, A = false;
};

// One range code's entry of a function row: where the point goes, which prefix lights, and the unit
// text that replaces the row's own (nullptr keeps it).
struct RangeCell
{
    int point;
    char prefix;
    const char *unit;
};
using RangeRow = std::vector<RangeCell>;

const RangeRow kVoltage = {
    {3, 'm', "mV"}, {1, 0, nullptr}, {2, 0, nullptr}, {3, 0, nullptr}, {0, 0, nullptr}};
const RangeRow kVoltage7740 = {
    {1, 0, nullptr}, {2, 0, nullptr}, {3, 0, nullptr}, {0, 0, nullptr}, {3, 'm', "mV"}};
const RangeRow kMicroampere = {{3, 0, nullptr}, {0, 0, nullptr}};
const RangeRow kMilliampere = {{2, 0, nullptr}, {3, 0, nullptr}};
const RangeRow kResistance = {{3, 0, nullptr}, {1, 'k', "k*"}, {2, 'k', "k*"},
                              {3, 'k', "k*"},  {1, 'M', "M*"}, {2, 'M', "M*"}};
const RangeRow kFrequency = {{0, 0, "Hz"},    {2, 'k', "kHz"}, {3, 'k', "kHz"},
                             {1, 'M', "MHz"}, {2, 'M', "MHz"}, {3, 'M', "MHz"}};
const RangeRow kSpeed = {{2, 'k', "kRPM"}, {3, 'k', "kRPM"}, {1, 'M', "MRPM"},
                         {2, 'M', "MRPM"}, {3, 'M', "MRPM"}, {0, 'M', "MRPM"}};
const RangeRow kCapacitance = {{1, 'n', "nF"}, {2, 'n', "nF"}, {3, 'n', "nF"}, {1, 'u', "uF"},
                               {2, 'u', "uF"}, {3, 'u', "uF"}, {1, 'm', "mF"}, {2, 'm', "mF"}};
// The frequency sub-mode that any function can switch to.
const RangeRow kFrequencySubMode = {{1, 'k', "kHz"}, {2, 'k', "kHz"}, {3, 'k', "kHz"},
                                    {1, 'M', "MHz"}, {2, 'M', "MHz"}, {3, 'M', "MHz"}};

void applyCell(const RangeCell &cell, Flags *flags, std::string *unit)
{
    flags->point = cell.point;
    switch (cell.prefix) {
    case 'k':
        flags->k = true;
        break;
    case 'M':
        flags->M = true;
        break;
    case 'm':
        flags->m = true;
        break;
    case 'u':
        flags->u = true;
        break;
    case 'n':
        flags->n = true;
        break;
    default:
        break;
    }
    if (cell.unit)
        *unit = cell.unit;
}

void applyRow(const RangeRow &row, int range, Flags *flags, std::string *unit)
{
    if (range >= 0 && static_cast<size_t>(range) < row.size())
        applyCell(row[static_cast<size_t>(range)], flags, unit);
}

// Collects the frame's integer conversions; the first failure is the one reported, and once a
// conversion has failed nothing of the frame is applied.
class Conversions
{
public:
    bool convert(std::string_view text, int *value)
    {
        if (const std::optional<int32_t> n = parseInteger(text)) {
            *value = *n;
            return true;
        }
        m_error = invalidIntegerMessage(text);
        return false;
    }

    const std::string &error() const { return m_error; }

private:
    std::string m_error;
};

bool isMarkedFrame(const std::string &nibbles)
{
    return nibbles.size() >= Vs500FrameBuffer::kFrameLength && nibbles[0] == 'A' && nibbles[10] == 'D';
}

} // namespace

void Vs500FrameBuffer::receive(const uint8_t *data, size_t size,
                               const std::function<void(const std::string &)> &onFrame)
{
    for (size_t i = 0; i < size; ++i) {
        const uint8_t byte = data[i];
        if (byte == kLineFeed && m_afterCarriageReturn) {
            m_afterCarriageReturn = false;
            m_lineFeedHeld = true;
            continue;
        }
        m_afterCarriageReturn = false;
        // Only the first eleven characters are ever read, so a line without a carriage return
        // cannot grow the buffers.
        if (FrameLowNibbles.size() < kFrameLength) {
            FrameLowNibbles.push_back(hexDigit(byte));
            FrameHighNibbles.push_back(hexDigit(byte >> 4));
        }
        if (byte != kCarriageReturn)
            continue;
        FrameNibbles = FrameLowNibbles;
        // Emptied before decoding: a frame that fails to convert must not be judged again at the
        // next carriage return.
        FrameLowNibbles.clear();
        FrameHighNibbles.clear();
        m_afterCarriageReturn = true;
        const bool lineFeedHeld = m_lineFeedHeld;
        m_lineFeedHeld = false;
        if (!isMarkedFrame(FrameNibbles) && lineFeedHeld) {
            const std::string withLineFeed = (hexDigit(kLineFeed) + FrameNibbles).substr(0, kFrameLength);
            if (isMarkedFrame(withLineFeed))
                FrameNibbles = withLineFeed;
        }
        if (isMarkedFrame(FrameNibbles))
            onFrame(FrameNibbles);
    }
}

FrameOutcome LcdDisplayVS500(const std::string &frameNibbles, const LcdPanelState &previous,
                             const DecodeContext &context)
{
    FrameOutcome failed;
    failed.panel = previous;
    // The frame buffer never passes a shorter text; a direct caller gets the conversion message.
    if (frameNibbles.size() < Vs500FrameBuffer::kFrameLength) {
        failed.error = invalidIntegerMessage(frameNibbles);
        return failed;
    }

    const auto character = [&](int n) {
        return frameNibbles[static_cast<size_t>(n - 1)];
    };
    const auto bit = [&](int byteNo, int bitNo) {
        return ((nibbleValue(frameNibbles[static_cast<size_t>(byteNo - 1)]) >> bitNo) & 1U) != 0;
    };
    const bool is7740x = isChecked(context.selectors, ModelSelector::IF7740x);
    const bool isOr380 = isChecked(context.selectors, ModelSelector::IFOR380);
    const bool isOr220 = isChecked(context.selectors, ModelSelector::IFOR220);
    const bool isVs500 = isChecked(context.selectors, ModelSelector::IFVS500);
    const int fullScale = context.range.FullScale;

    const bool judge = bit(8, 3);
    const bool minus = bit(8, 2);
    const bool lowBattery = bit(8, 1);
    const bool overload = bit(8, 0);
    const bool dcBit = bit(10, 3);
    const bool acBit = bit(10, 2);
    const bool autoBit = bit(10, 1);
    const bool rs232Bit = bit(10, 0);
    const char function = frameNibbles[6];
    const char rangeText[1] = {character(2)};

    Conversions conversions;
    const auto fail = [&]() {
        failed.error = conversions.error();
        return failed;
    };
    FrameOutcome outcome;
    outcome.panel = previous;
    LcdPanelState &panel = outcome.panel;
    Reading &reading = outcome.reading;
    const auto show = [&](LcdElement e, bool on) {
        panel.setVisible(e, on);
    };

    const char d1 = character(3);
    const char d2 = overload ? '0' : character(4);
    const char d3 = overload ? kOverloadCharacter : character(5);
    char d4 = character(6); // 0 once the 7740x hides it
    const char sign = minus ? '-' : 0;
    show(LcdElement::LcdFH, minus);
    show(LcdElement::LCDBATT, lowBattery);

    if (acBit) {
        reading.dcac = "AC";
        show(LcdElement::LcdAC, !isOr380);
    } else {
        show(LcdElement::LcdAC, false);
    }
    if (isOr380) {
        show(LcdElement::LcdACDC, acBit);
        show(LcdElement::LCDTRMST, acBit);
        show(LcdElement::LCDTRMS, acBit);
    }
    if (dcBit)
        reading.dcac = "DC";
    show(LcdElement::LcdDc1, dcBit);
    reading.autoText = autoBit ? "AUTO" : "MANU";
    show(LcdElement::LcdAuto, autoBit);
    const bool rs232Shown = !isOr380 && !rs232Bit;
    show(LcdElement::LCDRS, rs232Shown);
    show(LcdElement::LCD232C, rs232Shown);

    // The function table: each code lights its own label and hides the others' labels.
    Flags flags;
    std::string &unit = reading.unit;
    int range = 0;
    const auto needRange = [&]() {
        return conversions.convert(std::string_view(rangeText, 1), &range);
    };

    show(LcdElement::LcdV, function == 'B' || function == '1');
    show(LcdElement::LCDohm, function == '3' || (function == '5' && isOr220));
    show(LcdElement::LCDHz, false);
    show(LcdElement::LcdRPM, false);
    show(LcdElement::LCDCS, false);
    show(LcdElement::LCDFS, false);
    show(LcdElement::LCDFm, function == '5');
    show(LcdElement::LCDDI, function == '1');
    show(LcdElement::LCDF, function == '6');
    switch (function) {
    case 'B':
        unit = "V";
        if (!needRange())
            break;
        applyRow(is7740x ? kVoltage7740 : kVoltage, range, &flags, &unit);
        break;
    case 'D':
        unit = "uA";
        flags.u = flags.A = true;
        if (!needRange())
            break;
        applyRow(kMicroampere, range, &flags, &unit);
        break;
    case '9':
    case 'F':
        // The 7740x swaps the milliampere and ampere codes.
        if ((function == '9') != is7740x) {
            unit = "mA";
            flags.m = flags.A = true;
            if (!needRange())
                break;
            applyRow(kMilliampere, range, &flags, &unit);
        } else {
            unit = "A";
            flags.A = true;
            flags.point = 2;
        }
        break;
    case '3':
        unit = "*";
        if (!needRange())
            break;
        applyRow(kResistance, range, &flags, &unit);
        break;
    case '2':
        if (!judge || is7740x) {
            show(LcdElement::LCDHz, true);
            if (!needRange())
                break;
            if (range == 0 && (isOr220 || isVs500))
                applyCell({1, 'k', "kHz"}, &flags, &unit);
            else
                applyRow(kFrequency, range, &flags, &unit);
        } else {
            show(LcdElement::LcdRPM, true);
            if (!needRange())
                break;
            applyRow(kSpeed, range, &flags, &unit);
        }
        break;
    case '4':
        show(judge ? LcdElement::LCDCS : LcdElement::LCDFS, true);
        unit = judge ? "#" : "?";
        break;
    case '5':
        unit = isOr220 ? "&*" : "&";
        flags.point = 3;
        break;
    case '1':
        unit = ")";
        flags.point = 1;
        break;
    case '6':
        if (!needRange())
            break;
        applyRow(kCapacitance, range, &flags, &unit);
        break;
    default:
        break;
    }
    if (!conversions.error().empty())
        return fail();

    // Status A = 0 with status B = 1 turns any function into a frequency display.
    if (frameNibbles[7] == '0' && frameNibbles[8] == '1') {
        flags = Flags();
        show(LcdElement::LcdV, false);
        show(LcdElement::LCDHz, true);
        show(LcdElement::LcdRPM, false);
        if (!needRange())
            return fail();
        applyRow(kFrequencySubMode, range, &flags, &unit);
    }

    const char p1 = flags.point == 1 ? '.' : 0;
    const char p2 = flags.point == 2 ? '.' : 0;
    char p3 = flags.point == 3 ? '.' : 0;
    show(LcdElement::LcdP1, flags.point == 1);
    show(LcdElement::LcdP2, flags.point == 2);
    show(LcdElement::LcdP3, flags.point == 3);
    show(LcdElement::LCDk, flags.k);
    show(LcdElement::LCDM1, flags.M);
    show(LcdElement::Lcdm, flags.m);
    show(LcdElement::LCDu, flags.u);
    show(LcdElement::LCDA, flags.A);
    show(LcdElement::LCDn, flags.n);

    if (is7740x) {
        // This variant shows three digits for the diode and continuity functions.
        if (panel.isVisible(LcdElement::LCDDI)) {
            d4 = 0;
            unit += "V";
        }
        if (panel.isVisible(LcdElement::LCDFm)) {
            d4 = 0;
            p3 = 0;
            show(LcdElement::LcdP3, false);
            unit += "*";
            show(LcdElement::LCDohm, true);
        }
    }

    ShortText value;
    if (overload)
        value << sign << p1 << '0' << p2 << 'L' << p3;
    else
        value << sign << d1 << p1 << d2 << p2 << d3 << p3 << d4;
    reading.value = value.view();

    ShortText count;
    count << sign << d1 << d2 << d3 << d4;
    int nval = 0;
    if (overload)
        nval = minus ? -(fullScale + 1) : fullScale + 1;
    else if (!conversions.convert(count.view(), &nval))
        return fail();
    reading.Nval = static_cast<float>(nval);

    bool digitShown[4] = {true, true, true, true};
    if (flags.point == 0) {
        if (d1 == '0' && d2 == '0' && d3 == '0')
            digitShown[0] = digitShown[1] = digitShown[2] = false;
        else if (d1 == '0' && d2 == '0')
            digitShown[0] = digitShown[1] = false;
        else if (d1 == '0')
            digitShown[0] = false;
    }
    if (flags.point == 2 && d1 == '0')
        digitShown[0] = false;
    if (flags.point == 3) {
        if (d1 == '0' && d2 == '0')
            digitShown[0] = digitShown[1] = false;
        else if (d1 == '0')
            digitShown[0] = false;
    }
    if (overload)
        digitShown[0] = digitShown[3] = false;
    show(LcdElement::LcdDa, digitShown[0]);
    show(LcdElement::LcdDb, digitShown[1]);
    show(LcdElement::LcdDc, digitShown[2]);
    show(LcdElement::LcdDd, digitShown[3]);
    panel.digits = {digitText(d1), digitText(d2), digitText(d3), digitText(d4)};

    PresentationInputs &inputs = outcome.inputs;
    inputs.maxSeenReset = static_cast<float>(-(fullScale + 1));
    inputs.minSeenReset = static_cast<float>(fullScale + 1);
    if (overload) {
        inputs.gaugeInput = minus ? 0 : 10 * context.range.GaugeSpan;
        inputs.barPosition = function == '1' ? 25 : context.range.BarFull;
        inputs.chartValue = minus ? -fullScale : fullScale;
    } else {
        ShortText leading;
        leading << sign << d1 << d2 << d3;
        int gauge = 0;
        if (!conversions.convert(leading.view(), &gauge))
            return fail();
        inputs.gaugeInput = gauge + context.range.GaugeZero;
        ShortText head;
        head << d1 << d2;
        int bar = 0;
        if (!conversions.convert(head.view(), &bar))
            return fail();
        inputs.barPosition = bar >= 2 ? bar : 1;
        // The same text as the count, which has converted already.
        inputs.chartValue = nval;
    }

    outcome.ok = true;
    outcome.hzMode = false;
    outcome.hzModeChanged = false;
    return outcome;
}
