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

std::array<QString, 4> comPortHints()
{
    const QList<QSerialPortInfo> ports = QSerialPortInfo::availablePorts();
    std::array<QString, 4> hints;
    for (int port = pnCOM1; port <= pnCOM4; ++port) {
        const QString device = TSerialPortDriver::devicePathFor(TComPortNumber(port));
        QString &hint = hints[size_t(port)];
        hint = device;
#ifndef Q_OS_WIN
        if (!QFileInfo::exists(device)) {
            hint += QStringLiteral(": not present");
            continue;
        }
#endif
        for (const QSerialPortInfo &info : ports) {
            if (sameDevice(info.systemLocation()) != sameDevice(device))
                continue;
            QStringList about;
            for (const QString &part : {info.description(), info.manufacturer()}) {
                if (!part.isEmpty())
                    about << part;
            }
            if (!about.isEmpty())
                hint += QStringLiteral(": ") + about.join(QStringLiteral(", "));
        }
    }
    return hints;
}
