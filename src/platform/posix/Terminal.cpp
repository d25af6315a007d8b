#include "platform/Terminal.h"

#include <fcntl.h>
#include <pty.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

namespace platform {

namespace {

speed_t speedOf(int baud)
{
    switch (baud) {
    case 1200:
        return B1200;
    case 4800:
        return B4800;
    case 9600:
        return B9600;
    case 19200:
        return B19200;
    case 38400:
        return B38400;
    default:
        return B2400;
    }
}

void setRaw(termios *tio, int baud)
{
    cfmakeraw(tio);
    tio->c_cflag |= CLOCAL | CREAD;
    cfsetispeed(tio, speedOf(baud));
    cfsetospeed(tio, speedOf(baud));
}

} // namespace

Error makeRaw(File &terminal, int baud)
{
    termios tio;
    if (!terminal.isTerminal() || ::tcgetattr(terminal.handle(), &tio) != 0)
        return {};
    setRaw(&tio, baud);
    return ::tcsetattr(terminal.handle(), TCSANOW, &tio) == 0 ? Error{} : lastSystemError();
}

Error openPseudoTerminal(int baud, PseudoTerminal *terminal)
{
    termios tio = {};
    setRaw(&tio, baud);
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
