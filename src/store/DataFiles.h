#pragma once

#include "store/ReadingStore.h"
#include "store/TableRows.h"
#include "store/WorkProgress.h"

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <QStringList>

#include <optional>

class TableRows;
class TableStore;
namespace platform {
class File;
}

// Saving the reading table. Both saves replace the target only once the new file is complete: on
// any failure or cancel the old file is left as it was and no temporary file remains. A target that
// is a symbolic link is written through: the new file takes the place of the file the link points
// to, and the link stays. An existing target that may not be written is refused, as the system
// would refuse writing into it. Each save takes a progress (WorkProgress.h) and reports a cancel as
// a failure with an empty reason.

// Whether saveasClick writes a table copy for this name: only a name ending in ".db", compared
// exactly (".DB" gets the text export).
bool isTableCopyName(const QString &fileName);

// Whether a name is one a table file usually has: ".db" in any letter case, ".sqlite", ".sqlite3".
// meterlink-cli convert writes a table copy for these; the window keeps to isTableCopyName.
bool isTableFileName(const QString &fileName);

// Removes the temporary files that saves into folder left when they were killed part-way: our own
// temporary names only, last written before startedAt, and not held by a save still running.
// Returns the files removed.
QStringList removeInterruptedSaves(const QString &folder, const QDateTime &startedAt);

// Writes the rows as Latin-1 text: the header No, Time, DC/AC, Value, Unit, AUTO, then one line per
// row in table order, fields joined by TAB, every line ended by CR LF. Nval is not written. A field
// the text cannot hold as it is (a control character such as TAB, CR, LF or NUL, or a character
// Latin-1 lacks) refuses the export and writes nothing. On failure error (if given) receives the
// reason.
bool ExportTableAsText(const TableRows &rows, const QString &fileName, QString *error = nullptr,
                       const WorkProgress &progress = {});
// The text export written to an open file (standard output) as it is made: a failure or a
// cancel leaves what was written so far.
bool exportTableToStream(const TableRows &rows, platform::File &out, QString *error = nullptr,
                         const WorkProgress &progress = {});
// The text export's header line, and one row's line (Latin-1, fields joined by TAB, CR LF), as the
// export writes them and the headless logger too. A field the text cannot hold as it is (a control
// character, or a character Latin-1 lacks) appends nothing and names the field.
QByteArray exportHeaderLine();
std::optional<TableColumn> appendExportLine(QByteArray &out, const RowView &row);
// The messages the window shows after an export.
QString exportSavedMessage(const QString &fileName);
QString exportFailedMessage(const QString &fileName);

// Writes every row of the table, in table order, to a new table file (one table "Readings" with
// the seven fields, keyed by row order) that this program and any SQLite client can open. On
// failure error receives the engine's or the system's message, preceded by the file's name.
bool CopyTableToFile(const TableStore &table, const QString &fileName, QString *error = nullptr,
                     const WorkProgress &progress = {});

// The window's save: a table copy or the text export as the name decides, of the rows the table
// holds when it begins (rows appended while it runs are not part of it), after the refusals that
// protect what the program itself needs. Text is never written over the open table's file, nor
// over the working table's file in workingFolder (whichever table is open): either would leave a
// table that no longer opens. Files are compared by identity, so another spelling, a symbolic link
// or a hard link to the same file is refused too.
struct SaveOutcome
{
    enum class Result
    {
        Saved,
        Failed,
        Cancelled,
    };
    Result result = Result::Failed;
    bool tableCopy = false;
    // What the user is told: after an export its saved or failed message (with the reason on a
    // second line), after a copy that failed the file's name and the reason; empty otherwise.
    QString message;
};
SaveOutcome saveTable(const TableStore &table, const QString &fileName, const QString &workingFolder,
                      const WorkProgress &progress = {});
// Whether fileName is the working table's file in workingFolder, by name (any letter case) or as
// the same file.
bool isWorkingTableFile(const QString &fileName, const QString &workingFolder);
// The same with the kind of file chosen by the caller.
SaveOutcome saveTableAs(const TableStore &table, const QString &fileName, bool tableCopy,
                        const QString &workingFolder, const WorkProgress &progress = {});
