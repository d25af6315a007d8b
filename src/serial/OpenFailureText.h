#pragma once

#include <QString>

// Why a serial device would not open, as far as the user can act on it.
enum class OpenFailureKind
{
    NotFound,     // no such device
    AccessDenied, // the user may not open the device
    InUse,        // another program holds it
    Other
};

struct OpenFailure
{
    OpenFailureKind kind = OpenFailureKind::Other;
    QString systemReason; // the system's text, e.g. "No such file or directory"
    QString devicePath;   // what was opened; shown when it differs from the port name
    QString deviceGroup;  // the device's group (for AccessDenied), e.g. "dialout"
    QString pathVariable; // environment variable that overrides the device path, if any
    // For AccessDenied, who may open the device. Joining its group helps only when the group may read
    // and write it and is not the superuser's; otherwise the message names the owner instead.
    QString deviceOwner;
    int deviceMode = -1; // permission bits, e.g. 0600; -1 when not known (the usual group is advised)
    bool groupMayOpen = false;
};

// "COM3: No such file or directory (/dev/ttyS2). ..." - the port, the reason and what to do.
QString openFailureText(const QString &portName, const OpenFailure &failure);

// "COM1: Device disconnected (/dev/ttyUSB0). Reconnecting when the device is back." - an open port
// went away; `reason` is the system's word for it and may be empty.
QString portLostText(const QString &portName, const QString &reason, const QString &devicePath);
