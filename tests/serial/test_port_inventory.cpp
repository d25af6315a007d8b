#include "serial/PortInventory.h"
#include "support/PseudoTerminal.h"

#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

TEST(PortInventory, ComNamesFollowLinksToTheSameDevice)
{
    PseudoTerminal pty;
    QTemporaryDir dir;
    const QString link = dir.filePath(QStringLiteral("ttyMeter"));
    ASSERT_TRUE(QFile::link(pty.slavePath(), link));
    const QStringList comDevices = {QStringLiteral("/dev/ttyS0"), link, QStringLiteral("/dev/ttyUSB7"),
                                    pty.slavePath()};
    EXPECT_EQ(comNamesFor(pty.slavePath(), comDevices),
              (QStringList{QStringLiteral("COM2"), QStringLiteral("COM4")}));
    EXPECT_EQ(comNamesFor(link, comDevices), (QStringList{QStringLiteral("COM2"), QStringLiteral("COM4")}));
    EXPECT_EQ(comNamesFor(QStringLiteral("/dev/ttyUSB7"), comDevices), QStringList{QStringLiteral("COM3")});
    EXPECT_TRUE(comNamesFor(dir.filePath(QStringLiteral("other")), comDevices).isEmpty());
}

TEST(PortInventory, ListsTheComDevicesItDoesNotKnowAndWhetherTheyOpen)
{
    PseudoTerminal pty;
    QTemporaryDir dir;
    const QString link = dir.filePath(QStringLiteral("ttyMeter"));
    const QString missing = dir.filePath(QStringLiteral("ttyGone"));
    ASSERT_TRUE(QFile::link(pty.slavePath(), link));
    qputenv("METERLINK_COM3", QFile::encodeName(link));
    qputenv("METERLINK_COM4", QFile::encodeName(missing));
    const std::vector<SerialPortEntry> entries = serialPortInventory(true);
    const std::array<QString, 4> hints = comPortHints();
    EXPECT_EQ(hints[2], link);
    EXPECT_EQ(hints[3], missing + QStringLiteral(": not present"));
    qunsetenv("METERLINK_COM3");
    qunsetenv("METERLINK_COM4");

    int seen = 0;
    for (const SerialPortEntry &e : entries) {
        if (e.devicePath == link) {
            ++seen;
            EXPECT_EQ(e.comNames, QStringList{QStringLiteral("COM3")});
            EXPECT_TRUE(e.present);
            EXPECT_TRUE(e.opens) << e.openProblem.toStdString();
        } else if (e.devicePath == missing) {
            ++seen;
            EXPECT_EQ(e.comNames, QStringList{QStringLiteral("COM4")});
            EXPECT_FALSE(e.present);
            EXPECT_FALSE(e.opens);
            EXPECT_EQ(e.openProblem, QStringLiteral("not present"));
        }
    }
    EXPECT_EQ(seen, 2);
}
