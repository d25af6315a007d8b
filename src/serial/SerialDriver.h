#pragma once

#include <QObject>
#include <QString>
#include <QtGlobal>

#include <functional>
#include <memory>

class QSerialPort;
class QTimer;

enum TComPortNumber : quint8
{
    pnCOM1,
    pnCOM2,
    pnCOM3,
    pnCOM4
};

enum TComPortBaudRate : quint8
{
    br110,
    br300,
    br600,
    br1200,
    br2400,
    br4800,
    br9600,
    br14400,
    br19200,
    br38400,
    br56000,
    br57600,
    br115200
};

enum TComPortDataBits : quint8
{
    db5BITS,
    db6BITS,
    db7BITS,
    db8BITS
};

enum TComPortStopBits : quint8
{
    sb1BITS,
    sb1HALFBITS,
    sb2BITS
};

enum TComPortParity : quint8
{
    ptNONE,
    ptODD,
    ptEVEN,
    ptMARK,
    ptSPACE
};

enum TComPortHwHandshaking : quint8
{
    hhNONE,
    hhRTSCTS
};

enum TComPortSwHandshaking : quint8
{
    shNONE,
    shXONXOFF
};

class TSerialPortDriver;

// Receive event: the bytes belong to the driver and are valid only during the call.
using TComPortReceiveDataEvent =
    std::function<void(TSerialPortDriver *Sender, const char *DataPtr, qint32 DataSize)>;

// Line speed in bits per second of a TComPortBaudRate value.
quint32 comPortBaudRateValue(TComPortBaudRate rate);

// Receive-only serial port: opens one of COM1..COM4, polls it on the owning thread every
// ComPortPollingDelay ms and hands each non-empty read to OnReceiveData. Nothing is ever written.
// A port that has said nothing for kQuietAfterMs is polled only every kQuietPollMs (often enough to
// notice a device that goes away) until bytes arrive, which brings the pace back at once.
//
// Connection states: closed; open (IsConnected: a device handle is held, polling runs); and
// reconnecting (IsConnecting: the device went away while open, the handle was released and the
// same device path is tried again about once a second until it opens or Disconnect is called).
// wantsConnection() is true in the last two states, i.e. from a successful Connect to Disconnect.
// A Connect that fails leaves the driver closed; it does not start reconnecting.
class TSerialPortDriver : public QObject
{
    Q_OBJECT

public:
    static constexpr int kQuietAfterMs = 1000;
    static constexpr int kQuietPollMs = 500;

    explicit TSerialPortDriver(QObject *owner = nullptr);
    ~TSerialPortDriver() override;

    // Opens and configures the port and starts polling. True if the port is open afterwards; on
    // failure lastErrorText() tells why. On an open driver: true, nothing changes.
    bool Connect();
    void Disconnect();
    bool IsConnected() const;
    bool IsConnecting() const;
    bool wantsConnection() const { return m_wantConnection; }
    // Sends the line settings, purges both directions and sizes the input queue (open port only).
    void ApplySettings();
    void PurgeBuffers(bool input, bool output);

    // Ignored from a successful Connect until Disconnect, so a lost port is reconnected to itself.
    TComPortNumber ComPort() const { return m_comPort; }
    void setComPort(TComPortNumber port);
    // A device to open instead of the one ComPort stands for (the logger's --device); messages then
    // name it instead of COMn. Empty: ComPort's device.
    void setDevice(const QString &path) { m_device = path; }
    TComPortBaudRate ComPortSpeed() const { return m_comPortSpeed; }
    void setComPortSpeed(TComPortBaudRate speed);
    TComPortDataBits ComPortDataBits() const { return m_comPortDataBits; }
    void setComPortDataBits(TComPortDataBits bits);
    TComPortStopBits ComPortStopBits() const { return m_comPortStopBits; }
    void setComPortStopBits(TComPortStopBits bits);
    TComPortParity ComPortParity() const { return m_comPortParity; }
    void setComPortParity(TComPortParity parity);
    TComPortHwHandshaking ComPortHwHandshaking() const { return m_comPortHwHandshaking; }
    void setComPortHwHandshaking(TComPortHwHandshaking handshaking);
    TComPortSwHandshaking ComPortSwHandshaking() const { return m_comPortSwHandshaking; }
    void setComPortSwHandshaking(TComPortSwHandshaking handshaking);
    quint16 ComPortInBufSize() const { return m_comPortInBufSize; }
    void setComPortInBufSize(quint16 size);
    quint16 ComPortOutBufSize() const { return m_comPortOutBufSize; }
    void setComPortOutBufSize(quint16 size);
    quint16 ComPortPollingDelay() const { return m_comPortPollingDelay; }
    void setComPortPollingDelay(quint16 delayMs);
    bool EnableDTROnOpen() const { return m_enableDTROnOpen; }
    void setEnableDTROnOpen(bool enable);
    // Also reads as soon as bytes arrive rather than on the next poll alone, so each read's time
    // is its bytes' arrival (the logger's per-frame times). Off: the window's polling only.
    void setReadOnArrival(bool on) { m_readOnArrival = on; }
    const TComPortReceiveDataEvent &OnReceiveData() const { return m_onReceiveData; }
    // Bind before connecting (or from outside the handler): rebinding from within the running
    // handler would destroy it while it runs.
    void setOnReceiveData(TComPortReceiveDataEvent handler);

    // Why the last Connect (or reconnect attempt) failed, e.g. "COM3: No such file or directory";
    // empty after a successful Connect.
    QString lastErrorText() const { return m_lastErrorText; }
    // Device the driver holds or is reconnecting to; empty while closed.
    QString devicePath() const { return m_devicePath; }

    // "COM1".."COM4": the name the user sees.
    static QString portName(TComPortNumber port);
    // The device a port name stands for: "COMn" on Windows; elsewhere $METERLINK_COMn when set,
    // else a platform default (Linux: linuxDefaultDevice).
    static QString devicePathFor(TComPortNumber port);
    // Linux without $METERLINK_COMn: the first of /dev/ttyUSB<n-1> (a USB serial adapter) and
    // /dev/ttyACM<n-1> (a USB device of the CDC class) that `exists`, else /dev/ttyS<n-1> (built in).
    static QString linuxDefaultDevice(TComPortNumber port,
                                      const std::function<bool(const QString &)> &exists);
    // Opens `path` for reading and closes it again. On failure returns false and, when given,
    // `problem` says why and what to do ("/dev/ttyS0: Permission denied. Add your user ...").
    static bool probeDevice(const QString &path, QString *problem = nullptr);
    // Removes the lock file a killed program left for `path` (its process is gone), so that none
    // stays behind a crash once the program runs again. A live program's lock is left alone.
    static void removeStaleLock(const QString &path);

signals:
    // The open device went away (adapter unplugged); the driver now reconnects by itself.
    void portLost(const QString &message);
    // The lost device opened again; reception goes on with the same settings.
    void portRestored();

private:
    QString portLabel() const { return m_device.isEmpty() ? portName(m_comPort) : m_device; }
    bool openDevice(const QString &path);
    void startPolling();
    void PollTick();
    bool deviceHungUp() const;
    void handlePortLost(const QString &reason);
    void retryOpen();

    QSerialPort *m_port = nullptr;
    TComPortNumber m_comPort = pnCOM2;
    TComPortBaudRate m_comPortSpeed = br9600;
    TComPortDataBits m_comPortDataBits = db8BITS;
    TComPortStopBits m_comPortStopBits = sb1BITS;
    TComPortParity m_comPortParity = ptNONE;
    TComPortHwHandshaking m_comPortHwHandshaking = hhNONE;
    TComPortSwHandshaking m_comPortSwHandshaking = shNONE;
    quint16 m_comPortInBufSize = 2048;
    quint16 m_comPortOutBufSize = 2048;
    TComPortReceiveDataEvent m_onReceiveData;
    quint16 m_comPortPollingDelay = 50;
    bool m_enableDTROnOpen = true;
    bool m_readOnArrival = false;
    QTimer *m_pollTimer = nullptr;
    int m_emptyPolls = 0; // since the last bytes
    bool m_quiet = false; // polled at kQuietPollMs
    QTimer *m_retryTimer = nullptr;
    std::unique_ptr<char[]> m_receiveBuffer;

    bool m_wantConnection = false;
    bool m_applyingSettings = false;
    QString m_devicePath;
    QString m_device;
    QString m_lostReason;
    QString m_lastErrorText;
};
