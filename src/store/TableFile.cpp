#include "store/TableFile.h"

#include "platform/DurableFile.h"

#include <QFile>
#include <QTemporaryFile>

namespace tablefile {

QString engineMessage(sqlite3 *db)
{
    return QString::fromUtf8(sqlite3_errmsg(db));
}

bool exec(sqlite3 *db, const char *sql)
{
    return sqlite3_exec(db, sql, nullptr, nullptr, nullptr) == SQLITE_OK;
}

QByteArray quoted(const QString &name)
{
    QByteArray q = name.toUtf8();
    q.replace('"', "\"\"");
    return '"' + q + '"';
}

// A file from elsewhere is untrusted input: nothing it holds may run code or change the file.
void harden(sqlite3 *db)
{
    sqlite3_db_config(db, SQLITE_DBCONFIG_DEFENSIVE, 1, nullptr);
    sqlite3_db_config(db, SQLITE_DBCONFIG_TRUSTED_SCHEMA, 0, nullptr);
    sqlite3_db_config(db, SQLITE_DBCONFIG_ENABLE_LOAD_EXTENSION, 0, nullptr);
    sqlite3_db_config(db, SQLITE_DBCONFIG_ENABLE_TRIGGER, 0, nullptr);
    sqlite3_db_config(db, SQLITE_DBCONFIG_ENABLE_VIEW, 0, nullptr);
    sqlite3_limit(db, SQLITE_LIMIT_LENGTH, kMaxValueBytes);
    sqlite3_limit(db, SQLITE_LIMIT_ATTACHED, 0);
    sqlite3_busy_timeout(db, 0);
    exec(db, "PRAGMA cell_size_check=ON");
    exec(db, "PRAGMA mmap_size=0");
}

// Takes the lock that keeps every other connection out for as long as the table is open: an
// open write transaction (a file we may not write is held with a read lock instead, which
// still keeps writers, and so every other copy of this program, out).
//
// Nothing is ever written, so the transaction's journal stays in memory: on disk it would be
// created with the lock and left behind by a run that is killed. A journal that a crashed writer
// left is still rolled back by the engine on the first read. A file kept with a write-ahead log
// stays so (changing that would rewrite its header); locked exclusively it needs no side file.
bool lockExclusively(sqlite3 *db)
{
    if (!exec(db, "PRAGMA locking_mode=EXCLUSIVE"))
        return false;
    QByteArray mode;
    {
        Statement s;
        if (sqlite3_prepare_v2(db, "PRAGMA journal_mode", -1, &s.stmt, nullptr) != SQLITE_OK ||
            sqlite3_step(s.stmt) != SQLITE_ROW)
            return false;
        mode = reinterpret_cast<const char *>(sqlite3_column_text(s.stmt, 0));
    }
    if (mode != "wal" && !exec(db, "PRAGMA journal_mode=MEMORY"))
        return false;
    if (sqlite3_db_readonly(db, "main") == 1)
        return exec(db, "BEGIN") && exec(db, "SELECT count(*) FROM sqlite_schema");
    return exec(db, "BEGIN EXCLUSIVE");
}

// Creates a new working table file at path: written completely under another name and then
// linked into place, so a run killed on the way leaves either no file or a whole one. Returns the
// reason on failure.
QString createWorkingFile(const QString &path)
{
    QTemporaryFile file(path + QStringLiteral(".new-XXXXXX"));
    file.setAutoRemove(false);
    if (!file.open())
        return file.errorString();
    const QString temporary = file.fileName();
    file.close();
    sqlite3 *db = nullptr;
    QString why;
    if (sqlite3_open_v2(temporary.toUtf8().constData(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX,
                        nullptr) != SQLITE_OK ||
        !exec(db, "PRAGMA journal_mode=OFF") || !exec(db, kCreateReadings))
        why = db ? engineMessage(db) : QStringLiteral("out of memory");
    if (sqlite3_close(db) != SQLITE_OK && why.isEmpty())
        why = engineMessage(db);
    if (why.isEmpty()) {
        const platform::Error error = platform::publishFile(temporary.toStdString(), path.toStdString());
        if (error && error.kind != platform::Error::Kind::Exists) // another run may have created it meanwhile
            why = QString::fromStdString(error.message);
    }
    QFile::remove(temporary);
    return why;
}

// A journal that is still there once the lock is held and the file has been read is not hot (the
// engine would have rolled it back): older versions of this program left such zeroed journals.
void removeStaleJournal(sqlite3 *db, const QString &path)
{
    if (sqlite3_db_readonly(db, "main") == 0)
        QFile::remove(path + QStringLiteral("-journal"));
}

bool isEmptyDatabase(sqlite3 *db, bool &empty)
{
    Statement s;
    if (sqlite3_prepare_v2(db, "SELECT count(*) FROM sqlite_schema", -1, &s.stmt, nullptr) != SQLITE_OK ||
        sqlite3_step(s.stmt) != SQLITE_ROW)
        return false;
    empty = sqlite3_column_int64(s.stmt, 0) == 0;
    return true;
}

} // namespace tablefile
