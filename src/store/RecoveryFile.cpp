#include "store/RecoveryFile.h"

#include "store/TableStore.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <algorithm>

namespace {

const char kBaseName[] = "Vs500db-recovery";

QString nameFor(int n)
{
    return n == 1 ? QStringLiteral("%1.db").arg(QLatin1String(kBaseName))
                  : QStringLiteral("%1-%2.db").arg(QLatin1String(kBaseName)).arg(n);
}

} // namespace

RecoveryFile::~RecoveryFile()
{
    close(m_rowsInFile > 0);
}

bool RecoveryFile::isIntact() const
{
    return !m_lock.isOpen() ||
           (identityOfPath(m_path) == m_identity &&
            (!m_logIdentity.valid || identityOfPath(m_path + QLatin1String("-wal")) == m_logIdentity));
}

bool RecoveryFile::reclaim()
{
    if (!m_lock.isOpen() || identityOfPath(m_path) != m_identity)
        return false;
    // Closing folds what the removed log still holds into the file.
    m_writer.close();
    m_waiting = 0;
    m_logIdentity = {};
    if (!m_writer.open(m_path, TableFileWriter::Access::Exclusive, true))
        return fail(m_writer.error());
    return true;
}

void RecoveryFile::noteLog()
{
    if (!m_logIdentity.valid)
        m_logIdentity = identityOfPath(m_path + QLatin1String("-wal"));
}

void RecoveryFile::append(const RowView &row)
{
    if (m_folder.isEmpty())
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
    noteLog();
    m_rowsInFile += m_waiting;
    m_waiting = 0;
    return true;
}

bool RecoveryFile::commitReplacing()
{
    if (!m_lock.isOpen() && m_waiting == 0)
        return true;
    if (!ensureOpen())
        return false;
    if (!m_writer.commitReplacing())
        return fail(m_writer.error());
    noteLog();
    m_rowsInFile = m_waiting;
    m_waiting = 0;
    return true;
}

bool RecoveryFile::removeFirst(int64_t rows)
{
    rows = std::min(rows, m_rowsInFile);
    if (rows <= 0)
        return true;
    if (!m_writer.removeFirst(rows))
        return fail(m_writer.error());
    m_rowsInFile -= rows;
    return true;
}

bool RecoveryFile::ensureOpen()
{
    if (m_writer.isOpen())
        return true;
    // The first free name: an older file that is still kept is never written into.
    platform::File file;
    QString path;
    for (int n = 1; n < 1000 && !file.isOpen(); ++n) {
        path = QDir(m_folder).filePath(nameFor(n));
        platform::Error error;
        file = platform::File::open(path.toStdString(), platform::File::Access::CreateNew, &error);
        if (!file.isOpen() && error.kind != platform::Error::Kind::Exists)
            return fail(QString::fromStdString(error.message));
    }
    if (!file.isOpen())
        return fail(QStringLiteral("too many recovery files are kept"));
    holdFile(file);
    m_identity = identityOfFile(file);
    m_lock = std::move(file);
    m_path = path;
    m_rowsInFile = 0;
    if (!m_writer.open(path, TableFileWriter::Access::Exclusive, false)) {
        const QString reason = m_writer.error();
        close(false);
        return fail(reason);
    }
    return true;
}

void RecoveryFile::close(bool keep)
{
    const bool ours = isIntact();
    m_writer.dropWaiting();
    m_waiting = 0;
    m_writer.close();
    if (!m_path.isEmpty() && !keep && ours)
        QFile::remove(m_path);
    m_lock.close();
    m_identity = {};
    m_logIdentity = {};
    m_path.clear();
    m_rowsInFile = 0;
}

bool RecoveryFile::fail(const QString &reason)
{
    m_writer.dropWaiting();
    m_waiting = 0;
    m_error = reason;
    return false;
}

std::vector<RecoveryFile::LeftOver> RecoveryFile::findLeftOver(const QString &folder, const QString &own)
{
    std::vector<LeftOver> found;
    const QRegularExpression pattern(QStringLiteral("^%1(-[0-9]+)?\\.db$").arg(QLatin1String(kBaseName)));
    const QStringList names = QDir(folder).entryList(QDir::Files, QDir::Name);
    for (const QString &name : names) {
        if (!pattern.match(name).hasMatch())
            continue;
        const QString path = QDir(folder).filePath(name);
        if (path == own || isHeldByAnotherRun(path))
            continue;
        LeftOver left;
        left.fileName = path;
        left.modified = QFileInfo(path).lastModified();
        // A file the system will not let us read is not damaged: it waits until it can be read.
        platform::Error error;
        if (!platform::File::open(path.toStdString(), platform::File::Access::Read, &error).isOpen()) {
            left.error = QString::fromStdString(error.message);
            left.unreadable = true;
            found.push_back(left);
            continue;
        }
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
    // The oldest first; files of the same age in the order their numbers give.
    const auto number = [](const QString &path) {
        const QString base = QFileInfo(path).completeBaseName();
        const qsizetype dash = base.lastIndexOf(QLatin1Char('-'));
        bool ok = false;
        const int n = base.mid(dash + 1).toInt(&ok);
        return ok ? n : 1;
    };
    std::stable_sort(found.begin(), found.end(), [&](const LeftOver &a, const LeftOver &b) {
        if (a.modified != b.modified)
            return a.modified < b.modified;
        return number(a.fileName) < number(b.fileName);
    });
    return found;
}

QString RecoveryFile::setAside(const QString &fileName)
{
    QString target = fileName + QStringLiteral(".damaged");
    for (int n = 2; QFileInfo::exists(target) && n < 1000; ++n)
        target = fileName + QStringLiteral(".damaged-%1").arg(n);
    return QFile::rename(fileName, target) ? target : QString();
}
