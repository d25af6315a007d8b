// The two decoders called directly with arbitrary texts, selectors and previous panels: a caller
// other than the frame buffers (the CLI, a test) may hand them anything.
#include "FuzzCheck.h"

#include "decode/Or200Decoder.h"
#include "decode/Vs500Decoder.h"

#include <cmath>
#include <string>

namespace {

const std::string kConversionSuffix = "' is not a valid integer value";

bool isConversionMessage(const std::string &error)
{
    return error.size() > kConversionSuffix.size() && error.front() == '\'' &&
           error.compare(error.size() - kConversionSuffix.size(), kConversionSuffix.size(),
                         kConversionSuffix) == 0;
}

void checkCommon(const FrameOutcome &outcome, const LcdPanelState &previous)
{
    if (!outcome.ok) {
        FUZZ_CHECK(isConversionMessage(outcome.error), "a failed frame carries the conversion message");
        FUZZ_CHECK(outcome.panel == previous, "a failed frame hands back the previous panel");
        return;
    }
    FUZZ_CHECK(outcome.error.empty(), "an ok frame carries no error");
    FUZZ_CHECK(std::isfinite(outcome.reading.Nval) && std::fabs(outcome.reading.Nval) <= 9999.0f,
               "Nval is a display count");
    FUZZ_CHECK(outcome.reading.autoText == "AUTO" || outcome.reading.autoText == "MANU",
               "Auto is AUTO or MANU");
    for (const std::string &digit : outcome.panel.digits)
        FUZZ_CHECK(digit.size() <= 1, "a digit caption is one character at most");
    FUZZ_CHECK(outcome.reading.value.size() <= 8, "the value is sign, four digits and a point at most");
}

} // namespace

// Layout: bytes 0..1 selector bits (little endian), byte 2 the previous HzMode in bit 0, bytes 3..8
// the previous panel's visible elements, the rest the frame text.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    constexpr size_t kHeader = 9;
    if (size < kHeader)
        return 0;
    const ModelSelectors selectors((data[0] | (unsigned(data[1]) << 8)) & ((1U << kModelSelectorCount) - 1));
    const bool previousHzMode = data[2] & 1;
    LcdPanelState previous = LcdPanelState::startState();
    for (int e = 0; e < kLcdElementCount; ++e)
        previous.visible.set(size_t(e), (data[3 + e / 8] >> (e % 8)) & 1);
    const std::string text(reinterpret_cast<const char *>(data + kHeader), size - kHeader);
    const DecodeContext context{selectors, rangeConstantsFor(profileFor(selectors).rangeClass)};

    const FrameOutcome or200 = LcdDisplayOR200(text, previous, previousHzMode, context);
    checkCommon(or200, previous);
    if (or200.ok)
        FUZZ_CHECK(or200.hzModeChanged == (or200.hzMode != previousHzMode), "hzModeChanged tells a change");
    else
        FUZZ_CHECK(or200.hzMode == previousHzMode, "a failed frame leaves HzMode as it was");

    const FrameOutcome vs500 = LcdDisplayVS500(text, previous, context);
    checkCommon(vs500, previous);
    for (LcdElement untouched :
         {LcdElement::LCDHold, LcdElement::LCDRec, LcdElement::LCDBF, LcdElement::LCDBT})
        FUZZ_CHECK(vs500.panel.isVisible(untouched) == previous.isVisible(untouched),
                   "VS500 frames leave Hold, Rec, BF and BT alone");
    FUZZ_CHECK(!vs500.hzMode && !vs500.hzModeChanged, "VS500 frames never set HzMode");
    return 0;
}
