#include "decode/FrameEncoders.h"
#include "decode/Or200Decoder.h"

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;

const Bytes kVoltFrame = {0x17, 0x20, 0x35, 0x4D, 0x5B, 0x61, 0x7F, 0x82, 0x97, 0xA0, 0xB0, 0xC0, 0xD4, 0xE0};
const Bytes kMegaOhmOverloadFrame = {0x12, 0x20, 0x30, 0x4F, 0x5D, 0x66, 0x78,
                                     0x80, 0x90, 0xA0, 0xB2, 0xC4, 0xD0, 0xE0};

DecodeContext contextFor(ModelSelector selector, const std::string &rangeClass = "4")
{
    DecodeContext c;
    c.selectors.set(static_cast<size_t>(selector));
    c.range = rangeConstantsFor(rangeClass);
    return c;
}

std::string lowNibbles(const Bytes &frame)
{
    static const char hex[] = "0123456789ABCDEF";
    std::string s;
    for (uint8_t b : frame)
        s += hex[b & 0x0F];
    return s;
}

FrameOutcome decode(const Bytes &frame, const DecodeContext &context = contextFor(ModelSelector::IFOR210),
                    const LcdPanelState &previous = LcdPanelState::startState(), bool previousHzMode = false)
{
    return LcdDisplayOR200(lowNibbles(frame), previous, previousHzMode, context);
}

std::set<std::string> visibleNames(const LcdPanelState &panel)
{
    std::set<std::string> names;
    for (int e = 0; e < kLcdElementCount; ++e) {
        if (panel.isVisible(static_cast<LcdElement>(e)))
            names.insert(lcdElementName(static_cast<LcdElement>(e)));
    }
    return names;
}

// Collects what a frame buffer hands on.
struct FrameSink
{
    std::vector<std::string> frames;
    std::function<void(const std::string &)> callback()
    {
        return [this](const std::string &f) {
            frames.push_back(f);
        };
    }
};

// digits: four characters as Or200Display takes them ('0'..'9', 'L', ' ').
Or200Display display(const std::string &digits, int pointAfter)
{
    Or200Display d;
    for (size_t i = 0; i < 4; ++i)
        d.digits[i] = digits[i];
    d.pointAfter = pointAfter;
    d.rs232 = false;
    return d;
}

} // namespace

// --- The two frames a meter of this family is documented to send -------------------------------

TEST(Or200Decoder, VoltFrameDecodesReadingPanelAndInputs)
{
    const FrameOutcome o = decode(kVoltFrame);
    ASSERT_TRUE(o.ok) << o.error;
    EXPECT_EQ(o.reading.value, "1.234");
    EXPECT_EQ(o.reading.unit, "V");
    EXPECT_EQ(o.reading.dcac, "DC");
    EXPECT_EQ(o.reading.autoText, "AUTO");
    EXPECT_EQ(o.reading.Nval, 1234.0f);
    EXPECT_EQ(visibleNames(o.panel), (std::set<std::string>{"LcdAuto", "LCDRS", "LCD232C", "LcdP1", "LcdV",
                                                            "LcdDa", "LcdDb", "LcdDc", "LcdDd"}));
    EXPECT_EQ(o.panel.digits, (std::array<std::string, 4>{"1", "2", "3", "4"}));
    EXPECT_EQ(o.inputs.gaugeInput, 123 + 400);
    EXPECT_EQ(o.inputs.barPosition, 12);
    EXPECT_EQ(o.inputs.chartValue, 1234);
    EXPECT_EQ(o.inputs.maxSeenReset, -4000.0f);
    EXPECT_EQ(o.inputs.minSeenReset, 4000.0f);
    EXPECT_FALSE(o.hzMode);
    EXPECT_FALSE(o.hzModeChanged);
}

TEST(Or200Decoder, MegaOhmOverloadFrame)
{
    const FrameOutcome o = decode(kMegaOhmOverloadFrame);
    ASSERT_TRUE(o.ok) << o.error;
    EXPECT_EQ(o.reading.value, ".0L");
    EXPECT_EQ(o.reading.unit, "M*");
    EXPECT_EQ(o.reading.dcac, "");
    EXPECT_EQ(o.reading.Nval, 4000.0f);
    EXPECT_EQ(o.panel.digits, (std::array<std::string, 4>{"", "0", "@", ""}));
    EXPECT_EQ(o.inputs.gaugeInput, 80 * 10);
    EXPECT_EQ(o.inputs.barPosition, 40);
    EXPECT_EQ(o.inputs.chartValue, 4000);
    EXPECT_TRUE(o.panel.isVisible(LcdElement::LCDM1));
    EXPECT_TRUE(o.panel.isVisible(LcdElement::LCDohm));
    EXPECT_FALSE(o.panel.isVisible(LcdElement::LCDRS));
}

// --- Readings built from displays: each row is a meter state a user can produce ---------------

struct ReadingCase
{
    const char *name;
    Or200Display display;
    std::string rangeClass;
    std::string value, unit, dcac, autoText;
    int nval, gauge, bar, chart;
};

class Or200Readings : public ::testing::TestWithParam<ReadingCase>
{};

TEST_P(Or200Readings, DecodeToReadingAndInputs)
{
    const ReadingCase &c = GetParam();
    const FrameOutcome o = decode(encodeOr200(c.display), contextFor(ModelSelector::IFOR210, c.rangeClass));
    ASSERT_TRUE(o.ok) << o.error;
    EXPECT_EQ(o.reading.value, c.value);
    EXPECT_EQ(o.reading.unit, c.unit);
    EXPECT_EQ(o.reading.dcac, c.dcac);
    EXPECT_EQ(o.reading.autoText, c.autoText);
    EXPECT_EQ(o.reading.Nval, static_cast<float>(c.nval));
    EXPECT_EQ(o.inputs.gaugeInput, c.gauge);
    EXPECT_EQ(o.inputs.barPosition, c.bar);
    EXPECT_EQ(o.inputs.chartValue, c.chart);
    EXPECT_EQ(static_cast<float>(o.inputs.chartValue), o.reading.Nval);
}

namespace {

std::vector<ReadingCase> readingCases()
{
    std::vector<ReadingCase> cases;
    auto add = [&cases](const char *name, Or200Display d, std::string value, std::string unit,
                        std::string dcac, std::string autoText, int nval, int gauge, int bar,
                        const char *rangeClass = "4") {
        cases.push_back({name, d, rangeClass, value, unit, dcac, autoText, nval, gauge, bar, nval});
    };

    Or200Display d = display("0001", 1);
    d.autoRange = d.volt = true;
    add("SmallestCountKeepsLeadingZeros", d, "0.001", "V", "", "AUTO", 1, 0 + 400, 1);

    d = display("0000", 1);
    d.autoRange = d.volt = true;
    add("ZeroHasBarAtOne", d, "0.000", "V", "", "AUTO", 0, 400, 1);

    d = display("3999", 1);
    d.minus = d.milli = d.volt = d.dc = true;
    add("NegativeMilliVolts", d, "-3.999", "mV", "DC", "MANU", -3999, -399 + 400, 39);

    d = display("1234", 0);
    d.volt = true;
    add("NoPointNoPointInValue", d, "1234", "V", "", "MANU", 1234, 523, 12);

    d = display("2301", 3);
    d.ac = d.dc = true;
    d.volt = true;
    add("AcAndDcGivesDc", d, "230.1", "V", "DC", "MANU", 2301, 630, 23);

    d = display("2301", 3);
    d.ac = d.volt = true;
    add("AcAlone", d, "230.1", "V", "AC", "MANU", 2301, 630, 23);

    d = display("1000", 1);
    d.hertz = d.kilo = true;
    add("HertzWithKiloForcesAuto", d, "1.000", "kHz", "", "AUTO", 1000, 500, 10);

    d = display("0250", 2);
    d.celsius = d.kilo = d.volt = d.dc = d.ac = true;
    add("CelsiusReplacesUnitAndClearsDcAc", d, "02.50", "#", "", "MANU", 250, 425, 2);

    d = display("5000", 2);
    d.celsius = d.hertz = true;
    add("CelsiusIgnoredInFrequencyMode", d, "50.00", "Hz", "", "AUTO", 5000, 900, 50);

    d = display("1111", 0);
    d.micro = d.nano = d.kilo = d.milli = d.percent = d.mega = d.farad = d.ohm = d.ampere = d.volt = d.hertz =
        true;
    d.diode = d.beeper = d.symbol = d.hold = d.battery = true; // shown, but no part of the unit
    add("UnitLettersInFixedOrder", d, "1111", "unkm%MF*AVHz", "", "AUTO", 1111, 511, 11);

    d = display(" 0L ", 1);
    d.minus = d.mega = d.ohm = true;
    add("NegativeOverload", d, "-.0L", "M*", "", "MANU", -4000, 0, 40);

    d = display(" 0L ", 2);
    d.ohm = true;
    add("OverloadInSixThousandCountRange", d, "0.L", "*", "", "MANU", 6000, 120 * 10, 60, "6");

    d = display(" 0L ", 2);
    d.ohm = d.minus = true;
    add("NegativeOverloadInThirtyFourHundredRange", d, "-0.L", "*", "", "MANU", -3400, 0, 34, "34");

    d = display(" 123", 3);
    d.volt = true;
    add("BlankLeadingDigit", d, "12.3", "V", "", "MANU", 123, 412, 1);
    return cases;
}

} // namespace

INSTANTIATE_TEST_SUITE_P(Displays, Or200Readings, ::testing::ValuesIn(readingCases()),
                         [](const ::testing::TestParamInfo<ReadingCase> &info) { return info.param.name; });

// --- Panel elements --------------------------------------------------------------------------

TEST(Or200Decoder, EveryAnnunciatorBitDrivesItsElement)
{
    struct Row
    {
        int bit;
        LcdElement element;
    };
    const Row rows[] = {
        {1, LcdElement::LcdAC},   {3, LcdElement::LcdAuto},  {4, LcdElement::LCDRS},
        {4, LcdElement::LCD232C}, {5, LcdElement::LcdFH},    {13, LcdElement::LcdP1},
        {21, LcdElement::LcdP2},  {29, LcdElement::LcdP3},   {37, LcdElement::LCDu},
        {38, LcdElement::LCDn},   {39, LcdElement::LCDk},    {40, LcdElement::LCDDI},
        {41, LcdElement::Lcdm},   {42, LcdElement::LCDBF},   {43, LcdElement::LCDM1},
        {44, LcdElement::LCDFm},  {45, LcdElement::LCDF},    {46, LcdElement::LCDohm},
        {47, LcdElement::LCDRec}, {48, LcdElement::LCDHold}, {49, LcdElement::LCDA},
        {50, LcdElement::LcdV},   {51, LcdElement::LCDHz},   {52, LcdElement::LCDBATT},
        {56, LcdElement::LCDCS},
    };
    // Digits 1, 2, 3, 4 so that every conversion succeeds.
    const Bytes digitsOnly = encodeOr200(display("1234", 0));
    std::string base;
    for (uint8_t b : digitsOnly)
        for (int i = 3; i >= 0; --i)
            base += (b >> i) & 1 ? '1' : '0';

    for (const Row &row : rows) {
        SCOPED_TRACE(lcdElementName(row.element));
        std::string bits = base;
        bits[static_cast<size_t>(row.bit - 1)] = '1';
        LcdPanelState allOn;
        allOn.visible.set();
        // Set from a clear previous state and cleared from an all-on one: nothing lingers.
        const FrameOutcome on = decode(encodeOr200Bits(bits));
        ASSERT_TRUE(on.ok) << on.error;
        EXPECT_TRUE(on.panel.isVisible(row.element));
        const FrameOutcome off = decode(digitsOnly, contextFor(ModelSelector::IFOR210), allOn);
        ASSERT_TRUE(off.ok) << off.error;
        EXPECT_FALSE(off.panel.isVisible(row.element));
    }
}

TEST(Or200Decoder, ElementsThisFamilyNeverTouchesKeepTheirState)
{
    LcdPanelState allOn;
    allOn.visible.set();
    const FrameOutcome o = decode(encodeOr200(display("1234", 0)), contextFor(ModelSelector::IFOR210), allOn);
    ASSERT_TRUE(o.ok);
    for (LcdElement e : {LcdElement::LcdDc1, LcdElement::LCDBT, LcdElement::LCDFS, LcdElement::LcdRPM,
                         LcdElement::LcdACDC, LcdElement::LcdDa, LcdElement::LcdDd, LcdElement::LCDTRMST}) {
        EXPECT_TRUE(o.panel.isVisible(e)) << lcdElementName(e);
    }
}

TEST(Or200Decoder, TrueRmsFollowsAcOnlyOnOr230)
{
    Or200Display d = display("1234", 0);
    d.ac = true;
    const FrameOutcome or230 = decode(encodeOr200(d), contextFor(ModelSelector::IFOR230));
    EXPECT_TRUE(or230.panel.isVisible(LcdElement::LCDTRMST));
    EXPECT_TRUE(or230.panel.isVisible(LcdElement::LCDTRMS));
    const FrameOutcome or210 = decode(encodeOr200(d), contextFor(ModelSelector::IFOR210));
    EXPECT_FALSE(or210.panel.isVisible(LcdElement::LCDTRMST));
    EXPECT_FALSE(or210.panel.isVisible(LcdElement::LCDTRMS));

    d.ac = false;
    const FrameOutcome dcOn230 = decode(encodeOr200(d), contextFor(ModelSelector::IFOR230), or230.panel);
    EXPECT_FALSE(dcOn230.panel.isVisible(LcdElement::LCDTRMST));
    EXPECT_FALSE(dcOn230.panel.isVisible(LcdElement::LCDTRMS));
}

TEST(Or200Decoder, HertzAutoOverridesTextButNotAutoLabel)
{
    Or200Display d = display("1000", 1);
    d.hertz = d.kilo = true;
    const FrameOutcome o = decode(encodeOr200(d));
    EXPECT_EQ(o.reading.autoText, "AUTO");
    EXPECT_FALSE(o.panel.isVisible(LcdElement::LcdAuto));
    EXPECT_TRUE(o.panel.isVisible(LcdElement::LCDHz));
    EXPECT_TRUE(o.panel.isVisible(LcdElement::LCDk));
}

TEST(Or200Decoder, HzModeSwitchIsReportedOnChangeOnly)
{
    Or200Display hz = display("5000", 2);
    hz.hertz = true;
    const Or200Display volts = display("1234", 1);
    struct Row
    {
        bool previous;
        const Or200Display *frame;
        bool hzMode, changed;
    } rows[] = {
        {false, &hz, true, true},
        {true, &hz, true, false},
        {true, &volts, false, true},
        {false, &volts, false, false},
    };
    for (const Row &r : rows) {
        const FrameOutcome o = decode(encodeOr200(*r.frame), contextFor(ModelSelector::IFOR210),
                                      LcdPanelState::startState(), r.previous);
        ASSERT_TRUE(o.ok);
        EXPECT_EQ(o.hzMode, r.hzMode);
        EXPECT_EQ(o.hzModeChanged, r.changed);
    }
}

TEST(Or200Decoder, LetterLIsOnlyADigitInThirdPlace)
{
    // The same L pattern in digits 1, 2 and 4 is no digit: blank caption, nothing in the value.
    const FrameOutcome o = decode(encodeOr200(display("L0LL", 0)));
    EXPECT_EQ(o.panel.digits, (std::array<std::string, 4>{"", "0", "@", ""}));
    EXPECT_EQ(o.reading.value, "0L");
    EXPECT_EQ(o.reading.Nval, 4000.0f);

    // Any pattern off the table (here the middle bar alone) shows nothing either.
    const FrameOutcome dash = decode(encodeOr200(display("-123", 0)));
    ASSERT_TRUE(dash.ok) << dash.error;
    EXPECT_EQ(dash.panel.digits[0], "");
    EXPECT_EQ(dash.reading.value, "123");
}

// --- Conversions that fail reject the whole frame -------------------------------------------

TEST(Or200Decoder, FailedConversionRejectsTheFrameWholesale)
{
    struct Row
    {
        std::string digits;
        bool minus;
        std::string error; // empty: the frame converts
    } rows[] = {
        {"    ", false, "'' is not a valid integer value"},
        {"    ", true, "'-' is not a valid integer value"},
        {"12L3", false, "'12@3' is not a valid integer value"}, // L outside the overload position
        {"  34", false, "'' is not a valid integer value"},     // count and gauge convert, the bar does not
        {"   4", true, "'-' is not a valid integer value"},     // the count converts, the gauge does not
        {" 0L ", false, ""},
        {"1L23", true, ""}, // L in digit 2 is no digit: -1.23 with a blank
    };
    LcdPanelState previous = LcdPanelState::startState();
    previous.setVisible(LcdElement::LCDHold, true);
    for (const Row &r : rows) {
        SCOPED_TRACE(r.digits);
        Or200Display d = display(r.digits, 1);
        d.minus = r.minus;
        d.volt = d.ac = true;
        const FrameOutcome o = decode(encodeOr200(d), contextFor(ModelSelector::IFOR210), previous, true);
        if (r.error.empty()) {
            EXPECT_TRUE(o.ok) << o.error;
            continue;
        }
        EXPECT_FALSE(o.ok);
        EXPECT_EQ(o.error, r.error);
        EXPECT_EQ(o.panel, previous);
        EXPECT_TRUE(o.hzMode);
        EXPECT_FALSE(o.hzModeChanged);
    }
}

// --- Frame assembly ------------------------------------------------------------------------

TEST(Or200FrameBuffer, FrameSplitAtAnyPointDecodesOnce)
{
    for (size_t cut = 1; cut < kVoltFrame.size(); ++cut) {
        Or200FrameBuffer buffer;
        FrameSink sink;
        buffer.receive(kVoltFrame.data(), cut, sink.callback());
        EXPECT_TRUE(sink.frames.empty());
        buffer.receive(kVoltFrame.data() + cut, kVoltFrame.size() - cut, sink.callback());
        ASSERT_EQ(sink.frames.size(), 1u) << "cut at " << cut;
        EXPECT_EQ(sink.frames[0], lowNibbles(kVoltFrame));
    }
    Or200FrameBuffer buffer;
    FrameSink sink;
    for (uint8_t b : kVoltFrame)
        buffer.receive(&b, 1, sink.callback());
    EXPECT_EQ(sink.frames.size(), 1u);
}

TEST(Or200FrameBuffer, MalformedRunsAreDroppedAndTheNextFrameDecodes)
{
    const Bytes missing = {0x17, 0x20, 0x35, 0x4D, 0x5B, 0x7F, 0x82, 0x97, 0xA0, 0xB0, 0xC0, 0xD4, 0xE0};
    const Bytes doubled = {0x17, 0x20, 0x35, 0x4D, 0x5B, 0x61, 0x61, 0x7F,
                           0x82, 0x97, 0xA0, 0xB0, 0xC0, 0xD4, 0xE0};
    const Bytes swapped = {0x17, 0x20, 0x35, 0x5B, 0x4D, 0x61, 0x7F,
                           0x82, 0x97, 0xA0, 0xB0, 0xC0, 0xD4, 0xE0};
    const Bytes stray = {0x11, 0x23, 0x35, 0x17, 0x20, 0x35, 0x4D, 0x5B, 0x61,
                         0x7F, 0x82, 0x97, 0xA0, 0xB0, 0xC0, 0xD4, 0xE0};
    // An E in the low nibble ends nothing.
    const Bytes lowNibbleE = {0x17, 0x20, 0x3E, 0x35, 0x4D, 0x5B, 0x61, 0x7F,
                              0x82, 0x97, 0xA0, 0xB0, 0xC0, 0xD4, 0xE0};

    const struct
    {
        const char *name;
        Bytes run;
    } rows[] = {
        {"thirteen bytes", missing},   {"fifteen bytes", doubled}, {"out of order", swapped},
        {"stray bytes before", stray}, {"end byte alone", {0xE0}}, {"low nibble E", lowNibbleE},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.name);
        Or200FrameBuffer buffer;
        FrameSink sink;
        Bytes stream = row.run;
        stream.insert(stream.end(), kMegaOhmOverloadFrame.begin(), kMegaOhmOverloadFrame.end());
        buffer.receive(stream.data(), stream.size(), sink.callback());
        ASSERT_EQ(sink.frames.size(), 1u);
        EXPECT_EQ(sink.frames[0], lowNibbles(kMegaOhmOverloadFrame));
        EXPECT_TRUE(buffer.FrameHighNibbles.empty());
        EXPECT_TRUE(buffer.FrameLowNibbles.empty());
    }
}

TEST(Or200FrameBuffer, BuffersStopGrowingYetLongRunsAreRejected)
{
    Or200FrameBuffer buffer;
    FrameSink sink;
    // A correct-looking start followed by a flood without end byte.
    Bytes flood(kVoltFrame.begin(), kVoltFrame.end() - 1);
    flood.insert(flood.end(), 100000, 0x55);
    buffer.receive(flood.data(), flood.size(), sink.callback());
    EXPECT_EQ(buffer.FrameHighNibbles.size(), Or200FrameBuffer::kFrameLength);
    EXPECT_EQ(buffer.FrameLowNibbles.size(), Or200FrameBuffer::kFrameLength);
    const uint8_t end = 0xE0;
    buffer.receive(&end, 1, sink.callback());
    EXPECT_TRUE(sink.frames.empty());

    buffer.receive(kVoltFrame.data(), kVoltFrame.size(), sink.callback());
    EXPECT_EQ(sink.frames.size(), 1u);
}

// --- Encoders ------------------------------------------------------------------------------

TEST(Or200Encoder, ReproducesTheKnownFramesByteForByte)
{
    Or200Display volts = display("1234", 1);
    volts.dc = volts.autoRange = volts.rs232 = volts.volt = true;
    EXPECT_EQ(encodeOr200(volts), kVoltFrame);

    Or200Display overload = display(" 0L ", 1);
    overload.autoRange = overload.mega = overload.ohm = true;
    EXPECT_EQ(encodeOr200(overload), kMegaOhmOverloadFrame);
}

TEST(Or200Encoder, BitsLandInTheirBytes)
{
    std::string bits(56, '0');
    bits[0] = '1';  // S[1]: byte 1 bit 3
    bits[55] = '1'; // S[56]: byte 14 bit 0
    bits[22] = '1'; // S[23]: byte 6 bit 1
    const Bytes frame = encodeOr200Bits(bits);
    ASSERT_EQ(frame.size(), 14u);
    for (size_t k = 0; k < frame.size(); ++k)
        EXPECT_EQ(frame[k] >> 4, static_cast<int>(k + 1));
    EXPECT_EQ(frame[0], 0x18);
    EXPECT_EQ(frame[5], 0x62);
    EXPECT_EQ(frame[13], 0xE1);
}

TEST(Or200Encoder, EveryDigitInEveryPlaceRoundTrips)
{
    for (char c = '0'; c <= '9'; ++c) {
        for (int place = 0; place < 4; ++place) {
            char digits[5] = "1111";
            digits[place] = c;
            const FrameOutcome o = decode(encodeOr200(display(digits, place == 3 ? 0 : place + 1)));
            ASSERT_TRUE(o.ok) << o.error;
            EXPECT_EQ(o.panel.digits[static_cast<size_t>(place)], std::string(1, c));
        }
    }
}

TEST(Or200Scenario, CycleDecodesCleanlyAndShowsWhatAUserExpects)
{
    Or200FrameBuffer buffer;
    bool previousHz = false;
    std::set<std::string> units, kinds;
    std::set<int> points;
    int frames = 0;
    for (long step = 0; step < 450; ++step) {
        const Bytes frame = or200ScenarioFrame(step);
        ASSERT_EQ(frame.size(), 14u);
        buffer.receive(frame.data(), frame.size(), [&](const std::string &nibbles) {
            const FrameOutcome o = LcdDisplayOR200(nibbles, LcdPanelState::startState(), previousHz,
                                                   contextFor(ModelSelector::IFOR210));
            ASSERT_TRUE(o.ok) << "step " << step << ": " << o.error;
            previousHz = o.hzMode;
            ++frames;
            units.insert(o.reading.unit);
            if (o.reading.dcac == "DC" && o.reading.Nval >= 0)
                points.insert(static_cast<int>(o.reading.value.find('.')));
            if (o.reading.Nval < 0)
                kinds.insert("negative");
            if (o.reading.value.find('L') != std::string::npos)
                kinds.insert("overload");
            if (o.reading.dcac == "AC")
                kinds.insert("ac");
        });
    }
    EXPECT_EQ(frames, 450);
    EXPECT_EQ(units, (std::set<std::string>{"V", "k*", "M*", "Hz", "kHz"}));
    EXPECT_EQ(kinds, (std::set<std::string>{"negative", "overload", "ac"}));
    EXPECT_EQ(points, (std::set<int>{1, 2})) << "expected a range change in the DC voltage readings";
    EXPECT_EQ(or200ScenarioFrame(3), or200ScenarioFrame(3 + 225));
}
