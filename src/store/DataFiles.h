#pragma once

#include "store/ReadingStore.h"

#include <QByteArray>
#include <QString>

class TableRows;
class TableStore;

// Saving the reading table. Both saves replace the target only once the new file is complete:
// on any failure the old file is left as it was and no temporary file remains.

// Whether saveasClick writes a table copy for this name: only a name ending in ".db", compared
// exactly (".DB" gets the text export).
bool isTableCopyName(const QString &fileName);

// Writes the rows as Latin-1 text: the header No, Time, DC/AC, Value, Unit, AUTO, then one line per
// row in table order, fields joined by TAB, every line ended by CR LF. Nval is not written. On
// failure error (if given) receives the system's reason.
bool ExportTableAsText(const TableRows &rows, const QString &fileName, QString *error = nullptr);
// The text export's header line, and one row's line (Latin-1, fields joined by TAB, CR LF), as the
// export writes them and the headless logger too.
QByteArray exportHeaderLine();
void appendExportLine(QByteArray &out, const RowView &row);
// The messages the window shows after an export.
QString exportSavedMessage(const QString &fileName);
QString exportFailedMessage(const QString &fileName);

// Writes every row of the table, in table order, to a new table file (one table "Readings" with
// the seven fields, keyed by row order) that this program and any SQLite client can open. On
// failure error receives the engine's or the system's message, preceded by the file's name.
bool CopyTableToFile(const TableStore &table, const QString &fileName, QString *error = nullptr);
