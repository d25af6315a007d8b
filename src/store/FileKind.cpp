#include "store/FileKind.h"

#include "platform/FileIdentity.h"

#include <QFileInfo>

namespace {

using platform::FileKind;

// Empty for a regular file or nothing under that name.
QString kindOf(FileKind kind)
{
    switch (kind) {
    case FileKind::Missing:
    case FileKind::Regular:
        return {};
    case FileKind::Folder:
        return QStringLiteral("a folder");
    case FileKind::CharacterDevice:
        return QStringLiteral("a character device");
    case FileKind::BlockDevice:
        return QStringLiteral("a block device");
    case FileKind::Fifo:
        return QStringLiteral("a FIFO");
    case FileKind::Socket:
        return QStringLiteral("a socket");
    case FileKind::Other:
        break;
    }
    return QStringLiteral("not a file");
}

} // namespace

QString notRegularFileKind(const QString &fileName)
{
    const QString kind = kindOf(platform::fileKind(fileName.toStdString()));
    if (kind.isEmpty())
        return {};
    const QFileInfo info(fileName);
    if (!info.isSymLink())
        return kind;
    return QStringLiteral("%1, %2").arg(info.canonicalFilePath(), kind);
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
    return platform::sameFile(a.toStdString(), b.toStdString());
}
