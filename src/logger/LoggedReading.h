#pragma once

#include <QByteArray>
#include <QDateTime>

#include <cstdint>
#include <string>

// One reading the headless logger recorded, as its outputs write it.
struct LoggedReading
{
    QDateTime time; // local time, with its offset from UTC
    int64_t no = 0;
    std::string value;    // "-3.999", "0.L"
    std::string unit;     // "mV", "k*" (the LCD font's characters for symbols)
    std::string dcac;     // "AC", "DC" or empty
    std::string autoText; // "AUTO" or "MANU"
    double nval = 0;
};

// The reading as one JSON object on one line (no line end): time (ISO 8601 with milliseconds and
// the local offset), no, value, unit, dcac, auto, nval.
QByteArray readingJson(const LoggedReading &reading);
