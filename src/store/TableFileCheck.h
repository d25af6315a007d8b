#pragma once

#include "store/TableFile.h"

#include <QString>

class ProgressMeter;
class ReadingStore;

// The checks a table file passes on open, from elsewhere or not: a sound file of the engine's,
// holding one plain table with the reading table's fields and nothing that could run, whose every
// value fits the table in memory.
namespace tablefile {

struct Schema
{
    QString table;
    std::array<QString, kColumnCount> columns; // the file's spelling, in TableColumn order
    bool hasRowid = true;
};

// Checks the open file and loads its rows into `rows`. Returns the message for the user; empty on
// success and on a cancel (which the meter tells).
QString checkAndLoad(sqlite3 *db, const QString &fileName, ReadingStore &rows, Schema &schema,
                     ProgressMeter &meter);
// Files of at least this many bytes have their structure checked alongside the load, on a
// second connection in a worker thread (16 MB unless tests set it).
void setCheckAlongsideFrom(int64_t bytes);
int64_t checkAlongsideFrom();
// The engine's message for a failed open; one that found the file broken says so plainly.
QString engineFailure(const QString &fileName, sqlite3 *db);

} // namespace tablefile
