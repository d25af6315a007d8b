#include "serial/OpenFailureText.h"

QString openFailureText(const QString &portName, const OpenFailure &failure)
{
    QString reason = failure.systemReason;
    if (reason.isEmpty()) {
        switch (failure.kind) {
        case OpenFailureKind::NotFound:
            reason = QStringLiteral("No such device");
            break;
        case OpenFailureKind::AccessDenied:
            reason = QStringLiteral("Permission denied");
            break;
        case OpenFailureKind::InUse:
            reason = QStringLiteral("Port is in use");
            break;
        case OpenFailureKind::Other:
            reason = QStringLiteral("Cannot open the port");
            break;
        }
    }

    QString text = portName + QStringLiteral(": ") + reason;
    if (!failure.devicePath.isEmpty() && failure.devicePath != portName)
        text += QStringLiteral(" (") + failure.devicePath + QLatin1Char(')');

    QString advice;
    switch (failure.kind) {
    case OpenFailureKind::NotFound:
        if (!failure.pathVariable.isEmpty())
            advice =
                QStringLiteral("Plug in the adapter or set %1 to its device path.").arg(failure.pathVariable);
        break;
    case OpenFailureKind::AccessDenied: {
        if (failure.deviceMode >= 0 && !failure.groupMayOpen) {
            advice = QStringLiteral("The device belongs to %1:%2 with mode %3, so joining a group would not "
                                    "help; ask the system's administrator for access to it.")
                         .arg(failure.deviceOwner, failure.deviceGroup)
                         .arg(failure.deviceMode, 4, 8, QLatin1Char('0'));
            break;
        }
        const QString group = failure.deviceGroup.isEmpty() ? QStringLiteral("dialout") : failure.deviceGroup;
        advice = QStringLiteral("Add your user to the %1 group (sudo usermod -aG %1 $USER) and log in again.")
                     .arg(group);
        break;
    }
    case OpenFailureKind::InUse:
        advice = QStringLiteral("Another program is using the port; close it or choose another port.");
        break;
    case OpenFailureKind::Other:
        break;
    }
    if (!advice.isEmpty())
        text += QStringLiteral(". ") + advice;
    return text;
}

QString portLostText(const QString &portName, const QString &reason, const QString &devicePath)
{
    // Qt sometimes reports a lost device with an empty error text; the user still learns what happened.
    QString said = reason.trimmed();
    while (said.endsWith(QLatin1Char('.')))
        said.chop(1);
    QString text =
        portName + QStringLiteral(": ") + (said.isEmpty() ? QStringLiteral("Device disconnected") : said);
    if (!devicePath.isEmpty() && devicePath != portName)
        text += QStringLiteral(" (") + devicePath + QLatin1Char(')');
    return text + QStringLiteral(". Reconnecting when the device is back.");
}
