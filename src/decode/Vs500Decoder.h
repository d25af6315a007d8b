#pragma once

#include "decode/DecodeContext.h"
#include "decode/LcdState.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

// Cuts a VS500 byte stream into frames ending at a carriage return and accepts those whose first
// low nibble is A and eleventh is D ("AD"). onFrame receives the first eleven low-nibble characters.
//
// Some meters end their lines with CR LF. A line feed right after a carriage return belongs to the
// line just ended and is not made byte 1 of the next frame (where its low nibble A would pass for a
// start marker and shift every byte). It is only held aside: should the frame without it fail the
// test while the frame with it passes, the frame is taken with it, as a stream without line feeds
// always was.
class Vs500FrameBuffer
{
public:
    static constexpr size_t kFrameLength = 11;

    void receive(const uint8_t *data, size_t size, const std::function<void(const std::string &)> &onFrame);

    // Receive buffers; they stop growing past kFrameLength characters until the carriage return.
    std::string FrameHighNibbles;
    std::string FrameLowNibbles;
    std::string FrameNibbles;

private:
    bool m_afterCarriageReturn = false;
    bool m_lineFeedHeld = false;
};

// Decodes one accepted VS500 frame (its first 11 low-nibble characters are read) against the previous
// panel state and the variant selectors IFOR220, IFVS500, IFOR380 and IF7740x. Every conversion is
// made before anything is returned: a range code or digit A..F where a number is needed (or a text
// shorter than a frame) gives ok = false with the conversion message, and the panel stays previous.
// This family never sets HzMode and never touches LCDHold, LCDRec, LCDBF or LCDBT.
FrameOutcome LcdDisplayVS500(const std::string &frameNibbles, const LcdPanelState &previous,
                             const DecodeContext &context);
