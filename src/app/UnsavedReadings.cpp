#include "app/UnsavedReadings.h"

#include "app/DataFileActions.h"
#include "app/StatusLine.h"
#include "app/WindowPrompts.h"
#include "store/TableStore.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocale>

#include <algorithm>

namespace {

// How long the news that crash protection is back stays on the status line.
constexpr int kBackNewsMs = 10000;

} // namespace

UnsavedReadings::UnsavedReadings(TableStore &table, DataFileActions &files, WindowPrompts &prompts,
                                 StatusLine &status, QObject *parent)
    : QObject(parent), m_table(table), m_files(files), m_prompts(prompts), m_status(status)
{
    m_fileFrom = m_copied = m_table.keptRowCount();
    m_commitTimer.setSingleShot(true);
    m_commitTimer.setInterval(kCommitDelayMs);
    connect(&m_commitTimer, &QTimer::timeout, this, &UnsavedReadings::sync);
    // The rows are read from the table when the batch is committed, so waiting costs no copy.
    connect(&m_table, &TableStore::rowsAppended, this, [this] {
        if (!m_commitTimer.isActive()) {
            m_commitTimer.start();
            m_waitingSince.start();
        } else if (m_waitingSince.elapsed() >= kCommitWithFrameMs) {
            sync();
        }
    });
    // Saved rows leave the recovery file at once; the rows recorded during the save stay.
    connect(&m_table, &TableStore::rowsKept, this, &UnsavedReadings::sync);
    connect(&m_table, &TableStore::aboutToReset, this, &UnsavedReadings::carryPending);
    connect(&m_table, &TableStore::resetDone, this, &UnsavedReadings::tableReset);
    m_checkTimer.setInterval(kCheckIntervalMs);
    connect(&m_checkTimer, &QTimer::timeout, this, &UnsavedReadings::check);
    m_backTimer.setSingleShot(true);
    m_backTimer.setInterval(kBackNewsMs);
    connect(&m_backTimer, &QTimer::timeout, this, [this] {
        if (m_protected)
            m_status.clear(StatusLine::Owner::Recovery);
    });
}

UnsavedReadings::~UnsavedReadings()
{
    m_commitTimer.stop();
    m_checkTimer.stop();
    if (m_table.isOpen() && !m_recovery.folder().isEmpty()) {
        if (m_protected && m_recovery.isIntact())
            sync();
        else
            restore();
    }
    m_recovery.close(m_recovery.rowsInFile() > 0);
}

void UnsavedReadings::setFolder(const QString &folder)
{
    m_recovery.setFolder(folder);
    if (folder.isEmpty())
        m_checkTimer.stop();
    else
        m_checkTimer.start();
}

QString UnsavedReadings::folderName() const
{
    return QDir::toNativeSeparators(m_recovery.folder());
}

void UnsavedReadings::sync()
{
    m_commitTimer.stop();
    if (m_recovery.folder().isEmpty() || !m_table.isOpen() || !m_protected)
        return;
    if (!m_recovery.isIntact()) {
        check();
        return;
    }
    const int64_t kept = m_table.keptRowCount();
    const int64_t rows = m_table.rowCount();
    const auto failed = [this] {
        lose(tr("Crash protection is off: unsaved readings cannot be written to %1 (%2). Save them before "
                "closing; MeterLink keeps trying.")
                 .arg(folderName(), m_recovery.error()));
    };
    if (m_fileFrom < kept) {
        if (!m_recovery.removeFirst(std::min(kept, m_copied) - m_fileFrom))
            return failed();
        m_fileFrom = kept;
        m_copied = std::max(m_copied, kept);
    }
    if (m_copied >= rows)
        return;
    RowView row;
    for (int64_t r = m_copied; r < rows; ++r) {
        m_table.rowView(r, row);
        m_recovery.append(row);
    }
    if (!m_recovery.commit())
        return failed();
    m_copied = rows;
    // The file was just found intact: while commits come this often the watch has nothing to add.
    if (m_checkTimer.isActive())
        m_checkTimer.start();
}

void UnsavedReadings::check()
{
    if (m_recovery.folder().isEmpty() || !m_table.isOpen())
        return;
    if (m_protected) {
        if (m_recovery.isIntact())
            return;
        if (restore()) {
            m_status.show(StatusLine::Owner::Recovery,
                          tr("The recovery file in %1 was removed or replaced; it was written again with %2 "
                             "unsaved readings.")
                              .arg(folderName())
                              .arg(m_table.unsavedRowCount()));
            m_backTimer.start();
        } else {
            lose(tr("Crash protection is off: the recovery file in %1 was removed (%2). Save before closing; "
                    "MeterLink keeps trying.")
                     .arg(folderName(), m_recovery.error()));
        }
        return;
    }
    if (++m_checksSinceRetry * kCheckIntervalMs < kRetryIntervalMs)
        return;
    m_checksSinceRetry = 0;
    if (restore()) {
        const QString file = QFileInfo(m_recovery.fileName()).fileName();
        m_status.show(StatusLine::Owner::Recovery,
                      file.isEmpty() ? tr("Crash protection is back.")
                                     : tr("Crash protection is back: %1 unsaved readings are in %2.")
                                           .arg(m_table.unsavedRowCount())
                                           .arg(file));
        m_backTimer.start();
    }
}

bool UnsavedReadings::restore()
{
    m_commitTimer.stop();
    // A file no longer under its name is let go, never deleted: the name may be another file's now.
    if (!m_recovery.isIntact() && !m_recovery.reclaim())
        m_recovery.close(true);
    const int64_t kept = m_table.keptRowCount();
    const int64_t rows = m_table.rowCount();
    RowView row;
    for (int64_t r = kept; r < rows; ++r) {
        m_table.rowView(r, row);
        m_recovery.append(row);
    }
    if (!m_recovery.commitReplacing())
        return false;
    m_fileFrom = kept;
    m_copied = rows;
    m_protected = true;
    return true;
}

void UnsavedReadings::lose(const QString &message)
{
    m_protected = false;
    m_checksSinceRetry = 0;
    m_backTimer.stop();
    m_status.show(StatusLine::Owner::Recovery, message);
}

void UnsavedReadings::carryPending()
{
    m_commitTimer.stop();
    if (m_recovery.folder().isEmpty())
        return;
    // What the user gave up goes with the table; whatever else is pending stays in the file.
    const int64_t from = std::max(m_table.keptRowCount(), m_dropUpTo);
    const int64_t rows = m_table.rowCount();
    if (from >= rows) {
        m_recovery.close(false);
        return;
    }
    bool written = false;
    if (m_protected && m_recovery.isIntact() &&
        m_recovery.removeFirst(std::min(from, m_copied) - m_fileFrom)) {
        RowView row;
        for (int64_t r = std::max(m_copied, from); r < rows; ++r) {
            m_table.rowView(r, row);
            m_recovery.append(row);
        }
        written = m_recovery.commit();
    }
    if (!written) {
        if (!m_recovery.isIntact() && !m_recovery.reclaim())
            m_recovery.close(true);
        RowView row;
        for (int64_t r = from; r < rows; ++r) {
            m_table.rowView(r, row);
            m_recovery.append(row);
        }
        written = m_recovery.commitReplacing();
    }
    m_carried =
        written
            ? tr("%1 readings recorded while the table was being chosen and opened are not in it: they are "
                 "kept in %2, and MeterLink offers them at its next start.")
                  .arg(rows - from)
                  .arg(QDir::toNativeSeparators(m_recovery.fileName()))
            : tr("%1 readings recorded while the table was being chosen and opened could not be kept "
                 "in %2 (%3) and are lost.")
                  .arg(rows - from)
                  .arg(folderName(), m_recovery.error());
    m_recovery.close(m_recovery.rowsInFile() > 0);
}

void UnsavedReadings::tableReset()
{
    // Rows loaded from a file are kept there: the recovery file starts again with the next reading.
    m_fileFrom = m_copied = m_table.rowCount();
    m_dropUpTo = 0;
    if (!m_protected) {
        m_protected = true;
        m_status.clear(StatusLine::Owner::Recovery);
    }
}

bool UnsavedReadings::mayClose()
{
    if (m_ending || m_closeAgreed)
        return true;
    if (!askBeforeDropping())
        return false;
    m_closeAgreed = true;
    return true;
}

bool UnsavedReadings::sessionEnding(bool mayAsk)
{
    if (m_ending || m_closeAgreed || m_table.unsavedRowCount() == 0)
        return true;
    if (!mayAsk) {
        sync();
        return true;
    }
    return mayClose();
}

bool UnsavedReadings::replaceTable(const std::function<bool()> &replace)
{
    if (m_ending || !askBeforeDropping())
        return false;
    m_carried.clear();
    const bool replaced = replace();
    m_dropUpTo = 0;
    if (!m_carried.isEmpty())
        m_prompts.information(m_carried);
    m_carried.clear();
    return replaced;
}

void UnsavedReadings::endWithoutAsking()
{
    m_ending = true;
    sync();
}

bool UnsavedReadings::askBeforeDropping()
{
    const int64_t kept = m_table.keptRowCount();
    const int64_t unsaved = m_table.unsavedRowCount();
    if (unsaved <= 0)
        return true;
    using Choice = WindowPrompts::Choice;
    switch (m_prompts.choose(tr("%1 readings are not saved. Save them before closing?").arg(unsaved),
                             {Choice::Save, Choice::Discard, Choice::Cancel})) {
    case Choice::Save:
        return m_files.save();
    case Choice::Discard:
        // Exactly the readings counted: those recorded while the question was open stay pending.
        m_dropUpTo = kept + unsaved;
        return true;
    default:
        return false;
    }
}

void UnsavedReadings::offerLeftOver()
{
    using Choice = WindowPrompts::Choice;
    for (const RecoveryFile::LeftOver &left :
         RecoveryFile::findLeftOver(m_recovery.folder(), m_recovery.fileName())) {
        const QString name = QDir::toNativeSeparators(left.fileName);
        if (left.unreadable) {
            m_prompts.error(tr("%1 holds readings an earlier run did not save, but it cannot be read (%2). "
                               "It is left as it is and offered again at the next start once MeterLink may "
                               "read it.")
                                .arg(name, left.error));
            continue;
        }
        if (!left.error.isEmpty()) {
            const QString aside = RecoveryFile::setAside(left.fileName);
            m_prompts.error(aside.isEmpty()
                                ? tr("%1 cannot be read (%2) and could not be renamed either: move it away "
                                     "by hand.")
                                      .arg(name, left.error)
                                : tr("%1 cannot be read (%2). It was renamed to %3 and is not offered again.")
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
