#pragma once

#include "store/RecoveryFile.h"

#include <QObject>
#include <QTimer>

class DataFileActions;
class StatusLine;
class TableStore;
class WindowPrompts;

// Readings recorded and not yet saved are never dropped without a word: closing and opening another
// table ask first, a recovery file keeps a copy of them on disk while the program runs, and what an
// earlier run left there is offered at the next start. The readings themselves stay unwritten in the
// reading table until the user saves them.
class UnsavedReadings : public QObject
{
    Q_OBJECT

public:
    // How long a recorded row may wait before it is committed to the recovery file.
    static constexpr int kCommitDelayMs = 500;

    UnsavedReadings(TableStore &table, DataFileActions &files, WindowPrompts &prompts, StatusLine &status,
                    QObject *parent = nullptr);
    // What is waiting goes to the recovery file, which stays for the next start.
    ~UnsavedReadings() override;

    // The working table's folder, where recovery files are kept.
    void setFolder(const QString &folder);

    // Before the unsaved readings would be dropped (opening another table): asks whether to save
    // them. True when they may go: saved, discarded on purpose, or none.
    bool mayDrop();
    // The same before closing, asked once: afterwards the recovery file has done its work and goes.
    bool mayClose();
    // The desktop session ends: asks when it may; false cancels the logout. Without asking, the
    // readings stay in the recovery file for the next start.
    bool sessionEnding(bool mayAsk);
    // At start: offers the readings that earlier runs left unsaved, and sets aside recovery files that
    // cannot be read. Nothing is deleted without the user's word.
    void offerLeftOver();

    const RecoveryFile &recovery() const { return m_recovery; }

private:
    void commitNewRows();
    void tableChanged();

    TableStore &m_table;
    DataFileActions &m_files;
    WindowPrompts &m_prompts;
    StatusLine &m_status;
    RecoveryFile m_recovery;
    QString m_folder;
    int64_t m_copiedRows = 0;
    QTimer m_commitTimer;
    bool m_closeAgreed = false;
};
