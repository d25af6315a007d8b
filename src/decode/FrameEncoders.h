#pragma once

#include "decode/ModelProfile.h"

#include <cstdint>
#include <string>
#include <vector>

// Builds wire frames from what a meter shows: the meter simulator and the tests use them.

// OR200: the 56 segment bits S[1..56] as a text of "0"/"1" become 14 bytes, byte k = (k << 4) | bits.
std::vector<uint8_t> encodeOr200Bits(const std::string &segmentBits);

// A meter's display in OR200 terms. digits[i] is '0'..'9', 'L' (the decoder reads it in digit 3
// only), '-' (the middle bar alone, which no decoder reads as a digit) or ' ' for blank.
struct Or200Display
{
    char digits[4] = {' ', ' ', ' ', ' '};
    int pointAfter = 0; // 0: none, 1..3: after digit 1..3
    bool minus = false, ac = false, dc = false, autoRange = false, rs232 = true;
    bool micro = false, nano = false, kilo = false, diode = false, milli = false, percent = false,
         mega = false, beeper = false, farad = false, ohm = false, symbol = false, hold = false,
         ampere = false, volt = false, hertz = false, battery = false, celsius = false;
};
std::vector<uint8_t> encodeOr200(const Or200Display &display);

// VS500: the eleven low nibbles of one frame; byte 11 is the carriage return.
struct Vs500Display
{
    int range = 0;                                 // byte 2
    uint8_t digits[4] = {0, 0, 0, 0};              // bytes 3..6, nibble values
    int function = 0xB;                            // byte 7
    uint8_t statusA = 0, statusB = 0, statusC = 0; // bytes 8..10
};
std::vector<uint8_t> encodeVs500(const Vs500Display &display);

// A DC volts frame showing `count` (0..9999, taken modulo 10000) with the point after the first
// digit: a stream of different counts is recorded row for row, whatever the repeat filter says.
std::vector<uint8_t> or200VoltsFrame(int count);

// One frame of the simulator's scenario at step n (n counts frames from 0): a slowly varying DC
// voltage, a range change, negative readings, an overload, AC, resistance and frequency, in a cycle a
// user would recognise. The family's encoding follows the selectors.
std::vector<uint8_t> or200ScenarioFrame(long step);
std::vector<uint8_t> vs500ScenarioFrame(long step, const ModelSelectors &selectors);
