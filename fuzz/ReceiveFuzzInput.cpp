#include "ReceiveFuzzInput.h"

namespace {

// The resistance row of the VS500 function table: point and unit of range codes 0..5.
const int kResistancePoint[6] = {3, 1, 2, 3, 1, 2};
const char *const kResistanceUnit[6] = {"*", "k*", "k*", "k*", "M*", "M*"};

} // namespace

bool ReceiveFuzzInput::parse(const uint8_t *data, size_t size, ReceiveFuzzInput *out)
{
    if (size < kHeaderSize)
        return false;
    const unsigned bits = data[0] | (unsigned(data[1]) << 8);
    out->selectors = ModelSelectors(bits & ((1U << kModelSelectorCount) - 1));
    out->vs500WhenUnbound = (bits >> 13) & 1;
    const uint8_t packed[4] = {uint8_t(data[2] & 0xF), uint8_t(data[2] >> 4), uint8_t(data[3] & 0xF),
                               uint8_t(data[3] >> 4)};
    for (int i = 0; i < 4; ++i)
        out->digits[i] = char('0' + packed[i] % 10);
    out->minus = data[4] & 1;
    out->or200Point = (data[4] >> 1) & 3;
    out->vs500Range = ((data[4] >> 3) & 7) % 6;
    size_t chunkCount = data[5] % kMaxChunks;
    size_t at = kHeaderSize;
    if (size - at < chunkCount)
        chunkCount = size - at;
    out->chunks.assign(data + at, data + at + chunkCount);
    at += chunkCount;
    out->stream = data + at;
    out->streamSize = size - at;
    return true;
}

std::vector<uint8_t> ReceiveFuzzInput::header() const
{
    unsigned bits = unsigned(selectors.to_ulong());
    if (vs500WhenUnbound)
        bits |= 1U << 13;
    std::vector<uint8_t> h(kHeaderSize);
    h[0] = uint8_t(bits & 0xFF);
    h[1] = uint8_t(bits >> 8);
    h[2] = uint8_t((digits[0] - '0') | ((digits[1] - '0') << 4));
    h[3] = uint8_t((digits[2] - '0') | ((digits[3] - '0') << 4));
    h[4] = uint8_t((minus ? 1 : 0) | (or200Point << 1) | (vs500Range << 3));
    h[5] = uint8_t(chunks.size() % kMaxChunks);
    h.insert(h.end(), chunks.begin(), chunks.begin() + long(chunks.size() % kMaxChunks));
    return h;
}

std::vector<uint8_t> ReceiveFuzzInput::validFrame(DecoderFamily family) const
{
    if (family == DecoderFamily::VS500) {
        Vs500Display d;
        d.function = 0x3;
        d.range = vs500Range;
        for (int i = 0; i < 4; ++i)
            d.digits[i] = uint8_t(digits[i] - '0');
        d.statusA = minus ? 0x4 : 0x0;
        return encodeVs500(d);
    }
    Or200Display d;
    for (int i = 0; i < 4; ++i)
        d.digits[i] = digits[i];
    d.pointAfter = or200Point;
    d.minus = minus;
    d.dc = true;
    d.volt = true;
    return encodeOr200(d);
}

std::string ReceiveFuzzInput::expectedValue(DecoderFamily family) const
{
    const int point = family == DecoderFamily::VS500 ? kResistancePoint[vs500Range] : or200Point;
    std::string value = minus ? "-" : "";
    for (int i = 0; i < 4; ++i) {
        value += digits[i];
        if (point == i + 1)
            value += '.';
    }
    return value;
}

std::string ReceiveFuzzInput::expectedUnit(DecoderFamily family) const
{
    return family == DecoderFamily::VS500 ? kResistanceUnit[vs500Range] : "V";
}

float ReceiveFuzzInput::expectedNval() const
{
    int n = 0;
    for (char c : digits)
        n = n * 10 + (c - '0');
    return float(minus ? -n : n);
}
