#pragma once

#include "decode/DecodeContext.h"
#include "decode/LcdState.h"
#include "decode/Or200Decoder.h"
#include "decode/Vs500Decoder.h"

#include <functional>

// The receive handler of the bound family together with the panel state it carries from frame to
// frame: what the window and meterlink-cli both feed bytes into.
class MeterDecoder
{
public:
    MeterDecoder(DecoderFamily family, const DecodeContext &context);

    // Feeds received bytes in order; onFrame runs once per complete candidate frame that the family
    // accepts (ok or failed conversion). With no family bound the bytes are dropped.
    void receive(const uint8_t *data, size_t size, const std::function<void(const FrameOutcome &)> &onFrame);

    DecoderFamily family() const { return m_family; }
    const DecodeContext &context() const { return m_context; }
    const LcdPanelState &panel() const { return m_panel; }
    bool hzMode() const { return m_hzMode; }

    // Bytes held in the receive buffers (for the caps' tests).
    size_t bufferedCharacters() const;

private:
    DecoderFamily m_family;
    DecodeContext m_context;
    LcdPanelState m_panel = LcdPanelState::startState();
    bool m_hzMode = false;
    Or200FrameBuffer m_or200;
    Vs500FrameBuffer m_vs500;
};
