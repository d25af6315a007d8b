#include "decode/FrameEncoders.h"
#include "decode/MeterDecoder.h"
#include "decode/Vs500Decoder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace {

using Names = std::set<std::string>;

DecodeContext contextFor(const std::vector<ModelSelector> &selectors = {ModelSelector::IF4408})
{
    DecodeContext context;
    for (ModelSelector s : selectors)
        context.selectors.set(static_cast<size_t>(s));
    context.range = rangeConstantsFor(profileFor(context.selectors).rangeClass);
    return context;
}

// The ten low nibbles of bytes 1..10 as text ("A31234B00A"); bytes carry high nibble 3 and the
// carriage return follows.
std::vector<uint8_t> wire(const std::string &tenNibbles)
{
    std::vector<uint8_t> bytes;
    for (char c : tenNibbles) {
        const int v = c <= '9' ? c - '0' : c - 'A' + 10;
        bytes.push_back(static_cast<uint8_t>(0x30 | v));
    }
    bytes.push_back(0x0D);
    return bytes;
}

FrameOutcome decode(const std::string &tenNibbles, const DecodeContext &context = contextFor(),
                    const LcdPanelState &previous = LcdPanelState())
{
    return LcdDisplayVS500(tenNibbles + "D", previous, context);
}

Names names(const std::string &spaceSeparated)
{
    Names out;
    std::istringstream in(spaceSeparated);
    for (std::string name; in >> name;)
        out.insert(name);
    return out;
}

Names visibleNames(const LcdPanelState &panel)
{
    Names out;
    for (int i = 0; i < kLcdElementCount; ++i)
        if (panel.visible.test(static_cast<size_t>(i)))
            out.insert(lcdElementName(static_cast<LcdElement>(i)));
    return out;
}

// The unit, prefix, function and point labels that the function table and its later steps drive.
Names unitLabelsShown(const LcdPanelState &panel)
{
    static const LcdElement kLabels[] = {
        LcdElement::LcdV,  LcdElement::LCDA,  LcdElement::LCDu,   LcdElement::Lcdm,  LcdElement::LCDk,
        LcdElement::LCDM1, LcdElement::LCDn,  LcdElement::LCDohm, LcdElement::LCDHz, LcdElement::LcdRPM,
        LcdElement::LCDF,  LcdElement::LCDCS, LcdElement::LCDFS,  LcdElement::LCDFm, LcdElement::LCDDI,
        LcdElement::LcdP1, LcdElement::LcdP2, LcdElement::LcdP3};
    Names out;
    for (LcdElement e : kLabels)
        if (panel.isVisible(e))
            out.insert(lcdElementName(e));
    return out;
}

std::string digitsShown(const LcdPanelState &panel)
{
    std::string out;
    for (LcdElement e : {LcdElement::LcdDa, LcdElement::LcdDb, LcdElement::LcdDc, LcdElement::LcdDd})
        out += panel.isVisible(e) ? '1' : '0';
    return out;
}

// ---------------------------------------------------------------------------------------------
// Frame assembly

struct Collected
{
    std::vector<std::string> frames;
    std::function<void(const std::string &)> sink()
    {
        return [this](const std::string &f) {
            frames.push_back(f);
        };
    }
};

void feed(Vs500FrameBuffer &buffer, const std::vector<uint8_t> &bytes, Collected &out)
{
    buffer.receive(bytes.data(), bytes.size(), out.sink());
}

TEST(Vs500FrameBuffer, WholeFrameGivesItsElevenLowNibbles)
{
    Vs500FrameBuffer buffer;
    Collected out;
    feed(buffer, wire("A31234B00A"), out);
    ASSERT_EQ(out.frames.size(), 1u);
    EXPECT_EQ(out.frames[0], "A31234B00AD");
    EXPECT_TRUE(buffer.FrameLowNibbles.empty());
    EXPECT_TRUE(buffer.FrameHighNibbles.empty());
}

TEST(Vs500FrameBuffer, FrameSplitAtEveryPointIsDecodedOnceAtTheCarriageReturn)
{
    const std::vector<uint8_t> bytes = wire("A31234B00A");
    for (size_t cut = 1; cut < bytes.size(); ++cut) {
        SCOPED_TRACE(cut);
        Vs500FrameBuffer buffer;
        Collected out;
        buffer.receive(bytes.data(), cut, out.sink());
        EXPECT_TRUE(out.frames.empty());
        buffer.receive(bytes.data() + cut, bytes.size() - cut, out.sink());
        ASSERT_EQ(out.frames.size(), 1u);
        EXPECT_EQ(out.frames[0], "A31234B00AD");
    }
}

TEST(Vs500FrameBuffer, AcceptsOnlyFramesMarkedAdOnCharactersOneAndEleven)
{
    struct Case
    {
        const char *name;
        std::vector<uint8_t> bytes;
        const char *accepted; // nullptr: dropped
    };
    const std::vector<Case> cases = {
        {"ten bytes", {0x3A, 0x33, 0x31, 0x32, 0x33, 0x34, 0x3B, 0x30, 0x30, 0x0D}, nullptr},
        {"first byte not A", wire("B31234B00A"), nullptr},
        {"twelve bytes, eleventh not D",
         {0x3A, 0x33, 0x31, 0x32, 0x33, 0x34, 0x3B, 0x30, 0x30, 0x3A, 0x31, 0x0D},
         nullptr},
        {"twelve bytes, eleventh D",
         {0x3A, 0x33, 0x31, 0x32, 0x33, 0x34, 0x3B, 0x30, 0x30, 0x3A, 0x3D, 0x0D},
         "A31234B00AD"},
        {"high nibbles ignored",
         {0xFA, 0x03, 0x51, 0x82, 0x93, 0x04, 0xEB, 0x70, 0x60, 0x1A, 0x0D},
         "A31234B00AD"},
        {"lone carriage return", {0x0D}, nullptr},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        Vs500FrameBuffer buffer;
        Collected out;
        feed(buffer, c.bytes, out);
        if (c.accepted) {
            ASSERT_EQ(out.frames.size(), 1u);
            EXPECT_EQ(out.frames[0], c.accepted);
        } else {
            EXPECT_TRUE(out.frames.empty());
        }
    }
}

std::vector<uint8_t> joined(std::initializer_list<std::vector<uint8_t>> parts)
{
    std::vector<uint8_t> all;
    for (const std::vector<uint8_t> &p : parts)
        all.insert(all.end(), p.begin(), p.end());
    return all;
}

TEST(Vs500FrameBuffer, LineFeedRightAfterTheCarriageReturnIsIgnored)
{
    const std::vector<uint8_t> lf = {0x0A};
    // A meter that sends raw nibbles: its start byte 0x0A looks like a line feed.
    const std::vector<uint8_t> raw = {0x0A, 0x03, 0x01, 0x02, 0x03, 0x04, 0x0B, 0x00, 0x00, 0x0A, 0x0D};
    // Status C = D (DC, AC, RS232 bit): the shifted frame would pass the test on its own.
    const std::vector<uint8_t> statusD = wire("A31234B00D");
    const struct
    {
        const char *name;
        std::vector<uint8_t> bytes;
        std::vector<std::string> frames;
    } cases[] = {
        {"CR LF lines",
         joined({wire("A31234B00A"), lf, wire("A21234B00A"), lf, wire("A11234B00A"), lf}),
         {"A31234B00AD", "A21234B00AD", "A11234B00AD"}},
        {"CR LF line whose status C is D",
         joined({statusD, lf, statusD, lf}),
         {"A31234B00DD", "A31234B00DD"}},
        {"a second line feed is byte 1",
         joined({wire("A31234B00A"), lf, lf, wire("A21234B00A")}),
         {"A31234B00AD"}},
        {"a line feed inside a line is a byte",
         joined({wire("A31234B00A"), {0x3A, 0x0A}, wire("A21234B00A")}),
         {"A31234B00AD"}},
        {"raw nibbles: 0x0A after a CR is still byte 1",
         joined({raw, raw, raw}),
         {"A31234B00AD", "A31234B00AD", "A31234B00AD"}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        // Cut anywhere, including between the carriage return and its line feed.
        for (size_t cut = 0; cut <= c.bytes.size(); ++cut) {
            SCOPED_TRACE(cut);
            Vs500FrameBuffer buffer;
            Collected out;
            buffer.receive(c.bytes.data(), cut, out.sink());
            buffer.receive(c.bytes.data() + cut, c.bytes.size() - cut, out.sink());
            EXPECT_EQ(out.frames, c.frames);
        }
    }
}

TEST(Vs500FrameBuffer, BuffersStopAtElevenCharactersUntilTheCarriageReturn)
{
    Vs500FrameBuffer buffer;
    Collected out;
    std::vector<uint8_t> bytes = {0x3A, 0x33, 0x31, 0x32, 0x33, 0x34, 0x3B, 0x30, 0x30, 0x3A, 0x3D};
    bytes.insert(bytes.end(), 5000, 0x37);
    feed(buffer, bytes, out);
    EXPECT_EQ(buffer.FrameLowNibbles, "A31234B00AD");
    EXPECT_EQ(buffer.FrameHighNibbles, "33333333333");
    EXPECT_TRUE(out.frames.empty());

    const uint8_t cr = 0x0D;
    buffer.receive(&cr, 1, out.sink());
    ASSERT_EQ(out.frames.size(), 1u);
    EXPECT_EQ(out.frames[0], "A31234B00AD");
    EXPECT_EQ(buffer.FrameNibbles, "A31234B00AD");
}

TEST(Vs500FrameBuffer, FrameNibblesAreCopiedAtEveryCarriageReturn)
{
    Vs500FrameBuffer buffer;
    Collected out;
    feed(buffer, {0x31, 0x32, 0x0D}, out);
    EXPECT_TRUE(out.frames.empty());
    EXPECT_EQ(buffer.FrameNibbles, "12D");
}

// ---------------------------------------------------------------------------------------------
// Decoding

TEST(Vs500Decode, ReferenceFrameGivesVoltsDcAutoAndExactlyItsLabels)
{
    const FrameOutcome o = decode("A31234B00A");
    ASSERT_TRUE(o.ok) << o.error;
    EXPECT_EQ(o.reading.value, "123.4");
    EXPECT_EQ(o.reading.unit, "V");
    EXPECT_EQ(o.reading.dcac, "DC");
    EXPECT_EQ(o.reading.autoText, "AUTO");
    EXPECT_EQ(o.reading.Nval, 1234.0f);
    EXPECT_EQ(visibleNames(o.panel),
              names("LcdDa LcdDb LcdDc LcdDd LcdP3 LcdV LcdDc1 LcdAuto LCDRS LCD232C"));
    EXPECT_EQ(o.panel.digits, (std::array<std::string, 4>{"1", "2", "3", "4"}));
    EXPECT_EQ(o.inputs.gaugeInput, 123 + 400);
    EXPECT_EQ(o.inputs.barPosition, 12);
    EXPECT_EQ(o.inputs.chartValue, 1234);
    EXPECT_EQ(o.inputs.maxSeenReset, -4001.0f);
    EXPECT_EQ(o.inputs.minSeenReset, 4001.0f);
    EXPECT_FALSE(o.hzMode);
    EXPECT_FALSE(o.hzModeChanged);
}

TEST(Vs500Decode, EveryDrivenElementIsSetFromTheFrameAloneAndTheOthersKeepTheirState)
{
    LcdPanelState everything;
    everything.visible.set();
    const FrameOutcome o = decode("A31234B00A", contextFor(), everything);
    ASSERT_TRUE(o.ok);
    // Hold, record, percent and LCDBT belong to the other family; AC+DC and true RMS only to OR380.
    EXPECT_EQ(visibleNames(o.panel), names("LcdDa LcdDb LcdDc LcdDd LcdP3 LcdV LcdDc1 LcdAuto LCDRS LCD232C "
                                           "LCDHold LCDRec LCDBF LCDBT LcdACDC LCDTRMST LCDTRMS"));

    const FrameOutcome or380 = decode("A31234B00A", contextFor({ModelSelector::IFOR380}), everything);
    EXPECT_EQ(visibleNames(or380.panel),
              names("LcdDa LcdDb LcdDc LcdDd LcdP3 LcdV LcdDc1 LcdAuto LCDHold LCDRec LCDBF LCDBT"));
}

TEST(Vs500Decode, StatusBits)
{
    struct Case
    {
        const char *frame;
        std::vector<ModelSelector> selectors;
        const char *dcac;
        const char *autoText;
        const char *shown; // among the status labels below
    };
    const LcdElement statusLabels[] = {LcdElement::LcdFH,   LcdElement::LCDBATT, LcdElement::LcdAC,
                                       LcdElement::LcdDc1,  LcdElement::LcdACDC, LcdElement::LCDTRMST,
                                       LcdElement::LCDTRMS, LcdElement::LcdAuto, LcdElement::LCDRS,
                                       LcdElement::LCD232C};
    const std::vector<Case> cases = {
        {"A31234B001", {ModelSelector::IF4408}, "", "MANU", ""},
        {"A31234B000", {ModelSelector::IF4408}, "", "MANU", "LCDRS LCD232C"},
        {"A31234B004", {ModelSelector::IF4408}, "AC", "MANU", "LcdAC LCDRS LCD232C"},
        {"A31234B00D", {ModelSelector::IF4408}, "DC", "MANU", "LcdAC LcdDc1"},
        {"A31234B00F", {ModelSelector::IF4408}, "DC", "AUTO", "LcdAC LcdDc1 LcdAuto"},
        {"A31234B601", {ModelSelector::IF4408}, "", "MANU", "LcdFH LCDBATT"},
        {"A31234B005", {ModelSelector::IFOR380}, "AC", "MANU", "LcdACDC LCDTRMST LCDTRMS"},
        {"A31234B00C", {ModelSelector::IFOR380}, "DC", "MANU", "LcdACDC LCDTRMST LCDTRMS LcdDc1"},
        {"A31234B000", {ModelSelector::IFOR380}, "", "MANU", ""},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.frame);
        LcdPanelState previous;
        previous.visible.set();
        const FrameOutcome o = decode(c.frame, contextFor(c.selectors), previous);
        ASSERT_TRUE(o.ok) << o.error;
        EXPECT_EQ(o.reading.dcac, c.dcac);
        EXPECT_EQ(o.reading.autoText, c.autoText);
        Names shown;
        for (LcdElement e : statusLabels)
            if (o.panel.isVisible(e))
                shown.insert(lcdElementName(e));
        Names expected = names(c.shown);
        // Without OR380 the AC+DC and true RMS labels are not driven and keep the (all-on) previous state.
        if (!isChecked(contextFor(c.selectors).selectors, ModelSelector::IFOR380))
            expected.insert({"LcdACDC", "LCDTRMST", "LCDTRMS"});
        EXPECT_EQ(shown, expected);
    }
}

struct FunctionCase
{
    std::vector<ModelSelector> selectors;
    char function;
    char range;
    bool judge;
    const char *unit;
    const char *labels;
    const char *value;
};

TEST(Vs500Decode, FunctionTableRows)
{
    using S = ModelSelector;
    const std::vector<FunctionCase> cases = {
        // voltage
        {{S::IF4408}, 'B', '0', false, "mV", "LcdV Lcdm LcdP3", "123.4"},
        {{S::IF4408}, 'B', '1', false, "V", "LcdV LcdP1", "1.234"},
        {{S::IF4408}, 'B', '2', false, "V", "LcdV LcdP2", "12.34"},
        {{S::IF4408}, 'B', '3', false, "V", "LcdV LcdP3", "123.4"},
        {{S::IF4408}, 'B', '4', false, "V", "LcdV", "1234"},
        {{S::IF4408}, 'B', '9', false, "V", "LcdV", "1234"},
        {{S::IF4408, S::IF7740x}, 'B', '0', false, "V", "LcdV LcdP1", "1.234"},
        {{S::IF4408, S::IF7740x}, 'B', '1', false, "V", "LcdV LcdP2", "12.34"},
        {{S::IF4408, S::IF7740x}, 'B', '2', false, "V", "LcdV LcdP3", "123.4"},
        {{S::IF4408, S::IF7740x}, 'B', '3', false, "V", "LcdV", "1234"},
        {{S::IF4408, S::IF7740x}, 'B', '4', false, "mV", "LcdV Lcdm LcdP3", "123.4"},
        // currents
        {{S::IF4408}, 'D', '0', false, "uA", "LCDu LCDA LcdP3", "123.4"},
        {{S::IF4408}, 'D', '1', false, "uA", "LCDu LCDA", "1234"},
        {{S::IF4408}, '9', '0', false, "mA", "Lcdm LCDA LcdP2", "12.34"},
        {{S::IF4408}, '9', '1', false, "mA", "Lcdm LCDA LcdP3", "123.4"},
        {{S::IF4408}, '9', '2', false, "mA", "Lcdm LCDA", "1234"},
        {{S::IF4408, S::IF7740x}, '9', '5', false, "A", "LCDA LcdP2", "12.34"},
        {{S::IF4408}, 'F', '7', false, "A", "LCDA LcdP2", "12.34"},
        {{S::IF4408, S::IF7740x}, 'F', '0', false, "mA", "Lcdm LCDA LcdP2", "12.34"},
        {{S::IF4408, S::IF7740x}, 'F', '1', false, "mA", "Lcdm LCDA LcdP3", "123.4"},
        // resistance
        {{S::IF4408}, '3', '0', false, "*", "LCDohm LcdP3", "123.4"},
        {{S::IF4408}, '3', '1', false, "k*", "LCDohm LCDk LcdP1", "1.234"},
        {{S::IF4408}, '3', '2', false, "k*", "LCDohm LCDk LcdP2", "12.34"},
        {{S::IF4408}, '3', '3', false, "k*", "LCDohm LCDk LcdP3", "123.4"},
        {{S::IF4408}, '3', '4', false, "M*", "LCDohm LCDM1 LcdP1", "1.234"},
        {{S::IF4408}, '3', '5', false, "M*", "LCDohm LCDM1 LcdP2", "12.34"},
        {{S::IF4408}, '3', '6', false, "*", "LCDohm", "1234"},
        // frequency and speed
        {{S::IF4408}, '2', '0', false, "Hz", "LCDHz", "1234"},
        {{S::IFOR220}, '2', '0', false, "kHz", "LCDHz LCDk LcdP1", "1.234"},
        {{S::IFVS500}, '2', '0', false, "kHz", "LCDHz LCDk LcdP1", "1.234"},
        {{S::IFVS500}, '2', '1', false, "kHz", "LCDHz LCDk LcdP2", "12.34"},
        {{S::IF4408}, '2', '2', false, "kHz", "LCDHz LCDk LcdP3", "123.4"},
        {{S::IF4408}, '2', '3', false, "MHz", "LCDHz LCDM1 LcdP1", "1.234"},
        {{S::IF4408}, '2', '4', false, "MHz", "LCDHz LCDM1 LcdP2", "12.34"},
        {{S::IF4408}, '2', '5', false, "MHz", "LCDHz LCDM1 LcdP3", "123.4"},
        {{S::IF4408}, '2', '6', false, "", "LCDHz", "1234"},
        {{S::IF4408}, '2', '0', true, "kRPM", "LcdRPM LCDk LcdP2", "12.34"},
        {{S::IF4408}, '2', '1', true, "kRPM", "LcdRPM LCDk LcdP3", "123.4"},
        {{S::IF4408}, '2', '2', true, "MRPM", "LcdRPM LCDM1 LcdP1", "1.234"},
        {{S::IF4408}, '2', '3', true, "MRPM", "LcdRPM LCDM1 LcdP2", "12.34"},
        {{S::IF4408}, '2', '4', true, "MRPM", "LcdRPM LCDM1 LcdP3", "123.4"},
        {{S::IF4408}, '2', '5', true, "MRPM", "LcdRPM LCDM1", "1234"},
        {{S::IF4408}, '2', '6', true, "", "LcdRPM", "1234"},
        {{S::IF4408, S::IF7740x}, '2', '1', true, "kHz", "LCDHz LCDk LcdP2", "12.34"},
        // temperature, continuity, diode
        {{S::IF4408}, '4', '3', true, "#", "LCDCS", "1234"},
        {{S::IF4408}, '4', '3', false, "?", "LCDFS", "1234"},
        {{S::IF4408}, '5', '9', false, "&", "LCDFm LcdP3", "123.4"},
        {{S::IFOR220}, '5', '0', false, "&*", "LCDFm LCDohm LcdP3", "123.4"},
        {{S::IF4408}, '1', '7', false, ")", "LCDDI LcdV LcdP1", "1.234"},
        // capacitance
        {{S::IF4408}, '6', '0', false, "nF", "LCDF LCDn LcdP1", "1.234"},
        {{S::IF4408}, '6', '1', false, "nF", "LCDF LCDn LcdP2", "12.34"},
        {{S::IF4408}, '6', '2', false, "nF", "LCDF LCDn LcdP3", "123.4"},
        {{S::IF4408}, '6', '3', false, "uF", "LCDF LCDu LcdP1", "1.234"},
        {{S::IF4408}, '6', '4', false, "uF", "LCDF LCDu LcdP2", "12.34"},
        {{S::IF4408}, '6', '5', false, "uF", "LCDF LCDu LcdP3", "123.4"},
        {{S::IF4408}, '6', '6', false, "mF", "LCDF Lcdm LcdP1", "1.234"},
        {{S::IF4408}, '6', '7', false, "mF", "LCDF Lcdm LcdP2", "12.34"},
        {{S::IF4408}, '6', '8', false, "", "LCDF", "1234"},
        // codes without a function
        {{S::IF4408}, '0', '1', false, "", "", "1234"},
        {{S::IF4408}, '7', '1', false, "", "", "1234"},
        {{S::IF4408}, '8', '1', false, "", "", "1234"},
        {{S::IF4408}, 'A', '1', false, "", "", "1234"},
        {{S::IF4408}, 'C', '1', false, "", "", "1234"},
        {{S::IF4408}, 'E', '1', false, "", "", "1234"},
    };
    for (const FunctionCase &c : cases) {
        std::string frame = "A";
        frame += c.range;
        frame += "1234";
        frame += c.function;
        frame += c.judge ? "800" : "000";
        SCOPED_TRACE(frame + (c.selectors.size() > 1 ? " IF7740x" : ""));
        LcdPanelState previous;
        previous.visible.set(); // nothing may linger from a frame of another function
        const FrameOutcome o = decode(frame, contextFor(c.selectors), previous);
        ASSERT_TRUE(o.ok) << o.error;
        EXPECT_EQ(o.reading.unit, c.unit);
        EXPECT_EQ(unitLabelsShown(o.panel), names(c.labels));
        EXPECT_EQ(o.reading.value, c.value);
        EXPECT_EQ(o.reading.Nval, 1234.0f);
    }
}

TEST(Vs500Decode, FrequencySubModeOverridesTheFunction)
{
    struct Case
    {
        const char *frame;
        const char *unit;
        const char *labels;
    };
    const std::vector<Case> cases = {
        {"A11234B010", "kHz", "LCDHz LCDk LcdP2"},
        {"A01234B010", "kHz", "LCDHz LCDk LcdP1"},
        {"A21234B010", "kHz", "LCDHz LCDk LcdP3"},
        {"A31234B010", "MHz", "LCDHz LCDM1 LcdP1"},
        {"A41234B010", "MHz", "LCDHz LCDM1 LcdP2"},
        {"A51234B010", "MHz", "LCDHz LCDM1 LcdP3"},
        // Beyond range 5 the function's own unit stays, without point or prefix.
        {"A71234B010", "V", "LCDHz"},
        // Labels the function showed stay; its prefix and ampere flags do not.
        {"A01234301A", "kHz", "LCDohm LCDHz LCDk LcdP1"},
        {"A31234601A", "MHz", "LCDF LCDHz LCDM1 LcdP1"},
        {"A01234D010", "kHz", "LCDHz LCDk LcdP1"},
        {"A01234201A", "kHz", "LCDHz LCDk LcdP1"},
        // Only status A exactly 0 with status B exactly 1 switches.
        {"A11234B030", "V", "LcdV LcdP1"},
        {"A11234B210", "V", "LcdV LcdP1"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.frame);
        const FrameOutcome o = decode(c.frame);
        ASSERT_TRUE(o.ok) << o.error;
        EXPECT_EQ(o.reading.unit, c.unit);
        EXPECT_EQ(unitLabelsShown(o.panel), names(c.labels));
        EXPECT_FALSE(o.hzMode);
    }
}

TEST(Vs500Decode, Variant7740xShowsThreeDigitsForDiodeAndContinuity)
{
    const DecodeContext v7740 = contextFor({ModelSelector::IF4408, ModelSelector::IF7740x});

    const FrameOutcome diode = decode("A012341000", v7740);
    ASSERT_TRUE(diode.ok) << diode.error;
    EXPECT_EQ(diode.reading.value, "1.23");
    EXPECT_EQ(diode.reading.unit, ")V");
    EXPECT_EQ(diode.reading.Nval, 123.0f);
    EXPECT_EQ(diode.panel.digits[3], "");
    EXPECT_EQ(unitLabelsShown(diode.panel), names("LCDDI LcdV LcdP1"));
    EXPECT_EQ(diode.inputs.chartValue, 123);

    const FrameOutcome beep = decode("A001235000", v7740);
    ASSERT_TRUE(beep.ok) << beep.error;
    EXPECT_EQ(beep.reading.value, "012");
    EXPECT_EQ(beep.reading.unit, "&*");
    EXPECT_EQ(beep.reading.Nval, 12.0f);
    EXPECT_EQ(unitLabelsShown(beep.panel), names("LCDFm LCDohm"));
    // The point flag still counts for blanking although its label is hidden.
    EXPECT_EQ(digitsShown(beep.panel), "0111");

    // Without the variant the same frames keep four digits.
    EXPECT_EQ(decode("A012341000").reading.value, "1.234");
    EXPECT_EQ(decode("A001235000").reading.value, "012.3");
}

TEST(Vs500Decode, OverloadDisplay)
{
    struct Case
    {
        const char *frame;
        std::vector<ModelSelector> selectors;
        const char *value;
        float Nval;
        int gauge, bar, chart;
    };
    using S = ModelSelector;
    const std::vector<Case> cases = {
        {"A21234B50A", {S::IF4408}, "-0.L", -4001.0f, 0, 40, -4000},
        {"A21234B10A", {S::IF4408}, "0.L", 4001.0f, 800, 40, 4000},
        {"A11234B10A", {S::IF4408}, ".0L", 4001.0f, 800, 40, 4000},
        {"A31234B10A", {S::IF4408}, "0L.", 4001.0f, 800, 40, 4000},
        {"A41234B10A", {S::IF4408}, "0L", 4001.0f, 800, 40, 4000},
        {"A012341100", {S::IF4408}, ".0L", 4001.0f, 800, 25, 4000},
        {"A012341500", {S::IF4408}, "-.0L", -4001.0f, 0, 25, -4000},
        {"A21234B10A", {S::IFOR250}, "0.L", 6001.0f, 1200, 60, 6000},
        {"A21234B50A", {S::IFOR220}, "-0.L", -3401.0f, 0, 34, -3400},
        // Digits the meter sends under the overload bit are never converted.
        {"A2FEDCB10A", {S::IF4408}, "0.L", 4001.0f, 800, 40, 4000},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.frame);
        const FrameOutcome o = decode(c.frame, contextFor(c.selectors));
        ASSERT_TRUE(o.ok) << o.error;
        EXPECT_EQ(o.reading.value, c.value);
        EXPECT_EQ(o.reading.Nval, c.Nval);
        EXPECT_EQ(o.inputs.gaugeInput, c.gauge);
        EXPECT_EQ(o.inputs.barPosition, c.bar);
        EXPECT_EQ(o.inputs.chartValue, c.chart);
        EXPECT_EQ(digitsShown(o.panel).front(), '0');
        EXPECT_EQ(digitsShown(o.panel).back(), '0');
        EXPECT_EQ(o.panel.digits[1], "0");
        EXPECT_EQ(o.panel.digits[2], "@");
    }
    const FrameOutcome o = decode("A21234B50A");
    EXPECT_EQ(o.panel.digits, (std::array<std::string, 4>{"1", "0", "@", "4"}));
    EXPECT_EQ(digitsShown(o.panel), "0110");
    EXPECT_TRUE(o.panel.isVisible(LcdElement::LcdFH));
}

TEST(Vs500Decode, LeadingZeroBlanking)
{
    struct Case
    {
        const char *frame;
        const char *value;
        const char *shown;
    };
    const std::vector<Case> cases = {
        {"A40005B000", "0005", "0001"},  {"A40055B000", "0055", "0011"},  {"A40555B000", "0555", "0111"},
        {"A45555B000", "5555", "1111"},  {"A40000B000", "0000", "0001"},  {"A40505B000", "0505", "0111"},
        {"A30005B000", "000.5", "0011"}, {"A30505B000", "050.5", "0111"}, {"A35005B000", "500.5", "1111"},
        {"A20005B000", "00.05", "0111"}, {"A25005B000", "50.05", "1111"}, {"A10005B000", "0.005", "1111"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.frame);
        LcdPanelState previous;
        previous.visible.reset(); // blanking starts from all four shown, not from the last frame
        const FrameOutcome o = decode(c.frame, contextFor(), previous);
        ASSERT_TRUE(o.ok) << o.error;
        EXPECT_EQ(o.reading.value, c.value);
        EXPECT_EQ(digitsShown(o.panel), c.shown);
    }
}

TEST(Vs500Decode, NumbersForTheReadingGaugeBarAndChart)
{
    struct Case
    {
        const char *frame;
        const char *value;
        float Nval;
        int gauge, bar, chart;
    };
    const std::vector<Case> cases = {
        {"A21234B000", "12.34", 1234.0f, 523, 12, 1234},
        {"A11234B400", "-1.234", -1234.0f, 400 - 123, 12, -1234},
        {"A20012B000", "00.12", 12.0f, 401, 1, 12},
        {"A10001B000", "0.001", 1.0f, 400, 1, 1},
        {"A10199B000", "0.199", 199.0f, 419, 1, 199},
        {"A10299B000", "0.299", 299.0f, 429, 2, 299},
        {"A13999B400", "-3.999", -3999.0f, 1, 39, -3999},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.frame);
        const FrameOutcome o = decode(c.frame);
        ASSERT_TRUE(o.ok) << o.error;
        EXPECT_EQ(o.reading.value, c.value);
        EXPECT_EQ(o.reading.Nval, c.Nval);
        EXPECT_EQ(o.inputs.gaugeInput, c.gauge);
        EXPECT_EQ(o.inputs.barPosition, c.bar);
        EXPECT_EQ(o.inputs.chartValue, c.chart);
    }
    const FrameOutcome six = decode("A15999B000", contextFor({ModelSelector::IFOR380}));
    EXPECT_EQ(six.inputs.gaugeInput, 599 + 600);
    EXPECT_EQ(six.inputs.maxSeenReset, -6001.0f);
    EXPECT_EQ(six.inputs.minSeenReset, 6001.0f);
}

TEST(Vs500Decode, FailedConversionChangesNothing)
{
    struct Case
    {
        const char *frame;
        std::vector<ModelSelector> selectors;
        const char *error; // nullptr: the frame decodes
    };
    using S = ModelSelector;
    const std::vector<Case> cases = {
        {"AA1234B00A", {S::IF4408}, "'A' is not a valid integer value"},
        {"AF1234300A", {S::IF4408}, "'F' is not a valid integer value"},
        {"AC1234200A", {S::IF4408}, "'C' is not a valid integer value"},
        {"AB1234600A", {S::IF4408}, "'B' is not a valid integer value"},
        {"AD1234900A", {S::IF4408}, "'D' is not a valid integer value"},
        {"A11A34B00A", {S::IF4408}, "'1A34' is not a valid integer value"},
        {"A1123EB40A", {S::IF4408}, "'-123E' is not a valid integer value"},
        {"A0123E1000", {S::IF4408}, "'123E' is not a valid integer value"},
        {"AE1234401A", {S::IF4408}, "'E' is not a valid integer value"}, // sub-mode needs the range
        // No conversion needs these nibbles.
        {"AF1234500A", {S::IF4408}, nullptr},
        {"AF1234100A", {S::IF4408}, nullptr},
        {"AA1234400A", {S::IF4408}, nullptr},
        {"AA1234F00A", {S::IF4408}, nullptr},
        {"AA1234900A", {S::IF4408, S::IF7740x}, nullptr},
        {"A0123E1000", {S::IF4408, S::IF7740x}, nullptr},
        {"A0123E5000", {S::IF4408, S::IF7740x}, nullptr},
    };
    const FrameOutcome before = decode("A31234B00A");
    ASSERT_TRUE(before.ok);
    for (const Case &c : cases) {
        SCOPED_TRACE(c.frame);
        const FrameOutcome o = decode(c.frame, contextFor(c.selectors), before.panel);
        if (!c.error) {
            EXPECT_TRUE(o.ok) << o.error;
            continue;
        }
        EXPECT_FALSE(o.ok);
        EXPECT_EQ(o.error, c.error);
        EXPECT_EQ(o.panel, before.panel);
    }
}

TEST(Vs500MeterDecoder, FailedFrameLeavesPanelAndFollowingFramesDecode)
{
    MeterDecoder decoder(DecoderFamily::VS500, contextFor());
    std::vector<FrameOutcome> outcomes;
    const auto collect = [&](const FrameOutcome &o) {
        outcomes.push_back(o);
    };

    std::vector<uint8_t> bytes = wire("A31234B00A");
    decoder.receive(bytes.data(), bytes.size(), collect);
    const LcdPanelState afterFirst = decoder.panel();

    bytes = wire("AA9999301A"); // resistance with range code A
    const std::vector<uint8_t> third = wire("A20042B408");
    bytes.insert(bytes.end(), third.begin(), third.end());
    decoder.receive(bytes.data(), bytes.size(), collect);

    ASSERT_EQ(outcomes.size(), 3u);
    EXPECT_TRUE(outcomes[0].ok);
    EXPECT_FALSE(outcomes[1].ok);
    EXPECT_EQ(outcomes[1].error, "'A' is not a valid integer value");
    ASSERT_TRUE(outcomes[2].ok);
    EXPECT_EQ(outcomes[2].reading.value, "-00.42");
    EXPECT_EQ(decoder.panel(), outcomes[2].panel);
    EXPECT_NE(decoder.panel(), afterFirst);
    EXPECT_EQ(decoder.bufferedCharacters(), 0u);

    // The failed frame alone, then no carriage return: nothing of it is kept.
    bytes = wire("AA9999301A");
    decoder.receive(bytes.data(), bytes.size(), collect);
    EXPECT_EQ(decoder.panel(), outcomes[2].panel);
    EXPECT_EQ(decoder.bufferedCharacters(), 0u);
}

TEST(Vs500MeterDecoder, BuffersStayBoundedWithoutCarriageReturn)
{
    MeterDecoder decoder(DecoderFamily::VS500, contextFor());
    const std::vector<uint8_t> junk(100000, 0x41);
    int frames = 0;
    decoder.receive(junk.data(), junk.size(), [&](const FrameOutcome &) { ++frames; });
    EXPECT_EQ(frames, 0);
    EXPECT_EQ(decoder.bufferedCharacters(), 2 * Vs500FrameBuffer::kFrameLength);
}

// ---------------------------------------------------------------------------------------------
// Encoder

TEST(Vs500Encoder, BuildsTheAsciiLineAMeterSends)
{
    Vs500Display d;
    d.range = 3;
    d.digits[0] = 1;
    d.digits[1] = 2;
    d.digits[2] = 3;
    d.digits[3] = 4;
    d.function = 0xB;
    d.statusC = 0xA;
    EXPECT_EQ(encodeVs500(d),
              (std::vector<uint8_t>{0x3A, '3', '1', '2', '3', '4', ';', '0', '0', ':', '\r'}));
}

TEST(Vs500Encoder, ScenarioCycleDecodesToReadingsThatFitTheModel)
{
    using S = ModelSelector;
    struct Case
    {
        std::vector<ModelSelector> selectors;
        const char *units;
    };
    const std::vector<Case> cases = {
        {{S::IF4408}, "V mV k* Hz"},
        {{S::IFVS500}, "V mV k* kHz"},
        {{S::IFOR220}, "V mV k* kHz"},
        {{S::IFOR240}, "V mV k* Hz"},
        {{S::IFOR250}, "V mV k* Hz"},
        {{S::IFOR380}, "V mV k* Hz"},
        {{S::IF7720, S::IF7740x}, "V mV k* Hz"},
    };
    for (const Case &c : cases) {
        const DecodeContext context = contextFor(c.selectors);
        const int fullScale = context.range.FullScale;
        SCOPED_TRACE(fullScale);
        SCOPED_TRACE(*c.selectors.begin() == S::IF7720 ? "7740x" : modelSelectorName(*c.selectors.begin()));
        MeterDecoder decoder(DecoderFamily::VS500, context);
        Names units;
        bool negative = false, overload = false, ac = false;
        float largest = 0.0f;
        for (long step = 0; step < 400; ++step) {
            const std::vector<uint8_t> frame = vs500ScenarioFrame(step, context.selectors);
            ASSERT_EQ(frame.size(), 11u);
            int frames = 0;
            decoder.receive(frame.data(), frame.size(), [&](const FrameOutcome &o) {
                ++frames;
                ASSERT_TRUE(o.ok) << o.error;
                units.insert(o.reading.unit);
                ac = ac || o.reading.dcac == "AC";
                if (o.reading.value.find('L') != std::string::npos) {
                    overload = true;
                    EXPECT_EQ(std::abs(o.reading.Nval), fullScale + 1.0f);
                } else {
                    EXPECT_LT(std::abs(o.reading.Nval), static_cast<float>(fullScale)) << o.reading.value;
                    negative = negative || o.reading.Nval < 0;
                    largest = std::max(largest, std::abs(o.reading.Nval));
                }
            });
            ASSERT_EQ(frames, 1) << step;
        }
        EXPECT_EQ(units, names(c.units));
        EXPECT_TRUE(negative);
        EXPECT_TRUE(overload);
        EXPECT_TRUE(ac);
        // The slow DC swing uses most of the model's range.
        EXPECT_GT(largest, 0.7f * static_cast<float>(fullScale));
    }
}

} // namespace
