#pragma once

#include "recorder/RowSink.h"
#include "store/FileLocks.h"
#include "store/ReadingStore.h"
#include "store/TableRows.h"
#include "store/WorkProgress.h"

#include <QObject>
#include <QString>
#include <optional>

struct sqlite3;

// The reading table `TOR200DB`: one SQLite file holding the table "Readings" with the fields No
// (integer), Time (text "HH:MM:SS.zzz"), DC/AC, Value, Unit, AUTO (text) and Nval (real).
//
// While open, the file is held under an exclusive lock, so no other program can open it, and
// nothing here writes to it: rows already in the file are loaded into memory, rows appended during
// the run stay pending in memory only, and emptying or closing drops them without touching the file.
// Keeping the recorded data is the job of the save operations (DataFiles.h). The engine itself does
// write on opening when it finds a side file another program left beside the table: it rolls back a
// hot journal (an interrupted write) and folds a write-ahead log into the file when closing it, as
// any client of the engine does; a file without such a side file stays byte for byte as it was.
//
// Every failing operation returns false and leaves a message in lastError(): the engine's own
// message, or what is wrong with the file, preceded by the file's name. Each open, append or empty
// clears the message first, so it always belongs to the last call. Nothing here shows a box.
class TableStore : public QObject, public TableRows, public RowSink
{
    Q_OBJECT

public:
    // A file with more rows than this is refused rather than loaded (about 500 MB of memory as the
    // recorder writes rows).
    static constexpr int64_t kMaxRows = 20000000;
    // A file whose rows take more memory than this once loaded is refused too: rows from other
    // programs (dates in Time, numbers a float does not hold) take more than the recorder's.
    static constexpr int64_t kMaxRowBytes = int64_t(1) << 30;
    // A text field longer than this marks a file as not ours.
    static constexpr int kMaxFieldBytes = 4096;
    // An open's progress up to this point of the scale is the file's integrity check; loading the
    // rows takes the rest.
    static constexpr int64_t kCheckProgressShare = 300;

    // "Vs500db.DB", the working table's file in the working folder.
    static QString workingFileName();
    // The fields in the order of TableColumn, as the grid and the export name them.
    static QString columnName(TableColumn column);
    // Field names match without regard to case: "value", "Nval", "time", "no" ...
    static std::optional<TableColumn> columnByName(QStringView name);

    explicit TableStore(QObject *parent = nullptr);
    ~TableStore() override;

    // Opens the working table in folder, creating an empty one when the file is missing.
    bool openWorkingTable(const QString &folder);
    // Opens a saved table in place of the current one. The file is checked and loaded first (the
    // engine's structure check, its length against its header, every value, the rows read against
    // the rows counted): only when that succeeds is the current table closed (dropping its pending
    // rows) and replaced; on failure or cancel the current table is left exactly as it was.
    bool openFile(const QString &fileName, const WorkProgress &progress = {});
    // Whether the last open stopped because its progress asked to; it then leaves no message.
    bool wasCancelled() const { return m_cancelled; }
    // Drops every row and releases the file.
    void close();

    bool isOpen() const override { return m_db != nullptr; }
    // The open file as it was given (case kept); empty while closed.
    QString fileName() const { return m_fileName; }
    QString lastError() const override { return m_lastError; }

    int64_t rowCount() const override { return m_rows.size(); }
    // Rows that came from the file; the rest are pending.
    int64_t savedRowCount() const { return m_savedRows; }
    // The account of the rows: the first keptRowCount() are kept (in the file opened, in a file a save
    // completed, or given up on purpose); the rest are pending, and closing or replacing the table
    // would lose them.
    int64_t keptRowCount() const { return m_keptRows; }
    int64_t unsavedRowCount() const { return rowCount() - m_keptRows; }
    // The first `rows` rows are now kept (a save wrote exactly those). Rows after them stay pending.
    void markKept(int64_t rows);
    // The highest No in the table, so that numbering can go on without repeating one.
    int64_t highestNo() const { return m_rows.highestNo(); }
    QString fieldText(int64_t row, TableColumn column) const override;
    void rowView(int64_t row, RowView &out) const { m_rows.view(row, out); }
    const ReadingStore &rows() const { return m_rows; }

    // Append and post one row; fails only while no table is open.
    bool appendRow(const RowInput &row) override;
    // Removes every row from view (on purpose, so they count as kept); the file keeps what it holds.
    bool emptyTable() override;

signals:
    // Rows were appended; the model coalesces these.
    void rowsAppended();
    // Every row is about to change (empty, open, close) and has changed.
    void aboutToReset();
    void resetDone();
    // More rows are kept (markKept).
    void rowsKept();

private:
    struct Loaded;
    // Opens, locks, checks and loads fileName into out; an empty result means success.
    static QString openAndLoad(const QString &fileName, bool createIfEmpty, Loaded &out,
                               ProgressMeter &meter);
    bool openTable(const QString &fileName, bool createIfEmpty, const WorkProgress &progress);
    bool fail(const QString &message);
    void adopt(Loaded &&loaded);
    void releaseDb();

    sqlite3 *m_db = nullptr;
    QString m_fileName;
    // Identity of the open file: a save may have replaced the file under its name since.
    FileIdentity m_identity;
    QString m_sqlTable; // the table's name as the file spells it
    ReadingStore m_rows;
    int64_t m_savedRows = 0;
    int64_t m_keptRows = 0;
    QString m_lastError;
    bool m_cancelled = false;
};
