#include "serial/PortInventory.h"

#include <QFileInfo>
#include <QSerialPortInfo>

namespace {

QString sameDevice(const QString &path)
{
    const QString target = QFileInfo(path).canonicalFilePath();
    return target.isEmpty() ? path : target;
}

QStringList comDevices()
{
    QStringList devices;
    for (int port = pnCOM1; port <= pnCOM4; ++port)
        devices << TSerialPortDriver::devicePathFor(TComPortNumber(port));
    return devices;
}

SerialPortEntry entryFor(const QSerialPortInfo &info, const QStringList &devices)
{
    SerialPortEntry e;
    e.devicePath = info.systemLocation();
    e.description = info.description();
    e.manufacturer = info.manufacturer();
    e.serialNumber = info.serialNumber();
    e.comNames = comNamesFor(e.devicePath, devices);
    return e;
}

} // namespace

QStringList comNamesFor(const QString &devicePath, const QStringList &comDevices)
{
    QStringList names;
    const QString device = sameDevice(devicePath);
    for (qsizetype i = 0; i < comDevices.size(); ++i) {
        if (sameDevice(comDevices.at(i)) == device)
            names << TSerialPortDriver::portName(TComPortNumber(i));
    }
    return names;
}

std::vector<SerialPortEntry> serialPortInventory(bool tryOpening)
{
    const QStringList devices = comDevices();
    std::vector<SerialPortEntry> entries;
    QStringList listed;
    for (const QSerialPortInfo &info : QSerialPortInfo::availablePorts()) {
        entries.push_back(entryFor(info, devices));
        listed << sameDevice(info.systemLocation());
    }
    for (const QString &device : devices) {
        if (listed.contains(sameDevice(device)))
            continue;
        listed << sameDevice(device);
        SerialPortEntry e;
        e.devicePath = device;
        e.comNames = comNamesFor(device, devices);
        e.present = QFileInfo::exists(device);
        entries.push_back(e);
    }
    for (SerialPortEntry &e : entries) {
        if (tryOpening && e.present)
            e.opens = TSerialPortDriver::probeDevice(e.devicePath, &e.openProblem);
        else if (!e.present)
            e.openProblem = QStringLiteral("not present");
    }
    return entries;
}

QString comPortHint(TComPortNumber port)
{
    const QString device = TSerialPortDriver::devicePathFor(port);
#ifdef Q_OS_WIN
    const QString location = device;
#else
    if (!QFileInfo::exists(device))
        return device + QStringLiteral(": not present");
    const QString location = sameDevice(device);
#endif
    for (const QSerialPortInfo &info : QSerialPortInfo::availablePorts()) {
        if (sameDevice(info.systemLocation()) != location)
            continue;
        QStringList about;
        for (const QString &part : {info.description(), info.manufacturer()}) {
            if (!part.isEmpty())
                about << part;
        }
        if (!about.isEmpty())
            return device + QStringLiteral(": ") + about.join(QStringLiteral(", "));
    }
    return device;
}
