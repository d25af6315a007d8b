#include "platform/DurableFile.h"
#include "platform/Error.h"
#include "platform/File.h"
#include "platform/FileIdentity.h"
#include "platform/FileLock.h"
#include "platform/Paths.h"

#include <windows.h>

#include <atomic>

namespace platform {

namespace {

std::atomic<std::uint64_t> g_syncs{0};

// The lock is taken on one byte far beyond any data: Windows locks are mandatory, so a lock on the
// contents would make the file's own reads fail (a table engine reading its file through another
// handle, say).
constexpr DWORD kLockOffsetHigh = 0x7fff0000;

std::string utf8Of(const wchar_t *text, int length)
{
    const int size = WideCharToMultiByte(CP_UTF8, 0, text, length, nullptr, 0, nullptr, nullptr);
    std::string out(size_t(size > 0 ? size : 0), '\0');
    if (size > 0)
        WideCharToMultiByte(CP_UTF8, 0, text, length, out.data(), size, nullptr, nullptr);
    return out;
}

const struct
{
    DWORD code;
    Error::Kind kind;
} kKinds[] = {
    {ERROR_FILE_EXISTS, Error::Kind::Exists},         {ERROR_ALREADY_EXISTS, Error::Kind::Exists},
    {ERROR_FILE_NOT_FOUND, Error::Kind::NotFound},    {ERROR_PATH_NOT_FOUND, Error::Kind::NotFound},
    {ERROR_INVALID_NAME, Error::Kind::NotFound},      {ERROR_ACCESS_DENIED, Error::Kind::AccessDenied},
    {ERROR_WRITE_PROTECT, Error::Kind::AccessDenied}, {ERROR_SHARING_VIOLATION, Error::Kind::Busy},
    {ERROR_LOCK_VIOLATION, Error::Kind::Busy},        {ERROR_DISK_FULL, Error::Kind::NoRoom},
    {ERROR_HANDLE_DISK_FULL, Error::Kind::NoRoom},    {ERROR_FILE_TOO_LARGE, Error::Kind::NoRoom},
};

Error errorFrom(long code)
{
    Error e;
    if (code == ERROR_SUCCESS)
        return e;
    e.kind = Error::Kind::Other;
    for (const auto &[known, kind] : kKinds) {
        if (DWORD(code) == known)
            e.kind = kind;
    }
    wchar_t *text = nullptr;
    const DWORD length = FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
        DWORD(code), 0, reinterpret_cast<wchar_t *>(&text), 0, nullptr);
    if (length > 0) {
        e.message = utf8Of(text, int(length));
        while (!e.message.empty() && (e.message.back() == '\n' || e.message.back() == '\r' ||
                                      e.message.back() == ' ' || e.message.back() == '.'))
            e.message.pop_back();
    } else {
        e.message = "system error " + std::to_string(code);
    }
    LocalFree(text);
    return e;
}

HANDLE openForQuery(const std::string &path)
{
    // No access rights are needed to read a file's identity; the backup flag lets folders open too.
    return CreateFileW(nativePath(path).c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                       nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
}

} // namespace

Error lastSystemError()
{
    return errorFrom(long(GetLastError()));
}

Error systemError(long code)
{
    return errorFrom(code);
}

NativePath nativePath(const std::string &utf8)
{
    const int size = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), int(utf8.size()), nullptr, 0);
    std::wstring out(size_t(size > 0 ? size : 0), L'\0');
    if (size > 0)
        MultiByteToWideChar(CP_UTF8, 0, utf8.data(), int(utf8.size()), out.data(), size);
    for (wchar_t &c : out) {
        if (c == L'/')
            c = L'\\';
    }
    return out;
}

std::string utf8Path(const NativePath &native)
{
    return utf8Of(native.data(), int(native.size()));
}

File File::open(const std::string &path, Access access, Error *error)
{
    DWORD rights = GENERIC_READ;
    DWORD disposition = OPEN_EXISTING;
    switch (access) {
    case Access::Read:
    // Reads from a serial port return what has arrived once its time-outs pass; files never wait.
    case Access::ReadNonBlocking:
        break;
    case Access::Write:
        rights = GENERIC_WRITE;
        break;
    case Access::CreateNew:
        rights = GENERIC_READ | GENERIC_WRITE;
        disposition = CREATE_NEW;
        break;
    case Access::CreateOrTruncate:
        rights = GENERIC_WRITE;
        disposition = OPEN_ALWAYS;
        break;
    }
    // Shared as POSIX files are: others may read, write, rename and remove it meanwhile. Handles are
    // not inherited by child processes.
    File file(CreateFileW(nativePath(path).c_str(), rights,
                          FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, disposition,
                          FILE_ATTRIBUTE_NORMAL, nullptr),
              true);
    if (!file.isOpen()) {
        if (error)
            *error = lastSystemError();
        return file;
    }
    if (access == Access::CreateOrTruncate && file.isRegular() && !SetEndOfFile(file.m_handle)) {
        if (error)
            *error = lastSystemError();
        file.close();
    }
    return file;
}

File File::standardInput()
{
    return File(GetStdHandle(STD_INPUT_HANDLE), false);
}

File File::standardOutput()
{
    return File(GetStdHandle(STD_OUTPUT_HANDLE), false);
}

File File::standardError()
{
    return File(GetStdHandle(STD_ERROR_HANDLE), false);
}

bool File::isOpen() const
{
    return m_handle != INVALID_HANDLE_VALUE && m_handle != nullptr;
}

void File::close()
{
    if (isOpen() && m_owned)
        CloseHandle(m_handle);
    m_handle = kNoHandle;
}

std::ptrdiff_t File::read(void *data, std::size_t size, Error *error)
{
    DWORD done = 0;
    const DWORD want = size > 0x40000000 ? 0x40000000 : DWORD(size);
    if (ReadFile(m_handle, data, want, &done, nullptr))
        return std::ptrdiff_t(done);
    // The writing end of a pipe went away: the stream ended.
    if (GetLastError() == ERROR_BROKEN_PIPE)
        return 0;
    if (error)
        *error = lastSystemError();
    return -1;
}

Error File::write(const void *data, std::size_t size, std::size_t *written)
{
    const char *from = static_cast<const char *>(data);
    if (written)
        *written = 0;
    while (size > 0) {
        DWORD done = 0;
        const DWORD chunk = size > 0x40000000 ? 0x40000000 : DWORD(size);
        if (!WriteFile(m_handle, from, chunk, &done, nullptr))
            return lastSystemError();
        from += done;
        if (written)
            *written += done;
        size -= done;
    }
    return {};
}

Error File::writeAt(const void *data, std::size_t size, std::int64_t offset, std::size_t *written)
{
    if (written)
        *written = 0;
    const std::int64_t before = position();
    const char *from = static_cast<const char *>(data);
    Error error;
    while (size > 0 && !error) {
        // An offset in the request writes there on a handle opened for plain calls too; it moves
        // where the file stands, which is put back below.
        OVERLAPPED at = {};
        at.Offset = DWORD(offset);
        at.OffsetHigh = DWORD(std::uint64_t(offset) >> 32);
        DWORD done = 0;
        const DWORD chunk = size > 0x40000000 ? 0x40000000 : DWORD(size);
        if (!WriteFile(m_handle, from, chunk, &done, &at))
            error = lastSystemError();
        from += done;
        if (written)
            *written += done;
        offset += done;
        size -= done;
    }
    LARGE_INTEGER back;
    back.QuadPart = before;
    if (before >= 0)
        SetFilePointerEx(m_handle, back, nullptr, FILE_BEGIN);
    return error;
}

std::int64_t File::position() const
{
    if (!isRegular())
        return -1;
    LARGE_INTEGER zero = {}, at = {};
    return SetFilePointerEx(m_handle, zero, &at, FILE_CURRENT) ? std::int64_t(at.QuadPart) : -1;
}

Error File::resize(std::int64_t size)
{
    const std::int64_t before = position();
    LARGE_INTEGER to;
    to.QuadPart = size;
    Error error;
    if (!SetFilePointerEx(m_handle, to, nullptr, FILE_BEGIN) || !SetEndOfFile(m_handle))
        error = lastSystemError();
    to.QuadPart = before;
    SetFilePointerEx(m_handle, to, nullptr, FILE_BEGIN);
    return error;
}

bool File::isRegular() const
{
    return GetFileType(m_handle) == FILE_TYPE_DISK;
}

bool File::isTerminal() const
{
    return GetFileType(m_handle) == FILE_TYPE_CHAR;
}

Error File::sync()
{
    ++g_syncs;
    return FlushFileBuffers(m_handle) ? Error{} : lastSystemError();
}

void File::startWriteback(std::int64_t, std::int64_t) {}

std::uint64_t syncCount()
{
    return g_syncs;
}

bool fileIdentity(const File &file, FileIdentity *identity)
{
    BY_HANDLE_FILE_INFORMATION info;
    if (!GetFileInformationByHandle(file.handle(), &info))
        return false;
    identity->device = info.dwVolumeSerialNumber;
    identity->file = (std::uint64_t(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
    return true;
}

bool fileIdentity(const std::string &path, FileIdentity *identity)
{
    const File file = File::adopt(openForQuery(path));
    return file.isOpen() && fileIdentity(file, identity);
}

FileKind fileKind(const std::string &path)
{
    const File file = File::adopt(openForQuery(path));
    if (!file.isOpen())
        return FileKind::Missing;
    switch (GetFileType(file.handle())) {
    case FILE_TYPE_DISK: {
        BY_HANDLE_FILE_INFORMATION info;
        if (!GetFileInformationByHandle(file.handle(), &info))
            return FileKind::Other;
        return (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) ? FileKind::Folder : FileKind::Regular;
    }
    case FILE_TYPE_CHAR:
        return FileKind::CharacterDevice;
    case FILE_TYPE_PIPE:
        return FileKind::Fifo;
    default:
        return FileKind::Other;
    }
}

Error replaceFile(const std::string &from, const std::string &to)
{
    // Write-through: the call returns once the new name is on the disk, as a synced folder is.
    if (!MoveFileExW(nativePath(from).c_str(), nativePath(to).c_str(),
                     MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        return lastSystemError();
    return {};
}

Error publishFile(const std::string &from, const std::string &to)
{
    const NativePath source = nativePath(from);
    const NativePath target = nativePath(to);
    if (CreateHardLinkW(target.c_str(), source.c_str(), nullptr))
        return {};
    const DWORD code = GetLastError();
    if (code != ERROR_INVALID_FUNCTION && code != ERROR_NOT_SUPPORTED)
        return errorFrom(code);
    // A volume without hard links (FAT): a move that refuses to replace is just as atomic.
    if (!MoveFileExW(source.c_str(), target.c_str(), MOVEFILE_WRITE_THROUGH))
        return lastSystemError();
    return {};
}

void takeAccessRightsOf(const std::string &, File &) {}

LockResult tryLockExclusive(File &file)
{
    OVERLAPPED at = {};
    at.OffsetHigh = kLockOffsetHigh;
    if (LockFileEx(file.handle(), LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0, &at))
        return LockResult::Locked;
    return GetLastError() == ERROR_LOCK_VIOLATION ? LockResult::HeldElsewhere : LockResult::Failed;
}

void unlock(File &file)
{
    OVERLAPPED at = {};
    at.OffsetHigh = kLockOffsetHigh;
    UnlockFileEx(file.handle(), 0, 1, 0, &at);
}

std::int64_t lockingProcess(const std::string &)
{
    return 0;
}

} // namespace platform
