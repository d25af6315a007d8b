#pragma once

#include "serial/SerialDriver.h"

#include <QString>
#include <QStringList>

#include <array>
#include <vector>

// A serial device of this machine as the user needs to know it to pick COM1..COM4.
struct SerialPortEntry
{
    QString devicePath; // "/dev/ttyUSB0"
    QString description;
    QString manufacturer;
    QString serialNumber;
    QStringList comNames; // the COMn names that stand for this device here ("COM1")
    bool present = true;  // false: a COMn name stands for a device that does not exist
    bool opens = false;   // only when asked to try
    QString openProblem;  // why it does not open, and what to do
};

// The system's serial ports (as QSerialPortInfo lists them) and, after them, the devices COM1..COM4
// stand for that it does not list (a pseudo-terminal, a missing adapter). With `tryOpening` every
// present device is opened and closed again to tell whether MeterLink could use it.
std::vector<SerialPortEntry> serialPortInventory(bool tryOpening);

// The COMn names among `comDevices` (COM1's device first) that name `devicePath`, following links.
QStringList comNamesFor(const QString &devicePath, const QStringList &comDevices);

// What COM1..COM4 stand for on this machine, for tooltips: "/dev/ttyUSB0: FT232R USB UART, FTDI" or
// "/dev/ttyUSB2: not present".
std::array<QString, 4> comPortHints();
