#pragma once

#include "platform/Error.h"
#include "platform/File.h"

#include <string>

namespace platform {

// A serial port or pseudo-terminal hands over every byte untouched (no line editing, no carriage
// return turned into a line feed, no flow control) at `baud`. Anything that is not a terminal is
// left as it is.
Error makeRaw(File &terminal, int baud);

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
