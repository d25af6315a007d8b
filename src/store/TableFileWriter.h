#pragma once

#include "store/ReadingStore.h"

#include <QString>

#include <string>
#include <vector>

struct sqlite3;
struct sqlite3_stmt;

// Appends readings to a table file with the reading table's seven fields (as a table copy has them,
// so the window's "Open old data files" and any SQLite client read it). Rows wait in memory until
// commit() writes them in one transaction, into a write-ahead log synced at every commit: a commit
// costs one sync, and what was committed survives a kill or a power loss.
class TableFileWriter
{
public:
    enum class Access
    {
        Exclusive, // no other connection while open; no side file but the log
        Shared,    // others may read while it writes
    };

    TableFileWriter() = default;
    TableFileWriter(const TableFileWriter &) = delete;
    TableFileWriter &operator=(const TableFileWriter &) = delete;
    // Closes without writing what waits: commit first.
    ~TableFileWriter();

    // Creates the table in the new or empty file at path, or, with `append`, continues a table of
    // this shape. False with error() otherwise. Rows appended before wait for the first commit.
    bool open(const QString &path, Access access, bool append);
    bool isOpen() const { return m_db != nullptr; }
    // The highest No in the file when it was opened (0 for a new table).
    int64_t lastNo() const { return m_lastNo; }

    // How long a commit waits for another program's write lock before it fails as Busy.
    void setBusyTimeout(int ms);

    void append(const RowInput &row);
    int64_t waitingRows() const { return int64_t(m_waiting.size()); }
    void dropWaiting() { m_waiting.clear(); }
    // Writes the waiting rows; on failure they are dropped and error() says why.
    bool commit();
    // Writes the waiting rows in place of every row the file holds, in one transaction: a failure
    // leaves the file as it was.
    bool commitReplacing();
    // Deletes the first `rows` rows (in the order they were written).
    bool removeFirst(int64_t rows);
    // Deletes every row from the file.
    bool clear();
    void close();

    QString error() const { return m_error; }
    enum class Failure
    {
        None,
        Busy,   // another connection holds the write lock
        NoRoom, // the disk (or the file size allowed) is full
        Other,
    };
    // What the last failure was; the caller may keep its rows and retry after Busy.
    Failure failure() const { return m_failure; }

private:
    struct Row
    {
        int64_t no = 0;
        uint8_t nullMask = 0;
        double nval = 0;
        std::string time, dcac, value, unit, autoText;
    };

    bool fail();

    sqlite3 *m_db = nullptr;
    sqlite3_stmt *m_insert = nullptr;
    bool m_replacing = false; // the commit deletes every row first
    std::vector<Row> m_waiting;
    int64_t m_lastNo = 0;
    QString m_error;
    Failure m_failure = Failure::None;
};
