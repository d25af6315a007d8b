#include "decode/FrameEncoders.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace {

// Segments in the order d, c, g, b, e, f, a, as the meter splits them over a digit's two bytes.
const char *segmentsFor(char digit)
{
    switch (digit) {
    case '0':
        return "1101111";
    case '1':
        return "0101000";
    case '2':
        return "1011101";
    case '3':
        return "1111001";
    case '4':
        return "0111010";
    case '5':
        return "1110011";
    case '6':
        return "1110111";
    case '7':
        return "0101001";
    case '8':
        return "1111111";
    case '9':
        return "1111011";
    case 'L':
        return "1000110";
    case '-':
        return "0010000";
    default:
        return "0000000";
    }
}

void setBit(std::string &bits, int n, bool on)
{
    bits[static_cast<size_t>(n - 1)] = on ? '1' : '0';
}

} // namespace

std::vector<uint8_t> encodeOr200Bits(const std::string &segmentBits)
{
    std::vector<uint8_t> frame;
    frame.reserve(14);
    for (size_t k = 0; k < 14; ++k) {
        uint8_t nibble = 0;
        for (size_t b = 0; b < 4; ++b) {
            const size_t n = 4 * k + b;
            if (n < segmentBits.size() && segmentBits[n] == '1')
                nibble |= static_cast<uint8_t>(0x8 >> b);
        }
        frame.push_back(static_cast<uint8_t>(((k + 1) << 4) | nibble));
    }
    return frame;
}

std::vector<uint8_t> encodeOr200(const Or200Display &display)
{
    std::string bits(56, '0');
    setBit(bits, 1, display.ac);
    setBit(bits, 2, display.dc);
    setBit(bits, 3, display.autoRange);
    setBit(bits, 4, display.rs232);
    setBit(bits, 5, display.minus);
    for (int i = 0; i < 4; ++i) {
        const char *segments = segmentsFor(display.digits[i]);
        // Digit i+1 spans bytes 2i+2 (e, f, a in bits 2..0) and 2i+3 (d, c, g, b in bits 3..0).
        const int firstBit = 8 * i + 5; // S index of bit 3 of the digit's first byte
        for (int s = 0; s < 4; ++s)
            setBit(bits, firstBit + 4 + s, segments[s] == '1');
        for (int s = 0; s < 3; ++s)
            setBit(bits, firstBit + 1 + s, segments[4 + s] == '1');
    }
    setBit(bits, 13, display.pointAfter == 1);
    setBit(bits, 21, display.pointAfter == 2);
    setBit(bits, 29, display.pointAfter == 3);
    setBit(bits, 37, display.micro);
    setBit(bits, 38, display.nano);
    setBit(bits, 39, display.kilo);
    setBit(bits, 40, display.diode);
    setBit(bits, 41, display.milli);
    setBit(bits, 42, display.percent);
    setBit(bits, 43, display.mega);
    setBit(bits, 44, display.beeper);
    setBit(bits, 45, display.farad);
    setBit(bits, 46, display.ohm);
    setBit(bits, 47, display.symbol);
    setBit(bits, 48, display.hold);
    setBit(bits, 49, display.ampere);
    setBit(bits, 50, display.volt);
    setBit(bits, 51, display.hertz);
    setBit(bits, 52, display.battery);
    setBit(bits, 56, display.celsius);
    return encodeOr200Bits(bits);
}

namespace {

// Puts a count of 0..9999 on the four digits with the decimal point after digit pointAfter; a
// leading zero in front of the point's digit is kept, as the meter shows it.
void showCount(Or200Display &d, int count, int pointAfter)
{
    d.minus = count < 0;
    const int magnitude = std::abs(count) % 10000;
    char text[5];
    std::snprintf(text, sizeof text, "%04d", magnitude);
    for (int i = 0; i < 4; ++i)
        d.digits[i] = text[i];
    d.pointAfter = pointAfter;
}

Or200Display dcVolts(double volts)
{
    Or200Display d;
    d.dc = true;
    d.autoRange = true;
    d.volt = true;
    // Auto-ranging between the 4 V and the 40 V range.
    if (std::fabs(volts) < 3.9995)
        showCount(d, static_cast<int>(std::lround(volts * 1000.0)), 1);
    else
        showCount(d, static_cast<int>(std::lround(volts * 100.0)), 2);
    return d;
}

// One slow swing: 0..1 and back over period frames.
double wave(long i, long period)
{
    const double pi = 3.14159265358979323846;
    return 0.5 - 0.5 * std::cos(2.0 * pi * static_cast<double>(i) / static_cast<double>(period));
}

} // namespace

std::vector<uint8_t> or200VoltsFrame(int count)
{
    Or200Display d;
    const int shown = ((count % 10000) + 10000) % 10000;
    d.digits[0] = char('0' + shown / 1000);
    d.digits[1] = char('0' + shown / 100 % 10);
    d.digits[2] = char('0' + shown / 10 % 10);
    d.digits[3] = char('0' + shown % 10);
    d.pointAfter = 1;
    d.dc = true;
    d.volt = true;
    return encodeOr200(d);
}

std::vector<uint8_t> or200ScenarioFrame(long step)
{
    // At the meter's pace of about three frames a second the cycle lasts a little over a minute.
    constexpr long kCycle = 225;
    long i = step % kCycle;
    if (i < 0)
        i += kCycle;

    Or200Display d;
    if (i < 60) {
        // A battery under load: a DC voltage drifting slowly around 1.5 V.
        d = dcVolts(1.500 - 0.400 * wave(i, 60) + 0.002 * static_cast<double>(i % 3));
    } else if (i < 90) {
        // Rising past 4 V: the meter changes to its 40 V range.
        d = dcVolts(3.800 + 0.050 * static_cast<double>(i - 60));
    } else if (i < 120) {
        // Probes swapped: negative readings.
        d = dcVolts(-0.500 - 2.700 * wave(i - 90, 60));
    } else if (i < 150) {
        // Mains voltage in the 400 V AC range.
        d.ac = true;
        d.autoRange = true;
        d.volt = true;
        showCount(d, 2301 + static_cast<int>((i * 7) % 9) - 4, 3);
    } else if (i < 180) {
        // A 1 kilo-ohm resistor.
        d.autoRange = true;
        d.kilo = true;
        d.ohm = true;
        showCount(d, 998 + static_cast<int>(i % 4), 1);
    } else if (i < 195) {
        // Leads open: the overload display of the 40 mega-ohm range.
        d.autoRange = true;
        d.mega = true;
        d.ohm = true;
        d.digits[0] = ' ';
        d.digits[1] = '0';
        d.digits[2] = 'L';
        d.digits[3] = ' ';
        d.pointAfter = 1;
    } else if (i < 210) {
        // Mains frequency.
        d.hertz = true;
        showCount(d, 4998 + static_cast<int>(i % 5), 2);
    } else {
        // A 1 kHz test tone.
        d.hertz = true;
        d.kilo = true;
        showCount(d, 1000 + static_cast<int>(i % 3), 1);
    }
    return encodeOr200(d);
}
