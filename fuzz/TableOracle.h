#pragma once

#include <QString>
#include <QStringList>

// Reads a table file straight through the engine, the way any other client would, and checks that
// fields (every field of every row as TableStore::fieldText gave them, row by row in column order)
// say the same. Files the engine itself cannot read to the end are not judged.
void checkFieldsMatchFile(const QStringList &fields, const QString &path);

// The facts about a file that decide whether a reading table must be refused, found by asking the
// engine directly; used to judge files whose structure the caller built itself.
struct TableFacts
{
    bool readable = false; // the engine read schema and rows to the end
    int tables = 0;        // ordinary tables, not counting the engine's own
    bool viewsOrTriggers = false;
    bool valuesFit = true; // every value has a storage type and size its field accepts
    // Some value fits only if it reads back exactly (a number written as text in Nval), which the
    // oracle does not judge: such a file may be accepted or refused.
    bool valuesUndecided = false;
};
TableFacts tableFacts(const QString &path);
