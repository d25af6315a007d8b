#pragma once

#include "platform/Error.h"
#include "platform/File.h"

#include <string>

namespace platform {

// A serial port or pseudo-terminal hands over every byte untouched (no line editing, no carriage
// return turned into a line feed, no flow control) at `baud`. Anything that is not a terminal is
// left as it is.
Error makeRaw(File &terminal, int baud);

// What the serial port library's own line settings cannot say: RTS/CTS together with XON/XOFF,
// XON/XOFF where only XON restarts output, 1.5 stop bits (two asked of a UART sending five data
// bits), and parity sent but never checked. Applied to a port the library has open and set up.
struct LineControl
{
    bool extraStopBits = false; // 1.5 or 2
    bool rtsCts = false;
    bool xonXoff = false;
};
void adjustLine(NativeHandle port, const LineControl &control);

// Whether an open serial port's device has hung up (an unplugged adapter): reads return nothing,
// for good. Windows reports that as a failed read instead, so the answer is always no there.
bool lineHungUp(NativeHandle port);

// Who may open the device `path`, for a message about a refused open. False where it cannot be
// read or the system keeps no such owner and mode (Windows).
struct DeviceOwnership
{
    std::string owner;
    std::string group;
    int mode = 0;              // the permission bits, e.g. 0660
    bool groupMayOpen = false; // the group may read and write it, and is not the superuser's
};
bool deviceOwnership(const std::string &path, DeviceOwnership *ownership);
// Whether the system refuses this user reading `path` (rather than another program holding it).
// Always no on Windows, where a port is refused only because it is in use.
bool readingRefused(const std::string &path);

// The simulator's pseudo-terminal: bytes written to `sender` are read from the device `name` as if
// a meter were on a serial port. `receiver` holds the device open so that its settings stay and
// writes do not fail while no reader has opened it yet.
struct PseudoTerminal
{
    File sender;
    File receiver;
    std::string name;
};

// Opens one in raw mode at `baud`; Error::Kind::Unavailable where the system has none (Windows).
Error openPseudoTerminal(int baud, PseudoTerminal *terminal);

// Drops what waits unread in `receiver` beyond `limit` bytes, so that a reader who opens the device
// later starts with current frames rather than stale ones.
void dropStaleInput(File &receiver, int limit);

} // namespace platform
