#pragma once

#include <QTableView>

// The reading grid. While a meter streams, rows only ever arrive after the last one, yet the view's
// layout pass after each batch repaints every visible row. After such a batch only the new rows and
// the empty space below them change (following the newest row scrolls the rest and repaints what
// that exposes), so the pass repaints just those; any other change of the rows keeps the full repaint.
// Tab, Shift+Tab and Ctrl+Tab leave the grid for the window's next control; the arrow keys move
// inside it. With the focus and no row to mark, the grid frames itself.
class ReadingGrid : public QTableView
{
public:
    explicit ReadingGrid(QWidget *parent = nullptr);

    void setModel(QAbstractItemModel *model) override;
    void doItemsLayout() override;

protected:
    void keyPressEvent(QKeyEvent *event) override;
    void focusInEvent(QFocusEvent *event) override;
    void focusOutEvent(QFocusEvent *event) override;
    void paintEvent(QPaintEvent *event) override;
    void rowsInserted(const QModelIndex &parent, int start, int end) override;
    void rowsAboutToBeRemoved(const QModelIndex &parent, int start, int end) override;
    void reset() override;

private:
    enum class Change
    {
        None,     // nothing since the last layout pass
        Appended, // rows from m_firstAppended on were added after the last one, and nothing else
        Other,
    };
    Change m_change = Change::None;
    int m_firstAppended = 0;
};
