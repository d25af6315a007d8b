#include "TableOracle.h"

#include "FuzzCheck.h"

#include "store/TableStore.h"

#include <QFile>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <sqlite3.h>

namespace {

constexpr int kColumns = 7;

struct Db
{
    sqlite3 *db = nullptr;
    explicit Db(const QString &path)
    {
        if (sqlite3_open_v2(QFile::encodeName(path).constData(), &db, SQLITE_OPEN_READONLY, nullptr) !=
            SQLITE_OK) {
            sqlite3_close(db);
            db = nullptr;
            return;
        }
        // The same guards the store puts on a file it opens, so both see the same file.
        sqlite3_db_config(db, SQLITE_DBCONFIG_DEFENSIVE, 1, nullptr);
        sqlite3_limit(db, SQLITE_LIMIT_LENGTH, 1 << 20);
        sqlite3_exec(db, "PRAGMA cell_size_check=ON", nullptr, nullptr, nullptr);
    }
    ~Db() { sqlite3_close(db); }
};

struct Stmt
{
    sqlite3_stmt *s = nullptr;
    Stmt(sqlite3 *db, const QByteArray &sql)
    {
        if (db)
            sqlite3_prepare_v2(db, sql.constData(), -1, &s, nullptr);
    }
    ~Stmt() { sqlite3_finalize(s); }
};

QByteArray quoted(const QString &name)
{
    QByteArray q = name.toUtf8();
    q.replace('"', "\"\"");
    return '"' + q + '"';
}

QString columnText(sqlite3_stmt *s, int i)
{
    return QString::fromUtf8(reinterpret_cast<const char *>(sqlite3_column_text(s, i)),
                             sqlite3_column_bytes(s, i));
}

// The one ordinary table and its fields in TableColumn order; false when there is not exactly one
// table with our seven fields.
bool findTable(sqlite3 *db, QString &table, QStringList &columns, bool &hasRowid)
{
    Stmt schema(
        db, "SELECT name FROM sqlite_schema WHERE type = 'table' AND name NOT LIKE 'sqlite\\_%' ESCAPE '\\'");
    if (!schema.s)
        return false;
    QStringList tables;
    int rc;
    while ((rc = sqlite3_step(schema.s)) == SQLITE_ROW)
        tables << columnText(schema.s, 0);
    if (rc != SQLITE_DONE || tables.size() != 1)
        return false;
    table = tables.first();
    Stmt info(db, "PRAGMA table_info(" + quoted(table) + ")");
    if (!info.s)
        return false;
    columns = QStringList(kColumns, QString());
    while ((rc = sqlite3_step(info.s)) == SQLITE_ROW) {
        const QString name = columnText(info.s, 1);
        const std::optional<TableColumn> column = TableStore::columnByName(name);
        if (!column)
            return false;
        columns[int(*column)] = name;
    }
    hasRowid = Stmt(db, "SELECT rowid FROM " + quoted(table)).s != nullptr;
    return rc == SQLITE_DONE && !columns.contains(QString());
}

// Rows in row id order, or in key order for a table without row ids.
QByteArray selectAll(const QString &table, const QStringList &columns, bool hasRowid, const char *wrap)
{
    QByteArray sql = "SELECT ";
    for (int c = 0; c < kColumns; ++c) {
        if (c)
            sql += ", ";
        sql += QByteArray(wrap).replace("%", quoted(columns[c]));
    }
    return sql + " FROM " + quoted(table) + " NOT INDEXED" + (hasRowid ? " ORDER BY rowid" : "");
}

// A whole number written as text exactly as the number's own decimal form ("12", not "012" or "-0").
bool isWholeNumberText(const QString &text)
{
    bool ok = false;
    const qlonglong n = text.toLongLong(&ok);
    return ok && QString::number(n) == text;
}

bool readsAsNumber(const QString &text)
{
    const QByteArray bytes = text.toLatin1();
    char *end = nullptr;
    std::strtod(bytes.constData(), &end);
    return !text.isEmpty() && end == bytes.constData() + bytes.size();
}

// A number stored in a text field reads as its shortest text that converts back to it.
QString shortestNumberText(sqlite3_stmt *s, int column)
{
    char buffer[32];
    const auto r = sqlite3_column_type(s, column) == SQLITE_INTEGER
                       ? std::to_chars(buffer, buffer + sizeof buffer, sqlite3_column_int64(s, column))
                       : std::to_chars(buffer, buffer + sizeof buffer, sqlite3_column_double(s, column));
    return QString::fromLatin1(buffer, r.ptr - buffer);
}

} // namespace

void checkFieldsMatchFile(const QStringList &fields, const QString &path)
{
    Db db(path);
    QString table;
    QStringList columns;
    bool hasRowid = true;
    if (!db.db || !findTable(db.db, table, columns, hasRowid))
        return;
    Stmt rows(db.db, selectAll(table, columns, hasRowid, "%"));
    if (!rows.s)
        return;
    QStringList expected;
    QList<double> nvals;
    QList<bool> nvalNull;
    int rc;
    while ((rc = sqlite3_step(rows.s)) == SQLITE_ROW) {
        for (int c = 0; c < kColumns; ++c) {
            const int type = sqlite3_column_type(rows.s, c);
            if (c == int(TableColumn::No))
                expected << (type == SQLITE_NULL ? QString()
                                                 : QString::number(sqlite3_column_int64(rows.s, c)));
            else if (c == int(TableColumn::Nval))
                expected << QString();
            else if (type == SQLITE_INTEGER || type == SQLITE_FLOAT)
                expected << shortestNumberText(rows.s, c); // a number in a text field
            else
                expected << (type == SQLITE_NULL ? QString() : columnText(rows.s, c));
            if (c == int(TableColumn::Nval)) {
                nvalNull << (type == SQLITE_NULL);
                nvals << sqlite3_column_double(rows.s, c);
            }
        }
    }
    if (rc != SQLITE_DONE)
        return;
    FUZZ_CHECK(expected.size() == fields.size(), "the store loads every row the file holds");
    for (int i = 0; i < fields.size(); ++i) {
        const int row = i / kColumns;
        if (i % kColumns != int(TableColumn::Nval)) {
            if (fields[i] != expected[i]) {
                std::fprintf(stderr, "row %d field %d: store \"%s\", file \"%s\"\n", row, i % kColumns,
                             qPrintable(fields[i].left(80)), qPrintable(expected[i].left(80)));
                FUZZ_CHECK(false, "a loaded field reads as the file holds it");
            }
            continue;
        }
        if (nvalNull[row]) {
            FUZZ_CHECK(fields[i].isEmpty(), "a missing Nval reads as empty");
            continue;
        }
        const QByteArray text = fields[i].toLatin1();
        char *end = nullptr;
        const double back = std::strtod(text.constData(), &end);
        if (end != text.constData() + text.size() || float(back) != float(nvals[row])) {
            std::fprintf(stderr, "row %d: Nval %.17g reads as \"%s\"\n", row, nvals[row], text.constData());
            FUZZ_CHECK(false, "Nval reads back as the number the file holds");
        }
    }
}

TableFacts tableFacts(const QString &path)
{
    TableFacts facts;
    Db db(path);
    if (!db.db)
        return facts;
    Stmt schema(db.db, "SELECT type, name FROM sqlite_schema");
    if (!schema.s)
        return facts;
    int rc;
    while ((rc = sqlite3_step(schema.s)) == SQLITE_ROW) {
        const QString type = columnText(schema.s, 0);
        if (type == QLatin1String("view") || type == QLatin1String("trigger"))
            facts.viewsOrTriggers = true;
        if (type == QLatin1String("table") && !columnText(schema.s, 1).startsWith(QLatin1String("sqlite_")))
            ++facts.tables;
    }
    if (rc != SQLITE_DONE)
        return facts;
    QString table;
    QStringList columns;
    bool hasRowid = true;
    if (!findTable(db.db, table, columns, hasRowid)) {
        facts.readable = true;
        return facts;
    }
    Stmt rows(db.db, selectAll(table, columns, hasRowid, "typeof(%), %"));
    if (!rows.s)
        return facts;
    while ((rc = sqlite3_step(rows.s)) == SQLITE_ROW) {
        for (int c = 0; c < kColumns; ++c) {
            const QString type = columnText(rows.s, 2 * c);
            // The store measures text in UTF-8, whatever the file's encoding.
            sqlite3_column_text(rows.s, 2 * c + 1);
            const int bytes = sqlite3_column_bytes(rows.s, 2 * c + 1);
            const bool number = type == QLatin1String("integer") || type == QLatin1String("real");
            const bool text = type == QLatin1String("text");
            bool fits = type == QLatin1String("null");
            if (c == int(TableColumn::No)) {
                fits = fits || type == QLatin1String("integer") ||
                       (text && isWholeNumberText(columnText(rows.s, 2 * c + 1)));
            } else if (c == int(TableColumn::Nval)) {
                fits = fits || number;
                if (text && readsAsNumber(columnText(rows.s, 2 * c + 1))) {
                    fits = true;
                    facts.valuesUndecided = true;
                }
            } else {
                fits = fits || number || (text && bytes <= TableStore::kMaxFieldBytes);
            }
            facts.valuesFit = facts.valuesFit && fits;
        }
    }
    facts.readable = rc == SQLITE_DONE;
    return facts;
}
