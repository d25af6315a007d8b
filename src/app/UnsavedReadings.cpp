#include "app/UnsavedReadings.h"

#include "app/DataFileActions.h"
#include "app/StatusLine.h"
#include "app/WindowPrompts.h"
#include "store/TableStore.h"

#include <QDir>
#include <QFile>
#include <QLocale>

UnsavedReadings::UnsavedReadings(TableStore &table, DataFileActions &files, WindowPrompts &prompts,
                                 StatusLine &status, QObject *parent)
    : QObject(parent), m_table(table), m_files(files), m_prompts(prompts), m_status(status)
{
    connect(&m_recovery, &RecoveryFile::failed, this,
            [this](const QString &message) { m_status.show(StatusLine::Owner::Recovery, message); });
    m_commitTimer.setSingleShot(true);
    m_commitTimer.setInterval(kCommitDelayMs);
    connect(&m_commitTimer, &QTimer::timeout, this, &UnsavedReadings::commitNewRows);
    // The rows are read from the table when the batch is committed, so waiting costs no copy.
    connect(&m_table, &TableStore::rowsAppended, this, [this] {
        if (!m_commitTimer.isActive())
            m_commitTimer.start();
    });
    connect(&m_table, &TableStore::resetDone, this, &UnsavedReadings::tableChanged);
    connect(&m_table, &TableStore::allKept, this, &UnsavedReadings::tableChanged);
}

void UnsavedReadings::setFolder(const QString &folder)
{
    m_folder = folder;
    m_recovery.setFolder(folder);
}

UnsavedReadings::~UnsavedReadings()
{
    commitNewRows();
}

void UnsavedReadings::commitNewRows()
{
    m_commitTimer.stop();
    if (m_copiedRows >= m_table.rowCount())
        return;
    RowView row;
    for (; m_copiedRows < m_table.rowCount(); ++m_copiedRows) {
        m_table.rowView(m_copiedRows, row);
        m_recovery.append(row);
    }
    m_recovery.commit();
}

void UnsavedReadings::tableChanged()
{
    // Rows loaded from a file, or just saved, are kept there: the recovery file holds only what
    // closing would lose.
    m_copiedRows = m_table.rowCount();
    m_commitTimer.stop();
    if (m_table.unsavedRowCount() == 0) {
        m_recovery.clear();
        m_status.clear(StatusLine::Owner::Recovery);
    }
}

bool UnsavedReadings::mayClose()
{
    if (!m_closeAgreed && !mayDrop())
        return false;
    m_closeAgreed = true;
    m_recovery.discard();
    return true;
}

bool UnsavedReadings::sessionEnding(bool mayAsk)
{
    if (m_closeAgreed || m_table.unsavedRowCount() == 0)
        return true;
    if (!mayAsk) {
        commitNewRows();
        return true;
    }
    return mayClose();
}

bool UnsavedReadings::mayDrop()
{
    const int64_t unsaved = m_table.unsavedRowCount();
    if (unsaved <= 0)
        return true;
    using Choice = WindowPrompts::Choice;
    switch (m_prompts.choose(tr("%1 readings are not saved. Save them before closing?").arg(unsaved),
                             {Choice::Save, Choice::Discard, Choice::Cancel})) {
    case Choice::Save:
        return m_files.save();
    case Choice::Discard:
        return true;
    default:
        return false;
    }
}

void UnsavedReadings::offerLeftOver()
{
    using Choice = WindowPrompts::Choice;
    for (const RecoveryFile::LeftOver &left : RecoveryFile::findLeftOver(m_folder)) {
        const QString name = QDir::toNativeSeparators(left.fileName);
        if (!left.error.isEmpty()) {
            const QString aside = RecoveryFile::setAside(left.fileName);
            m_prompts.error(aside.isEmpty()
                                ? tr("%1 cannot be read (%2) and could not be renamed either: move it away "
                                     "by hand.")
                                      .arg(name, left.error)
                                : tr("%1 cannot be read (%2). It was renamed to %3.")
                                      .arg(name, left.error, QDir::toNativeSeparators(aside)));
            continue;
        }
        const QString text = tr("%1 readings recorded on %2 from %3 to %4 were not saved. Save them now?\n\n"
                                "Later keeps them in %5 for the next start.")
                                 .arg(left.rows)
                                 .arg(QLocale().toString(left.modified.date(), QLocale::ShortFormat),
                                      left.firstTime, left.lastTime, name);
        const Choice choice = m_prompts.choose(text, {Choice::Save, Choice::Discard, Choice::Later});
        if (choice == Choice::Discard) {
            QFile::remove(left.fileName);
        } else if (choice == Choice::Save) {
            TableStore recovered;
            if (!recovered.openFile(left.fileName)) {
                m_prompts.error(recovered.lastError());
                continue;
            }
            // A save that is cancelled or fails keeps the file, as Later does.
            if (m_files.save(recovered)) {
                recovered.close();
                QFile::remove(left.fileName);
            }
        }
    }
}
