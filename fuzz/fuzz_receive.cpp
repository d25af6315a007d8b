// The bound receive handler on arbitrary byte streams cut at arbitrary points, for every
// combination of model selectors, set up as the window does at start-up.
#include "FuzzCheck.h"
#include "ReceiveFuzzInput.h"

#include "decode/MeterDecoder.h"

#include <algorithm>
#include <cmath>

namespace {

const std::string kConversionSuffix = "' is not a valid integer value";

bool isConversionMessage(const std::string &error)
{
    return error.size() >= kConversionSuffix.size() + 1 && error.front() == '\'' &&
           error.compare(error.size() - kConversionSuffix.size(), kConversionSuffix.size(),
                         kConversionSuffix) == 0;
}

bool sameOutcome(const FrameOutcome &a, const FrameOutcome &b)
{
    return a.ok == b.ok && a.error == b.error && a.panel == b.panel && a.reading == b.reading &&
           a.inputs.maxSeenReset == b.inputs.maxSeenReset && a.inputs.minSeenReset == b.inputs.minSeenReset &&
           a.inputs.gaugeInput == b.inputs.gaugeInput && a.inputs.barPosition == b.inputs.barPosition &&
           a.inputs.chartValue == b.inputs.chartValue && a.hzMode == b.hzMode &&
           a.hzModeChanged == b.hzModeChanged;
}

// Feeds bytes to a decoder and checks what every frame does to the state it carries: an ok frame
// becomes the panel, a failed one leaves panel and HzMode as they were.
class CheckedDecoder
{
public:
    CheckedDecoder(DecoderFamily family, const DecodeContext &context) : m_decoder(family, context)
    {
        m_cap = family == DecoderFamily::OR200   ? 2 * Or200FrameBuffer::kFrameLength
                : family == DecoderFamily::VS500 ? 2 * Vs500FrameBuffer::kFrameLength
                                                 : 0;
    }

    void receive(const uint8_t *data, size_t size)
    {
        m_decoder.receive(data, size, [this](const FrameOutcome &outcome) { check(outcome); });
        FUZZ_CHECK(m_decoder.bufferedCharacters() <= m_cap, "receive buffers stay within their caps");
    }

    const MeterDecoder &decoder() const { return m_decoder; }
    std::vector<FrameOutcome> &outcomes() { return m_outcomes; }

private:
    void check(const FrameOutcome &outcome)
    {
        FUZZ_CHECK(m_decoder.family() != DecoderFamily::None, "an unbound decoder delivers no frame");
        const bool or200 = m_decoder.family() == DecoderFamily::OR200;
        if (outcome.ok) {
            FUZZ_CHECK(outcome.error.empty(), "an ok frame carries no error");
            FUZZ_CHECK(m_decoder.panel() == outcome.panel, "an ok frame's panel is carried on");
            FUZZ_CHECK(outcome.reading.autoText == "AUTO" || outcome.reading.autoText == "MANU",
                       "Auto is AUTO or MANU");
            FUZZ_CHECK(outcome.reading.dcac.empty() || outcome.reading.dcac == "AC" ||
                           outcome.reading.dcac == "DC",
                       "DC/AC is AC, DC or empty");
            FUZZ_CHECK(std::isfinite(outcome.reading.Nval), "Nval is a finite number");
            FUZZ_CHECK(std::fabs(outcome.reading.Nval) <= 9999.0f, "Nval is a display count");
            if (or200) {
                FUZZ_CHECK(m_decoder.hzMode() == outcome.hzMode, "HzMode follows an ok frame");
                FUZZ_CHECK(outcome.hzModeChanged == (outcome.hzMode != m_hzMode),
                           "hzModeChanged tells a change");
            } else {
                FUZZ_CHECK(!outcome.hzMode && !outcome.hzModeChanged, "VS500 frames never set HzMode");
            }
            m_panel = outcome.panel;
            m_hzMode = m_decoder.hzMode();
        } else {
            FUZZ_CHECK(isConversionMessage(outcome.error), "a failed frame carries the conversion message");
            FUZZ_CHECK(outcome.panel == m_panel, "a failed frame hands back the previous panel");
            FUZZ_CHECK(m_decoder.panel() == m_panel, "a failed frame leaves the panel as it was");
            FUZZ_CHECK(m_decoder.hzMode() == m_hzMode, "a failed frame leaves HzMode as it was");
        }
        m_outcomes.push_back(outcome);
    }

    MeterDecoder m_decoder;
    size_t m_cap = 0;
    LcdPanelState m_panel = LcdPanelState::startState();
    bool m_hzMode = false;
    std::vector<FrameOutcome> m_outcomes;
};

// Hands the stream to receive in the chunks the input asks for, then whatever is left in one call.
template <typename Receive> void receiveInChunks(const ReceiveFuzzInput &in, Receive receive)
{
    size_t at = 0;
    if (in.chunks.empty()) {
        receive(in.stream, in.streamSize);
        return;
    }
    size_t emptyCalls = 0;
    for (size_t c = 0; at < in.streamSize && emptyCalls < in.chunks.size(); c = (c + 1) % in.chunks.size()) {
        const size_t length = std::min<size_t>(in.chunks[c], in.streamSize - at);
        receive(in.stream + at, length);
        at += length;
        emptyCalls = length == 0 ? emptyCalls + 1 : 0;
    }
    if (at < in.streamSize)
        receive(in.stream + at, in.streamSize - at);
}

bool isHexText(const std::string &text)
{
    for (char c : text) {
        if (!((c >= '0' && c <= '9') || (c >= 'A' && c <= 'F')))
            return false;
    }
    return true;
}

// The family's frame buffer on its own: what it hands on and what it holds.
size_t framesCut(DecoderFamily family, const ReceiveFuzzInput &in)
{
    size_t frames = 0;
    if (family == DecoderFamily::OR200) {
        Or200FrameBuffer buffer;
        receiveInChunks(in, [&](const uint8_t *data, size_t size) {
            buffer.receive(data, size, [&](const std::string &nibbles) {
                FUZZ_CHECK(nibbles.size() == Or200FrameBuffer::kFrameLength && isHexText(nibbles),
                           "an OR200 frame is 14 low nibbles");
                FUZZ_CHECK(buffer.FrameHighNibbles.empty() && buffer.FrameLowNibbles.empty(),
                           "the buffers are emptied before a frame is handed on");
                ++frames;
            });
            FUZZ_CHECK(buffer.FrameHighNibbles.size() <= Or200FrameBuffer::kFrameLength &&
                           buffer.FrameLowNibbles.size() <= Or200FrameBuffer::kFrameLength &&
                           buffer.FrameNibbles.size() <= Or200FrameBuffer::kFrameLength,
                       "OR200 buffers stop at 14 characters");
            FUZZ_CHECK(buffer.FrameHighNibbles.size() == buffer.FrameLowNibbles.size(),
                       "high and low nibbles are buffered together");
        });
    } else {
        Vs500FrameBuffer buffer;
        receiveInChunks(in, [&](const uint8_t *data, size_t size) {
            buffer.receive(data, size, [&](const std::string &nibbles) {
                FUZZ_CHECK(nibbles.size() == Vs500FrameBuffer::kFrameLength && isHexText(nibbles) &&
                               nibbles.front() == 'A' && nibbles.back() == 'D',
                           "a VS500 frame is 11 low nibbles from A to D");
                FUZZ_CHECK(buffer.FrameHighNibbles.empty() && buffer.FrameLowNibbles.empty(),
                           "the buffers are emptied before a frame is handed on");
                ++frames;
            });
            FUZZ_CHECK(buffer.FrameHighNibbles.size() <= Vs500FrameBuffer::kFrameLength &&
                           buffer.FrameLowNibbles.size() <= Vs500FrameBuffer::kFrameLength &&
                           buffer.FrameNibbles.size() <= Vs500FrameBuffer::kFrameLength,
                       "VS500 buffers stop at 11 characters");
        });
    }
    return frames;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    ReceiveFuzzInput in;
    if (!ReceiveFuzzInput::parse(data, size, &in))
        return 0;

    const ModelProfile profile = profileFor(in.selectors);
    const DecodeContext context{in.selectors, rangeConstantsFor(profile.rangeClass)};
    DecoderFamily family = profile.family;
    if (family == DecoderFamily::None) {
        // No selector binds a handler: the bytes go nowhere.
        CheckedDecoder unbound(family, context);
        unbound.receive(in.stream, in.streamSize);
        FUZZ_CHECK(unbound.outcomes().empty() && unbound.decoder().bufferedCharacters() == 0,
                   "an unbound decoder keeps nothing");
        family = in.vs500WhenUnbound ? DecoderFamily::VS500 : DecoderFamily::OR200;
    }

    // The same stream in one call and cut into chunks must give the same frames.
    CheckedDecoder whole(family, context);
    whole.receive(in.stream, in.streamSize);

    CheckedDecoder cut(family, context);
    receiveInChunks(in, [&cut](const uint8_t *data, size_t size) { cut.receive(data, size); });

    FUZZ_CHECK(framesCut(family, in) == whole.outcomes().size(), "every frame cut is decoded once");
    FUZZ_CHECK(whole.outcomes().size() == cut.outcomes().size(), "cutting the stream keeps the frame count");
    for (size_t i = 0; i < whole.outcomes().size(); ++i)
        FUZZ_CHECK(sameOutcome(whole.outcomes()[i], cut.outcomes()[i]),
                   "cutting the stream keeps every frame");
    FUZZ_CHECK(whole.decoder().panel() == cut.decoder().panel(), "cutting the stream keeps the panel");
    FUZZ_CHECK(whole.decoder().bufferedCharacters() == cut.decoder().bufferedCharacters(),
               "cutting the stream keeps the buffers");

    // After any garbage, one end byte and a valid frame decode: an OR200 frame ends at any byte
    // whose high nibble is E, a VS500 frame at the carriage return.
    const uint8_t endByte = family == DecoderFamily::OR200 ? 0xE0 : 0x0D;
    cut.receive(&endByte, 1);
    FUZZ_CHECK(cut.decoder().bufferedCharacters() == 0, "an end byte empties the buffers");
    const size_t before = cut.outcomes().size();
    const std::vector<uint8_t> frame = in.validFrame(family);
    cut.receive(frame.data(), frame.size());
    FUZZ_CHECK(cut.outcomes().size() == before + 1, "the valid frame after the garbage arrives once");
    const FrameOutcome &last = cut.outcomes().back();
    FUZZ_CHECK(last.ok, "the valid frame after the garbage decodes");
    FUZZ_CHECK(last.reading.value == in.expectedValue(family), "the valid frame shows its value");
    FUZZ_CHECK(last.reading.unit == in.expectedUnit(family), "the valid frame shows its unit");
    FUZZ_CHECK(last.reading.Nval == in.expectedNval(), "the valid frame gives its Nval");
    FUZZ_CHECK(cut.decoder().bufferedCharacters() == 0, "a complete frame leaves the buffers empty");
    return 0;
}
