#pragma once

#include <QString>

class QWidget;
class ReadingGrid;
class ReadingTableModel;
class TableStore;
class WindowPrompts;

// The window's file actions on the reading table: open a saved table, save it (a table copy or the
// text export), print it. Each action checks first and replaces or writes nothing it refuses; what
// the user is told goes through the window's prompts. Opening and saving long tables show their
// progress there and can be cancelled, leaving the table and the files as they were.
class DataFileActions
{
public:
    DataFileActions(TableStore &table, WindowPrompts &prompts) : m_table(table), m_prompts(prompts) {}

    // The grid that shows the table; an export leaves its last row current.
    void setGrid(ReadingGrid *grid, ReadingTableModel *model)
    {
        m_grid = grid;
        m_model = model;
    }
    // The working table's folder: text is never saved over the working table there.
    void setWorkingFolder(const QString &folder) { m_workingFolder = folder; }

    // Asks for a table file in `folder` and opens it; true when one was opened.
    bool open(const QString &folder);
    // Opens fileName in place of the current table. The file is checked before the current table is
    // let go: one that is not ours leaves the table and its unsaved readings as they were.
    bool openFile(const QString &fileName);
    // Asks for a name and saves the reading table (or `from`), by saveTable in DataFiles.h: a table
    // copy or the text export. True once the file is written; the rows it wrote then count as kept
    // (TableStore::markKept), those recorded while it ran stay pending.
    bool save();
    bool save(TableStore &from);
    bool saveFile(const QString &fileName);
    bool saveFile(TableStore &from, const QString &fileName);
    void print(QWidget *parent);

private:
    TableStore &m_table;
    WindowPrompts &m_prompts;
    QString m_workingFolder;
    ReadingGrid *m_grid = nullptr;
    ReadingTableModel *m_model = nullptr;
};
