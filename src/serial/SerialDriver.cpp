#include "serial/SerialDriver.h"

#include "serial/OpenFailureText.h"

#include <QDir>
#include <QFileInfo>
#include <QLockFile>
#include <QSerialPort>
#include <QTimer>

#include "platform/Error.h"
#include "platform/Terminal.h"

#include <cerrno>

namespace {

constexpr quint32 kBaudRates[] = {110,   300,   600,   1200,  2400,  4800,  9600,
                                  14400, 19200, 38400, 56000, 57600, 115200};

// A lost device usually comes back within seconds of being plugged in again; once a second finds
// it quickly without keeping the system busy.
constexpr int kReconnectIntervalMs = 1000;

QSerialPort::Parity toQtParity(TComPortParity parity)
{
    switch (parity) {
    case ptODD:
        return QSerialPort::OddParity;
    case ptEVEN:
        return QSerialPort::EvenParity;
    case ptMARK:
        return QSerialPort::MarkParity;
    case ptSPACE:
        return QSerialPort::SpaceParity;
    case ptNONE:
        break;
    }
    return QSerialPort::NoParity;
}

QSerialPort::StopBits toQtStopBits(TComPortStopBits bits)
{
    switch (bits) {
    case sb1HALFBITS:
        return QSerialPort::OneAndHalfStop;
    case sb2BITS:
        return QSerialPort::TwoStop;
    case sb1BITS:
        break;
    }
    return QSerialPort::OneStop;
}

// Who may open the device at `path`, for the message that says what to do about a refusal.
void describeOwnership(const QString &path, OpenFailure *failure)
{
    platform::DeviceOwnership ownership;
    if (!platform::deviceOwnership(path.toStdString(), &ownership))
        return;
    failure->deviceGroup = QString::fromStdString(ownership.group);
    failure->deviceOwner = QString::fromStdString(ownership.owner);
    failure->deviceMode = ownership.mode;
    failure->groupMayOpen = ownership.groupMayOpen;
}

// A device reached under two names (a link and its target) must be locked under one: Qt names its
// lock file after the name it is given, and root passes the exclusive-open check.
QString lockedDeviceName(const QString &path)
{
    const QString target = QFileInfo(path).canonicalFilePath();
    return target.isEmpty() ? path : target;
}

} // namespace

void TSerialPortDriver::removeStaleLock(const QString &path)
{
#ifdef Q_OS_UNIX
    // Named as the serial port library names its lock files: LCK.. and the device's name under
    // /dev with "/" made "_", in the first lock folder that exists.
    QString name = lockedDeviceName(path);
    if (name.startsWith(QLatin1String("/dev/")))
        name = name.mid(5);
    name.replace(QLatin1Char('/'), QLatin1Char('_'));
    for (const char *folder : {"/var/lock", "/etc/locks", "/var/spool/locks", "/var/spool/uucp", "/tmp",
                               "/var/tmp", "/var/lock/lockdev", "/run/lock"}) {
        const QString lockFolder = QString::fromLatin1(folder);
        if (!QFileInfo(lockFolder).isDir())
            continue;
        const QString lock = lockFolder + QStringLiteral("/LCK..") + name;
        if (QFileInfo::exists(lock))
            QLockFile(lock).removeStaleLockFile();
        return;
    }
#else
    Q_UNUSED(path);
#endif
}

namespace {

// Why `port` failed to open `path`, with what to do about it. `portName` is the name the user
// chose ("COM3"); `pathVariable` the variable that would name another device, if any.
QString describeOpenFailure(const QSerialPort &port, const QString &path, const QString &portName,
                            const QString &pathVariable)
{
    OpenFailure failure;
    failure.systemReason = port.errorString();
    failure.devicePath = path;
    switch (port.error()) {
    case QSerialPort::DeviceNotFoundError:
        failure.kind = OpenFailureKind::NotFound;
        break;
    case QSerialPort::PermissionError:
        // Qt reports a foreign lock and a refused open alike; the file's mode tells them apart.
        if (platform::readingRefused(path.toStdString())) {
            failure.kind = OpenFailureKind::AccessDenied;
            failure.systemReason = QString::fromStdString(platform::systemError(EACCES).message);
            describeOwnership(path, &failure);
        } else {
            failure.kind = OpenFailureKind::InUse;
#ifndef Q_OS_WIN
            failure.systemReason = QStringLiteral("Port is in use");
#endif
        }
        break;
    default:
        break;
    }
    failure.pathVariable = pathVariable;
    return openFailureText(portName, failure);
}

} // namespace

quint32 comPortBaudRateValue(TComPortBaudRate rate)
{
    return kBaudRates[rate];
}

TSerialPortDriver::TSerialPortDriver(QObject *owner)
    : QObject(owner), m_port(new QSerialPort(this)), m_pollTimer(new QTimer(this)),
      m_retryTimer(new QTimer(this)), m_receiveBuffer(new char[m_comPortInBufSize])
{
    m_pollTimer->setObjectName(QStringLiteral("pollTimer"));
    m_pollTimer->setInterval(m_comPortPollingDelay);
    connect(m_pollTimer, &QTimer::timeout, this, &TSerialPortDriver::PollTick);
    m_retryTimer->setInterval(kReconnectIntervalMs);
    connect(m_retryTimer, &QTimer::timeout, this, &TSerialPortDriver::retryOpen);
    connect(m_port, &QSerialPort::readyRead, this, [this] {
        if (m_readOnArrival)
            PollTick();
        else if (m_quiet)
            startPolling();
    });
    connect(m_port, &QSerialPort::errorOccurred, this, [this](QSerialPort::SerialPortError error) {
        // Errors while configuring are not examined (a pseudo-terminal refuses DTR, say). A
        // resource error while reading means the device is gone; the next poll releases it.
        if (error == QSerialPort::ResourceError && !m_applyingSettings && m_port->isOpen())
            m_lostReason = m_port->errorString();
    });
}

TSerialPortDriver::~TSerialPortDriver()
{
    Disconnect();
    m_port->disconnect(this);
}

bool TSerialPortDriver::Connect()
{
    if (IsConnected())
        return true;
    // While reconnecting, Connect tries the lost device at once.
    const bool reconnecting = IsConnecting();
    const QString path = reconnecting         ? m_devicePath
                         : m_device.isEmpty() ? devicePathFor(m_comPort)
                                              : m_device;
    if (!openDevice(path)) {
#ifdef Q_OS_WIN
        const QString pathVariable;
#else
        const QString pathVariable =
            m_device.isEmpty() ? QStringLiteral("METERLINK_") + portName(m_comPort) : QString();
#endif
        m_lastErrorText = describeOpenFailure(*m_port, path, portLabel(), pathVariable);
        return false;
    }
    m_lastErrorText.clear();
    m_retryTimer->stop();
    m_wantConnection = true;
    m_devicePath = path;
    startPolling();
    if (reconnecting)
        emit portRestored();
    return true;
}

void TSerialPortDriver::Disconnect()
{
    m_retryTimer->stop();
    m_wantConnection = false;
    m_devicePath.clear();
    if (!IsConnected())
        return;
    m_pollTimer->stop();
    m_port->close();
}

bool TSerialPortDriver::IsConnected() const
{
    return m_port->isOpen();
}

bool TSerialPortDriver::IsConnecting() const
{
    return m_wantConnection && !m_port->isOpen();
}

bool TSerialPortDriver::openDevice(const QString &path)
{
    m_lostReason.clear();
    m_port->setPortName(lockedDeviceName(path));
    // Opened for reading only: the meter talks, the program listens.
    if (!m_port->open(QIODevice::ReadOnly))
        return false;
    ApplySettings();
    return true;
}

void TSerialPortDriver::startPolling()
{
    // A zero period would poll whenever the event loop is idle, i.e. spin.
    m_pollTimer->start(qMax(1, int(m_comPortPollingDelay)));
    m_emptyPolls = 0;
    m_quiet = false;
}

void TSerialPortDriver::ApplySettings()
{
    if (!IsConnected())
        return;
    // Results are not examined: a device that refuses one setting still delivers bytes.
    m_applyingSettings = true;
    const bool rtsCts = m_comPortHwHandshaking == hhRTSCTS;
    const bool xonXoff = m_comPortSwHandshaking == shXONXOFF;
    m_port->setBaudRate(qint32(comPortBaudRateValue(m_comPortSpeed)));
    m_port->setDataBits(QSerialPort::DataBits(m_comPortDataBits + 5));
    m_port->setParity(toQtParity(m_comPortParity));
    m_port->setStopBits(toQtStopBits(m_comPortStopBits));
    m_port->setFlowControl(rtsCts    ? QSerialPort::HardwareControl
                           : xonXoff ? QSerialPort::SoftwareControl
                                     : QSerialPort::NoFlowControl);
    m_port->setDataTerminalReady(m_enableDTROnOpen);
    if (!rtsCts)
        m_port->setRequestToSend(false);
    // Qt's line settings fall short here; they are corrected on the open port directly.
    platform::adjustLine(platform::NativeHandle(m_port->handle()),
                         {m_comPortStopBits != sb1BITS, rtsCts, xonXoff});
    PurgeBuffers(true, true);
    // The input queue: beyond this the device keeps the bytes until the next poll makes room.
    // (Qt reads a size of 0 as "unlimited", the opposite of what a zero-sized queue means.)
    m_port->setReadBufferSize(qMax<qint64>(m_comPortInBufSize, 1));
    m_applyingSettings = false;
}

void TSerialPortDriver::PurgeBuffers(bool input, bool output)
{
    if (!IsConnected())
        return;
    QSerialPort::Directions directions;
    if (input)
        directions |= QSerialPort::Input;
    if (output)
        directions |= QSerialPort::Output;
    if (directions)
        m_port->clear(directions);
}

void TSerialPortDriver::PollTick()
{
    // A handler that runs a nested event loop (a message box) sees no tick inside itself: Qt does
    // not fire a timer again while its timeout is being handled.
    if (!IsConnected())
        return;
    const qint64 count = m_port->read(m_receiveBuffer.get(), m_comPortInBufSize);
    if (count > 0) {
        if (m_quiet)
            startPolling();
        m_emptyPolls = 0;
        if (m_onReceiveData)
            m_onReceiveData(this, m_receiveBuffer.get(), qint32(count));
    } else if (!m_quiet && m_comPortPollingDelay < kQuietPollMs &&
               ++m_emptyPolls * qMax(1, int(m_comPortPollingDelay)) >= kQuietAfterMs) {
        m_quiet = true;
        m_pollTimer->start(kQuietPollMs);
    }
    // The handler may have disconnected. Bytes read before the loss are delivered first.
    if (!IsConnected() || m_port->bytesAvailable() > 0)
        return;
    if (!m_lostReason.isEmpty())
        handlePortLost(m_lostReason);
    else if (deviceHungUp())
        handlePortLost(QStringLiteral("Device disconnected"));
}

bool TSerialPortDriver::deviceHungUp() const
{
    return platform::lineHungUp(platform::NativeHandle(m_port->handle()));
}

void TSerialPortDriver::handlePortLost(const QString &reason)
{
    m_pollTimer->stop();
    m_port->close();
    m_lostReason.clear();
    const QString message = portLostText(portLabel(), reason, m_devicePath);
    m_lastErrorText = message;
    m_retryTimer->start();
    emit portLost(message);
}

void TSerialPortDriver::retryOpen()
{
    if (!IsConnecting()) {
        m_retryTimer->stop();
        return;
    }
    if (!openDevice(m_devicePath))
        return;
    m_retryTimer->stop();
    m_lastErrorText.clear();
    startPolling();
    emit portRestored();
}

void TSerialPortDriver::setComPort(TComPortNumber port)
{
    // The port in use stays the port reconnected to.
    if (!m_wantConnection)
        m_comPort = port;
}

void TSerialPortDriver::setComPortSpeed(TComPortBaudRate speed)
{
    m_comPortSpeed = speed;
    ApplySettings();
}

void TSerialPortDriver::setComPortDataBits(TComPortDataBits bits)
{
    m_comPortDataBits = bits;
    ApplySettings();
}

void TSerialPortDriver::setComPortStopBits(TComPortStopBits bits)
{
    m_comPortStopBits = bits;
    ApplySettings();
}

void TSerialPortDriver::setComPortParity(TComPortParity parity)
{
    m_comPortParity = parity;
    ApplySettings();
}

void TSerialPortDriver::setComPortHwHandshaking(TComPortHwHandshaking handshaking)
{
    m_comPortHwHandshaking = handshaking;
    ApplySettings();
}

void TSerialPortDriver::setComPortSwHandshaking(TComPortSwHandshaking handshaking)
{
    m_comPortSwHandshaking = handshaking;
    ApplySettings();
}

void TSerialPortDriver::setComPortInBufSize(quint16 size)
{
    if (IsConnected() || size == m_comPortInBufSize)
        return;
    m_receiveBuffer.reset();
    m_comPortInBufSize = size;
    m_receiveBuffer.reset(new char[size]);
}

void TSerialPortDriver::setComPortOutBufSize(quint16 size)
{
    // Nothing is ever written, so there is no output queue to size; the value is only kept.
    m_comPortOutBufSize = size;
}

void TSerialPortDriver::setComPortPollingDelay(quint16 delayMs)
{
    if (delayMs == m_comPortPollingDelay)
        return;
    m_comPortPollingDelay = delayMs;
    if (m_pollTimer->isActive())
        startPolling();
}

void TSerialPortDriver::setEnableDTROnOpen(bool enable)
{
    m_enableDTROnOpen = enable;
}

void TSerialPortDriver::setOnReceiveData(TComPortReceiveDataEvent handler)
{
    m_onReceiveData = std::move(handler);
}

QString TSerialPortDriver::portName(TComPortNumber port)
{
    return QStringLiteral("COM") + QChar(QLatin1Char('1').unicode() + port);
}

QString TSerialPortDriver::devicePathFor(TComPortNumber port)
{
    const QString name = portName(port);
#ifdef Q_OS_WIN
    return name;
#else
    const QString fromEnvironment = qEnvironmentVariable(("METERLINK_" + name.toLatin1()).constData());
    if (!fromEnvironment.isEmpty())
        return fromEnvironment;
#if defined(Q_OS_MACOS)
    // USB adapters are named after their serial number; COMn is the n-th of them by name.
    const QStringList adapters =
        QDir(QStringLiteral("/dev"))
            .entryList({QStringLiteral("cu.usbserial*"), QStringLiteral("cu.usbmodem*")},
                       QDir::System | QDir::Files, QDir::Name);
    if (port < adapters.size())
        return QStringLiteral("/dev/") + adapters.at(port);
    return QStringLiteral("/dev/cu.usbserial");
#else
#if defined(Q_OS_FREEBSD)
    // A USB adapter first, as on Linux.
    const QString index = QString::number(int(port));
    if (QFileInfo::exists(QStringLiteral("/dev/cuaU") + index))
        return QStringLiteral("/dev/cuaU") + index;
    return QStringLiteral("/dev/cuau") + index;
#else
    return linuxDefaultDevice(port, [](const QString &path) { return QFileInfo::exists(path); });
#endif
#endif
#endif
}

QString TSerialPortDriver::linuxDefaultDevice(TComPortNumber port,
                                              const std::function<bool(const QString &)> &exists)
{
    // USB adapters are what a PC has today; a built-in port is the fallback.
    const QString index = QString::number(int(port));
    for (const QString &stem : {QStringLiteral("/dev/ttyUSB"), QStringLiteral("/dev/ttyACM")}) {
        if (exists(stem + index))
            return stem + index;
    }
    return QStringLiteral("/dev/ttyS") + index;
}

bool TSerialPortDriver::probeDevice(const QString &path, QString *problem)
{
    QSerialPort port;
    port.setPortName(lockedDeviceName(path));
    if (port.open(QIODevice::ReadOnly)) {
        port.close();
        return true;
    }
    if (problem) {
        // The text leads with the name it is given; here that is the path, said once is enough.
        *problem = describeOpenFailure(port, path, path, QString());
        problem->remove(0, path.size() + 2);
    }
    return false;
}
