#include "platform/Terminal.h"

#include <cerrno>
#include <fcntl.h>
#include <grp.h>
#include <poll.h>
#include <pty.h>
#include <pwd.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
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

void adjustLine(NativeHandle port, const LineControl &control)
{
    termios tio{};
    if (::tcgetattr(port, &tio) != 0)
        return;
    tio.c_iflag &= ~tcflag_t(INPCK | PARMRK);
    if (control.rtsCts)
        tio.c_cflag |= CRTSCTS;
    else
        tio.c_cflag &= ~tcflag_t(CRTSCTS);
    // Only XON restarts output, not any byte (IXANY).
    tio.c_iflag &= ~tcflag_t(IXON | IXOFF | IXANY);
    if (control.xonXoff)
        tio.c_iflag |= IXON | IXOFF;
    tio.c_cc[VSTART] = 0x11;
    tio.c_cc[VSTOP] = 0x13;
    if (control.extraStopBits)
        tio.c_cflag |= CSTOPB;
    ::tcsetattr(port, TCSANOW, &tio);
}

bool lineHungUp(NativeHandle port)
{
    pollfd entry{port, POLLIN, 0};
    return ::poll(&entry, 1, 0) > 0 && (entry.revents & (POLLHUP | POLLERR | POLLNVAL)) != 0;
}

bool deviceOwnership(const std::string &path, DeviceOwnership *ownership)
{
    struct stat info = {};
    if (::stat(path.c_str(), &info) != 0)
        return false;
    const group *groupEntry = ::getgrgid(info.st_gid);
    const passwd *owner = ::getpwuid(info.st_uid);
    ownership->group = groupEntry ? groupEntry->gr_name : std::to_string(info.st_gid);
    ownership->owner = owner ? owner->pw_name : std::to_string(info.st_uid);
    ownership->mode = int(info.st_mode & 07777);
    ownership->groupMayOpen = info.st_gid != 0 && (info.st_mode & (S_IRGRP | S_IWGRP)) == (S_IRGRP | S_IWGRP);
    return true;
}

bool readingRefused(const std::string &path)
{
    return ::access(path.c_str(), R_OK) != 0 && errno == EACCES;
}

void dropStaleInput(File &receiver, int limit)
{
    int pending = 0;
    if (::ioctl(receiver.handle(), FIONREAD, &pending) == 0 && pending > limit)
        ::tcflush(receiver.handle(), TCIFLUSH);
}

} // namespace platform
