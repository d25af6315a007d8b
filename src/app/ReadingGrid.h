#pragma once

#include <QTableView>

// The reading grid. While a meter streams, rows only ever arrive after the last one, yet the view's
// layout pass after each batch repaints every visible row. After such a batch only the new rows and
// the empty space below them change (following the newest row scrolls the rest and repaints what
// that exposes), so the pass repaints just those; any other change of the rows keeps the full repaint.
// Tab, Shift+Tab and Ctrl+Tab leave the grid for the window's next control; the arrow keys move
// inside it. With the focus and no row to mark, the grid frames itself.
//
// Recordings reach millions of rows: the first column (No) is widened to fit the longest No of the
// table whenever that no longer fits the width it was given; the other columns keep theirs.
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
    // Widens the first column where the longest No no longer fits; whether its width changed.
    bool fitFirstColumn();

    enum class Change
    {
        None,     // nothing since the last layout pass
        Appended, // rows from m_firstAppended on were added after the last one, and nothing else
        Other,
    };
    Change m_change = Change::None;
    int m_firstAppended = 0;
    int m_givenFirstWidth = -1; // the first column's width before it was widened
    QString m_fittedText;       // the longest text the first column was last fitted to
};
