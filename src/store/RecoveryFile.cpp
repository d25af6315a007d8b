#include "store/RecoveryFile.h"

#include "store/TableStore.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sqlite3.h>
#include <sys/file.h>
#include <unistd.h>

namespace {

const char kBaseName[] = "Vs500db-recovery";

QString nameFor(int n)
{
    return n == 1 ? QStringLiteral("%1.db").arg(QLatin1String(kBaseName))
                  : QStringLiteral("%1-%2.db").arg(QLatin1String(kBaseName)).arg(n);
}

bool exec(sqlite3 *db, const char *sql)
{
    return sqlite3_exec(db, sql, nullptr, nullptr, nullptr) == SQLITE_OK;
}

void bindText(sqlite3_stmt *stmt, int index, const std::string &text, bool isNull)
{
    if (isNull)
        sqlite3_bind_null(stmt, index);
    else
        sqlite3_bind_text(stmt, index, text.data(), int(text.size()), SQLITE_STATIC);
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
    Pending p;
    p.no = row.no;
    p.nullMask = row.nullMask;
    p.nval = row.nval;
    p.time.assign(row.time);
    p.dcac.assign(row.dcac);
    p.value.assign(row.value);
    p.unit.assign(row.unit);
    p.autoText.assign(row.autoText);
    m_pending.push_back(std::move(p));
}

bool RecoveryFile::commit()
{
    if (m_pending.empty())
        return true;
    if (!ensureOpen())
        return false;
    if (!exec(m_db, "BEGIN IMMEDIATE"))
        return fail(QString::fromUtf8(sqlite3_errmsg(m_db)));
    for (const Pending &p : m_pending) {
        sqlite3_stmt *s = m_insert;
        if (p.nullMask & NullNo)
            sqlite3_bind_null(s, 1);
        else
            sqlite3_bind_int64(s, 1, p.no);
        bindText(s, 2, p.time, p.nullMask & NullTime);
        bindText(s, 3, p.dcac, p.nullMask & NullDcac);
        bindText(s, 4, p.value, p.nullMask & NullValue);
        bindText(s, 5, p.unit, p.nullMask & NullUnit);
        bindText(s, 6, p.autoText, p.nullMask & NullAuto);
        if (p.nullMask & NullNval)
            sqlite3_bind_null(s, 7);
        else
            sqlite3_bind_double(s, 7, p.nval);
        const int rc = sqlite3_step(s);
        sqlite3_reset(s);
        if (rc != SQLITE_DONE) {
            const QString reason = QString::fromUtf8(sqlite3_errmsg(m_db));
            exec(m_db, "ROLLBACK");
            return fail(reason);
        }
    }
    if (!exec(m_db, "COMMIT")) {
        const QString reason = QString::fromUtf8(sqlite3_errmsg(m_db));
        exec(m_db, "ROLLBACK");
        return fail(reason);
    }
    m_rowsInFile += int64_t(m_pending.size());
    m_pending.clear();
    return true;
}

void RecoveryFile::clear()
{
    m_pending.clear();
    m_failing = false;
    if (m_db && m_rowsInFile > 0) {
        if (exec(m_db, "DELETE FROM Readings"))
            m_rowsInFile = 0;
        else
            fail(QString::fromUtf8(sqlite3_errmsg(m_db)));
    }
}

void RecoveryFile::discard()
{
    m_pending.clear();
    m_failing = false;
    closeFile(false);
}

bool RecoveryFile::ensureOpen()
{
    if (m_db)
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
    const QString dbPath = QFileInfo(path).absoluteFilePath();
    // A write-ahead log synced at every commit: one sync a batch, and the rows survive a power loss.
    // Locked exclusively, the log needs no shared-memory side file, and closing folds it back in.
    if (sqlite3_open_v2(QFile::encodeName(dbPath).constData(), &m_db,
                        SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX, nullptr) != SQLITE_OK ||
        !exec(m_db, "PRAGMA locking_mode=EXCLUSIVE") || !exec(m_db, "PRAGMA journal_mode=WAL") ||
        !exec(m_db, "PRAGMA synchronous=FULL") ||
        !exec(m_db, "CREATE TABLE Readings (No INTEGER, Time TEXT, \"DC/AC\" TEXT, Value TEXT, Unit TEXT, "
                    "AUTO TEXT, Nval REAL)") ||
        sqlite3_prepare_v2(m_db, "INSERT INTO Readings VALUES (?, ?, ?, ?, ?, ?, ?)", -1, &m_insert,
                           nullptr) != SQLITE_OK) {
        const QString reason =
            m_db ? QString::fromUtf8(sqlite3_errmsg(m_db)) : QStringLiteral("out of memory");
        closeFile(false);
        return fail(reason);
    }
    return true;
}

void RecoveryFile::closeFile(bool keep)
{
    sqlite3_finalize(m_insert);
    m_insert = nullptr;
    sqlite3_close_v2(m_db);
    m_db = nullptr;
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
    m_pending.clear();
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
