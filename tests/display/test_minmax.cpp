#include "display/AlarmBeeper.h"
#include "display/MinMax.h"

#include <QElapsedTimer>
#include <QGuiApplication>
#include <QTest>

#include <gtest/gtest.h>

#include <climits>

namespace {

Reading reading(const std::string &value, float nval, const std::string &unit = "V",
                const std::string &dcac = "DC")
{
    Reading r;
    r.value = value;
    r.Nval = nval;
    r.unit = unit;
    r.dcac = dcac;
    r.autoText = "AUTO";
    return r;
}

PresentationInputs or200Resets()
{
    PresentationInputs in;
    in.maxSeenReset = -4000.0f;
    in.minSeenReset = 4000.0f;
    return in;
}

} // namespace

TEST(DecimalPos, RightmostVisiblePointWins)
{
    struct Case
    {
        bool p1, p2, p3;
        int expected;
    };
    for (const Case c : {Case{false, false, false, 0}, Case{true, false, false, 1},
                         Case{false, true, false, 2}, Case{false, false, true, 3}, Case{true, true, false, 2},
                         Case{true, false, true, 3}, Case{true, true, true, 3}}) {
        LcdPanelState s;
        s.setVisible(LcdElement::LcdP1, c.p1);
        s.setVisible(LcdElement::LcdP2, c.p2);
        s.setVisible(LcdElement::LcdP3, c.p3);
        EXPECT_EQ(decimalPos(s), c.expected) << c.p1 << c.p2 << c.p3;
    }
}

TEST(MinMaxTracker, StartsFromTheRangeAndTheFirstFrameResets)
{
    MinMaxTracker t(rangeConstantsFor("6"));
    EXPECT_FLOAT_EQ(t.MaxSeen, -6001.0f);
    EXPECT_FLOAT_EQ(t.MinSeen, 6001.0f);
    EXPECT_EQ(t.LastUnit, "113");
    EXPECT_EQ(t.LastDecimalPos, 0);

    // Even a frame with no point resets: the unit text never equals "113".
    EXPECT_TRUE(t.update(reading("1234", 1234.0f), 0, or200Resets()));
    EXPECT_EQ(t.LastUnit, "V");
    EXPECT_FLOAT_EQ(t.MaxSeen, -4000.0f);
    EXPECT_FLOAT_EQ(t.MinSeen, 4000.0f);
    // The resetting frame itself does not enter the extremes; the texts stay empty.
    EXPECT_EQ(t.MaxSeenText, "");
    EXPECT_EQ(t.MinSeenText, "");

    // The next frame with the same unit and point is both the maximum and the minimum.
    EXPECT_FALSE(t.update(reading("1.250", 1250.0f), 0, or200Resets()));
    EXPECT_EQ(t.MaxSeenText, "1.250");
    EXPECT_EQ(t.MinSeenText, "1.250");
    EXPECT_FLOAT_EQ(t.MaxSeen, 1250.0f);
    EXPECT_FLOAT_EQ(t.MinSeen, 1250.0f);
}

TEST(MinMaxTracker, TracksExtremesAndEqualReadingsReplaceTheText)
{
    MinMaxTracker t;
    t.update(reading("0.000", 0.0f), 1, or200Resets());
    t.update(reading("1.000", 1000.0f), 1, or200Resets());
    t.update(reading("-2.000", -2000.0f), 1, or200Resets());
    t.update(reading("0.500", 500.0f), 1, or200Resets());
    EXPECT_EQ(t.MaxSeenText, "1.000");
    EXPECT_EQ(t.MinSeenText, "-2.000");

    // Same count, different text (an AC reading of the same size): the later text is kept.
    t.update(reading("1.000 ", 1000.0f, "V", "AC"), 1, or200Resets());
    EXPECT_EQ(t.MaxSeenText, "1.000 ");
    t.update(reading("-2.000 ", -2000.0f), 1, or200Resets());
    EXPECT_EQ(t.MinSeenText, "-2.000 ");
}

TEST(MinMaxTracker, UnitOrPointChangeResetsAcDcAloneDoesNot)
{
    MinMaxTracker t;
    t.update(reading("1.000", 1000.0f, "V", "DC"), 1, or200Resets());
    t.update(reading("1.000", 1000.0f, "V", "DC"), 1, or200Resets());
    EXPECT_FALSE(t.update(reading("1.200", 1200.0f, "V", "AC"), 1, or200Resets()));
    EXPECT_EQ(t.MaxSeenText, "1.200");

    // Point moves from after digit 1 to after digit 2: same unit, still a reset.
    EXPECT_TRUE(t.update(reading("12.00", 1200.0f, "V"), 2, or200Resets()));
    EXPECT_EQ(t.LastDecimalPos, 2);
    EXPECT_EQ(t.MaxSeenText, "1.200") << "old texts stay until the next update";

    EXPECT_TRUE(t.update(reading("120.0", 1200.0f, "mV"), 2, or200Resets()));
    EXPECT_EQ(t.LastUnit, "mV");
    EXPECT_FALSE(t.update(reading("120.0", 1200.0f, "mV"), 2, or200Resets()));

    // The reset takes the decoder's values, whatever they are.
    PresentationInputs vs;
    vs.maxSeenReset = -6000.0f;
    vs.minSeenReset = 6000.0f;
    EXPECT_TRUE(t.update(reading("1.0", 10.0f, "k*"), 2, vs));
    EXPECT_FLOAT_EQ(t.MaxSeen, -6000.0f);
    EXPECT_FLOAT_EQ(t.MinSeen, 6000.0f);
}

TEST(LimitAlarm, ComparisonsAreStrictAndNeedTheCheckBox)
{
    struct Case
    {
        float nval, upper, lower;
        bool maxOn, minOn, alarm;
    };
    const Case cases[] = {
        {2000, 2000, -2000, true, true, false},  // equal to the upper limit
        {-2000, 2000, -2000, true, true, false}, // equal to the lower limit
        {2001, 2000, -2000, true, false, true},
        {-2001, 2000, -2000, false, true, true},
        {2001, 2000, -2000, false, true, false}, // upper passed but not enabled
        {-2001, 2000, -2000, true, false, false},
        {9999, 0, 0, false, false, false},      // nothing enabled, nothing alarms
        {4000, 3999, -4002, true, false, true}, // overload count above a lower upper limit
        {0, 0, 0, true, true, false},
    };
    for (const Case &c : cases)
        EXPECT_EQ(limitAlarm(c.nval, c.upper, c.lower, c.maxOn, c.minOn), c.alarm)
            << c.nval << " " << c.upper << " " << c.lower << " " << c.maxOn << c.minOn;
}

TEST(LimitText, SignsAloneAndEmptyMeanZeroOtherwiseAnInteger)
{
    struct Case
    {
        std::string text;
        bool ok;
        float value;
    };
    const Case cases[] = {
        {"", true, 0},
        {"-", true, 0},
        {"+", true, 0},
        {"2000", true, 2000},
        {"-4000", true, -4000},
        {"+15", true, 15},
        {"007", true, 7},
        {"2147483647", true, 2147483647.0f},
        {"-2147483648", true, -2147483648.0f},
        {"2147483648", false, 0},
        {"4-", false, 0},
        {"--", false, 0},
        {"+-1", false, 0},
        {"abc", false, 0},
        {"12 ", false, 0},
        {" 12", false, 0},
        {"1.5", false, 0},
        {"99999999999999999999", false, 0},
    };
    for (const Case &c : cases) {
        const LimitText r = parseLimitText(c.text);
        EXPECT_EQ(r.ok, c.ok) << "'" << c.text << "'";
        if (c.ok) {
            EXPECT_FLOAT_EQ(r.value, c.value) << "'" << c.text << "'";
            EXPECT_TRUE(r.error.empty());
        } else {
            EXPECT_EQ(r.error, "'" + c.text + "' is not a valid integer value");
        }
    }
}

TEST(LimitKeys, DigitsSignsAndBackspaceOnly)
{
    for (char32_t c : std::u32string(U"0123456789+-\b"))
        EXPECT_TRUE(limitKeyAccepted(c)) << int(c);
    for (char32_t c : std::u32string(U"aZ.,* \r\t/=e\u00B5\u0661"))
        EXPECT_FALSE(limitKeyAccepted(c)) << int(c);
}

TEST(AlarmBeeper, CountsBeepsWithoutBlocking)
{
    AlarmBeeper beeper;
    if (QGuiApplication::platformName() == QLatin1String("offscreen")) {
        EXPECT_FALSE(beeper.toneEnabled()) << "headless runs stay quiet";
    }
    QElapsedTimer clock;
    clock.start();
    for (int i = 0; i < 5; ++i)
        beeper.beep();
    EXPECT_LT(clock.elapsed(), 250) << "a beep must not wait for the sound";
    QTest::qWait(200); // a real tone loads and plays meanwhile
    EXPECT_EQ(beeper.beepCount(), 5);
}
