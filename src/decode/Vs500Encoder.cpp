#include "decode/FrameEncoders.h"

std::vector<uint8_t> encodeVs500(const Vs500Display &display)
{
    const uint8_t nibbles[10] = {0xA,
                                 static_cast<uint8_t>(display.range),
                                 display.digits[0],
                                 display.digits[1],
                                 display.digits[2],
                                 display.digits[3],
                                 static_cast<uint8_t>(display.function),
                                 display.statusA,
                                 display.statusB,
                                 display.statusC};
    std::vector<uint8_t> frame;
    for (uint8_t n : nibbles)
        frame.push_back(static_cast<uint8_t>(0x30 | (n & 0xF)));
    frame.push_back(0x0D);
    return frame;
}

std::vector<uint8_t> vs500ScenarioFrame(long step, const ModelSelectors &)
{
    Vs500Display d;
    d.range = 1;
    const long v = 1000 + (step % 100);
    d.digits[0] = static_cast<uint8_t>(v / 1000 % 10);
    d.digits[1] = static_cast<uint8_t>(v / 100 % 10);
    d.digits[2] = static_cast<uint8_t>(v / 10 % 10);
    d.digits[3] = static_cast<uint8_t>(v % 10);
    d.statusC = 0x8 | 0x2;
    return encodeVs500(d);
}
