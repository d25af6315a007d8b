#pragma once

#include "decode/DecodeContext.h"
#include "decode/LcdState.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

// Cuts an OR200 byte stream into frames of 14 bytes whose high nibbles run 1..E. Every run of bytes
// up to a byte with high nibble E is one candidate; only exact frames reach onFrame, as the text of
// their 14 low nibbles (FrameNibbles). The buffers are emptied at every end byte before onFrame
// runs, whatever the decoder then makes of the frame, and a frame may arrive over several calls.
class Or200FrameBuffer
{
public:
    static constexpr size_t kFrameLength = 14;

    void receive(const uint8_t *data, size_t size, const std::function<void(const std::string &)> &onFrame);

    // Receive buffers; they stop growing at kFrameLength characters (an over-long run is still
    // rejected at its end byte), so a stream without end bytes cannot grow memory.
    std::string FrameHighNibbles;
    std::string FrameLowNibbles;
    std::string FrameNibbles;

private:
    size_t m_runLength = 0; // bytes since the last end byte, including those no longer stored
};

// Decodes one OR200 frame (14 hexadecimal low-nibble characters) against the previous panel state
// and HzMode: reading, panel (visibility and digit captions, "@" for the L), presentation inputs,
// hzMode and hzModeChanged. Every integer conversion the frame needs (Nval, gauge input, bar
// position, chart value) is done before anything is returned as ok; the first one that fails gives
// ok = false, its message in error, and the previous panel and HzMode unchanged.
FrameOutcome LcdDisplayOR200(const std::string &frameNibbles, const LcdPanelState &previous,
                             bool previousHzMode, const DecodeContext &context);
