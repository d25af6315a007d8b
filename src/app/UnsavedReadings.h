#pragma once

#include "store/RecoveryFile.h"

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>

#include <functional>

class DataFileActions;
class StatusLine;
class TableStore;
class WindowPrompts;

// Readings recorded and not yet saved are never dropped without a word. The reading table keeps the
// account (TableStore::keptRowCount): its first rows are kept in a file or given up on purpose, the
// rest are pending. Every flow moves readings through that account only:
// - a save marks as kept exactly the rows it wrote; rows recorded meanwhile stay pending;
// - closing and opening another table ask first; Discard gives up exactly the readings the question
//   counted, and whatever arrives after the answer is carried into the recovery file for the next
//   start when the table goes (Open says so);
// - the recovery file holds every pending reading on disk while the program runs (written about
//   twice a second). It is watched: removed, replaced or not writable, the status line says that
//   crash protection is off, and every pending reading is written again as soon as that works;
// - a signal ends the program without a question, the pending readings in the recovery file;
// - at the next start, what an earlier run left there is offered, oldest first.
class UnsavedReadings : public QObject
{
    Q_OBJECT

public:
    // How long a recorded row may wait before it is committed to the recovery file.
    static constexpr int kCommitDelayMs = 500;
    // A row recorded when the oldest waiting one has waited this long is committed with it at once:
    // while a meter streams, the commit comes with a frame rather than with a wakeup of its own. As
    // late as a meter sending 17 frames a second still beats the timer with, so that the commits
    // (each a sync to disk) come as seldom as the delay allows.
    static constexpr int kCommitWithFrameMs = 440;
    // How often the recovery file is checked to be still under its name.
    static constexpr int kCheckIntervalMs = 1000;
    // How often writing is tried again while crash protection is off.
    static constexpr int kRetryIntervalMs = 3000;

    UnsavedReadings(TableStore &table, DataFileActions &files, WindowPrompts &prompts, StatusLine &status,
                    QObject *parent = nullptr);
    // What is pending goes to the recovery file, which stays for the next start.
    ~UnsavedReadings() override;

    // The working table's folder, where recovery files are kept; empty keeps readings in memory only.
    void setFolder(const QString &folder);

    // Before closing: asks whether to save the unsaved readings, once. True when the window may
    // close; the table's closing then carries what is still pending into the recovery file.
    bool mayClose();
    // The desktop session ends: asks when it may; false cancels the logout. Without asking, the
    // readings stay in the recovery file for the next start.
    bool sessionEnding(bool mayAsk);
    // Opening another table: asks first, then runs `replace`. Readings that arrive after the answer
    // and are still pending when the table goes are kept in the recovery file, and the user is told.
    // True when `replace` ran and returned true.
    bool replaceTable(const std::function<bool()> &replace);
    // The program is told to end (a signal): nothing more is asked, and the pending readings stay in
    // the recovery file for the next start.
    void endWithoutAsking();
    bool isEnding() const { return m_ending; }
    // At start: offers the readings that earlier runs left unsaved, oldest first. A file that cannot
    // be read now is said and left for later; a damaged one is set aside. Nothing is deleted without
    // the user's word.
    void offerLeftOver();

    const RecoveryFile &recovery() const { return m_recovery; }
    // Whether every pending reading is in the recovery file (or will be at the next commit).
    bool isProtected() const { return m_protected; }

private:
    bool askBeforeDropping();
    void sync();
    void check();
    bool restore();
    void lose(const QString &message);
    void carryPending();
    void tableReset();
    QString folderName() const;

    TableStore &m_table;
    DataFileActions &m_files;
    WindowPrompts &m_prompts;
    StatusLine &m_status;
    RecoveryFile m_recovery;
    // The recovery file holds the table's rows [m_fileFrom, m_copied) while m_protected.
    int64_t m_fileFrom = 0;
    int64_t m_copied = 0;
    bool m_protected = true;
    // Rows below this may go with the table: the user answered Discard for them.
    int64_t m_dropUpTo = 0;
    QString m_carried; // what carrying rows said, for the flow that replaced the table
    QTimer m_commitTimer;
    QElapsedTimer m_waitingSince; // the oldest row not yet committed
    QTimer m_checkTimer;
    QTimer m_backTimer;
    int m_checksSinceRetry = 0;
    bool m_closeAgreed = false;
    bool m_ending = false;
};
