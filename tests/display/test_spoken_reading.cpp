#include "display/SpokenReading.h"

#include <QAccessible>
#include <QElapsedTimer>
#include <QLabel>
#include <QTest>
#include <QWidget>

#include <gtest/gtest.h>

TEST(SpokenReading, SaysValueUnitInWordsCouplingAndAuto)
{
    const struct
    {
        Reading reading;
        const char *said;
    } rows[] = {
        {{"3.300", "k*", "DC", "MANU", 0}, "3.300 kilohm DC"},
        {{"-3.999", "mV", "AC", "AUTO", 0}, "-3.999 millivolt AC AUTO"},
        {{".0L", "M*", "", "AUTO", 0}, "overload megohm AUTO"},
        {{"25.0", "#", "", "MANU", 0}, "25.0 degrees Celsius"},
        {{"77.0", "?", "", "MANU", 0}, "77.0 degrees Fahrenheit"},
        {{"0.512", ")V", "", "MANU", 0}, "0.512 volt diode"},
        {{"12.3", "&*", "", "MANU", 0}, "12.3 ohm continuity"},
        {{"1.5", "kRPM", "", "AUTO", 0}, "1.5 kilo RPM AUTO"},
        {{"99.99", "kHz", "", "AUTO", 0}, "99.99 kilohertz AUTO"},
        {{"3.3", "uF", "", "MANU", 0}, "3.3 microfarad"},
        {{"1.000", "nA", "DC", "MANU", 0}, "1.000 nanoampere DC"},
        {{"50", "%", "", "MANU", 0}, "50 percent"},
    };
    for (const auto &row : rows)
        EXPECT_EQ(spokenReading(row.reading), QLatin1String(row.said)) << row.said;
}

TEST(SpokenReading, AStreamOfReadingsHasNewWordsOnlyWhenTheyChange)
{
    const struct
    {
        Reading reading;
        bool changed;
    } steps[] = {
        {{"1.000", "V", "DC", "AUTO", 0}, true},  {{"1.000", "V", "DC", "AUTO", 1}, false},
        {{"1.001", "V", "DC", "AUTO", 0}, true},  {{"1.001", "mV", "DC", "AUTO", 0}, true},
        {{"1.001", "mV", "AC", "AUTO", 0}, true}, {{"1.001", "mV", "AC", "MANU", 0}, true},
        {{"0.L", "mV", "AC", "MANU", 0}, true},   {{".0L", "mV", "AC", "MANU", 0}, false},
        {{"", "", "", "MANU", 0}, true},          {{"", "#", "", "MANU", 0}, true},
        {{"25.0", "#", "", "HOLD", 0}, true},
    };
    ReadingWords words;
    for (const auto &step : steps) {
        EXPECT_EQ(words.update(step.reading), step.changed) << step.reading.value << step.reading.unit;
        EXPECT_EQ(words.words(), spokenReading(step.reading)) << step.reading.value << step.reading.unit;
    }
    words.reset();
    EXPECT_TRUE(words.update(steps[10].reading)) << "after a reset the same words count as new";
}

TEST(SpokenReading, EveryFrameIsSaidButAnnouncedAtMostOnceASecond)
{
    SpokenReading spoken;
    QLabel lcd;
    int announced = 0;
    QObject::connect(&spoken, &SpokenReading::announced, &spoken, [&](QWidget *widget) {
        EXPECT_EQ(widget, &lcd);
        ++announced;
    });
    for (int count = 1000; count < 1010; ++count) {
        spoken.say(&lcd, QString::number(count));
        EXPECT_EQ(QAccessible::queryAccessibleInterface(&lcd)->text(QAccessible::Name),
                  QString::number(count));
    }
    EXPECT_EQ(announced, 1) << "the first change is told at once, the others wait for the gate";
    QElapsedTimer clock;
    clock.start();
    while (announced < 2 && clock.elapsed() < 5000)
        QTest::qWait(20);
    EXPECT_EQ(announced, 2) << "the last text is told when the gate opens";
    spoken.say(&lcd, QStringLiteral("1009"));
    QTest::qWait(SpokenReading::kAnnounceIntervalMs + 200);
    EXPECT_EQ(announced, 2) << "an unchanged text is not told again";
}

TEST(SpokenReading, TheChildrenRuleFollowsEachSayAndAGoneWidgetSaysNothing)
{
    SpokenReading spoken;
    QWidget panel;
    QLabel digit(QStringLiteral("8"), &panel);
    int announced = 0;
    QObject::connect(&spoken, &SpokenReading::announced, &spoken, [&](QWidget *) { ++announced; });
    const struct
    {
        const char *text;
        SpokenReading::Children children;
        int childCount;
        int announced;
    } steps[] = {
        {"1.000 volt", SpokenReading::Children::Hidden, 0, 1},
        {"1.000 volt", SpokenReading::Children::Kept, 1, 1}, // the same words are not told again
        {"1.000 volt", SpokenReading::Children::Hidden, 0, 1},
    };
    for (const auto &step : steps) {
        spoken.say(&panel, QLatin1String(step.text), step.children);
        QAccessibleInterface *face = QAccessible::queryAccessibleInterface(&panel);
        EXPECT_EQ(face->text(QAccessible::Name), QLatin1String(step.text));
        EXPECT_EQ(face->childCount(), step.childCount) << step.text;
        EXPECT_EQ(announced, step.announced) << step.text;
    }
    {
        QLabel gone;
        spoken.say(&gone, QStringLiteral("2.000 volt"));
        EXPECT_EQ(SpokenReading::said(&gone), QStringLiteral("2.000 volt"));
    }
    QLabel next; // perhaps where the last one was
    EXPECT_EQ(SpokenReading::said(&next), QString());
}
