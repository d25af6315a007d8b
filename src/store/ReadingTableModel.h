#pragma once

#include <QAbstractTableModel>
#include <QElapsedTimer>
#include <QTimer>

class TableStore;

// The read-only grid's view of the reading table: No, Time, DC/AC, Value, Unit, AUTO (Nval is not
// shown). Appended rows are announced to views in batches, at most every kFlushIntervalMs or at
// once through flushPendingRows(), so recording costs the same whatever the table's size.
class ReadingTableModel : public QAbstractTableModel
{
    Q_OBJECT

public:
    // Texts longer than this are cut for display (the table keeps them whole).
    static constexpr int kDisplayChars = 64;
    static constexpr int kFlushIntervalMs = 60;
    // headerData() of column No for this role: the longest No text in the table, which the grid
    // widens the column to fit.
    static constexpr int kWidestTextRole = Qt::UserRole + 1;

    explicit ReadingTableModel(TableStore *table, QObject *parent = nullptr);

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;

    // Shows every row appended so far to the views now.
    void flushPendingRows();
    // Shows the rows appended so far now if the last showing is kPromptFlushMs or more ago: a meter
    // that sends at most every kPromptFlushMs has each row shown with the rest of its frame, rather
    // than by the timer a moment later.
    static constexpr int kPromptFlushMs = 40;
    void flushIfDue();

signals:
    // Rows were shown; row is the newest, which the grid makes its current row.
    void newestRowShown(int row);

private:
    void rowsAppended();

    TableStore *m_table = nullptr;
    int m_shownRows = 0;
    QTimer m_flushTimer;
    QElapsedTimer m_sinceFlush;
};
