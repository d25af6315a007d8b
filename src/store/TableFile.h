#pragma once

#include <QByteArray>
#include <QString>
#include <array>
#include <sqlite3.h>

// The table file as the engine holds it: the reading table's fields, a connection made safe for
// files from elsewhere, the lock an open table holds, and a new working table.
namespace tablefile {

constexpr std::array<const char *, 7> kColumnNames = {"No", "Time", "DC/AC", "Value", "Unit", "AUTO", "Nval"};
constexpr int kColumnCount = int(kColumnNames.size());

// The bytes a single value may take when read; keeps a hostile file from making the engine
// allocate without bound. Larger values fail with the engine's "string or blob too big".
constexpr int kMaxValueBytes = 1 << 20;

struct Statement
{
    sqlite3_stmt *stmt = nullptr;
    ~Statement() { sqlite3_finalize(stmt); }
};

// The working table as this program creates it.
inline constexpr char kCreateReadings[] =
    "CREATE TABLE Readings (No INTEGER, Time TEXT, \"DC/AC\" TEXT, Value TEXT, "
    "Unit TEXT, AUTO TEXT, Nval REAL)";

QString engineMessage(sqlite3 *db);
bool exec(sqlite3 *db, const char *sql);
// A name as an SQL identifier.
QByteArray quoted(const QString &name);
// A file from elsewhere is untrusted input: nothing it holds may run code or change the file.
void harden(sqlite3 *db);

// Takes the lock that keeps every other connection out for as long as the table is open.
bool lockExclusively(sqlite3 *db);
// Creates a new working table file at path, whole or not at all; the reason on failure.
QString createWorkingFile(const QString &path);
// Removes a journal older versions of this program left beside the locked, read file.
void removeStaleJournal(sqlite3 *db, const QString &path);
// Whether the file holds nothing at all yet; false when that cannot be read.
bool isEmptyDatabase(sqlite3 *db, bool &empty);

} // namespace tablefile
