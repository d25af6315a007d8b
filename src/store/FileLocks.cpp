#include "store/FileLocks.h"

#include "platform/FileLock.h"
#include "platform/Process.h"

FileIdentity identityOfPath(const QString &path)
{
    FileIdentity id;
    id.valid = platform::fileIdentity(path.toStdString(), &id.identity);
    return id;
}

FileIdentity identityOfFile(const platform::File &file)
{
    FileIdentity id;
    id.valid = file.isOpen() && platform::fileIdentity(file, &id.identity);
    return id;
}

bool holdFile(platform::File &file)
{
    return platform::tryLockExclusive(file) == platform::LockResult::Locked;
}

bool isHeldByAnotherRun(const QString &path)
{
    platform::File file = platform::File::open(path.toStdString(), platform::File::Access::Read, nullptr);
    return file.isOpen() && platform::tryLockExclusive(file) == platform::LockResult::HeldElsewhere;
}

int64_t lockingProcess(const QString &path)
{
    return platform::lockingProcess(path.toStdString());
}

QString processName(int64_t pid)
{
    return QString::fromStdString(platform::processName(pid));
}
