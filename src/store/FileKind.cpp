#include "store/FileKind.h"

#include <QFile>
#include <QFileInfo>
#include <sys/stat.h>

namespace {

QString kindOf(mode_t mode)
{
    if (S_ISDIR(mode))
        return QStringLiteral("a folder");
    if (S_ISCHR(mode))
        return QStringLiteral("a character device");
    if (S_ISBLK(mode))
        return QStringLiteral("a block device");
    if (S_ISFIFO(mode))
        return QStringLiteral("a FIFO");
    if (S_ISSOCK(mode))
        return QStringLiteral("a socket");
    return QStringLiteral("not a file");
}

} // namespace

QString notRegularFileKind(const QString &fileName)
{
    struct stat st;
    if (::stat(QFile::encodeName(fileName).constData(), &st) != 0 || S_ISREG(st.st_mode))
        return {};
    const QFileInfo info(fileName);
    if (!info.isSymLink())
        return kindOf(st.st_mode);
    return QStringLiteral("%1, %2").arg(info.canonicalFilePath(), kindOf(st.st_mode));
}

QString saveTargetProblem(const QString &fileName)
{
    const QString kind = notRegularFileKind(fileName);
    if (kind.isEmpty())
        return {};
    if (QFileInfo(fileName).isSymLink())
        return QStringLiteral("it is not a regular file: it leads to %1. Choose the name of a file")
            .arg(kind);
    return QStringLiteral("it is not a regular file but %1. Choose the name of a file").arg(kind);
}

bool sameFile(const QString &a, const QString &b)
{
    struct stat sa, sb;
    return ::stat(QFile::encodeName(a).constData(), &sa) == 0 &&
           ::stat(QFile::encodeName(b).constData(), &sb) == 0 && sa.st_dev == sb.st_dev &&
           sa.st_ino == sb.st_ino;
}
