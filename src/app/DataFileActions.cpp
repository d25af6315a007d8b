#include "app/DataFileActions.h"

#include "app/ReadingGrid.h"
#include "app/WindowPrompts.h"
#include "report/ReportPreview.h"
#include "store/DataFiles.h"
#include "store/ReadingTableModel.h"
#include "store/TableStore.h"

bool DataFileActions::open(const QString &folder)
{
    FileRequest request;
    request.kind = FileRequest::Kind::Open;
    request.folder = folder;
    request.filters = {QStringLiteral("access data files (*.DB)"), QStringLiteral("All files (*.*)")};
    const QString fileName = m_prompts.fileName(request);
    return !fileName.isEmpty() && openFile(fileName);
}

bool DataFileActions::openFile(const QString &fileName)
{
    if (m_table.openFile(fileName, m_prompts.progress(QStringLiteral("Opening %1 ...").arg(fileName))))
        return true;
    if (!m_table.wasCancelled())
        m_prompts.error(m_table.lastError());
    return false;
}

bool DataFileActions::save()
{
    return save(m_table);
}

bool DataFileActions::save(TableStore &from)
{
    FileRequest request;
    request.kind = FileRequest::Kind::Save;
    request.filters = {QStringLiteral("Excel File(*.xls)"), QStringLiteral("DB File(*.db)"),
                       QStringLiteral("Txt File(*.txt)"), QStringLiteral("All File(*.*)")};
    request.defaultSuffix = QStringLiteral("xls");
    const QString fileName = m_prompts.fileName(request);
    return !fileName.isEmpty() && saveFile(from, fileName);
}

bool DataFileActions::saveFile(const QString &fileName)
{
    return saveFile(m_table, fileName);
}

bool DataFileActions::saveFile(TableStore &from, const QString &fileName)
{
    // A save writes the rows there are when it begins; readings recorded while it runs stay pending.
    const int64_t rows = from.rowCount();
    const SaveOutcome outcome = saveTable(from, fileName, m_workingFolder,
                                          m_prompts.progress(QStringLiteral("Saving %1 ...").arg(fileName)));
    const bool saved = outcome.result == SaveOutcome::Result::Saved;
    if (saved && &from == &m_table)
        m_table.markKept(rows);
    if (outcome.result == SaveOutcome::Result::Cancelled)
        return false;
    if (outcome.tableCopy) {
        if (!saved)
            m_prompts.error(outcome.message);
        return saved;
    }
    m_prompts.information(outcome.message);
    // The export walks the table to its end; the grid then shows the last row as current.
    if (m_model && m_grid && &from == &m_table) {
        m_model->flushPendingRows();
        if (m_model->rowCount() > 0)
            m_grid->setCurrentIndex(m_model->index(m_model->rowCount() - 1, 0));
    }
    return saved;
}

void DataFileActions::print(QWidget *parent)
{
    PreviewPrompts prompts;
    prompts.warn = [this](const QString &title, const QString &text) {
        m_prompts.warning(title, text);
    };
    prompts.saveFileName = [this](const QString &caption, const QString &path, const QString &filter) {
        FileRequest request;
        request.kind = FileRequest::Kind::Save;
        request.caption = caption;
        request.folder = path;
        request.filters = {filter};
        return m_prompts.fileName(request);
    };
    prompts.choosePrinter = [this](QPrinter &printer, int pageCount, QWidget *over) {
        return m_prompts.choosePrinter(printer, pageCount, over);
    };
    prompts.progress = [this](const QString &label, QWidget *over) {
        return m_prompts.progress(label, over);
    };
    ReportPreview preview(m_table, parent);
    preview.setPrompts(std::move(prompts));
    m_prompts.showDialog(preview);
}
