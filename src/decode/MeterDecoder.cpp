#include "decode/MeterDecoder.h"

MeterDecoder::MeterDecoder(DecoderFamily family, const DecodeContext &context)
    : m_family(family), m_context(context)
{}

void MeterDecoder::receive(const uint8_t *data, size_t size,
                           const std::function<void(const FrameOutcome &)> &onFrame)
{
    switch (m_family) {
    case DecoderFamily::OR200:
        m_or200.receive(data, size, [&](const std::string &nibbles) {
            FrameOutcome outcome = LcdDisplayOR200(nibbles, m_panel, m_hzMode, m_context);
            if (outcome.ok) {
                m_panel = outcome.panel;
                m_hzMode = outcome.hzMode;
            }
            onFrame(outcome);
        });
        break;
    case DecoderFamily::VS500:
        m_vs500.receive(data, size, [&](const std::string &nibbles) {
            FrameOutcome outcome = LcdDisplayVS500(nibbles, m_panel, m_context);
            if (outcome.ok)
                m_panel = outcome.panel;
            onFrame(outcome);
        });
        break;
    case DecoderFamily::None:
        break;
    }
}

size_t MeterDecoder::bufferedCharacters() const
{
    return m_or200.FrameHighNibbles.size() + m_or200.FrameLowNibbles.size() +
           m_vs500.FrameHighNibbles.size() + m_vs500.FrameLowNibbles.size();
}
