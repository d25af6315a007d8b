#include "store/TableStore.h"

#include "store/FileKind.h"
#include "store/FileLocks.h"
#include "store/SlicedReads.h"
#include "store/TableFileCheck.h"

#include <QDir>
#include <QFileInfo>
#include <charconv>
#include <sqlite3.h>

using namespace tablefile;

struct TableStore::Loaded
{
    sqlite3 *db = nullptr;
    FileIdentity identity;
    QString sqlTable;
    ReadingStore rows;

    Loaded() = default;
    Loaded(const Loaded &) = delete;
    Loaded &operator=(const Loaded &) = delete;
    ~Loaded() { sqlite3_close_v2(db); }
};

QString TableStore::openAndLoad(const QString &fileName, bool createIfEmpty, Loaded &out,
                                ProgressMeter &meter)
{
    const QFileInfo info(fileName);
    // An absolute path keeps the engine from reading names such as ":memory:" or "file:" specially.
    const QString path = info.absoluteFilePath();
    if (!createIfEmpty && !info.exists())
        return QStringLiteral("%1: the file does not exist").arg(fileName);
    if (const QString kind = notRegularFileKind(path); !kind.isEmpty())
        return QStringLiteral("%1: it is not a regular file (it %2 %3), so it holds no table to open")
            .arg(fileName, info.isSymLink() ? QStringLiteral("leads to") : QStringLiteral("is"), kind);
    if (createIfEmpty && !info.exists()) {
        const QString why = createWorkingFile(path);
        if (!why.isEmpty())
            return QStringLiteral("%1: the working table could not be created: %2").arg(fileName, why);
    }
    const int flags = SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX | SQLITE_OPEN_PRIVATECACHE;
    const int rc = sqlite3_open_v2(path.toUtf8().constData(), &out.db, flags, SlicedReads::fileLayerName());
    if (rc != SQLITE_OK)
        return QStringLiteral("%1: %2").arg(fileName, out.db ? engineMessage(out.db)
                                                             : QString::fromUtf8(sqlite3_errstr(rc)));
    harden(out.db);

    const auto engineFailed = [&] {
        return engineFailure(fileName, out.db);
    };

    if (!lockExclusively(out.db))
        return engineFailed();
    if (createIfEmpty) {
        // A working file left empty by some other program becomes the table it should be.
        bool empty = false;
        if (!isEmptyDatabase(out.db, empty))
            return engineFailed();
        if (empty &&
            !(exec(out.db, "COMMIT") && exec(out.db, kCreateReadings) && exec(out.db, "BEGIN EXCLUSIVE")))
            return QStringLiteral("%1: the working table could not be created: %2")
                .arg(fileName, engineMessage(out.db));
    }
    removeStaleJournal(out.db, path);

    Schema schema;
    const QString error = checkAndLoad(out.db, fileName, out.rows, schema, meter);
    if (!error.isEmpty() || meter.cancelled())
        return error;
    // Nothing of ours ever writes to the file; let the engine enforce that too.
    exec(out.db, "PRAGMA query_only=1");
    out.identity = identityOfPath(path);
    out.sqlTable = schema.table;
    return {};
}

QString TableStore::workingFileName()
{
    return QStringLiteral("Vs500db.DB");
}

QString TableStore::columnName(TableColumn column)
{
    return QLatin1String(kColumnNames[size_t(column)]);
}

std::optional<TableColumn> TableStore::columnByName(QStringView name)
{
    for (int c = 0; c < kColumnCount; ++c) {
        if (name.compare(QLatin1String(kColumnNames[size_t(c)]), Qt::CaseInsensitive) == 0)
            return TableColumn(c);
    }
    return std::nullopt;
}

TableStore::TableStore(QObject *parent) : QObject(parent) {}

TableStore::~TableStore()
{
    releaseDb();
}

bool TableStore::fail(const QString &message)
{
    m_lastError = message;
    return false;
}

void TableStore::releaseDb()
{
    // Closing rolls back the transaction that held the lock; nothing was written.
    sqlite3_close_v2(m_db);
    m_db = nullptr;
    m_fileName.clear();
    m_identity = {};
    m_sqlTable.clear();
}

void TableStore::adopt(Loaded &&loaded)
{
    emit aboutToReset();
    releaseDb();
    m_db = loaded.db;
    loaded.db = nullptr;
    m_identity = loaded.identity;
    m_sqlTable = loaded.sqlTable;
    m_rows = std::move(loaded.rows);
    m_savedRows = m_rows.size();
    m_keptRows = m_savedRows;
    emit resetDone();
}

bool TableStore::openWorkingTable(const QString &folder)
{
    return openTable(QDir(folder).filePath(workingFileName()), true, {});
}

bool TableStore::openFile(const QString &fileName, const WorkProgress &progress)
{
    return openTable(fileName, false, progress);
}

bool TableStore::openTable(const QString &fileName, bool createIfEmpty, const WorkProgress &progress)
{
    m_lastError.clear();
    m_cancelled = false;
    ProgressMeter meter(progress);
    // The open file is locked against every connection, this program's own included, so opening
    // the same file again reloads it through the connection that holds it. A file saved since
    // under the same name is a different file and is opened afresh.
    if (m_db && identityOfPath(QFileInfo(fileName).absoluteFilePath()) == m_identity) {
        Schema schema;
        ReadingStore rows;
        const QString error = checkAndLoad(m_db, fileName, rows, schema, meter);
        m_cancelled = meter.cancelled();
        if (!error.isEmpty() || m_cancelled)
            return fail(error);
        emit aboutToReset();
        m_rows = std::move(rows);
        m_savedRows = m_rows.size();
        m_keptRows = m_savedRows;
        m_fileName = fileName;
        emit resetDone();
        return true;
    }
    Loaded loaded;
    const QString error = openAndLoad(fileName, createIfEmpty, loaded, meter);
    m_cancelled = meter.cancelled();
    if (!error.isEmpty() || m_cancelled)
        return fail(error);
    adopt(std::move(loaded));
    m_fileName = fileName;
    return true;
}

void TableStore::close()
{
    if (!m_db && m_rows.empty())
        return;
    emit aboutToReset();
    releaseDb();
    m_rows.clear();
    m_savedRows = 0;
    m_keptRows = 0;
    emit resetDone();
}

void TableStore::markKept(int64_t rows)
{
    rows = std::min(rows, rowCount());
    if (rows <= m_keptRows)
        return;
    m_keptRows = rows;
    emit rowsKept();
}

bool TableStore::appendRow(const RowInput &row)
{
    if (!m_lastError.isNull())
        m_lastError = QString();
    if (!m_db)
        return fail(QStringLiteral("No reading table is open."));
    m_rows.append(row);
    emit rowsAppended();
    return true;
}

bool TableStore::emptyTable()
{
    m_lastError.clear();
    if (!m_db)
        return fail(QStringLiteral("No reading table is open."));
    if (m_rows.empty())
        return true;
    // New drops the rows on purpose: nothing is left pending while the table resets.
    m_keptRows = rowCount();
    emit aboutToReset();
    m_rows.clear();
    m_savedRows = 0;
    m_keptRows = 0;
    emit resetDone();
    return true;
}

QString TableStore::fieldText(int64_t row, TableColumn column) const
{
    if (row < 0 || row >= rowCount())
        return {};
    RowView v;
    m_rows.view(row, v);
    const auto text = [](std::string_view s) {
        return QString::fromUtf8(s.data(), qsizetype(s.size()));
    };
    switch (column) {
    case TableColumn::No:
        return (v.nullMask & NullNo) ? QString() : QString::number(v.no);
    case TableColumn::Time:
        return text(v.time);
    case TableColumn::DCAC:
        return text(v.dcac);
    case TableColumn::Value:
        return text(v.value);
    case TableColumn::Unit:
        return text(v.unit);
    case TableColumn::AUTO:
        return text(v.autoText);
    case TableColumn::Nval: {
        if (v.nullMask & NullNval)
            return {};
        char buffer[32];
        // A value that came from a float prints as that float's shortest form (3999, 0.1).
        const float f = float(v.nval);
        const auto r = double(f) == v.nval ? std::to_chars(buffer, buffer + sizeof buffer, f)
                                           : std::to_chars(buffer, buffer + sizeof buffer, v.nval);
        return QString::fromLatin1(buffer, qsizetype(r.ptr - buffer));
    }
    }
    return {};
}
