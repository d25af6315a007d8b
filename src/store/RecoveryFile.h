#pragma once

#include "store/ReadingStore.h"
#include "store/TableFileWriter.h"

#include <QDateTime>
#include <QObject>
#include <QString>

#include <vector>

// A copy of the readings recorded and not yet saved, kept on disk beside the working table so that
// a kill or a power loss does not take them with it: "Vs500db-recovery.db" (or "-2", "-3" ... while
// an older one is still kept), an SQLite file with the reading table's seven fields that the window
// and any SQLite client can open.
//
// Rows are appended in batches, each committed at once (the caller commits about twice a second, so
// a frame never waits for the disk and a crash loses at most that much). The file is created with the
// first row. While a run writes it, it holds an advisory lock on it, which tells other runs the file
// is in use; the lock goes with the process, however it ends.
class RecoveryFile : public QObject
{
    Q_OBJECT

public:
    // A recovery file that a run left behind.
    struct LeftOver
    {
        QString fileName;
        int64_t rows = 0;
        QString firstTime; // the Time of the first and the last row
        QString lastTime;
        QDateTime modified;
        QString error; // why it cannot be read; empty when it can
    };

    explicit RecoveryFile(QObject *parent = nullptr);
    // Commits and closes; the file stays for the next start unless it holds no row.
    ~RecoveryFile() override;

    // Where the file goes once there is a row to keep; nothing is created yet.
    void setFolder(const QString &folder) { m_folder = folder; }
    QString fileName() const { return m_path; }

    // Adds a row to the next commit.
    void append(const RowView &row);
    // Writes the added rows; false (and failed()) when the file cannot be written.
    bool commit();
    // Drops every row: the readings were saved or deleted on purpose.
    void clear();
    // Closes and deletes the file: the user saved or discarded the readings.
    void discard();

    // Recovery files in folder that no running program holds, in name order. Files without rows are
    // deleted on the way; one that cannot be read is listed with its error.
    static std::vector<LeftOver> findLeftOver(const QString &folder);
    // Renames a file that cannot be read to "<name>.damaged" (numbered when that exists) and returns
    // the new name, or an empty text when even that fails.
    static QString setAside(const QString &fileName);

signals:
    // The file could not be created or written; said once until it works again.
    void failed(const QString &message);

private:
    bool ensureOpen();
    void dropWaiting();
    void closeFile(bool keep);
    bool fail(const QString &reason);

    QString m_folder;
    QString m_path;
    TableFileWriter m_writer;
    int m_lockFd = -1;
    int64_t m_rowsInFile = 0;
    int64_t m_waiting = 0;
    bool m_failing = false;
};
