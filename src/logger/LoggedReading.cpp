#include "logger/LoggedReading.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QLocale>

#include <cmath>
#include <cstring>

namespace {

QString text(const std::string &s)
{
    return QString::fromUtf8(s.data(), qsizetype(s.size()));
}

struct UnitRule
{
    const char *base;   // the unit text without a prefix
    const char *siUnit; // UTF-8
    bool prefixed;      // takes n, u, m, k, M before it
};

// The LCD font shows Ω as '*', °C as '#', °F as '?', the diode as ')' and continuity as '&'.
constexpr UnitRule kUnits[] = {
    {"V", "V", true},
    {"A", "A", true},
    {"*", "\xce\xa9", true},
    {"Hz", "Hz", true},
    {"F", "F", true},
    {"RPM", "rpm", true},
    {"#",
     "\xc2\xb0"
     "C",
     false},
    {"?",
     "\xc2\xb0"
     "F",
     false},
    {"%", "%", false},
    {")", "V", false},
    {")V", "V", false},
    {"&", "\xce\xa9", false},
    {"&*", "\xce\xa9", false},
};

struct Prefix
{
    char letter;
    int exponent;
};
constexpr Prefix kPrefixes[] = {{'n', -9}, {'u', -6}, {'m', -3}, {'k', 3}, {'M', 6}};

// The decimal digits of text as an integer and the power of ten they stand at; none unless the
// text (spaces around it aside) is a sign, digits and at most one point.
std::optional<std::pair<double, int>> decimal(const std::string &text)
{
    size_t i = text.find_first_not_of(' ');
    const size_t end = text.find_last_not_of(' ') + 1;
    if (i == std::string::npos)
        return std::nullopt;
    const bool negative = text[i] == '-';
    if (text[i] == '-' || text[i] == '+')
        ++i;
    double digits = 0;
    int exponent = 0;
    int count = 0;
    bool point = false;
    for (; i < end; ++i) {
        const char c = text[i];
        if (c == '.' && !point) {
            point = true;
        } else if (c >= '0' && c <= '9') {
            digits = digits * 10 + (c - '0');
            exponent -= point ? 1 : 0;
            ++count;
        } else {
            return std::nullopt;
        }
    }
    if (count == 0 || count > 15)
        return std::nullopt;
    return std::make_pair(negative ? -digits : digits, exponent);
}

// digits * 10^exponent, rounded once: 3.300 k is 3300 and 12.34 m is 0.01234, not a neighbour.
double scaled(double digits, int exponent)
{
    return exponent >= 0 ? digits * std::pow(10.0, exponent) : digits / std::pow(10.0, -exponent);
}

QByteArray number(double value)
{
    return QByteArray::number(value, 'g', QLocale::FloatingPointShortest);
}

} // namespace

SiReading siReading(const std::string &value, const std::string &unit)
{
    SiReading si;
    si.overload = value.find('L') != std::string::npos;
    const UnitRule *rule = nullptr;
    int exponent = 0;
    for (const UnitRule &candidate : kUnits) {
        if (unit == candidate.base) {
            rule = &candidate;
            break;
        }
        if (!candidate.prefixed || unit.size() != std::strlen(candidate.base) + 1 ||
            unit.compare(1, std::string::npos, candidate.base) != 0)
            continue;
        for (const Prefix &prefix : kPrefixes) {
            if (unit[0] == prefix.letter) {
                rule = &candidate;
                exponent = prefix.exponent;
            }
        }
        if (rule)
            break;
    }
    if (!rule)
        return si;
    si.unit = rule->siUnit;
    if (si.overload)
        return si;
    if (const auto digits = decimal(value))
        si.value = scaled(digits->first, digits->second + exponent);
    return si;
}

QByteArray readingJson(const LoggedReading &reading)
{
    const SiReading si = siReading(reading.value, reading.unit);
    QJsonObject o;
    o.insert(QStringLiteral("time"),
             reading.time.toOffsetFromUtc(reading.time.offsetFromUtc()).toString(Qt::ISODateWithMs));
    o.insert(QStringLiteral("no"), qint64(reading.no));
    o.insert(QStringLiteral("value"), text(reading.value));
    o.insert(QStringLiteral("unit"), text(reading.unit));
    o.insert(QStringLiteral("dcac"), text(reading.dcac));
    o.insert(QStringLiteral("auto"), text(reading.autoText));
    o.insert(QStringLiteral("nval"), reading.nval);
    o.insert(QStringLiteral("si"), si.value ? QJsonValue(*si.value) : QJsonValue(QJsonValue::Null));
    o.insert(QStringLiteral("si_unit"), QString::fromUtf8(si.unit));
    o.insert(QStringLiteral("overload"), si.overload);
    return QJsonDocument(o).toJson(QJsonDocument::Compact);
}

namespace {

// RFC 4180: a field with a comma, a quote or a line break goes in quotes, its quotes doubled.
void appendCsvField(QByteArray &line, const QByteArray &field)
{
    if (!line.isEmpty())
        line.append(',');
    if (field.contains(',') || field.contains('"') || field.contains('\n') || field.contains('\r')) {
        QByteArray quoted = field;
        line.append('"').append(quoted.replace("\"", "\"\"")).append('"');
    } else {
        line.append(field);
    }
}

QByteArray bytes(const std::string &s)
{
    return QByteArray(s.data(), qsizetype(s.size()));
}

} // namespace

QByteArray readingCsvHeader()
{
    return QByteArrayLiteral("time,no,value,unit,si,si_unit,dcac,auto,nval,overload\r\n");
}

QByteArray readingCsv(const LoggedReading &reading)
{
    const SiReading si = siReading(reading.value, reading.unit);
    QByteArray line;
    line.reserve(96);
    appendCsvField(
        line,
        reading.time.toOffsetFromUtc(reading.time.offsetFromUtc()).toString(Qt::ISODateWithMs).toUtf8());
    appendCsvField(line, QByteArray::number(qint64(reading.no)));
    appendCsvField(line, bytes(reading.value));
    appendCsvField(line, bytes(reading.unit));
    appendCsvField(line, si.value ? number(*si.value) : QByteArray());
    appendCsvField(line, QByteArray(si.unit));
    appendCsvField(line, bytes(reading.dcac));
    appendCsvField(line, bytes(reading.autoText));
    appendCsvField(line, QByteArray::number(qint64(std::llround(reading.nval))));
    appendCsvField(line, si.overload ? QByteArrayLiteral("true") : QByteArrayLiteral("false"));
    return line.append("\r\n");
}
