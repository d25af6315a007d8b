#pragma once

// Helpers shared by the reading-table tests: plain SQLite access that bypasses TableStore, so the
// tests see exactly what is (or is not) in a file.

#include "store/ReadingStore.h"
#include "store/TableStore.h"
#include "support/FileBytes.h"

#include <QDir>
#include <QFile>
#include <QString>
#include <QStringList>
#include <sqlite3.h>
#include <string>
#include <vector>

namespace storetest {

// Runs sql on the file (creating it); returns the engine's message, empty on success.
inline std::string execSql(const QString &path, const std::string &sql)
{
    sqlite3 *db = nullptr;
    std::string error;
    if (sqlite3_open(QFile::encodeName(path).constData(), &db) != SQLITE_OK) {
        error = sqlite3_errmsg(db);
    } else {
        char *message = nullptr;
        if (sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &message) != SQLITE_OK)
            error = message ? message : "failed";
        sqlite3_free(message);
    }
    sqlite3_close(db);
    return error;
}

// Every row of a query as text fields ("NULL" for a null, numbers as the engine prints them).
inline std::vector<std::vector<std::string>> queryRows(const QString &path, const std::string &sql,
                                                       std::string *error = nullptr)
{
    std::vector<std::vector<std::string>> rows;
    sqlite3 *db = nullptr;
    sqlite3_stmt *stmt = nullptr;
    if (sqlite3_open_v2(QFile::encodeName(path).constData(), &db, SQLITE_OPEN_READONLY, nullptr) ==
            SQLITE_OK &&
        sqlite3_prepare_v2(db, sql.c_str(), -1, &stmt, nullptr) == SQLITE_OK) {
        int rc;
        while ((rc = sqlite3_step(stmt)) == SQLITE_ROW) {
            std::vector<std::string> row;
            for (int c = 0; c < sqlite3_column_count(stmt); ++c) {
                const auto *text = reinterpret_cast<const char *>(sqlite3_column_text(stmt, c));
                row.push_back(sqlite3_column_type(stmt, c) == SQLITE_NULL ? "NULL" : std::string(text));
            }
            rows.push_back(row);
        }
        if (rc != SQLITE_DONE && error)
            *error = sqlite3_errmsg(db);
    } else if (error) {
        *error = sqlite3_errmsg(db);
    }
    sqlite3_finalize(stmt);
    sqlite3_close(db);
    return rows;
}

inline const char *kCreateReadings =
    "CREATE TABLE Readings (No INTEGER, Time TEXT, \"DC/AC\" TEXT, Value TEXT, "
    "Unit TEXT, AUTO TEXT, Nval REAL);";

// A row as the recorder writes it.
inline RowInput reading(int64_t no, const char *value, const char *unit = "V", const char *dcac = "DC",
                        const char *autoText = "AUTO", float nval = 0.0f, int32_t timeMs = 0)
{
    RowInput row;
    row.no = no;
    row.value = value;
    row.unit = unit;
    row.dcac = dcac;
    row.autoText = autoText;
    row.nval = nval;
    row.timeMs = timeMs;
    return row;
}

// The six shown fields of a row, tab-joined, for compact comparisons.
inline QString rowText(const TableRows &rows, int64_t row)
{
    QStringList fields;
    for (int c = 0; c <= int(TableColumn::Nval); ++c)
        fields << rows.fieldText(row, TableColumn(c));
    return fields.join(QLatin1Char('|'));
}

inline QStringList filesIn(const QString &dir)
{
    return QDir(dir).entryList(QDir::Files | QDir::Hidden | QDir::System, QDir::Name);
}

} // namespace storetest
