#include "store/DataFiles.h"

#include "store/FileKind.h"
#include "store/FileLocks.h"
#include "store/TableRows.h"
#include "store/TableStore.h"

#include "platform/DurableFile.h"
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTemporaryFile>

#include <charconv>
#include <functional>
#include <sqlite3.h>

namespace {

constexpr int kExportColumns = 6; // No .. AUTO; Nval is not exported
constexpr qsizetype kWriteChunk = 1 << 20;
constexpr int64_t kRowsPerReport = 4096;
constexpr int64_t kRowsForLargePages = 50000;
constexpr char kEmptiedWhileSaving[] = "the table was emptied while it was being saved";
// What names a save's temporary file as ours: ".<target>.<random>.meterlink-part", held under an
// advisory lock while the save runs, so that one a killed save left can be told from one in use.
constexpr char kPartSuffix[] = ".meterlink-part";
// Written data is handed to the disk every so often, so that making the file durable at the end
// waits for little.
constexpr int64_t kWritebackBytes = int64_t(32) << 20;

QString reasonOf(const platform::Error &error)
{
    return QString::fromStdString(error.message);
}

// Why no new file can be made in folder, where that is the folder's fault.
QString folderProblem(const QString &folder, const QString &systemMessage)
{
    const QFileInfo info(folder);
    if (!info.exists())
        return QStringLiteral("the folder %1 does not exist").arg(folder);
    if (!info.isWritable())
        return QStringLiteral("the folder %1 is read-only. A save writes a new file beside the old one "
                              "and then gives it the old one's name, so even a writable file needs a "
                              "folder that may be written: choose another folder")
            .arg(folder);
    return systemMessage;
}

// A file written in place of another only once it is complete: the new contents go to a temporary
// file beside the target, which then takes the target's name in one step. For a symbolic link the
// target is the file the link leads to, so the link keeps pointing at the new contents.
class ReplacingFile
{
public:
    explicit ReplacingFile(const QString &fileName) : m_fileName(fileName) {}
    ~ReplacingFile() { discard(); }
    ReplacingFile(const ReplacingFile &) = delete;
    ReplacingFile &operator=(const ReplacingFile &) = delete;

    // Finds the target, checks that it may be replaced and creates the temporary file; the reason
    // on failure.
    QString begin()
    {
        if (QString problem = saveTargetProblem(m_fileName); !problem.isEmpty())
            return problem;
        QFileInfo target(m_fileName);
        for (int hops = 0; target.isSymLink(); ++hops) {
            if (hops == 40)
                return QStringLiteral("Too many levels of symbolic links");
            target = QFileInfo(target.symLinkTarget());
        }
        m_targetPath = target.absoluteFilePath();
        if (target.exists() && !target.isWritable())
            return QStringLiteral("the file is read-only: make it writable or choose another name");
        QTemporaryFile temp(target.absolutePath() + QLatin1String("/.") + target.fileName() +
                            QLatin1String(".XXXXXX") + QLatin1String(kPartSuffix));
        temp.setAutoRemove(false);
        if (!temp.open())
            return folderProblem(target.absolutePath(), temp.errorString());
        m_tempPath = temp.fileName();
        temp.close();
        platform::Error error;
        m_file = platform::File::open(m_tempPath.toStdString(), platform::File::Access::Write, &error);
        if (m_file.isOpen() && !holdFile(m_file))
            error = platform::lastSystemError();
        if (error) {
            discard();
            return reasonOf(error);
        }
        return {};
    }

    const QString &tempPath() const { return m_tempPath; }

    // Appends bytes to the temporary file; the reason on failure.
    QString write(const char *data, qsizetype size)
    {
        if (const platform::Error error = m_file.write(data, size_t(size)))
            return reasonOf(error);
        m_written += size;
        handOver();
        return {};
    }

    // Starts writing out to the disk what the temporary file has gained since the last time, once
    // that is kWritebackBytes or more (the engine writes the table copy through its own handle).
    void handOver()
    {
        const int64_t size = m_written > 0 ? m_written : QFileInfo(m_tempPath).size();
        if (size - m_handedOver < kWritebackBytes)
            return;
        m_file.startWriteback(m_handedOver, size - m_handedOver);
        m_handedOver = size;
    }

    // Makes the new file durable and gives it the target's name; the reason on failure.
    QString commit()
    {
        platform::takeAccessRightsOf(m_targetPath.toStdString(), m_file);
        if (const platform::Error error = m_file.sync())
            return reasonOf(error);
        m_file.close();
        if (const platform::Error error =
                platform::replaceFile(m_tempPath.toStdString(), m_targetPath.toStdString()))
            return reasonOf(error);
        m_tempPath.clear();
        return {};
    }

private:
    void discard()
    {
        m_file.close();
        if (!m_tempPath.isEmpty())
            QFile::remove(m_tempPath);
        m_tempPath.clear();
    }

    QString m_fileName;
    QString m_targetPath;
    QString m_tempPath;
    platform::File m_file;
    int64_t m_written = 0;
    int64_t m_handedOver = 0;
};

// ---- Text export

// Why a field cannot go into the text as it is; empty when it can.
QString unexportable(QStringView text)
{
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (c == QLatin1Char('\t') || c == QLatin1Char('\r') || c == QLatin1Char('\n'))
            return QStringLiteral("a tab or line break, which would split its line in the text");
        // NUL and the other control codes end or garble the line in the programs that read the text.
        if (c.unicode() < 0x20)
            return QStringLiteral("the control character %1, which the text cannot hold as it is")
                .arg(QStringLiteral("0x%1").arg(c.unicode(), 2, 16, QLatin1Char('0')));
        if (c.unicode() > 0xff) {
            const qsizetype length = c.isHighSurrogate() && i + 1 < text.size() ? 2 : 1;
            return QStringLiteral("\"%1\", a character the text (Latin-1) does not have")
                .arg(text.mid(i, length));
        }
    }
    return {};
}

// Appends a UTF-8 field as Latin-1; false when it cannot be written as it is.
bool appendLatin1(QByteArray &out, std::string_view utf8)
{
    for (char c : utf8) {
        if (uchar(c) >= 0x80 || uchar(c) < 0x20) {
            const QString text = QString::fromUtf8(utf8.data(), qsizetype(utf8.size()));
            if (!unexportable(text).isEmpty())
                return false;
            out += text.toLatin1();
            return true;
        }
    }
    out.append(utf8.data(), qsizetype(utf8.size()));
    return true;
}

struct ExportRefusal
{
    int64_t row = -1;
    TableColumn column = TableColumn::No;
};

bool appendStoreRow(QByteArray &out, const TableStore &table, int64_t row, ExportRefusal &refusal)
{
    RowView v;
    table.rowView(row, v);
    if (const std::optional<TableColumn> refused = appendExportLine(out, v)) {
        refusal = {row, *refused};
        return false;
    }
    return true;
}

bool appendGenericRow(QByteArray &out, const TableRows &rows, int64_t row, ExportRefusal &refusal)
{
    for (int c = 0; c < kExportColumns; ++c) {
        if (c)
            out += '\t';
        const QString text = rows.fieldText(row, TableColumn(c));
        if (!unexportable(text).isEmpty()) {
            refusal = {row, TableColumn(c)};
            return false;
        }
        out += text.toLatin1();
    }
    out += "\r\n";
    return true;
}

QString refusalText(const TableRows &rows, const ExportRefusal &refusal)
{
    const QString no = rows.fieldText(refusal.row, TableColumn::No);
    const QString where = no.isEmpty() ? QStringLiteral("Row %1 (its No is empty)").arg(refusal.row + 1)
                                       : QStringLiteral("The row with No %1").arg(no);
    return QStringLiteral("%1: its field %2 holds %3. Save it as a table copy (a name ending in .db) "
                          "instead.")
        .arg(where, TableStore::columnName(refusal.column),
             unexportable(rows.fieldText(refusal.row, refusal.column)));
}

// ---- Table copy

struct Database
{
    sqlite3 *db = nullptr;
    ~Database() { sqlite3_close_v2(db); }
};

// The table's rows as a table the engine reads from, so that one INSERT ... SELECT statement
// copies them all: that saves the engine a statement run for every row.
struct RowSource
{
    const TableStore &table;
    int64_t rowCount;
    ReplacingFile &file;
    ProgressMeter &meter;
};

struct RowSourceTable
{
    sqlite3_vtab base{};
    RowSource *source = nullptr;
};

struct RowSourceCursor
{
    sqlite3_vtab_cursor base{};
    RowSource *source = nullptr;
    int64_t row = 0;
    RowView view;
};

int rowSourceConnect(sqlite3 *db, void *aux, int, const char *const *, sqlite3_vtab **out, char **)
{
    const int rc = sqlite3_declare_vtab(db, "CREATE TABLE x(No, Time, \"DC/AC\", Value, Unit, AUTO, Nval)");
    if (rc != SQLITE_OK)
        return rc;
    auto *table = new RowSourceTable;
    table->source = static_cast<RowSource *>(aux);
    *out = &table->base;
    return SQLITE_OK;
}

int rowSourceDisconnect(sqlite3_vtab *table)
{
    delete reinterpret_cast<RowSourceTable *>(table);
    return SQLITE_OK;
}

int rowSourceBestIndex(sqlite3_vtab *, sqlite3_index_info *info)
{
    info->estimatedCost = 1e9;
    return SQLITE_OK;
}

int rowSourceOpen(sqlite3_vtab *table, sqlite3_vtab_cursor **out)
{
    auto *cursor = new RowSourceCursor;
    cursor->source = reinterpret_cast<RowSourceTable *>(table)->source;
    *out = &cursor->base;
    return SQLITE_OK;
}

int rowSourceClose(sqlite3_vtab_cursor *cursor)
{
    delete reinterpret_cast<RowSourceCursor *>(cursor);
    return SQLITE_OK;
}

// The window runs its events while a copy is written: should the table lose rows meanwhile, the
// copy fails rather than read rows that are gone.
int viewRow(RowSourceCursor *c)
{
    if (c->row >= c->source->rowCount)
        return SQLITE_OK;
    if (c->row >= c->source->table.rowCount()) {
        sqlite3_free(c->base.pVtab->zErrMsg);
        c->base.pVtab->zErrMsg = sqlite3_mprintf("%s", kEmptiedWhileSaving);
        return SQLITE_ERROR;
    }
    c->source->table.rowView(c->row, c->view);
    return SQLITE_OK;
}

int rowSourceFilter(sqlite3_vtab_cursor *cursor, int, const char *, int, sqlite3_value **)
{
    auto *c = reinterpret_cast<RowSourceCursor *>(cursor);
    c->row = 0;
    return viewRow(c);
}

int rowSourceNext(sqlite3_vtab_cursor *cursor)
{
    auto *c = reinterpret_cast<RowSourceCursor *>(cursor);
    ++c->row;
    if (c->row % kRowsPerReport == 0) {
        c->source->file.handOver();
        if (!c->source->meter.report(c->row, c->source->rowCount))
            return SQLITE_INTERRUPT;
    }
    return viewRow(c);
}

int rowSourceEof(sqlite3_vtab_cursor *cursor)
{
    const auto *c = reinterpret_cast<RowSourceCursor *>(cursor);
    return c->row >= c->source->rowCount;
}

void resultText(sqlite3_context *context, std::string_view text, bool isNull)
{
    // The texts stay in the cursor until its next step, and the insert copies them into its
    // record before that.
    if (isNull)
        sqlite3_result_null(context);
    else
        sqlite3_result_text(context, text.data() ? text.data() : "", int(text.size()), SQLITE_STATIC);
}

int rowSourceColumn(sqlite3_vtab_cursor *cursor, sqlite3_context *context, int column)
{
    const RowView &v = reinterpret_cast<RowSourceCursor *>(cursor)->view;
    switch (TableColumn(column)) {
    case TableColumn::No:
        if (v.nullMask & NullNo)
            sqlite3_result_null(context);
        else
            sqlite3_result_int64(context, v.no);
        break;
    case TableColumn::Time:
        resultText(context, v.time, v.nullMask & NullTime);
        break;
    case TableColumn::DCAC:
        resultText(context, v.dcac, v.nullMask & NullDcac);
        break;
    case TableColumn::Value:
        resultText(context, v.value, v.nullMask & NullValue);
        break;
    case TableColumn::Unit:
        resultText(context, v.unit, v.nullMask & NullUnit);
        break;
    case TableColumn::AUTO:
        resultText(context, v.autoText, v.nullMask & NullAuto);
        break;
    case TableColumn::Nval:
        if (v.nullMask & NullNval)
            sqlite3_result_null(context);
        else
            sqlite3_result_double(context, v.nval);
        break;
    }
    return SQLITE_OK;
}

int rowSourceRowid(sqlite3_vtab_cursor *cursor, sqlite3_int64 *rowid)
{
    *rowid = reinterpret_cast<RowSourceCursor *>(cursor)->row + 1;
    return SQLITE_OK;
}

sqlite3_module rowSourceModule()
{
    sqlite3_module m{};
    m.xConnect = rowSourceConnect; // no xCreate: it exists only under its own name, in no schema
    m.xBestIndex = rowSourceBestIndex;
    m.xDisconnect = rowSourceDisconnect;
    m.xOpen = rowSourceOpen;
    m.xClose = rowSourceClose;
    m.xFilter = rowSourceFilter;
    m.xNext = rowSourceNext;
    m.xEof = rowSourceEof;
    m.xColumn = rowSourceColumn;
    m.xRowid = rowSourceRowid;
    return m;
}

// Writes the first rowCount rows into the empty database file; returns the engine's message on
// failure and an empty text on success and on a cancel (which the meter tells).
QString writeCopy(const TableStore &table, int64_t rowCount, ReplacingFile &file, ProgressMeter &meter)
{
    Database d;
    if (sqlite3_open_v2(file.tempPath().toUtf8().constData(), &d.db,
                        SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX, nullptr) != SQLITE_OK)
        return d.db ? QString::fromUtf8(sqlite3_errmsg(d.db)) : QStringLiteral("out of memory");
    const auto engineError = [&] {
        return QString::fromUtf8(sqlite3_errmsg(d.db));
    };
    static const sqlite3_module module = rowSourceModule();
    RowSource source{table, rowCount, file, meter};
    if (sqlite3_create_module_v2(d.db, "meterlink_rows", &module, &source, nullptr) != SQLITE_OK)
        return engineError();
    // A half-written copy is thrown away, never recovered, so it needs no journal. Large pages
    // make both the copy and reading it back quicker; a short table keeps the usual small ones, and
    // so a small file.
    const QByteArray copy =
        QByteArray("PRAGMA page_size=") + (rowCount > kRowsForLargePages ? "65536" : "4096") +
        "; PRAGMA journal_mode=OFF; PRAGMA synchronous=OFF; PRAGMA locking_mode=EXCLUSIVE;"
        "CREATE TABLE Readings (No INTEGER, Time TEXT, \"DC/AC\" TEXT, Value TEXT, Unit TEXT, AUTO TEXT, "
        "Nval REAL);"
        "BEGIN;"
        "INSERT INTO Readings SELECT No, Time, \"DC/AC\", Value, Unit, AUTO, Nval FROM meterlink_rows;"
        "COMMIT";
    if (sqlite3_exec(d.db, copy.constData(), nullptr, nullptr, nullptr) != SQLITE_OK)
        return meter.cancelled() ? QString() : engineError();
    if (sqlite3_close(d.db) != SQLITE_OK)
        return engineError();
    d.db = nullptr;
    return {};
}

} // namespace

bool isTableCopyName(const QString &fileName)
{
    return fileName.endsWith(QLatin1String(".db"), Qt::CaseSensitive);
}

namespace {

// Writes the text export through write (which returns the reason it failed); returns the reason the
// export failed, empty on success and on a cancel (which the meter tells).
QString writeExport(const TableRows &rows, const std::function<QString(const QByteArray &)> &write,
                    ProgressMeter &meter)
{
    QByteArray out = exportHeaderLine();
    out.reserve(kWriteChunk + 64 * 1024);
    const auto *store = dynamic_cast<const TableStore *>(&rows);
    // Rows recorded while the export runs are not part of it.
    const int64_t count = rows.rowCount();
    ExportRefusal refusal;
    for (int64_t row = 0; row < count; ++row) {
        if (row >= rows.rowCount())
            return QLatin1String(kEmptiedWhileSaving);
        const bool fits =
            store ? appendStoreRow(out, *store, row, refusal) : appendGenericRow(out, rows, row, refusal);
        if (!fits)
            return refusalText(rows, refusal);
        if (out.size() >= kWriteChunk) {
            if (QString reason = write(out); !reason.isEmpty())
                return reason;
            out.clear();
        }
        if ((row + 1) % kRowsPerReport == 0 && !meter.report(row + 1, count))
            return {};
    }
    return write(out);
}

} // namespace

bool ExportTableAsText(const TableRows &rows, const QString &fileName, QString *error,
                       const WorkProgress &progress)
{
    ProgressMeter meter(progress);
    ReplacingFile file(fileName);
    QString reason = file.begin();
    if (reason.isEmpty()) {
        reason = writeExport(
            rows, [&](const QByteArray &bytes) { return file.write(bytes.constData(), bytes.size()); },
            meter);
    }
    if (reason.isEmpty() && !meter.cancelled())
        reason = file.commit();
    if (error)
        *error = reason;
    return reason.isEmpty() && !meter.cancelled();
}

bool exportTableToStream(const TableRows &rows, platform::File &out, QString *error,
                         const WorkProgress &progress)
{
    ProgressMeter meter(progress);
    const QString reason = writeExport(
        rows,
        [&out](const QByteArray &bytes) {
            const platform::Error failed = out.write(bytes.constData(), size_t(bytes.size()));
            return failed ? reasonOf(failed) : QString();
        },
        meter);
    if (error)
        *error = reason;
    return reason.isEmpty() && !meter.cancelled();
}

QString exportSavedMessage(const QString &fileName)
{
    return QStringLiteral("save table to specified file: ") + fileName + QStringLiteral(" Scuss!");
}

QString exportFailedMessage(const QString &fileName)
{
    return QStringLiteral("Could not save table to specified file: ") + fileName;
}

bool CopyTableToFile(const TableStore &table, const QString &fileName, QString *error,
                     const WorkProgress &progress)
{
    const auto failed = [&](const QString &reason) {
        if (error)
            *error = reason.isEmpty() ? reason : QStringLiteral("%1: %2").arg(fileName, reason);
        return false;
    };
    ProgressMeter meter(progress);
    ReplacingFile file(fileName);
    QString reason = file.begin();
    if (reason.isEmpty())
        reason = writeCopy(table, table.rowCount(), file, meter);
    if (meter.cancelled())
        return failed(QString());
    if (reason.isEmpty())
        reason = file.commit();
    return reason.isEmpty() || failed(reason);
}

bool isWorkingTableFile(const QString &fileName, const QString &workingFolder)
{
    const QFileInfo target(fileName);
    const bool namesWorkingTable =
        target.fileName().compare(TableStore::workingFileName(), Qt::CaseInsensitive) == 0 &&
        sameFile(target.absolutePath(), workingFolder);
    return namesWorkingTable ||
           sameFile(fileName, QDir(workingFolder).filePath(TableStore::workingFileName()));
}

bool isTableFileName(const QString &fileName)
{
    for (const char *ending : {".db", ".sqlite", ".sqlite3"}) {
        if (fileName.endsWith(QLatin1String(ending), Qt::CaseInsensitive))
            return true;
    }
    return false;
}

SaveOutcome saveTable(const TableStore &table, const QString &fileName, const QString &workingFolder,
                      const WorkProgress &progress)
{
    return saveTableAs(table, fileName, isTableCopyName(fileName), workingFolder, progress);
}

SaveOutcome saveTableAs(const TableStore &table, const QString &fileName, bool tableCopy,
                        const QString &workingFolder, const WorkProgress &progress)
{
    SaveOutcome outcome;
    outcome.tableCopy = tableCopy;
    QString reason;
    if (outcome.tableCopy) {
        if (CopyTableToFile(table, fileName, &reason, progress))
            outcome.result = SaveOutcome::Result::Saved;
        else if (reason.isEmpty())
            outcome.result = SaveOutcome::Result::Cancelled;
        else
            outcome.message = reason;
        return outcome;
    }

    if (isWorkingTableFile(fileName, workingFolder)) {
        reason = QStringLiteral("That is the working table's file: text saved over it would leave no table "
                                "to record into. Choose another name.");
    } else if (table.isOpen() && sameFile(fileName, table.fileName())) {
        reason = QStringLiteral("That is the open table's file: text saved over it would leave no table "
                                "to open again. Choose another name.");
    } else if (ExportTableAsText(table, fileName, &reason, progress)) {
        outcome.result = SaveOutcome::Result::Saved;
        outcome.message = exportSavedMessage(fileName);
        return outcome;
    } else if (reason.isEmpty()) {
        outcome.result = SaveOutcome::Result::Cancelled;
        return outcome;
    }
    outcome.message = exportFailedMessage(fileName) + QLatin1Char('\n') + reason;
    return outcome;
}

QByteArray exportHeaderLine()
{
    return QByteArrayLiteral("No\tTime\tDC/AC\tValue\tUnit\tAUTO\r\n");
}

std::optional<TableColumn> appendExportLine(QByteArray &out, const RowView &v)
{
    const qsizetype start = out.size();
    if (!(v.nullMask & NullNo)) {
        char buffer[24];
        const auto r = std::to_chars(buffer, buffer + sizeof buffer, v.no);
        out.append(buffer, qsizetype(r.ptr - buffer));
    }
    const std::string_view texts[] = {v.time, v.dcac, v.value, v.unit, v.autoText};
    for (int c = 0; c < 5; ++c) {
        out += '\t';
        if (!appendLatin1(out, texts[c])) {
            out.truncate(start);
            return TableColumn(c + 1);
        }
    }
    out += "\r\n";
    return std::nullopt;
}

QStringList removeInterruptedSaves(const QString &folder, const QDateTime &startedAt)
{
    QStringList removed;
    const QRegularExpression ours(QStringLiteral("^\\..+\\.[A-Za-z0-9]{6}%1$")
                                      .arg(QRegularExpression::escape(QLatin1String(kPartSuffix))));
    const QFileInfoList found = QDir(folder).entryInfoList(QDir::Files | QDir::Hidden | QDir::System);
    for (const QFileInfo &file : found) {
        if (!ours.match(file.fileName()).hasMatch() || file.lastModified() >= startedAt ||
            isHeldByAnotherRun(file.filePath()))
            continue;
        if (QFile::remove(file.filePath()))
            removed << file.filePath();
    }
    return removed;
}
