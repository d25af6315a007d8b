#include "decode/FrameEncoders.h"

#include <cmath>
#include <cstdlib>

namespace {

// Status bits as the meter sets them.
constexpr uint8_t kMinus = 0x4, kOverload = 0x1;
constexpr uint8_t kDc = 0x8, kAc = 0x4, kAuto = 0x2;

constexpr uint8_t kVoltage = 0xB, kResistance = 0x3, kFrequency = 0x2;

// Frames per scenario phase; a meter sends two or three a second, so each phase lasts tens of
// seconds.
constexpr long kPhaseLength = 40;

void setCount(Vs500Display *d, long count)
{
    count = std::labs(count) % 10000;
    for (int i = 3; i >= 0; --i) {
        d->digits[i] = static_cast<uint8_t>(count % 10);
        count /= 10;
    }
}

// A smooth wobble in [-1, 1] that repeats every `period` frames.
double wave(long step, double period)
{
    return std::sin(2.0 * 3.14159265358979 * static_cast<double>(step) / period);
}

} // namespace

std::vector<uint8_t> encodeVs500(const Vs500Display &display)
{
    const int nibbles[10] = {0xA,
                             display.range,
                             display.digits[0],
                             display.digits[1],
                             display.digits[2],
                             display.digits[3],
                             display.function,
                             display.statusA,
                             display.statusB,
                             display.statusC};
    std::vector<uint8_t> frame;
    frame.reserve(11);
    // High nibble 3 makes bytes 1..10 the ASCII characters a meter sends ("0".."9", ":".."?").
    for (int n : nibbles)
        frame.push_back(static_cast<uint8_t>(0x30 | (n & 0xF)));
    frame.push_back(0x0D);
    return frame;
}

std::vector<uint8_t> vs500ScenarioFrame(long step, const ModelSelectors &selectors)
{
    const bool is7740x = isChecked(selectors, ModelSelector::IF7740x);
    const int fullScale = rangeConstantsFor(profileFor(selectors).rangeClass).FullScale;
    // Voltage ranges by decimal point: the 7740x numbers them from its volt range.
    const int voltsPoint1 = is7740x ? 0 : 1;
    const int voltsPoint2 = is7740x ? 1 : 2;
    const int voltsPoint3 = is7740x ? 2 : 3;
    const int milliVolts = is7740x ? 4 : 0;

    if (step < 0)
        step = -step;
    const long phase = (step / kPhaseLength) % 7;
    const long t = step % kPhaseLength;

    Vs500Display d;
    d.statusC = kAuto;
    switch (phase) {
    case 0: // a battery-like DC voltage drifting slowly around half the scale
        d.function = kVoltage;
        d.range = voltsPoint1;
        d.statusC |= kDc;
        setCount(&d, std::lround(fullScale * (0.5 + 0.3 * wave(t, 2.0 * kPhaseLength))));
        break;
    case 1: // down to the millivolt range
        d.function = kVoltage;
        d.range = milliVolts;
        d.statusC |= kDc;
        setCount(&d, std::lround(fullScale * (0.3 + 0.05 * wave(t, 13.0))));
        break;
    case 2: // a reversed probe: negative readings in the next volt range
        d.function = kVoltage;
        d.range = voltsPoint2;
        d.statusC |= kDc;
        d.statusA |= kMinus;
        setCount(&d, std::lround(fullScale * (0.3 + 0.1 * wave(t, 20.0))));
        break;
    case 3: // over range in a manually chosen range, first positive then with the probe reversed
        d.function = kVoltage;
        d.range = voltsPoint2;
        d.statusC = kDc;
        d.statusA = kOverload;
        if (t >= kPhaseLength / 2)
            d.statusA |= kMinus;
        break;
    case 4: // mains AC voltage with a little ripple
        d.function = kVoltage;
        d.range = voltsPoint3;
        d.statusC |= kAc;
        setCount(&d, 2300 + std::lround(15.0 * wave(t, 7.0)));
        break;
    case 5: // a 3.3 kilo-ohm resistor warming in the hand, then the probes lifted (open circuit)
        d.function = kResistance;
        d.range = 1;
        if (t >= kPhaseLength - 5)
            d.statusA = kOverload;
        else
            setCount(&d, 3300 + t / 4);
        break;
    default: // a 1 kHz signal generator wobbling by a few hertz: "1000 Hz", or "1.000 kHz" on the models
             // whose first frequency range is kilohertz
        d.function = kFrequency;
        d.range = 0;
        setCount(&d, 1000 + std::lround(3.0 * wave(t, 9.0)));
        break;
    }
    return encodeVs500(d);
}
