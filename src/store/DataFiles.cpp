#include "store/DataFiles.h"

#include "store/TableRows.h"
#include "store/TableStore.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QTemporaryFile>
#include <cerrno>
#include <charconv>
#include <cstring>
#include <fcntl.h>
#include <sqlite3.h>
#include <unistd.h>

namespace {

constexpr int kExportColumns = 6; // No .. AUTO; Nval is not exported
constexpr qsizetype kWriteChunk = 1 << 20;

void appendLatin1(QByteArray &out, std::string_view utf8)
{
    for (char c : utf8) {
        if (uchar(c) >= 0x80) {
            out += QString::fromUtf8(utf8.data(), qsizetype(utf8.size())).toLatin1();
            return;
        }
    }
    out.append(utf8.data(), qsizetype(utf8.size()));
}

void appendStoreRow(QByteArray &out, const TableStore &table, int64_t row)
{
    RowView v;
    table.rowView(row, v);
    appendExportLine(out, v);
}

void appendGenericRow(QByteArray &out, const TableRows &rows, int64_t row)
{
    for (int c = 0; c < kExportColumns; ++c) {
        if (c)
            out += '\t';
        out += rows.fieldText(row, TableColumn(c)).toLatin1();
    }
    out += "\r\n";
}

struct Database
{
    sqlite3 *db = nullptr;
    ~Database() { sqlite3_close_v2(db); }
};

struct Statement
{
    sqlite3_stmt *stmt = nullptr;
    ~Statement() { sqlite3_finalize(stmt); }
};

void bindText(sqlite3_stmt *stmt, int index, std::string_view text, bool isNull)
{
    if (isNull)
        sqlite3_bind_null(stmt, index);
    else
        sqlite3_bind_text(stmt, index, text.data() ? text.data() : "", int(text.size()), SQLITE_STATIC);
}

// Writes the rows into the empty database at path; returns the engine's message on failure.
QString writeCopy(const TableStore &table, const QString &path)
{
    Database d;
    if (sqlite3_open_v2(QFile::encodeName(path).constData(), &d.db,
                        SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX, nullptr) != SQLITE_OK)
        return d.db ? QString::fromUtf8(sqlite3_errmsg(d.db)) : QStringLiteral("out of memory");
    const auto engineError = [&] {
        return QString::fromUtf8(sqlite3_errmsg(d.db));
    };
    // A half-written copy is thrown away, never recovered, so it needs no journal.
    const char *setup =
        "PRAGMA journal_mode=OFF; PRAGMA synchronous=OFF; PRAGMA locking_mode=EXCLUSIVE;"
        "CREATE TABLE Readings (No INTEGER, Time TEXT, \"DC/AC\" TEXT, Value TEXT, Unit TEXT, "
        "AUTO TEXT, Nval REAL); BEGIN";
    if (sqlite3_exec(d.db, setup, nullptr, nullptr, nullptr) != SQLITE_OK)
        return engineError();
    {
        Statement insert;
        if (sqlite3_prepare_v2(d.db, "INSERT INTO Readings VALUES (?, ?, ?, ?, ?, ?, ?)", -1, &insert.stmt,
                               nullptr) != SQLITE_OK)
            return engineError();
        sqlite3_stmt *s = insert.stmt;
        RowView v;
        for (int64_t row = 0; row < table.rowCount(); ++row) {
            table.rowView(row, v);
            if (v.nullMask & NullNo)
                sqlite3_bind_null(s, 1);
            else
                sqlite3_bind_int64(s, 1, v.no);
            bindText(s, 2, v.time, v.nullMask & NullTime);
            bindText(s, 3, v.dcac, v.nullMask & NullDcac);
            bindText(s, 4, v.value, v.nullMask & NullValue);
            bindText(s, 5, v.unit, v.nullMask & NullUnit);
            bindText(s, 6, v.autoText, v.nullMask & NullAuto);
            if (v.nullMask & NullNval)
                sqlite3_bind_null(s, 7);
            else
                sqlite3_bind_double(s, 7, v.nval);
            if (sqlite3_step(s) != SQLITE_DONE)
                return engineError();
            sqlite3_reset(s);
        }
    }
    if (sqlite3_exec(d.db, "COMMIT", nullptr, nullptr, nullptr) != SQLITE_OK)
        return engineError();
    if (sqlite3_close(d.db) != SQLITE_OK)
        return engineError();
    d.db = nullptr;
    return {};
}

QString syncFile(const QString &path)
{
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0 || ::fsync(fd) != 0) {
        const QString reason = QString::fromLocal8Bit(std::strerror(errno));
        if (fd >= 0)
            ::close(fd);
        return reason;
    }
    ::close(fd);
    return {};
}

} // namespace

bool isTableCopyName(const QString &fileName)
{
    return fileName.endsWith(QLatin1String(".db"), Qt::CaseSensitive);
}

bool ExportTableAsText(const TableRows &rows, const QString &fileName, QString *error)
{
    QSaveFile file(fileName);
    const auto failed = [&] {
        if (error)
            *error = file.errorString();
        file.cancelWriting();
        return false;
    };
    if (!file.open(QIODevice::WriteOnly))
        return failed();

    QByteArray out = exportHeaderLine();
    out.reserve(kWriteChunk + 4096);
    const auto *store = dynamic_cast<const TableStore *>(&rows);
    const int64_t count = rows.rowCount();
    for (int64_t row = 0; row < count; ++row) {
        if (store)
            appendStoreRow(out, *store, row);
        else
            appendGenericRow(out, rows, row);
        if (out.size() >= kWriteChunk) {
            if (file.write(out) != out.size())
                return failed();
            out.clear();
        }
    }
    if (file.write(out) != out.size())
        return failed();
    if (!file.commit()) {
        if (error)
            *error = file.errorString();
        return false;
    }
    return true;
}

QString exportSavedMessage(const QString &fileName)
{
    return QStringLiteral("save table to specified file: ") + fileName + QStringLiteral(" Scuss!");
}

QString exportFailedMessage(const QString &fileName)
{
    return QStringLiteral("Could not save table to specified file: ") + fileName;
}

bool CopyTableToFile(const TableStore &table, const QString &fileName, QString *error)
{
    const QFileInfo target(fileName);
    const QString targetPath = target.absoluteFilePath();
    const auto failed = [&](const QString &reason) {
        if (error)
            *error = QStringLiteral("%1: %2").arg(fileName, reason);
        return false;
    };

    // The copy is built beside the target, so the final rename stays on one file system.
    QString tempPath;
    {
        QTemporaryFile temp(target.absolutePath() + QLatin1String("/.") + target.fileName() +
                            QLatin1String(".XXXXXX"));
        temp.setAutoRemove(false);
        if (!temp.open())
            return failed(temp.errorString());
        tempPath = temp.fileName();
    }
    QString reason = writeCopy(table, tempPath);
    if (reason.isEmpty())
        reason = syncFile(tempPath);
    if (reason.isEmpty()) {
        const QFileDevice::Permissions permissions =
            target.exists() ? target.permissions()
                            : QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadUser |
                                  QFileDevice::WriteUser | QFileDevice::ReadGroup | QFileDevice::ReadOther;
        QFile::setPermissions(tempPath, permissions);
        if (::rename(QFile::encodeName(tempPath).constData(), QFile::encodeName(targetPath).constData()) != 0)
            reason = QString::fromLocal8Bit(std::strerror(errno));
    }
    if (!reason.isEmpty()) {
        QFile::remove(tempPath);
        return failed(reason);
    }
    return true;
}

QByteArray exportHeaderLine()
{
    return QByteArrayLiteral("No\tTime\tDC/AC\tValue\tUnit\tAUTO\r\n");
}

void appendExportLine(QByteArray &out, const RowView &v)
{
    if (!(v.nullMask & NullNo)) {
        char buffer[24];
        const auto r = std::to_chars(buffer, buffer + sizeof buffer, v.no);
        out.append(buffer, qsizetype(r.ptr - buffer));
    }
    const std::string_view texts[] = {v.time, v.dcac, v.value, v.unit, v.autoText};
    for (std::string_view t : texts) {
        out += '\t';
        appendLatin1(out, t);
    }
    out += "\r\n";
}
