#include "platform/DurableFile.h"
#include "platform/Error.h"
#include "platform/File.h"
#include "platform/FileIdentity.h"
#include "platform/FileLock.h"
#include "platform/Paths.h"

#include <atomic>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {

namespace {

std::atomic<std::uint64_t> g_syncs{0};

const struct
{
    int code;
    Error::Kind kind;
} kKinds[] = {
    {EEXIST, Error::Kind::Exists},      {ENOENT, Error::Kind::NotFound},
    {ENOTDIR, Error::Kind::NotFound},   {EACCES, Error::Kind::AccessDenied},
    {EPERM, Error::Kind::AccessDenied}, {EROFS, Error::Kind::AccessDenied},
    {EWOULDBLOCK, Error::Kind::Busy},   {EBUSY, Error::Kind::Busy},
    {EIO, Error::Kind::InputOutput},    {ENOSPC, Error::Kind::NoRoom},
    {EFBIG, Error::Kind::NoRoom},       {EDQUOT, Error::Kind::NoRoom},
};

Error errorFrom(long code)
{
    Error e;
    if (code == 0)
        return e;
    e.kind = Error::Kind::Other;
    for (const auto &[known, kind] : kKinds) {
        if (code == known)
            e.kind = kind;
    }
    e.message = std::strerror(int(code));
    return e;
}

// The folder holding `path`, for making a new name in it durable.
std::string folderOf(const std::string &path)
{
    const std::size_t slash = path.find_last_of('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

void syncFolder(const std::string &path)
{
    const int dir = ::open(folderOf(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir < 0)
        return;
    ::fsync(dir);
    ::close(dir);
}

} // namespace

Error lastSystemError()
{
    return errorFrom(errno);
}

Error systemError(long code)
{
    return errorFrom(code);
}

NativePath nativePath(const std::string &utf8)
{
    return utf8;
}

std::string utf8Path(const NativePath &native)
{
    return native;
}

File File::open(const std::string &path, Access access, Error *error)
{
    // A terminal opened here never becomes the program's controlling terminal.
    int flags = O_CLOEXEC | O_NOCTTY;
    switch (access) {
    case Access::Read:
        flags |= O_RDONLY;
        break;
    case Access::ReadNonBlocking:
        flags |= O_RDONLY | O_NONBLOCK;
        break;
    case Access::Write:
        flags |= O_WRONLY;
        break;
    case Access::CreateNew:
        flags |= O_RDWR | O_CREAT | O_EXCL;
        break;
    case Access::CreateOrTruncate:
        flags |= O_WRONLY | O_CREAT;
        break;
    }
    File file(::open(path.c_str(), flags, 0644), true);
    if (!file.isOpen()) {
        if (error)
            *error = lastSystemError();
        return file;
    }
    // Only a plain file is emptied: a device or FIFO named on the command line is written as it is.
    if (access == Access::CreateOrTruncate && file.isRegular() && ::ftruncate(file.m_handle, 0) != 0) {
        if (error)
            *error = lastSystemError();
        file.close();
    }
    return file;
}

File File::standardInput()
{
    return File(STDIN_FILENO, false);
}

File File::standardOutput()
{
    return File(STDOUT_FILENO, false);
}

File File::standardError()
{
    return File(STDERR_FILENO, false);
}

bool File::isOpen() const
{
    return m_handle >= 0;
}

void File::close()
{
    if (m_handle >= 0 && m_owned)
        ::close(m_handle);
    m_handle = kNoHandle;
}

std::ptrdiff_t File::read(void *data, std::size_t size, Error *error)
{
    for (;;) {
        const ssize_t n = ::read(m_handle, data, size);
        if (n >= 0)
            return n;
        if (errno == EINTR)
            continue;
        if (error)
            *error = lastSystemError();
        return -1;
    }
}

namespace {

// Writes all of data with writeSome(pointer, size, done so far), which may write less than asked;
// an interrupted call is repeated. written counts what went out, also when an error stops it.
template <typename WriteSome>
Error writeAll(const void *data, std::size_t size, std::size_t *written, WriteSome writeSome)
{
    const char *from = static_cast<const char *>(data);
    std::size_t done = 0;
    if (written)
        *written = 0;
    while (done < size) {
        const ssize_t n = writeSome(from + done, size - done, done);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return lastSystemError();
        }
        done += std::size_t(n);
        if (written)
            *written = done;
    }
    return {};
}

} // namespace

Error File::write(const void *data, std::size_t size, std::size_t *written)
{
    return writeAll(data, size, written, [this](const char *from, std::size_t left, std::size_t) {
        return ::write(m_handle, from, left);
    });
}

Error File::writeAt(const void *data, std::size_t size, std::int64_t offset, std::size_t *written)
{
    return writeAll(data, size, written,
                    [this, offset](const char *from, std::size_t left, std::size_t done) {
                        return ::pwrite(m_handle, from, left, off_t(offset + std::int64_t(done)));
                    });
}

std::int64_t File::position() const
{
    return std::int64_t(::lseek(m_handle, 0, SEEK_CUR));
}

Error File::resize(std::int64_t size)
{
    return ::ftruncate(m_handle, off_t(size)) == 0 ? Error{} : lastSystemError();
}

bool File::isRegular() const
{
    struct stat st;
    return ::fstat(m_handle, &st) == 0 && S_ISREG(st.st_mode);
}

bool File::isTerminal() const
{
    return ::isatty(m_handle) == 1;
}

Error File::sync()
{
    ++g_syncs;
    return ::fsync(m_handle) == 0 ? Error{} : lastSystemError();
}

void File::startWriteback(std::int64_t offset, std::int64_t length)
{
#ifdef __linux__
    ::sync_file_range(m_handle, off_t(offset), off_t(length), SYNC_FILE_RANGE_WRITE);
#else
    (void)offset;
    (void)length;
#endif
}

std::uint64_t syncCount()
{
    return g_syncs;
}

namespace {

bool identityOf(int statResult, const struct stat &st, FileIdentity *identity)
{
    if (statResult != 0)
        return false;
    identity->device = std::uint64_t(st.st_dev);
    identity->file = std::uint64_t(st.st_ino);
    return true;
}

} // namespace

bool fileIdentity(const std::string &path, FileIdentity *identity)
{
    struct stat st;
    return identityOf(::stat(path.c_str(), &st), st, identity);
}

bool fileIdentity(const File &file, FileIdentity *identity)
{
    struct stat st;
    return identityOf(::fstat(file.handle(), &st), st, identity);
}

FileKind fileKind(const std::string &path)
{
    struct stat st;
    if (::stat(path.c_str(), &st) != 0)
        return FileKind::Missing;
    const mode_t mode = st.st_mode;
    return S_ISREG(mode)    ? FileKind::Regular
           : S_ISDIR(mode)  ? FileKind::Folder
           : S_ISCHR(mode)  ? FileKind::CharacterDevice
           : S_ISBLK(mode)  ? FileKind::BlockDevice
           : S_ISFIFO(mode) ? FileKind::Fifo
           : S_ISSOCK(mode) ? FileKind::Socket
                            : FileKind::Other;
}

Error replaceFile(const std::string &from, const std::string &to)
{
    if (::rename(from.c_str(), to.c_str()) != 0)
        return lastSystemError();
    syncFolder(to);
    return {};
}

Error publishFile(const std::string &from, const std::string &to)
{
    if (::link(from.c_str(), to.c_str()) != 0)
        return lastSystemError();
    syncFolder(to);
    return {};
}

void takeAccessRightsOf(const std::string &target, File &file)
{
    struct stat st;
    mode_t mode;
    if (::stat(target.c_str(), &st) == 0) {
        mode = st.st_mode & 07777;
    } else {
        const mode_t mask = ::umask(0);
        ::umask(mask);
        mode = 0666 & ~mask;
    }
    ::fchmod(file.handle(), mode);
}

LockResult tryLockExclusive(File &file)
{
    if (::flock(file.handle(), LOCK_EX | LOCK_NB) == 0)
        return LockResult::Locked;
    return errno == EWOULDBLOCK ? LockResult::HeldElsewhere : LockResult::Failed;
}

void unlock(File &file)
{
    ::flock(file.handle(), LOCK_UN);
}

std::int64_t lockingProcess(const std::string &path)
{
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return 0;
    struct flock probe = {};
    probe.l_type = F_WRLCK;
    probe.l_whence = SEEK_SET;
    probe.l_start = 0;
    probe.l_len = 0; // the whole file, lock bytes past its end included
    const bool asked = ::fcntl(fd, F_GETLK, &probe) == 0;
    ::close(fd);
    return asked && probe.l_type != F_UNLCK ? std::int64_t(probe.l_pid) : 0;
}

} // namespace platform
