#include "logger/LoggedReading.h"

#include <QTimeZone>
#include <gtest/gtest.h>

#include <cmath>

namespace {

LoggedReading sample()
{
    LoggedReading r;
    r.time = QDateTime(QDate(2026, 12, 8), QTime(14, 3, 7, 25), QTimeZone(3600));
    r.no = 42;
    r.value = "-3.999";
    r.unit = "k*";
    r.dcac = "DC";
    r.autoText = "AUTO";
    r.nval = -3999;
    return r;
}

TEST(LoggedReading, JsonHasEveryFieldWithTheLocalOffset)
{
    EXPECT_EQ(readingJson(sample()).toStdString(),
              R"({"auto":"AUTO","dcac":"DC","no":42,"nval":-3999,"overload":false,"si":-3999,)"
              R"("si_unit":"Ω","time":"2026-12-08T14:03:07.025+01:00","unit":"k*","value":"-3.999"})");
}

TEST(LoggedReading, JsonOverloadHasNoSiValue)
{
    LoggedReading r = sample();
    r.value = "-0.L";
    r.nval = -6001;
    const QByteArray json = readingJson(r);
    EXPECT_TRUE(json.contains(R"("overload":true,"si":null,"si_unit":"Ω")")) << json.toStdString();
}

struct SiCase
{
    const char *value;
    const char *unit;
    double si; // NAN: none
    const char *siUnit;
    bool overload;
};

void expectSi(const std::vector<SiCase> &cases)
{
    for (const SiCase &c : cases) {
        SCOPED_TRACE(std::string(c.value) + " " + c.unit);
        const SiReading si = siReading(c.value, c.unit);
        EXPECT_STREQ(si.unit, c.siUnit);
        EXPECT_EQ(si.overload, c.overload);
        // Exact: the prefix is applied to the decimal digits once, so 3.300 k is 3300, not a neighbour.
        if (std::isnan(c.si)) {
            EXPECT_FALSE(si.value.has_value());
        } else {
            EXPECT_TRUE(si.value.has_value());
            EXPECT_EQ(si.value.value_or(NAN), c.si);
        }
    }
}

TEST(SiReading, Volts)
{
    expectSi({{"3.300", "V", 3.3, "V", false},
              {"-12.34", "mV", -0.01234, "V", false},
              {"999.9", "uV", 0.0009999, "V", false},
              {"1.5", "kV", 1500, "V", false},
              {"0.L", "mV", NAN, "V", true},
              {"-0.L", "V", NAN, "V", true},
              {"----", "V", NAN, "V", false},
              {" 0.012 ", "V", 0.012, "V", false}});
}

TEST(SiReading, Amperes)
{
    expectSi({{"10.00", "A", 10, "A", false},
              {"-199.9", "mA", -0.1999, "A", false},
              {"12.3", "uA", 0.0000123, "A", false},
              {"0.L", "A", NAN, "A", true}});
}

TEST(SiReading, Ohms)
{
    expectSi({{"3.300", "k*", 3300, "Ω", false},
              {"399.9", "*", 399.9, "Ω", false},
              {"40.00", "M*", 40000000, "Ω", false},
              {"0.L", "M*", NAN, "Ω", true}});
}

TEST(SiReading, FrequencyCapacitanceAndSpeed)
{
    expectSi({{"50.00", "Hz", 50, "Hz", false},
              {"9.999", "kHz", 9999, "Hz", false},
              {"1.000", "MHz", 1000000, "Hz", false},
              {"4.700", "nF", 4.7e-9, "F", false},
              {"100.0", "uF", 0.0001, "F", false},
              {"2.2", "mF", 0.0022, "F", false},
              {"1500", "RPM", 1500, "rpm", false},
              {"1.5", "kRPM", 1500, "rpm", false}});
}

TEST(SiReading, TemperatureAndPercentTakeNoPrefix)
{
    expectSi({{"23.5", "#", 23.5, "°C", false},
              {"-4.0", "?", -4, "°F", false},
              {"50.0", "%", 50, "%", false},
              {"23.5", "k#", NAN, "", false},
              {"50.0", "m%", NAN, "", false}});
}

TEST(SiReading, DiodeAndContinuity)
{
    expectSi({{"0.612", ")", 0.612, "V", false},
              {"0.612", ")V", 0.612, "V", false},
              {"0.L", ")V", NAN, "V", true},
              {"12.3", "&", 12.3, "Ω", false},
              {"12.3", "&*", 12.3, "Ω", false},
              {"12.3", "k)V", NAN, "", false}});
}

TEST(SiReading, OtherUnitsAndNonNumbersGiveNone)
{
    expectSi({{"3.3", "", NAN, "", false},
              {"3.3", "dB", NAN, "", false},
              {"3.3", "xV", NAN, "", false},
              {"3.3", "mmV", NAN, "", false},
              {"1.2.3", "V", NAN, "V", false},
              {"1e3", "V", NAN, "V", false},
              {"inf", "V", NAN, "V", false},
              {"-", "V", NAN, "V", false},
              {"", "V", NAN, "V", false},
              {"0.L", "dB", NAN, "", true}});
}

TEST(LoggedReading, CsvQuotesWhatNeedsIt)
{
    LoggedReading r = sample();
    EXPECT_EQ(readingCsvHeader().toStdString(), "time,no,value,unit,si,si_unit,dcac,auto,nval,overload\r\n");
    EXPECT_EQ(readingCsv(r).toStdString(),
              "2026-12-08T14:03:07.025+01:00,42,-3.999,k*,-3999,Ω,DC,AUTO,-3999,false\r\n");
    r.value = "0.L";
    r.unit = "a,\"b";
    EXPECT_EQ(readingCsv(r).toStdString(),
              "2026-12-08T14:03:07.025+01:00,42,0.L,\"a,\"\"b\",,,DC,AUTO,-3999,true\r\n");
}

} // namespace
