#include "decode/FrameEncoders.h"
#include "decode/MeterDecoder.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;

DecodeContext contextFor(const ModelSelectors &selectors)
{
    const ModelProfile profile = profileFor(selectors);
    return DecodeContext{selectors, rangeConstantsFor(profile.rangeClass)};
}

ModelSelectors only(ModelSelector s)
{
    ModelSelectors selectors;
    selectors.set(static_cast<size_t>(s));
    return selectors;
}

Or200Display showing(const char *digits, int pointAfter)
{
    Or200Display d;
    for (size_t i = 0; i < 4; ++i)
        d.digits[i] = digits[i];
    d.pointAfter = pointAfter;
    return d;
}

// What MeterDecoder holds at the moment it reports each frame.
struct Seen
{
    FrameOutcome outcome;
    LcdPanelState panel;
    bool hzMode;
};

std::vector<Seen> feed(MeterDecoder &decoder, const Bytes &bytes)
{
    std::vector<Seen> seen;
    decoder.receive(bytes.data(), bytes.size(), [&](const FrameOutcome &o) {
        seen.push_back({o, decoder.panel(), decoder.hzMode()});
    });
    return seen;
}

Bytes concat(std::initializer_list<Bytes> parts)
{
    Bytes all;
    for (const Bytes &p : parts)
        all.insert(all.end(), p.begin(), p.end());
    return all;
}

} // namespace

TEST(MeterDecoder, FailedFrameChangesNothingAndTheBatchGoesOn)
{
    MeterDecoder decoder(DecoderFamily::OR200, contextFor(only(ModelSelector::IFOR210)));
    Or200Display hz = showing("5000", 2);
    hz.hertz = hz.hold = true;
    Or200Display blank = showing("    ", 0); // blank digits do not convert
    blank.volt = blank.ac = true;
    Or200Display volts = showing("1234", 1);
    volts.volt = volts.dc = true;

    const std::vector<Seen> seen =
        feed(decoder, concat({encodeOr200(hz), encodeOr200(blank), encodeOr200(volts)}));
    ASSERT_EQ(seen.size(), 3u);
    ASSERT_TRUE(seen[0].outcome.ok);
    EXPECT_TRUE(seen[0].hzMode);

    EXPECT_FALSE(seen[1].outcome.ok);
    EXPECT_EQ(seen[1].outcome.error, "'' is not a valid integer value");
    EXPECT_EQ(seen[1].panel, seen[0].panel);
    EXPECT_TRUE(seen[1].hzMode);
    EXPECT_TRUE(seen[1].panel.isVisible(LcdElement::LCDHold));

    ASSERT_TRUE(seen[2].outcome.ok);
    EXPECT_EQ(seen[2].outcome.reading.value, "1.234");
    // HzMode was kept through the failure, so leaving frequency mode is still seen as a switch.
    EXPECT_TRUE(seen[2].outcome.hzModeChanged);
    EXPECT_FALSE(seen[2].hzMode);
    EXPECT_FALSE(seen[2].panel.isVisible(LcdElement::LCDHold));
}

TEST(MeterDecoder, PanelCarriesOverFromTheLayoutStartState)
{
    MeterDecoder decoder(DecoderFamily::OR200, contextFor(only(ModelSelector::IFOR210)));
    EXPECT_EQ(decoder.panel(), LcdPanelState::startState());
    Or200Display d = showing("0042", 2);
    d.volt = true;
    const std::vector<Seen> seen = feed(decoder, encodeOr200(d));
    ASSERT_EQ(seen.size(), 1u);
    // The digit labels stay as the layout has them: this family never hides them.
    for (LcdElement e : {LcdElement::LcdDa, LcdElement::LcdDb, LcdElement::LcdDc, LcdElement::LcdDd})
        EXPECT_TRUE(decoder.panel().isVisible(e));
    EXPECT_FALSE(decoder.panel().isVisible(LcdElement::LcdFH));
    EXPECT_EQ(decoder.panel().digits, (std::array<std::string, 4>{"0", "0", "4", "2"}));
}

TEST(MeterDecoder, NoFamilyDecodesNothing)
{
    MeterDecoder decoder(DecoderFamily::None, contextFor(only(ModelSelector::IF7740x)));
    const std::vector<Seen> seen = feed(decoder, or200ScenarioFrame(0));
    EXPECT_TRUE(seen.empty());
    EXPECT_EQ(decoder.bufferedCharacters(), 0u);
}

TEST(MeterDecoder, RangeOfTheSelectorsReachesTheDecoder)
{
    // IFOther decides the family (it comes last), IFOR250 leaves its range class.
    ModelSelectors selectors = only(ModelSelector::IFOR250);
    selectors.set(static_cast<size_t>(ModelSelector::IFOther));
    ASSERT_EQ(profileFor(selectors).family, DecoderFamily::OR200);
    MeterDecoder decoder(DecoderFamily::OR200, contextFor(selectors));
    Or200Display overload = showing(" 0L ", 1);
    overload.ohm = overload.mega = true;
    const std::vector<Seen> seen = feed(decoder, encodeOr200(overload));
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0].outcome.reading.Nval, 6000.0f);
    EXPECT_EQ(seen[0].outcome.inputs.gaugeInput, 1200);
    EXPECT_EQ(seen[0].outcome.inputs.barPosition, 60);
    EXPECT_EQ(seen[0].outcome.inputs.maxSeenReset, -6000.0f);
}

TEST(MeterDecoder, GarbageWithoutEndBytesHoldsNoMoreThanAFrame)
{
    for (DecoderFamily family : {DecoderFamily::OR200, DecoderFamily::VS500}) {
        MeterDecoder decoder(family,
                             contextFor(only(family == DecoderFamily::OR200 ? ModelSelector::IFOR210
                                                                            : ModelSelector::IFVS500)));
        const Bytes garbage(1 << 20, 0x31);
        EXPECT_TRUE(feed(decoder, garbage).empty());
        EXPECT_LE(decoder.bufferedCharacters(), 2 * Or200FrameBuffer::kFrameLength);
    }
}
