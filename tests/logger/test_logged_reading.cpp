#include "logger/LoggedReading.h"

#include <QTimeZone>
#include <gtest/gtest.h>

namespace {

TEST(LoggedReading, JsonHasEveryFieldWithTheLocalOffset)
{
    LoggedReading r;
    r.time = QDateTime(QDate(2026, 12, 8), QTime(14, 3, 7, 25), QTimeZone(3600));
    r.no = 42;
    r.value = "-3.999";
    r.unit = "k*";
    r.dcac = "DC";
    r.autoText = "AUTO";
    r.nval = -3999;
    EXPECT_EQ(readingJson(r).toStdString(),
              R"({"auto":"AUTO","dcac":"DC","no":42,"nval":-3999,"time":"2026-12-08T14:03:07.025+01:00",)"
              R"("unit":"k*","value":"-3.999"})");
}

} // namespace
