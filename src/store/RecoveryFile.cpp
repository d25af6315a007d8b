#include "store/RecoveryFile.h"

#include "store/TableStore.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace {

const char kBaseName[] = "Vs500db-recovery";

QString nameFor(int n)
{
    return n == 1 ? QStringLiteral("%1.db").arg(QLatin1String(kBaseName))
                  : QStringLiteral("%1-%2.db").arg(QLatin1String(kBaseName)).arg(n);
}

// Whether a running program holds the file (see the class comment).
bool isHeldByARun(const QString &path)
{
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    const bool held = ::flock(fd, LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK;
    ::close(fd);
    return held;
}

} // namespace

RecoveryFile::RecoveryFile(QObject *parent) : QObject(parent) {}

RecoveryFile::~RecoveryFile()
{
    commit();
    closeFile(m_rowsInFile > 0);
}

void RecoveryFile::append(const RowView &row)
{
    if (m_failing || m_folder.isEmpty())
        return;
    m_writer.append(rowInputOf(row));
    ++m_waiting;
}

bool RecoveryFile::commit()
{
    if (m_waiting == 0)
        return true;
    if (!ensureOpen())
        return false;
    if (!m_writer.commit())
        return fail(m_writer.error());
    m_rowsInFile += m_waiting;
    m_waiting = 0;
    return true;
}

void RecoveryFile::clear()
{
    dropWaiting();
    m_failing = false;
    if (m_writer.isOpen() && m_rowsInFile > 0) {
        if (m_writer.clear())
            m_rowsInFile = 0;
        else
            fail(m_writer.error());
    }
}

void RecoveryFile::discard()
{
    dropWaiting();
    m_failing = false;
    closeFile(false);
}

void RecoveryFile::dropWaiting()
{
    m_writer.dropWaiting();
    m_waiting = 0;
}

bool RecoveryFile::ensureOpen()
{
    if (m_writer.isOpen())
        return true;
    // The first free name: an older file that is still kept is never written into.
    int fd = -1;
    QString path;
    for (int n = 1; n < 1000 && fd < 0; ++n) {
        path = QDir(m_folder).filePath(nameFor(n));
        fd = ::open(QFile::encodeName(path).constData(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
        if (fd < 0 && errno != EEXIST)
            return fail(QString::fromLocal8Bit(std::strerror(errno)));
    }
    if (fd < 0)
        return fail(QStringLiteral("too many recovery files are kept"));
    ::flock(fd, LOCK_EX | LOCK_NB);
    m_lockFd = fd;
    m_path = path;
    m_rowsInFile = 0;
    if (!m_writer.open(path, TableFileWriter::Access::Exclusive, false)) {
        const QString reason = m_writer.error();
        closeFile(false);
        return fail(reason);
    }
    return true;
}

void RecoveryFile::closeFile(bool keep)
{
    m_writer.close();
    if (!m_path.isEmpty() && !keep)
        QFile::remove(m_path);
    if (m_lockFd >= 0)
        ::close(m_lockFd);
    m_lockFd = -1;
    m_path.clear();
    m_rowsInFile = 0;
}

bool RecoveryFile::fail(const QString &reason)
{
    // The rows stay in the table in memory; the file is given up until the table is emptied or
    // saved, so it never holds a reading with a gap before it.
    dropWaiting();
    if (!m_failing) {
        m_failing = true;
        const QString where =
            m_path.isEmpty() ? QDir::toNativeSeparators(m_folder) : QDir::toNativeSeparators(m_path);
        emit failed(tr("Unsaved readings cannot be copied to %1: %2. They are kept in memory only: save them "
                       "before closing.")
                        .arg(where, reason));
    }
    return false;
}

std::vector<RecoveryFile::LeftOver> RecoveryFile::findLeftOver(const QString &folder)
{
    std::vector<LeftOver> found;
    const QRegularExpression pattern(QStringLiteral("^%1(-[0-9]+)?\\.db$").arg(QLatin1String(kBaseName)));
    const QStringList names = QDir(folder).entryList(QDir::Files, QDir::Name);
    for (const QString &name : names) {
        if (!pattern.match(name).hasMatch())
            continue;
        const QString path = QDir(folder).filePath(name);
        if (isHeldByARun(path))
            continue;
        LeftOver left;
        left.fileName = path;
        left.modified = QFileInfo(path).lastModified();
        TableStore table;
        if (!table.openFile(path)) {
            left.error = table.lastError();
            found.push_back(left);
            continue;
        }
        left.rows = table.rowCount();
        if (left.rows == 0) {
            table.close();
            QFile::remove(path);
            continue;
        }
        left.firstTime = table.fieldText(0, TableColumn::Time);
        left.lastTime = table.fieldText(left.rows - 1, TableColumn::Time);
        found.push_back(left);
    }
    return found;
}

QString RecoveryFile::setAside(const QString &fileName)
{
    QString target = fileName + QStringLiteral(".damaged");
    for (int n = 2; QFileInfo::exists(target) && n < 1000; ++n)
        target = fileName + QStringLiteral(".damaged-%1").arg(n);
    return QFile::rename(fileName, target) ? target : QString();
}
