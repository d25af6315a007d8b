#pragma once

#include "decode/FrameEncoders.h"
#include "decode/ModelProfile.h"

#include <cstddef>
#include <cstdint>
#include <vector>

// One input of the receive fuzzer: a short header that picks the checked selectors, the way the
// stream is cut into receive calls and the valid frame sent after it, then the stream itself.
//
//   bytes 0..1  selector bits 0..12, little endian; bit 13 picks the family tried when no selector
//               binds one (0 OR200, 1 VS500)
//   bytes 2..3  the valid frame's four digits, one per nibble, each taken modulo 10
//   byte 4      bit 0 minus; bits 1..2 the OR200 point; bits 3..5 the VS500 resistance range (mod 6)
//   byte 5      how many chunk lengths follow (mod 16)
//   ...         the chunk lengths, one byte each, used in turn to cut the stream; 0 is an empty call
//   the rest    the received bytes
struct ReceiveFuzzInput
{
    static constexpr size_t kHeaderSize = 6;
    static constexpr size_t kMaxChunks = 16;

    ModelSelectors selectors;
    bool vs500WhenUnbound = false;
    char digits[4] = {'0', '0', '0', '0'};
    bool minus = false;
    int or200Point = 0; // 0: none, 1..3: after digit 1..3
    int vs500Range = 0; // resistance range code 0..5
    std::vector<uint8_t> chunks;
    const uint8_t *stream = nullptr;
    size_t streamSize = 0;

    // False when the input is too short to hold a header.
    static bool parse(const uint8_t *data, size_t size, ReceiveFuzzInput *out);
    // The header and chunk lengths that parse() reads back (the stream is appended by the caller).
    std::vector<uint8_t> header() const;

    // The frame sent after the stream for the family, and the reading it must decode to.
    std::vector<uint8_t> validFrame(DecoderFamily family) const;
    std::string expectedValue(DecoderFamily family) const;
    std::string expectedUnit(DecoderFamily family) const;
    float expectedNval() const;
};
