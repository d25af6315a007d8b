#include "serial/SerialDriver.h"
#include "support/PseudoTerminal.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <functional>
#include <memory>

#include <grp.h>
#include <pwd.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

// Generous deadlines: other builds share the machine, so only the outcome is asserted, not timing.
constexpr int kDeadlineMs = 10000;

bool waitUntil(const std::function<bool()> &condition, int timeoutMs = kDeadlineMs)
{
    QElapsedTimer clock;
    clock.start();
    while (!condition()) {
        if (clock.elapsed() > timeoutMs)
            return false;
        QTest::qWait(10);
    }
    return true;
}

// Collects what the driver delivers.
struct Receiver
{
    QByteArray bytes;
    int calls = 0;
    int largestBlock = 0;
    int smallestBlock = INT_MAX;
    TSerialPortDriver *lastSender = nullptr;

    void bind(TSerialPortDriver &driver)
    {
        driver.setOnReceiveData([this](TSerialPortDriver *sender, const char *data, qint32 size) {
            lastSender = sender;
            ++calls;
            largestBlock = std::max(largestBlock, int(size));
            smallestBlock = std::min(smallestBlock, int(size));
            bytes.append(data, size);
        });
    }
    bool waitForSize(qsizetype size)
    {
        return waitUntil([&] { return bytes.size() >= size; });
    }
};

// How many of this process's descriptors are open on the device.
int descriptorsOpenOn(const QString &device)
{
    int count = 0;
    const QDir fds(QStringLiteral("/proc/self/fd"));
    for (const QString &entry : fds.entryList(QDir::System | QDir::Files | QDir::NoDotAndDotDot)) {
        if (QFile::symLinkTarget(fds.filePath(entry)) == device)
            ++count;
    }
    return count;
}

speed_t slaveSpeed(const PseudoTerminal &pty)
{
    termios tio{};
    return pty.slaveSettings(&tio) ? cfgetospeed(&tio) : speed_t(0);
}

class SerialDriverTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_pty.isOpen());
        qputenv("METERLINK_COM1", QFile::encodeName(m_pty.slavePath()));
        m_driver.setComPort(pnCOM1);
    }
    void TearDown() override
    {
        m_driver.Disconnect();
        for (const char *name : {"METERLINK_COM1", "METERLINK_COM2", "METERLINK_COM3"})
            qunsetenv(name);
    }

    PseudoTerminal m_pty;
    TSerialPortDriver m_driver;
    Receiver m_receiver;
};

} // namespace

TEST(SerialDriverProperties, DefaultsAndNames)
{
    TSerialPortDriver driver;
    EXPECT_EQ(driver.ComPort(), pnCOM2);
    EXPECT_EQ(driver.ComPortSpeed(), br9600);
    EXPECT_EQ(driver.ComPortDataBits(), db8BITS);
    EXPECT_EQ(driver.ComPortStopBits(), sb1BITS);
    EXPECT_EQ(driver.ComPortParity(), ptNONE);
    EXPECT_EQ(driver.ComPortHwHandshaking(), hhNONE);
    EXPECT_EQ(driver.ComPortSwHandshaking(), shNONE);
    EXPECT_EQ(driver.ComPortInBufSize(), 2048);
    EXPECT_EQ(driver.ComPortOutBufSize(), 2048);
    EXPECT_EQ(driver.ComPortPollingDelay(), 50);
    EXPECT_TRUE(driver.EnableDTROnOpen());
    EXPECT_FALSE(driver.OnReceiveData());
    EXPECT_FALSE(driver.IsConnected());
    EXPECT_FALSE(driver.wantsConnection());

    const quint32 speeds[] = {110,   300,   600,   1200,  2400,  4800,  9600,
                              14400, 19200, 38400, 56000, 57600, 115200};
    for (int rate = br110; rate <= br115200; ++rate)
        EXPECT_EQ(comPortBaudRateValue(TComPortBaudRate(rate)), speeds[rate]) << rate;
    const char *names[] = {"COM1", "COM2", "COM3", "COM4"};
    for (int port = pnCOM1; port <= pnCOM4; ++port)
        EXPECT_EQ(TSerialPortDriver::portName(TComPortNumber(port)), QLatin1String(names[port]));
}

TEST(SerialDriverProperties, DevicePathComesFromEnvironmentElseLinuxDefault)
{
    for (int port = pnCOM1; port <= pnCOM4; ++port) {
        const QByteArray variable = "METERLINK_COM" + QByteArray::number(port + 1);
        qputenv(variable.constData(), "/tmp/meter-" + QByteArray::number(port));
        EXPECT_EQ(TSerialPortDriver::devicePathFor(TComPortNumber(port)),
                  QStringLiteral("/tmp/meter-%1").arg(port));
        qunsetenv(variable.constData());
        EXPECT_EQ(TSerialPortDriver::devicePathFor(TComPortNumber(port)),
                  TSerialPortDriver::linuxDefaultDevice(
                      TComPortNumber(port), [](const QString &path) { return QFile::exists(path); }));
    }
}

TEST(SerialDriverProperties, LinuxDefaultPrefersUsbAdapterThenUsbCdcThenBuiltIn)
{
    const struct
    {
        QStringList present;
        const char *com2;
    } rows[] = {
        {{QStringLiteral("/dev/ttyUSB1"), QStringLiteral("/dev/ttyACM1")}, "/dev/ttyUSB1"},
        {{QStringLiteral("/dev/ttyACM1"), QStringLiteral("/dev/ttyUSB0")}, "/dev/ttyACM1"},
        {{QStringLiteral("/dev/ttyACM0")}, "/dev/ttyS1"},
        {{}, "/dev/ttyS1"},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.present.join(QLatin1Char(' ')).toStdString());
        EXPECT_EQ(TSerialPortDriver::linuxDefaultDevice(
                      pnCOM2, [&row](const QString &path) { return row.present.contains(path); }),
                  QLatin1String(row.com2));
    }
}

TEST(SerialDriverProperties, ClosedDriverIgnoresPortOperations)
{
    TSerialPortDriver driver;
    driver.Disconnect();
    driver.ApplySettings();
    driver.PurgeBuffers(true, true);
    EXPECT_FALSE(driver.IsConnected());

    driver.setComPort(pnCOM4);
    driver.setComPortSpeed(br19200);
    driver.setComPortInBufSize(16);
    driver.setComPortOutBufSize(99);
    driver.setComPortPollingDelay(20);
    EXPECT_EQ(driver.ComPort(), pnCOM4);
    EXPECT_EQ(driver.ComPortSpeed(), br19200);
    EXPECT_EQ(driver.ComPortInBufSize(), 16);
    EXPECT_EQ(driver.ComPortOutBufSize(), 99);
    EXPECT_EQ(driver.ComPortPollingDelay(), 20);
    EXPECT_FALSE(driver.findChild<QTimer *>(QStringLiteral("pollTimer"))->isActive());
}

// Reception: every byte arrives once, in order, in blocks no larger than the receive buffer.
class SerialDriverReceive : public SerialDriverTest, public ::testing::WithParamInterface<int>
{};

TEST_P(SerialDriverReceive, DeliversAllBytesInOrderSplitOverPolls)
{
    const int bufferSize = GetParam();
    m_driver.setComPortInBufSize(quint16(bufferSize));
    m_receiver.bind(m_driver);
    ASSERT_TRUE(m_driver.Connect()) << m_driver.lastErrorText().toStdString();

    QByteArray sent;
    for (int i = 0; i < 3 * bufferSize + 17; ++i)
        sent.append(char(i * 7 + i / 251));
    ASSERT_TRUE(m_pty.writeAll(sent));
    ASSERT_TRUE(m_receiver.waitForSize(sent.size()));
    QTest::qWait(150);

    EXPECT_EQ(m_receiver.bytes, sent);
    EXPECT_LE(m_receiver.largestBlock, bufferSize);
    EXPECT_GE(m_receiver.smallestBlock, 1);
    EXPECT_GE(m_receiver.calls, 4);
    EXPECT_EQ(m_receiver.lastSender, &m_driver);
    EXPECT_TRUE(m_pty.readMaster().isEmpty()) << "the driver wrote to the port";
}

INSTANTIATE_TEST_SUITE_P(BufferSizes, SerialDriverReceive, ::testing::Values(16, 2048));

TEST_F(SerialDriverTest, EmptyPollsCallNothingAndUnboundEventDropsBytes)
{
    m_driver.setComPortPollingDelay(10);
    ASSERT_TRUE(m_driver.Connect());
    ASSERT_TRUE(m_pty.writeAll("dropped"));
    ASSERT_TRUE(waitUntil([&] { return m_pty.pendingOnSlave() == 0; }));
    QTest::qWait(500);

    m_receiver.bind(m_driver);
    QTest::qWait(400);
    EXPECT_EQ(m_receiver.calls, 0);

    ASSERT_TRUE(m_pty.writeAll("kept"));
    ASSERT_TRUE(m_receiver.waitForSize(4));
    QTest::qWait(150);
    EXPECT_EQ(m_receiver.bytes, QByteArray("kept"));
}

TEST_F(SerialDriverTest, HandlerMayDisconnectOrRunAnEventLoop)
{
    int depth = 0, deepest = 0, calls = 0;
    m_driver.setComPortPollingDelay(10);
    m_driver.setOnReceiveData([&](TSerialPortDriver *sender, const char *, qint32) {
        ++calls;
        deepest = std::max(deepest, ++depth);
        QTest::qWait(200); // a message box would run one
        if (calls == 2)
            sender->Disconnect();
        --depth;
    });
    ASSERT_TRUE(m_driver.Connect());
    ASSERT_TRUE(m_pty.writeAll("1"));
    ASSERT_TRUE(waitUntil([&] { return calls == 1; }));
    ASSERT_TRUE(m_pty.writeAll("2"));
    ASSERT_TRUE(waitUntil([&] { return !m_driver.IsConnected(); }));
    ASSERT_TRUE(m_pty.writeAll("3"));
    QTest::qWait(300);
    EXPECT_EQ(deepest, 1);
    EXPECT_EQ(calls, 2);
}

TEST_F(SerialDriverTest, ConnectOnOpenDriverChangesNothing)
{
    m_driver.setComPortSpeed(br2400);
    m_receiver.bind(m_driver);
    ASSERT_TRUE(m_driver.Connect());
    ASSERT_EQ(slaveSpeed(m_pty), speed_t(B2400));

    // Changed behind the driver's back: a second Connect must neither re-apply nor purge.
    termios tio{};
    ASSERT_TRUE(m_pty.slaveSettings(&tio));
    cfsetospeed(&tio, B1200);
    cfsetispeed(&tio, B1200);
    ASSERT_TRUE(m_pty.setSlaveSettings(tio));
    ASSERT_EQ(m_pty.write("pending"), 7);
    EXPECT_TRUE(m_driver.Connect());

    EXPECT_EQ(slaveSpeed(m_pty), speed_t(B1200));
    ASSERT_TRUE(m_receiver.waitForSize(7));
    EXPECT_EQ(m_receiver.bytes, QByteArray("pending"));
}

TEST_F(SerialDriverTest, PortChangesWhileOpenAreDropped)
{
    PseudoTerminal other;
    qputenv("METERLINK_COM2", QFile::encodeName(other.slavePath()));
    m_receiver.bind(m_driver);
    ASSERT_TRUE(m_driver.Connect());
    m_driver.setComPort(pnCOM2);
    EXPECT_EQ(m_driver.ComPort(), pnCOM1);

    m_driver.Disconnect();
    ASSERT_TRUE(m_driver.Connect());
    EXPECT_EQ(m_driver.devicePath(), m_pty.slavePath());
    ASSERT_TRUE(m_pty.writeAll("one"));
    ASSERT_TRUE(m_receiver.waitForSize(3));

    m_driver.Disconnect();
    m_driver.setComPort(pnCOM2);
    ASSERT_TRUE(m_driver.Connect());
    EXPECT_EQ(m_driver.devicePath(), other.slavePath());
}

TEST_F(SerialDriverTest, SettingsWhileOpenAreSentAtOnceAndPurge)
{
    m_receiver.bind(m_driver);
    m_driver.setComPortSpeed(br2400);
    ASSERT_TRUE(m_driver.Connect());

    struct Case
    {
        const char *what;
        std::function<void(TSerialPortDriver &)> set;
        std::function<bool(const termios &)> holds;
    };
    const Case cases[] = {
        {"speed", [](TSerialPortDriver &d) { d.setComPortSpeed(br19200); },
         [](const termios &t) {
             return cfgetispeed(&t) == B19200 && cfgetospeed(&t) == B19200;
         }},
        // A pseudo-terminal keeps 8 data bits and no parity whatever it is told; what can be seen
        // is that parity is never checked.
        {"odd parity, not checked", [](TSerialPortDriver &d) { d.setComPortParity(ptODD); },
         [](const termios &t) {
             return !(t.c_iflag & INPCK);
         }},
        {"two stop bits", [](TSerialPortDriver &d) { d.setComPortStopBits(sb2BITS); },
         [](const termios &t) {
             return (t.c_cflag & CSTOPB) != 0;
         }},
        {"both handshakes",
         [](TSerialPortDriver &d) {
             d.setComPortHwHandshaking(hhRTSCTS);
             d.setComPortSwHandshaking(shXONXOFF);
         },
         [](const termios &t) {
             return (t.c_cflag & CRTSCTS) && (t.c_iflag & IXON) && (t.c_iflag & IXOFF) &&
                    !(t.c_iflag & IXANY) && t.c_cc[VSTART] == 0x11 && t.c_cc[VSTOP] == 0x13;
         }},
        {"no handshake",
         [](TSerialPortDriver &d) {
             d.setComPortHwHandshaking(hhNONE);
             d.setComPortSwHandshaking(shNONE);
         },
         [](const termios &t) {
             return !(t.c_cflag & CRTSCTS) && !(t.c_iflag & (IXON | IXOFF));
         }},
    };
    for (const Case &c : cases) {
        // Bytes waiting in the line when a setting changes are purged with it.
        ASSERT_EQ(m_pty.write("stale"), 5);
        c.set(m_driver);
        termios tio{};
        ASSERT_TRUE(m_pty.slaveSettings(&tio));
        EXPECT_TRUE(c.holds(tio)) << c.what;
    }
    ASSERT_TRUE(m_pty.writeAll("fresh"));
    ASSERT_TRUE(m_receiver.waitForSize(5));
    QTest::qWait(150);
    EXPECT_EQ(m_receiver.bytes, QByteArray("fresh"));
    EXPECT_TRUE(m_driver.IsConnected());
}

TEST_F(SerialDriverTest, SettingsWhileClosedWaitForConnect)
{
    m_driver.setComPortSpeed(br2400);
    ASSERT_TRUE(m_driver.Connect());
    EXPECT_EQ(slaveSpeed(m_pty), speed_t(B2400));
    m_driver.Disconnect();
    const speed_t whileClosed = slaveSpeed(m_pty);
    m_driver.setComPortSpeed(br4800);
    EXPECT_EQ(slaveSpeed(m_pty), whileClosed);
    ASSERT_TRUE(m_driver.Connect());
    EXPECT_EQ(slaveSpeed(m_pty), speed_t(B4800));
}

TEST_F(SerialDriverTest, BufferSizeChangesOnlyWhileClosed)
{
    ASSERT_TRUE(m_driver.Connect());
    m_driver.setComPortInBufSize(8);
    EXPECT_EQ(m_driver.ComPortInBufSize(), 2048);
    m_driver.setComPortOutBufSize(512);
    EXPECT_EQ(m_driver.ComPortOutBufSize(), 512);
    m_driver.Disconnect();
    m_driver.setComPortInBufSize(8);
    EXPECT_EQ(m_driver.ComPortInBufSize(), 8);
}

TEST_F(SerialDriverTest, PollingDelayRestartsTimerOnlyWhenChanged)
{
    QTimer *timer = m_driver.findChild<QTimer *>(QStringLiteral("pollTimer"));
    ASSERT_NE(timer, nullptr);
    m_driver.setComPortPollingDelay(4000);
    ASSERT_TRUE(m_driver.Connect());
    EXPECT_TRUE(timer->isActive());
    EXPECT_EQ(timer->interval(), 4000);

    QElapsedTimer clock;
    clock.start();
    QTest::qWait(1000);
    m_driver.setComPortPollingDelay(4000);
    if (clock.elapsed() < 3000) {
        EXPECT_LT(timer->remainingTime(), 3500) << "the timer was restarted";
    }

    m_driver.setComPortPollingDelay(5000);
    EXPECT_EQ(timer->interval(), 5000);
    EXPECT_GT(timer->remainingTime(), 4000);

    m_driver.Disconnect();
    EXPECT_FALSE(timer->isActive());
}

TEST_F(SerialDriverTest, AQuietPortIsPolledSeldomUntilBytesArrive)
{
    QTimer *timer = m_driver.findChild<QTimer *>(QStringLiteral("pollTimer"));
    ASSERT_NE(timer, nullptr);
    m_receiver.bind(m_driver);
    ASSERT_TRUE(m_driver.Connect());
    EXPECT_EQ(timer->interval(), 50);
    ASSERT_TRUE(waitUntil([&] { return timer->interval() == TSerialPortDriver::kQuietPollMs; }));
    EXPECT_TRUE(timer->isActive());
    // Bytes bring the usual pace back.
    ASSERT_TRUE(m_pty.writeAll("frame"));
    ASSERT_TRUE(m_receiver.waitForSize(5));
    EXPECT_EQ(timer->interval(), 50);
    EXPECT_EQ(m_receiver.bytes, QByteArray("frame"));
}

TEST_F(SerialDriverTest, SecondDriverOnSameDeviceCannotConnectUnderAnyName)
{
    // Root passes the exclusive-open check, so only the lock keeps two users apart: a link and its
    // target are one device.
    QTemporaryDir dir;
    const QString link = dir.filePath(QStringLiteral("ttyMeter"));
    ASSERT_TRUE(QFile::link(m_pty.slavePath(), link));
    const struct
    {
        const char *name;
        QString first, second;
    } rows[] = {
        {"same name", m_pty.slavePath(), m_pty.slavePath()},
        {"link, then its target", link, m_pty.slavePath()},
        {"target, then a link to it", m_pty.slavePath(), link},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.name);
        qputenv("METERLINK_COM1", QFile::encodeName(row.first));
        qputenv("METERLINK_COM2", QFile::encodeName(row.second));
        ASSERT_TRUE(m_driver.Connect());
        TSerialPortDriver second;
        second.setComPort(pnCOM2);
        EXPECT_FALSE(second.Connect());
        EXPECT_FALSE(second.IsConnected());
        EXPECT_FALSE(second.IsConnecting());
        EXPECT_TRUE(second.lastErrorText().startsWith(QStringLiteral("COM2: Port is in use (") + row.second))
            << second.lastErrorText().toStdString();
        QString problem;
        EXPECT_FALSE(TSerialPortDriver::probeDevice(row.second, &problem));
        EXPECT_TRUE(problem.startsWith(QStringLiteral("Port is in use."))) << problem.toStdString();

        m_driver.Disconnect();
        EXPECT_TRUE(second.Connect());
        EXPECT_TRUE(second.lastErrorText().isEmpty());
        EXPECT_TRUE(TSerialPortDriver::probeDevice(row.first) == false);
        second.Disconnect();
        EXPECT_TRUE(TSerialPortDriver::probeDevice(row.first));
    }
}

TEST_F(SerialDriverTest, DisconnectStopsDeliveryAndReleasesThePort)
{
    const int before = descriptorsOpenOn(m_pty.slavePath());
    m_receiver.bind(m_driver);
    ASSERT_TRUE(m_driver.Connect());
    EXPECT_EQ(descriptorsOpenOn(m_pty.slavePath()), before + 1);
    ASSERT_TRUE(m_pty.writeAll("a"));
    ASSERT_TRUE(m_receiver.waitForSize(1));

    m_driver.Disconnect();
    m_driver.Disconnect();
    EXPECT_FALSE(m_driver.IsConnected());
    EXPECT_FALSE(m_driver.wantsConnection());
    EXPECT_EQ(descriptorsOpenOn(m_pty.slavePath()), before);
    ASSERT_TRUE(m_pty.writeAll("b"));
    QTest::qWait(300);
    EXPECT_EQ(m_receiver.bytes, QByteArray("a"));
    EXPECT_TRUE(m_pty.readMaster().isEmpty());
}

TEST_F(SerialDriverTest, DestroyingAnOpenDriverClosesThePort)
{
    const int before = descriptorsOpenOn(m_pty.slavePath());
    auto driver = std::make_unique<TSerialPortDriver>();
    driver->setComPort(pnCOM1);
    ASSERT_TRUE(driver->Connect());
    EXPECT_EQ(descriptorsOpenOn(m_pty.slavePath()), before + 1);
    driver.reset();
    EXPECT_EQ(descriptorsOpenOn(m_pty.slavePath()), before);
    EXPECT_TRUE(m_driver.Connect());
}

TEST_F(SerialDriverTest, FailedConnectNamesPortAndReasonAndDoesNotRetry)
{
    QTemporaryDir dir;
    const QString missing = dir.filePath(QStringLiteral("no-such-device"));
    qputenv("METERLINK_COM3", QFile::encodeName(missing));
    m_driver.setComPort(pnCOM3);
    EXPECT_FALSE(m_driver.Connect());
    EXPECT_EQ(m_driver.lastErrorText(),
              QStringLiteral("COM3: No such file or directory (%1). Plug in the adapter "
                             "or set METERLINK_COM3 to its device path.")
                  .arg(missing));
    EXPECT_FALSE(m_driver.IsConnected());
    EXPECT_FALSE(m_driver.wantsConnection());

    // The user picks another port: closed, so the choice is stored and used.
    m_driver.setComPort(pnCOM1);
    EXPECT_TRUE(m_driver.Connect());
    EXPECT_TRUE(m_driver.lastErrorText().isEmpty());
}

TEST_F(SerialDriverTest, PermissionDeniedSaysWhatToDo)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    // The unprivileged user must reach the device file, or it would be refused for the wrong reason.
    ASSERT_TRUE(QFile::setPermissions(dir.path(), QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                                      QFileDevice::ExeOwner | QFileDevice::ExeGroup |
                                                      QFileDevice::ExeOther));
    const QString locked = dir.filePath(QStringLiteral("ttyLocked"));
    QFile file(locked);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.close();
    qputenv("METERLINK_COM2", QFile::encodeName(locked));

    // Root opens anything, so the refusal is met by an unprivileged child (in no group at all); it
    // reports what the driver said through a pipe.
    const auto refusal = [] {
        int channel[2];
        if (::pipe(channel) != 0)
            return std::string("no pipe");
        const pid_t child = ::fork();
        if (child == 0) {
            ::close(channel[0]);
            QByteArray said;
            if (::geteuid() == 0 &&
                (::setgroups(0, nullptr) != 0 || ::setgid(65534) != 0 || ::setuid(65534) != 0)) {
                said = "cannot drop privileges: " + QByteArray(std::strerror(errno));
            } else {
                TSerialPortDriver driver;
                driver.setComPort(pnCOM2);
                said = driver.Connect() ? QByteArray("connected") : driver.lastErrorText().toUtf8();
            }
            const bool written = ::write(channel[1], said.constData(), size_t(said.size())) == said.size();
            ::_exit(written ? 0 : 1);
        }
        ::close(channel[1]);
        QByteArray said;
        char block[512];
        for (ssize_t n; (n = ::read(channel[0], block, sizeof block)) > 0;)
            said.append(block, n);
        ::close(channel[0]);
        int status = 0;
        if (child < 0 || ::waitpid(child, &status, 0) != child || !WIFEXITED(status) ||
            WEXITSTATUS(status) != 0)
            return std::string("the child failed");
        return said.toStdString();
    };

    const QString name = QString::fromLocal8Bit(::getpwuid(::geteuid())->pw_name);
    const QString groupName = QString::fromLocal8Bit(::getgrgid(::getegid())->gr_name);
    const struct group *dialout = ::getgrnam("dialout");
    const struct
    {
        gid_t group; // the device's group; -1 keeps the test's own
        QFileDevice::Permissions mode;
        QString advice;
    } rows[] = {
        // Only the owner may open it: no group would help, so the owner is named.
        {gid_t(-1), QFileDevice::ReadOwner | QFileDevice::WriteOwner,
         QStringLiteral("The device belongs to %1:%2 with mode 0600, so joining a group would not help; ask "
                        "the system's administrator for access to it.")
             .arg(name, groupName)},
        // A group that may read and write it, which the child is not in: joining it helps.
        {dialout && ::geteuid() == 0 ? dialout->gr_gid : gid_t(-1),
         QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadGroup | QFileDevice::WriteGroup,
         QStringLiteral(
             "Add your user to the dialout group (sudo usermod -aG dialout $USER) and log in again.")},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.advice.toStdString());
        if (row.group == gid_t(-1) && row.mode.testFlag(QFileDevice::ReadGroup))
            continue; // only root can hand the file to a group it is not in itself
        ASSERT_EQ(::chown(QFile::encodeName(locked).constData(), uid_t(-1), row.group), 0);
        ASSERT_TRUE(file.setPermissions(row.mode));
        EXPECT_EQ(refusal(),
                  (QStringLiteral("COM2: Permission denied (%1). ").arg(locked) + row.advice).toStdString());
    }
}

// Unplugging: the device behind a stable name goes away and comes back as a new device.
class SerialDriverReconnect : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_dir.isValid());
        m_link = m_dir.filePath(QStringLiteral("ttyMeter"));
        qputenv("METERLINK_COM4", QFile::encodeName(m_link));
        m_driver.setComPort(pnCOM4);
        m_receiver.bind(m_driver);
        QObject::connect(&m_driver, &TSerialPortDriver::portLost, &m_driver,
                         [this](const QString &message) { m_lost.append(message); });
        QObject::connect(&m_driver, &TSerialPortDriver::portRestored, &m_driver, [this] { ++m_restored; });
    }
    void TearDown() override { qunsetenv("METERLINK_COM4"); }

    void plugIn(PseudoTerminal &pty)
    {
        QFile::remove(m_link);
        ASSERT_TRUE(QFile::link(pty.slavePath(), m_link));
    }
    void unplug(PseudoTerminal &pty)
    {
        QFile::remove(m_link);
        pty.closeMaster();
    }

    QTemporaryDir m_dir;
    QString m_link;
    TSerialPortDriver m_driver;
    Receiver m_receiver;
    QStringList m_lost;
    int m_restored = 0;
};

TEST_F(SerialDriverReconnect, ReceptionResumesWithoutAClick)
{
    PseudoTerminal first;
    plugIn(first);
    m_driver.setComPortSpeed(br19200);
    ASSERT_TRUE(m_driver.Connect());
    ASSERT_TRUE(first.writeAll("before"));
    ASSERT_TRUE(m_receiver.waitForSize(6));

    unplug(first);
    ASSERT_TRUE(waitUntil([&] { return !m_lost.isEmpty(); }));
    EXPECT_FALSE(m_driver.IsConnected());
    EXPECT_TRUE(m_driver.IsConnecting());
    EXPECT_TRUE(m_driver.wantsConnection());
    EXPECT_TRUE(m_lost.first().startsWith(QStringLiteral("COM4: "))) << m_lost.first().toStdString();
    EXPECT_TRUE(m_lost.first().contains(m_link));
    // A port change while reconnecting would send reception elsewhere.
    m_driver.setComPort(pnCOM1);
    EXPECT_EQ(m_driver.ComPort(), pnCOM4);

    // Nothing there for a while: the driver keeps trying quietly.
    QTest::qWait(1500);
    EXPECT_EQ(m_lost.size(), 1);
    EXPECT_EQ(m_restored, 0);

    PseudoTerminal second;
    plugIn(second);
    ASSERT_TRUE(waitUntil([&] { return m_restored == 1; }));
    EXPECT_TRUE(m_driver.IsConnected());
    EXPECT_EQ(slaveSpeed(second), speed_t(B19200));
    ASSERT_TRUE(second.writeAll("after"));
    ASSERT_TRUE(m_receiver.waitForSize(11));
    EXPECT_EQ(m_receiver.bytes, QByteArray("beforeafter"));
    EXPECT_TRUE(second.readMaster().isEmpty());
}

TEST_F(SerialDriverReconnect, DisconnectStopsRetrying)
{
    PseudoTerminal first;
    plugIn(first);
    ASSERT_TRUE(m_driver.Connect());
    unplug(first);
    ASSERT_TRUE(waitUntil([&] { return !m_lost.isEmpty(); }));

    m_driver.Disconnect();
    EXPECT_FALSE(m_driver.IsConnecting());
    PseudoTerminal second;
    plugIn(second);
    QTest::qWait(2500);
    EXPECT_EQ(m_restored, 0);
    EXPECT_FALSE(m_driver.IsConnected());
    EXPECT_EQ(descriptorsOpenOn(second.slavePath()), 1); // the helper's own
}

TEST_F(SerialDriverReconnect, ConnectWhileReconnectingTriesAtOnce)
{
    PseudoTerminal first;
    plugIn(first);
    ASSERT_TRUE(m_driver.Connect());
    unplug(first);
    ASSERT_TRUE(waitUntil([&] { return !m_lost.isEmpty(); }));

    EXPECT_FALSE(m_driver.Connect());
    EXPECT_TRUE(m_driver.IsConnecting());
    PseudoTerminal second;
    plugIn(second);
    EXPECT_TRUE(m_driver.Connect());
    EXPECT_EQ(m_restored, 1);
    EXPECT_FALSE(m_driver.IsConnecting());
}
