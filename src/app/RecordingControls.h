#pragma once

#include "recorder/Recorder.h"

#include <QObject>

#include <array>

class QAction;
class QCheckBox;
class QLabel;
class QLineEdit;
class ReadingGrid;
class ReadingTableModel;
class StatusLine;
class TableStore;
class WindowPrompts;

// The controls recording owns, with the layout's names.
struct RecordingWidgets
{
    QCheckBox *RepeatSet = nullptr;
    QCheckBox *RecordSI = nullptr;
    QLineEdit *RecordSITime = nullptr;
    ReadingGrid *DBGrid1 = nullptr;
    QLabel *recordingState = nullptr; // says plainly when no table is open
    // The record-limit menu items, in kRecordLimitItems' order.
    std::array<QAction *, 6> limitItems{};
};

// Recording as the window shows it: the Repeat, Sampling Interval and limit controls feed the
// recorder's rules, the grid shows the reading table, and the recorder's complaints reach the
// status line. The rules themselves are the Recorder's.
class RecordingControls : public QObject
{
    Q_OBJECT

public:
    RecordingControls(const RecordingWidgets &ui, TableStore &table, StatusLine &status,
                      WindowPrompts &prompts, QObject *parent = nullptr);

    Recorder &recorder() { return m_recorder; }
    ReadingTableModel *model() const { return m_model; }

    // Puts the table in the grid and starts the recorder afresh (once the table is open).
    void start();
    // Takes the grid's model away. The window calls it before the table and the grid go: the model
    // reads the one and is shown by the other.
    void release();

    void record(const Reading &reading);
    void tick();
    void intervalChanged();
    // New: says so first, then empties the table and restarts numbering.
    void newRecord();
    // A record-limit menu item was chosen.
    void chooseLimit(QAction *item);
    // The grid says plainly when no table is open.
    void showTableState();
    // Why the working table in folder could not be opened, as the user is told: another window that
    // holds it is named with what to do.
    QString whyNoTable(const QString &folder) const;

private:
    const RecordingWidgets m_ui;
    TableStore &m_table;
    StatusLine &m_status;
    WindowPrompts &m_prompts;
    Recorder m_recorder;
    ReadingTableModel *m_model = nullptr;
};
