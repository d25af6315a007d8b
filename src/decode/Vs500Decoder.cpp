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

namespace {

// The fields of one frame, read once in the order the meter sends them.
struct Vs500Frame
{
    char rangeCode;
    char d1, d2, d3, d4;
    char function;
    char statusA, statusB;
    bool judge, minus, lowBattery, overload;
    bool dc, ac, autoRange, rs232;
};

struct Vs500Model
{
    bool is7740x, isOr380, isOr220, isVs500;
};

// The characters of the value: sign, digits and the point after digit 1, 2 or 3 (0 for none).
struct ValueText
{
    char sign, d1, d2, d3, d4, p1, p2, p3;
};

Vs500Frame readFrame(const std::string &nibbles)
{
    const auto bit = [&](int byteNo, int bitNo) {
        return ((nibbleValue(nibbles[static_cast<size_t>(byteNo - 1)]) >> bitNo) & 1U) != 0;
    };
    Vs500Frame frame;
    frame.rangeCode = nibbles[1];
    frame.d1 = nibbles[2];
    frame.d2 = nibbles[3];
    frame.d3 = nibbles[4];
    frame.d4 = nibbles[5];
    frame.function = nibbles[6];
    frame.statusA = nibbles[7];
    frame.statusB = nibbles[8];
    frame.judge = bit(8, 3);
    frame.minus = bit(8, 2);
    frame.lowBattery = bit(8, 1);
    frame.overload = bit(8, 0);
    frame.dc = bit(10, 3);
    frame.ac = bit(10, 2);
    frame.autoRange = bit(10, 1);
    frame.rs232 = bit(10, 0);
    return frame;
}

Vs500Model readModel(const DecodeContext &context)
{
    return {isChecked(context.selectors, ModelSelector::IF7740x),
            isChecked(context.selectors, ModelSelector::IFOR380),
            isChecked(context.selectors, ModelSelector::IFOR220),
            isChecked(context.selectors, ModelSelector::IFVS500)};
}

bool readRange(const Vs500Frame &frame, Conversions *conversions, int *range)
{
    const char rangeText[1] = {frame.rangeCode};
    return conversions->convert(std::string_view(rangeText, 1), range);
}

// Sign, battery, AC/DC, AUTO and RS-232 annunciators.
void showStatus(const Vs500Frame &frame, const Vs500Model &model, LcdPanelState *panel, Reading *reading)
{
    panel->setVisible(LcdElement::LcdFH, frame.minus);
    panel->setVisible(LcdElement::LCDBATT, frame.lowBattery);
    if (frame.ac) {
        reading->dcac = "AC";
        panel->setVisible(LcdElement::LcdAC, !model.isOr380);
    } else {
        panel->setVisible(LcdElement::LcdAC, false);
    }
    if (model.isOr380) {
        panel->setVisible(LcdElement::LcdACDC, frame.ac);
        panel->setVisible(LcdElement::LCDTRMST, frame.ac);
        panel->setVisible(LcdElement::LCDTRMS, frame.ac);
    }
    if (frame.dc)
        reading->dcac = "DC";
    panel->setVisible(LcdElement::LcdDc1, frame.dc);
    reading->autoText = frame.autoRange ? "AUTO" : "MANU";
    panel->setVisible(LcdElement::LcdAuto, frame.autoRange);
    const bool rs232Shown = !model.isOr380 && !frame.rs232;
    panel->setVisible(LcdElement::LCDRS, rs232Shown);
    panel->setVisible(LcdElement::LCD232C, rs232Shown);
}

// The function table: each code lights its own label and hides the others' labels, then its range
// code places the point and the prefix. False when the range code does not convert.
bool applyFunction(const Vs500Frame &frame, const Vs500Model &model, Conversions *conversions,
                   LcdPanelState *panel, Flags *flags, std::string *unit)
{
    const char function = frame.function;
    const auto show = [&](LcdElement e, bool on) {
        panel->setVisible(e, on);
    };
    int range = 0;
    const auto needRange = [&]() {
        return readRange(frame, conversions, &range);
    };

    show(LcdElement::LcdV, function == 'B' || function == '1');
    show(LcdElement::LCDohm, function == '3' || (function == '5' && model.isOr220));
    show(LcdElement::LCDHz, false);
    show(LcdElement::LcdRPM, false);
    show(LcdElement::LCDCS, false);
    show(LcdElement::LCDFS, false);
    show(LcdElement::LCDFm, function == '5');
    show(LcdElement::LCDDI, function == '1');
    show(LcdElement::LCDF, function == '6');
    switch (function) {
    case 'B':
        *unit = "V";
        if (!needRange())
            return false;
        applyRow(model.is7740x ? kVoltage7740 : kVoltage, range, flags, unit);
        break;
    case 'D':
        *unit = "uA";
        flags->u = flags->A = true;
        if (!needRange())
            return false;
        applyRow(kMicroampere, range, flags, unit);
        break;
    case '9':
    case 'F':
        // The 7740x swaps the milliampere and ampere codes.
        if ((function == '9') != model.is7740x) {
            *unit = "mA";
            flags->m = flags->A = true;
            if (!needRange())
                return false;
            applyRow(kMilliampere, range, flags, unit);
        } else {
            *unit = "A";
            flags->A = true;
            flags->point = 2;
        }
        break;
    case '3':
        *unit = "*";
        if (!needRange())
            return false;
        applyRow(kResistance, range, flags, unit);
        break;
    case '2':
        if (!frame.judge || model.is7740x) {
            show(LcdElement::LCDHz, true);
            if (!needRange())
                return false;
            if (range == 0 && (model.isOr220 || model.isVs500))
                applyCell({1, 'k', "kHz"}, flags, unit);
            else
                applyRow(kFrequency, range, flags, unit);
        } else {
            show(LcdElement::LcdRPM, true);
            if (!needRange())
                return false;
            applyRow(kSpeed, range, flags, unit);
        }
        break;
    case '4':
        show(frame.judge ? LcdElement::LCDCS : LcdElement::LCDFS, true);
        *unit = frame.judge ? "#" : "?";
        break;
    case '5':
        *unit = model.isOr220 ? "&*" : "&";
        flags->point = 3;
        break;
    case '1':
        *unit = ")";
        flags->point = 1;
        break;
    case '6':
        if (!needRange())
            return false;
        applyRow(kCapacitance, range, flags, unit);
        break;
    default:
        break;
    }
    return true;
}

// Status A = 0 with status B = 1 turns any function into a frequency display.
bool applyFrequencySubMode(const Vs500Frame &frame, Conversions *conversions, LcdPanelState *panel,
                           Flags *flags, std::string *unit)
{
    if (frame.statusA != '0' || frame.statusB != '1')
        return true;
    *flags = Flags();
    panel->setVisible(LcdElement::LcdV, false);
    panel->setVisible(LcdElement::LCDHz, true);
    panel->setVisible(LcdElement::LcdRPM, false);
    int range = 0;
    if (!readRange(frame, conversions, &range))
        return false;
    applyRow(kFrequencySubMode, range, flags, unit);
    return true;
}

void showPointAndPrefix(const Flags &flags, LcdPanelState *panel)
{
    panel->setVisible(LcdElement::LcdP1, flags.point == 1);
    panel->setVisible(LcdElement::LcdP2, flags.point == 2);
    panel->setVisible(LcdElement::LcdP3, flags.point == 3);
    panel->setVisible(LcdElement::LCDk, flags.k);
    panel->setVisible(LcdElement::LCDM1, flags.M);
    panel->setVisible(LcdElement::Lcdm, flags.m);
    panel->setVisible(LcdElement::LCDu, flags.u);
    panel->setVisible(LcdElement::LCDA, flags.A);
    panel->setVisible(LcdElement::LCDn, flags.n);
}

// The 7740x shows three digits for the diode and continuity functions.
void fitThreeDigitFunctions(const Vs500Model &model, LcdPanelState *panel, ValueText *text, std::string *unit)
{
    if (!model.is7740x)
        return;
    if (panel->isVisible(LcdElement::LCDDI)) {
        text->d4 = 0;
        *unit += "V";
    }
    if (panel->isVisible(LcdElement::LCDFm)) {
        text->d4 = 0;
        text->p3 = 0;
        panel->setVisible(LcdElement::LcdP3, false);
        *unit += "*";
        panel->setVisible(LcdElement::LCDohm, true);
    }
}

void composeValue(const ValueText &t, bool overload, Reading *reading)
{
    ShortText value;
    if (overload)
        value << t.sign << t.p1 << '0' << t.p2 << 'L' << t.p3;
    else
        value << t.sign << t.d1 << t.p1 << t.d2 << t.p2 << t.d3 << t.p3 << t.d4;
    reading->value = value.view();
}

// Leading zeros before the point stay dark; the overload shows only its middle digits.
void showDigits(const ValueText &t, int point, bool overload, LcdPanelState *panel)
{
    bool digitShown[4] = {true, true, true, true};
    if (point == 0) {
        if (t.d1 == '0' && t.d2 == '0' && t.d3 == '0')
            digitShown[0] = digitShown[1] = digitShown[2] = false;
        else if (t.d1 == '0' && t.d2 == '0')
            digitShown[0] = digitShown[1] = false;
        else if (t.d1 == '0')
            digitShown[0] = false;
    }
    if (point == 2 && t.d1 == '0')
        digitShown[0] = false;
    if (point == 3) {
        if (t.d1 == '0' && t.d2 == '0')
            digitShown[0] = digitShown[1] = false;
        else if (t.d1 == '0')
            digitShown[0] = false;
    }
    if (overload)
        digitShown[0] = digitShown[3] = false;
    panel->setVisible(LcdElement::LcdDa, digitShown[0]);
    panel->setVisible(LcdElement::LcdDb, digitShown[1]);
    panel->setVisible(LcdElement::LcdDc, digitShown[2]);
    panel->setVisible(LcdElement::LcdDd, digitShown[3]);
    panel->digits = {digitText(t.d1), digitText(t.d2), digitText(t.d3), digitText(t.d4)};
}

// Gauge, bar and chart inputs; false when the leading digits do not convert.
bool presentationInputs(const ValueText &t, bool overload, bool diode, int nval, const RangeConstants &range,
                        Conversions *conversions, PresentationInputs *inputs)
{
    const int fullScale = range.FullScale;
    const bool minus = t.sign != 0;
    inputs->maxSeenReset = static_cast<float>(-(fullScale + 1));
    inputs->minSeenReset = static_cast<float>(fullScale + 1);
    if (overload) {
        inputs->gaugeInput = minus ? 0 : 10 * range.GaugeSpan;
        inputs->barPosition = diode ? 25 : range.BarFull;
        inputs->chartValue = minus ? -fullScale : fullScale;
        return true;
    }
    ShortText leading;
    leading << t.sign << t.d1 << t.d2 << t.d3;
    int gauge = 0;
    if (!conversions->convert(leading.view(), &gauge))
        return false;
    inputs->gaugeInput = gauge + range.GaugeZero;
    ShortText head;
    head << t.d1 << t.d2;
    int bar = 0;
    if (!conversions->convert(head.view(), &bar))
        return false;
    inputs->barPosition = bar >= 2 ? bar : 1;
    // The same text as the count, which has converted already.
    inputs->chartValue = nval;
    return true;
}

} // namespace

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
    Conversions conversions;
    const auto fail = [&]() {
        failed.error = conversions.error();
        return failed;
    };

    const Vs500Frame frame = readFrame(frameNibbles);
    const Vs500Model model = readModel(context);
    const int fullScale = context.range.FullScale;
    FrameOutcome outcome;
    outcome.panel = previous;
    LcdPanelState &panel = outcome.panel;
    Reading &reading = outcome.reading;

    showStatus(frame, model, &panel, &reading);
    Flags flags;
    if (!applyFunction(frame, model, &conversions, &panel, &flags, &reading.unit))
        return fail();
    if (!applyFrequencySubMode(frame, &conversions, &panel, &flags, &reading.unit))
        return fail();
    showPointAndPrefix(flags, &panel);

    ValueText text;
    text.sign = frame.minus ? '-' : 0;
    text.d1 = frame.d1;
    text.d2 = frame.overload ? '0' : frame.d2;
    text.d3 = frame.overload ? kOverloadCharacter : frame.d3;
    text.d4 = frame.d4;
    text.p1 = flags.point == 1 ? '.' : 0;
    text.p2 = flags.point == 2 ? '.' : 0;
    text.p3 = flags.point == 3 ? '.' : 0;
    fitThreeDigitFunctions(model, &panel, &text, &reading.unit);
    composeValue(text, frame.overload, &reading);

    ShortText count;
    count << text.sign << text.d1 << text.d2 << text.d3 << text.d4;
    int nval = 0;
    if (frame.overload)
        nval = frame.minus ? -(fullScale + 1) : fullScale + 1;
    else if (!conversions.convert(count.view(), &nval))
        return fail();
    reading.Nval = static_cast<float>(nval);

    showDigits(text, flags.point, frame.overload, &panel);
    if (!presentationInputs(text, frame.overload, frame.function == '1', nval, context.range, &conversions,
                            &outcome.inputs))
        return fail();

    outcome.ok = true;
    outcome.hzMode = false;
    outcome.hzModeChanged = false;
    return outcome;
}
