#pragma once

// What a meter shows while a benchmark streams: readings that drift with noise, a function that
// changes every three seconds, a range change, and the gauge's Hz scale turned on and off.
#include "app/VS500F.h"
#include "decode/FrameEncoders.h"

#include <QCheckBox>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace liveframes {

// A small deterministic jitter of -3..3 counts, different for each frame.
inline int jitter(long frame)
{
    const uint32_t h = uint32_t(frame) * 2654435761u;
    return int((h >> 16) % 7) - 3;
}

inline void putCount(Or200Display &d, int count, int pointAfter)
{
    d.minus = count < 0;
    char text[8];
    std::snprintf(text, sizeof text, "%04d", std::abs(count) % 10000);
    for (int i = 0; i < 4; ++i)
        d.digits[i] = text[i];
    d.pointAfter = pointAfter;
}

// What the meter shows `seconds` into the run: the function changes every three seconds, as when the
// dial is turned, and within a function the reading drifts with noise on its last digits. The DC
// voltage crosses 4 V, so the meter changes range; the frequency turns the gauge's Hz scale on and off.
inline Or200Display displayAt(double seconds, long frame)
{
    const double pi = 3.14159265358979323846;
    const int function = int(seconds / 3.0) % 4;
    const double swing = 0.5 - 0.5 * std::cos(2.0 * pi * seconds / 3.0); // 0..1 and back
    Or200Display d;
    d.autoRange = true;
    switch (function) {
    case 0: {
        d.dc = true;
        d.volt = true;
        const double volts = 1.0 + 4.5 * swing;
        if (volts < 3.9995)
            putCount(d, int(std::lround(volts * 1000.0)) + jitter(frame), 1);
        else
            putCount(d, int(std::lround(volts * 100.0)) + jitter(frame), 2);
        break;
    }
    case 1:
        d.ac = true;
        d.volt = true;
        putCount(d, 2250 + int(std::lround(100.0 * swing)) + jitter(frame), 3);
        break;
    case 2:
        d.dc = true;
        d.volt = true;
        putCount(d, -int(std::lround(500.0 + 2500.0 * swing)) + jitter(frame), 1);
        break;
    default:
        d.autoRange = false;
        d.hertz = true;
        putCount(d, 4990 + int(std::lround(20.0 * swing)) + jitter(frame), 2);
        break;
    }
    return d;
}

inline std::vector<uint8_t> frameFor(const TFCOMM &w, double seconds, long frame)
{
    if (w.boundFamily() != DecoderFamily::VS500)
        return encodeOr200(displayAt(seconds, frame));
    // The VS500 family gets the simulator's scenario, which varies in the same ways.
    ModelSelectors selectors;
    for (int i = 0; i < kModelSelectorCount; ++i)
        selectors.set(size_t(i), w.IFSelectors[size_t(i)]->isChecked());
    return vs500ScenarioFrame(frame, selectors);
}

} // namespace liveframes
