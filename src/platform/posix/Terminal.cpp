#include "platform/Terminal.h"

#include <fcntl.h>
#include <pty.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

namespace platform {

namespace {

const struct
{
    int baud;
    speed_t speed;
} kSpeeds[] = {{1200, B1200}, {2400, B2400}, {4800, B4800}, {9600, B9600}, {19200, B19200}, {38400, B38400}};

// False for a speed the table does not hold.
bool setRaw(termios *tio, int baud)
{
    for (const auto &[known, speed] : kSpeeds) {
        if (known == baud) {
            cfmakeraw(tio);
            tio->c_cflag |= CLOCAL | CREAD;
            cfsetispeed(tio, speed);
            cfsetospeed(tio, speed);
            return true;
        }
    }
    return false;
}

Error unsupportedSpeed(int baud)
{
    Error e;
    e.kind = Error::Kind::Other;
    e.message = "no serial line speed of " + std::to_string(baud) + " baud";
    return e;
}

} // namespace

Error makeRaw(File &terminal, int baud)
{
    termios tio;
    if (!terminal.isTerminal() || ::tcgetattr(terminal.handle(), &tio) != 0)
        return {};
    if (!setRaw(&tio, baud))
        return unsupportedSpeed(baud);
    return ::tcsetattr(terminal.handle(), TCSANOW, &tio) == 0 ? Error{} : lastSystemError();
}

Error openPseudoTerminal(int baud, PseudoTerminal *terminal)
{
    termios tio = {};
    if (!setRaw(&tio, baud))
        return unsupportedSpeed(baud);
    char name[256] = {};
    int sender = -1, receiver = -1;
    if (::openpty(&sender, &receiver, name, &tio, nullptr) != 0)
        return lastSystemError();
    ::fcntl(sender, F_SETFD, FD_CLOEXEC);
    ::fcntl(receiver, F_SETFD, FD_CLOEXEC);
    // A frame that finds no room is dropped rather than holding up the sender.
    ::fcntl(sender, F_SETFL, ::fcntl(sender, F_GETFL) | O_NONBLOCK);
    terminal->name = name;
    terminal->sender = File::adopt(sender);
    terminal->receiver = File::adopt(receiver);
    return {};
}

void dropStaleInput(File &receiver, int limit)
{
    int pending = 0;
    if (::ioctl(receiver.handle(), FIONREAD, &pending) == 0 && pending > limit)
        ::tcflush(receiver.handle(), TCIFLUSH);
}

} // namespace platform
