#include "store/TableFileWriter.h"

#include "platform/Error.h"

#include <QFile>
#include <QFileInfo>
#include <sqlite3.h>

namespace {

const char *const kColumns[] = {"no", "time", "dc/ac", "value", "unit", "auto", "nval"};

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

// Whether the file holds a table "Readings" with exactly the seven fields, in order.
bool hasReadingTable(sqlite3 *db)
{
    sqlite3_stmt *s = nullptr;
    if (sqlite3_prepare_v2(db, "SELECT lower(name) FROM pragma_table_info('Readings') ORDER BY cid", -1, &s,
                           nullptr) != SQLITE_OK)
        return false;
    size_t n = 0;
    bool same = true;
    while (sqlite3_step(s) == SQLITE_ROW) {
        const char *name = reinterpret_cast<const char *>(sqlite3_column_text(s, 0));
        same = same && n < std::size(kColumns) && name && qstrcmp(name, kColumns[n]) == 0;
        ++n;
    }
    sqlite3_finalize(s);
    return same && n == std::size(kColumns);
}

int64_t highestNo(sqlite3 *db)
{
    sqlite3_stmt *s = nullptr;
    int64_t no = 0;
    if (sqlite3_prepare_v2(db, "SELECT max(No) FROM Readings", -1, &s, nullptr) == SQLITE_OK &&
        sqlite3_step(s) == SQLITE_ROW)
        no = sqlite3_column_int64(s, 0);
    sqlite3_finalize(s);
    return no;
}

} // namespace

TableFileWriter::~TableFileWriter()
{
    close();
}

bool TableFileWriter::open(const QString &path, Access access, bool append)
{
    // Rows added before the file is opened go in with the first commit.
    std::vector<Row> waiting = std::move(m_waiting);
    close();
    m_waiting = std::move(waiting);
    m_error.clear();
    m_failure = Failure::None;
    const auto failed = [this](const QString &why = QString()) {
        fail();
        if (!why.isEmpty())
            m_error = why;
        close();
        return false;
    };
    const QByteArray name = QFileInfo(path).absoluteFilePath().toUtf8();
    if (sqlite3_open_v2(name.constData(), &m_db,
                        SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX,
                        nullptr) != SQLITE_OK)
        return failed();
    sqlite3_busy_timeout(m_db, 2000);
    // Locked exclusively, the write-ahead log needs no shared-memory side file.
    if ((access == Access::Exclusive && !exec(m_db, "PRAGMA locking_mode=EXCLUSIVE")) ||
        !exec(m_db, "PRAGMA journal_mode=WAL") || !exec(m_db, "PRAGMA synchronous=FULL"))
        return failed();
    // A file committed twice a second keeps a small log, written over from its start after each
    // checkpoint: syncing blocks the log already has costs about half what syncing a growing log
    // costs, and every commit is still synced.
    if (access == Access::Exclusive && !exec(m_db, "PRAGMA wal_autocheckpoint=32"))
        return failed();
    if (append) {
        if (!hasReadingTable(m_db))
            return failed(QStringLiteral("it holds no reading table to continue"));
        m_lastNo = highestNo(m_db);
    } else if (!exec(m_db,
                     "CREATE TABLE Readings (No INTEGER, Time TEXT, \"DC/AC\" TEXT, Value TEXT, Unit TEXT, "
                     "AUTO TEXT, Nval REAL)")) {
        return failed();
    }
    if (sqlite3_prepare_v2(m_db, "INSERT INTO Readings VALUES (?, ?, ?, ?, ?, ?, ?)", -1, &m_insert,
                           nullptr) != SQLITE_OK)
        return failed();
    return true;
}

void TableFileWriter::setBusyTimeout(int ms)
{
    if (m_db)
        sqlite3_busy_timeout(m_db, ms);
}

void TableFileWriter::append(const RowInput &row)
{
    Row r;
    r.no = row.no;
    r.nullMask = row.nullMask;
    r.nval = row.nval;
    if (row.timeMs >= 0) {
        char time[12];
        formatTimeOfDay(row.timeMs, time);
        r.time.assign(time, sizeof time);
    } else {
        r.time.assign(row.timeText);
    }
    r.dcac.assign(row.dcac);
    r.value.assign(row.value);
    r.unit.assign(row.unit);
    r.autoText.assign(row.autoText);
    m_waiting.push_back(std::move(r));
}

bool TableFileWriter::commit()
{
    m_failure = Failure::None;
    if (m_waiting.empty())
        return true;
    if (!m_db) {
        m_waiting.clear();
        m_error = QStringLiteral("the file is not open");
        return false;
    }
    if (!exec(m_db, "BEGIN IMMEDIATE"))
        return fail();
    if (m_replacing && !exec(m_db, "DELETE FROM Readings")) {
        fail();
        exec(m_db, "ROLLBACK");
        return false;
    }
    for (const Row &r : m_waiting) {
        sqlite3_stmt *s = m_insert;
        if (r.nullMask & NullNo)
            sqlite3_bind_null(s, 1);
        else
            sqlite3_bind_int64(s, 1, r.no);
        bindText(s, 2, r.time, r.nullMask & NullTime);
        bindText(s, 3, r.dcac, r.nullMask & NullDcac);
        bindText(s, 4, r.value, r.nullMask & NullValue);
        bindText(s, 5, r.unit, r.nullMask & NullUnit);
        bindText(s, 6, r.autoText, r.nullMask & NullAuto);
        if (r.nullMask & NullNval)
            sqlite3_bind_null(s, 7);
        else
            sqlite3_bind_double(s, 7, r.nval);
        const int rc = sqlite3_step(s);
        sqlite3_reset(s);
        if (rc != SQLITE_DONE) {
            fail();
            exec(m_db, "ROLLBACK");
            return false;
        }
    }
    if (!exec(m_db, "COMMIT")) {
        fail();
        exec(m_db, "ROLLBACK");
        return false;
    }
    m_waiting.clear();
    return true;
}

bool TableFileWriter::commitReplacing()
{
    if (m_waiting.empty())
        return clear();
    m_replacing = true;
    const bool written = commit();
    m_replacing = false;
    return written;
}

bool TableFileWriter::removeFirst(int64_t rows)
{
    if (!m_db || rows <= 0)
        return true;
    sqlite3_stmt *s = nullptr;
    bool done = sqlite3_prepare_v2(m_db,
                                   "DELETE FROM Readings WHERE rowid IN "
                                   "(SELECT rowid FROM Readings ORDER BY rowid LIMIT ?)",
                                   -1, &s, nullptr) == SQLITE_OK;
    if (done) {
        sqlite3_bind_int64(s, 1, rows);
        done = sqlite3_step(s) == SQLITE_DONE;
    }
    sqlite3_finalize(s);
    return done || fail();
}

bool TableFileWriter::clear()
{
    m_waiting.clear();
    return !m_db || exec(m_db, "DELETE FROM Readings") || fail();
}

void TableFileWriter::close()
{
    m_waiting.clear();
    sqlite3_finalize(m_insert);
    m_insert = nullptr;
    // The last connection folds the log back into the file and removes it.
    sqlite3_close_v2(m_db);
    m_db = nullptr;
    m_lastNo = 0;
}

bool TableFileWriter::fail()
{
    // The library does not always keep the system's reason for a failed write: the last system
    // error still has it.
    const platform::Error lastError = platform::lastSystemError();
    m_error = m_db ? QString::fromUtf8(sqlite3_errmsg(m_db)) : QStringLiteral("out of memory");
    const int code = m_db ? sqlite3_errcode(m_db) : SQLITE_NOMEM;
    const int system = m_db ? sqlite3_system_errno(m_db) : 0;
    const platform::Error::Kind kind = system ? platform::systemError(system).kind : lastError.kind;
    if (code == SQLITE_BUSY || code == SQLITE_LOCKED)
        m_failure = Failure::Busy;
    else if (code == SQLITE_FULL || (code == SQLITE_IOERR && m_db && kind == platform::Error::Kind::NoRoom))
        m_failure = Failure::NoRoom;
    else
        m_failure = Failure::Other;
    m_waiting.clear();
    return false;
}
