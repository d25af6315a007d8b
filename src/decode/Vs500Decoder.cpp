#include "decode/Vs500Decoder.h"

namespace {

char hexDigit(unsigned v)
{
    return "0123456789ABCDEF"[v & 0xF];
}

} // namespace

void Vs500FrameBuffer::receive(const uint8_t *data, size_t size,
                               const std::function<void(const std::string &)> &onFrame)
{
    for (size_t i = 0; i < size; ++i) {
        const uint8_t byte = data[i];
        if (FrameLowNibbles.size() < kFrameLength) {
            FrameLowNibbles.push_back(hexDigit(byte));
            FrameHighNibbles.push_back(hexDigit(byte >> 4));
        }
        if (byte != 0x0D)
            continue;
        FrameNibbles = FrameLowNibbles;
        FrameLowNibbles.clear();
        FrameHighNibbles.clear();
        if (FrameNibbles.size() >= kFrameLength && FrameNibbles[0] == 'A' && FrameNibbles[10] == 'D')
            onFrame(FrameNibbles);
    }
}

FrameOutcome LcdDisplayVS500(const std::string &, const LcdPanelState &previous, const DecodeContext &)
{
    FrameOutcome outcome;
    outcome.panel = previous;
    return outcome;
}
