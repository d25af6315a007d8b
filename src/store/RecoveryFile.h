#pragma once

#include "store/FileLocks.h"
#include "store/ReadingStore.h"
#include "store/TableFileWriter.h"

#include <QDateTime>
#include <QString>

#include <vector>

// A copy of the readings recorded and not yet saved, kept on disk beside the working table so that
// a kill or a power loss does not take them with it: "Vs500db-recovery.db" (or "-2", "-3" ... while
// an older one is still kept), an SQLite file with the reading table's seven fields that the window
// and any SQLite client can open once no run holds it.
//
// Rows are appended in batches, each committed at once (the caller commits about twice a second, so
// a frame never waits for the disk and a crash loses at most that much). The file is created with the
// first commit. While a run writes it, it holds an advisory lock on it, which tells other runs the
// file is in use; the lock goes with the process, however it ends. Which rows belong in the file is
// the caller's account; this class only writes, and says whether its file is still under its name.
class RecoveryFile
{
public:
    // A recovery file that a run left behind.
    struct LeftOver
    {
        QString fileName;
        int64_t rows = 0;
        QString firstTime; // the Time of the first and the last row
        QString lastTime;
        QDateTime modified;
        QString error;           // why it cannot be read; empty when it can
        bool unreadable = false; // the error is the system's refusal, not damage: it is kept
    };

    RecoveryFile() = default;
    RecoveryFile(const RecoveryFile &) = delete;
    RecoveryFile &operator=(const RecoveryFile &) = delete;
    // Closes; the file stays for the next start unless it holds no row.
    ~RecoveryFile();

    // Where the file goes once there is a row to keep; nothing is created yet. Empty: nowhere.
    void setFolder(const QString &folder) { m_folder = folder; }
    QString folder() const { return m_folder; }
    QString fileName() const { return m_path; }
    int64_t rowsInFile() const { return m_rowsInFile; }

    // Whether the open file is still the one under its name (nobody removed or replaced it) with the
    // log its commits went to; true while no file is open. Another program that opens the file once
    // this process's lock on it is gone folds the log into the file and removes it: later commits
    // would go to a removed log.
    bool isIntact() const;
    // The file under its name is still ours and only its log went: opens it afresh (the rows in the
    // file stay) and returns true; false when there is nothing to take back.
    bool reclaim();

    // Adds a row to the next commit.
    void append(const RowView &row);
    // Writes the added rows, creating the file when none is open. False with error() otherwise; the
    // added rows are then dropped.
    bool commit();
    // Writes the added rows in place of every row in the file, in one transaction. Creates the file
    // when none is open and there is a row to keep.
    bool commitReplacing();
    // Deletes the first `rows` rows: they were saved.
    bool removeFirst(int64_t rows);
    QString error() const { return m_error; }

    // Closes the file: kept on disk for the next start, or deleted. A file no longer under its name
    // is never deleted: the name may belong to another file now.
    void close(bool keep);

    // Recovery files in folder that no running program holds, oldest first, `own` (this run's file)
    // left alone: opening and closing it here would drop this process's locks on it. Files without
    // rows are deleted on the way; one that cannot be read is listed with its error.
    static std::vector<LeftOver> findLeftOver(const QString &folder, const QString &own = QString());
    // Renames a file that cannot be read to "<name>.damaged" (numbered when that exists) and returns
    // the new name, or an empty text when even that fails.
    static QString setAside(const QString &fileName);

private:
    bool ensureOpen();
    bool fail(const QString &reason);
    void noteLog();

    QString m_folder;
    QString m_path;
    TableFileWriter m_writer;
    platform::File m_lock; // holds the file's advisory lock while it is ours
    FileIdentity m_identity;
    FileIdentity m_logIdentity; // the log, once a commit has created it
    int64_t m_rowsInFile = 0;
    int64_t m_waiting = 0;
    QString m_error;
};
