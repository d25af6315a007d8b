#pragma once

#include <QByteArray>
#include <QDateTime>

#include <cstdint>
#include <optional>
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

// The reading as a measurement: the display's text as a number in its SI unit.
struct SiReading
{
    std::optional<double> value; // none on overload, for a text that is no number, or an unknown unit
    const char *unit = "";       // UTF-8: "V", "A", "Ω", "Hz", "F", "rpm", "°C", "°F", "%"; "" unknown
    bool overload = false;       // the display shows the overload L
};
SiReading siReading(const std::string &value, const std::string &unit);

// The reading as one JSON object on one line (no line end): time (ISO 8601 with milliseconds and
// the local offset), no, value, unit, dcac, auto, nval, si, si_unit, overload.
QByteArray readingJson(const LoggedReading &reading);

// The header and one line (CR LF) of the CSV format: UTF-8, fields quoted where they need it.
QByteArray readingCsvHeader();
QByteArray readingCsv(const LoggedReading &reading);
