#include "store/FileLocks.h"

#include <QFile>
#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

FileIdentity identityOf(const struct stat &st)
{
    return {uint64_t(st.st_dev), uint64_t(st.st_ino), true};
}

} // namespace

FileIdentity identityOfPath(const QString &path)
{
    struct stat st;
    return ::stat(QFile::encodeName(path).constData(), &st) == 0 ? identityOf(st) : FileIdentity();
}

FileIdentity identityOfDescriptor(int fd)
{
    struct stat st;
    return fd >= 0 && ::fstat(fd, &st) == 0 ? identityOf(st) : FileIdentity();
}

bool holdFile(int fd)
{
    return ::flock(fd, LOCK_EX | LOCK_NB) == 0;
}

bool isHeldByAnotherRun(const QString &path)
{
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    const bool held = ::flock(fd, LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK;
    ::close(fd);
    return held;
}

int64_t lockingProcess(const QString &path)
{
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return 0;
    struct flock probe = {};
    probe.l_type = F_WRLCK;
    probe.l_whence = SEEK_SET;
    probe.l_start = 0;
    probe.l_len = 0; // the whole file, the engine's lock bytes past its end included
    const bool asked = ::fcntl(fd, F_GETLK, &probe) == 0;
    ::close(fd);
    return asked && probe.l_type != F_UNLCK ? int64_t(probe.l_pid) : 0;
}

QString processName(int64_t pid)
{
    QFile comm(QStringLiteral("/proc/%1/comm").arg(pid));
    if (!comm.open(QIODevice::ReadOnly))
        return {};
    return QString::fromLocal8Bit(comm.readAll()).trimmed();
}
