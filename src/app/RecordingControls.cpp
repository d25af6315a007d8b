#include "app/RecordingControls.h"

#include "app/FCOMMLayout.h" // kRecordLimitItems
#include "app/ReadingGrid.h"
#include "app/StatusLine.h"
#include "app/WindowPrompts.h"
#include "store/FileLocks.h"
#include "store/ReadingTableModel.h"
#include "store/TableStore.h"

#include <QAction>
#include <QCheckBox>
#include <QDir>
#include <QLabel>
#include <QLineEdit>

#include <algorithm>
#include <climits>

RecordingControls::RecordingControls(const RecordingWidgets &ui, TableStore &table, StatusLine &status,
                                     WindowPrompts &prompts, QObject *parent)
    : QObject(parent), m_ui(ui), m_table(table), m_status(status), m_prompts(prompts), m_recorder(&table)
{
    // A table opened with higher numbers than the count has reached goes on after its highest: a No
    // never repeats within one table.
    connect(&m_table, &TableStore::resetDone, this, [this] {
        int32_t &next = m_recorder.state().RecordNo;
        next = int32_t(std::clamp<int64_t>(m_table.highestNo() + 1, next, INT32_MAX));
    });
}

void RecordingControls::start()
{
    release();
    m_model = new ReadingTableModel(&m_table);
    m_ui.DBGrid1->setModel(m_model);
    // Six columns across the grid's width, the scroll bar's included.
    const int widths[] = {34, 72, 38, 46, 30, 40};
    for (int column = 0; column < 6; ++column)
        m_ui.DBGrid1->setColumnWidth(column, widths[column]);
    connect(m_model, &ReadingTableModel::newestRowShown, this,
            [this](int row) { m_ui.DBGrid1->setCurrentIndex(m_model->index(row, 0)); });
    m_recorder = Recorder(&m_table);
}

void RecordingControls::release()
{
    if (!m_model)
        return;
    m_ui.DBGrid1->setModel(nullptr);
    delete m_model;
    m_model = nullptr;
}

void RecordingControls::record(const Reading &reading)
{
    RecorderSettings &settings = m_recorder.settings();
    settings.RecordSI = m_ui.RecordSI->isChecked();
    settings.RepeatSet = m_ui.RepeatSet->isChecked();
    settings.RecordSITime = m_ui.RecordSITime->text();
    // Without a table nothing is stored and nothing is said per frame: the grid says it once.
    if (m_recorder.INDataToTable(reading) == RecordOutcome::IntervalError)
        m_status.show(StatusLine::Owner::Interval, m_recorder.lastError());
    if (m_model)
        m_model->flushIfDue();
}

void RecordingControls::tick()
{
    m_recorder.settings().RecordSI = m_ui.RecordSI->isChecked();
    m_recorder.TrecordTimer();
}

void RecordingControls::intervalChanged()
{
    if (m_recorder.RecordSITimeChange(m_ui.RecordSITime->text()))
        m_status.clear(StatusLine::Owner::Interval);
}

void RecordingControls::newRecord()
{
    m_prompts.information(QStringLiteral(" Record deleted "));
    m_recorder.RecordNewClick();
    if (!m_table.lastError().isEmpty() && m_table.isOpen() && m_table.rowCount() > 0)
        m_prompts.error(m_table.lastError());
}

static_assert(std::tuple_size_v<decltype(RecordingWidgets::limitItems)> == kRecordLimitItems.size());

void RecordingControls::chooseLimit(QAction *item)
{
    const auto &items = m_ui.limitItems;
    for (size_t i = 0; i < items.size(); ++i) {
        items[i]->setChecked(items[i] == item);
        if (items[i] == item)
            m_recorder.setRecordLimit(kRecordLimitItems[i].limit);
    }
}

void RecordingControls::showTableState()
{
    const bool open = m_table.isOpen();
    m_ui.recordingState->setText(
        open ? QString() : tr("No reading table is open: readings are shown and charted but not recorded."));
    m_ui.recordingState->setVisible(!open);
}

QString RecordingControls::whyNoTable(const QString &folder) const
{
    const QString path = QDir(folder).filePath(TableStore::workingFileName());
    const int64_t holder = lockingProcess(path);
    if (holder <= 0)
        return m_table.lastError();
    const QString name = processName(holder);
    const QString who = name.startsWith(QLatin1String("meterlink"))
                            ? tr("Another MeterLink window (process %1)").arg(holder)
                            : tr("Another program (%1, process %2)").arg(name).arg(holder);
    return tr("%1 holds this folder's reading table %2. This window shows and charts the meter but does not "
              "record. To record two meters at once, start each MeterLink in a folder of its own (each "
              "folder keeps its own reading table and recovery files).")
        .arg(who, QDir::toNativeSeparators(path));
}
