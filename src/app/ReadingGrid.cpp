#include "app/ReadingGrid.h"

#include <QHeaderView>
#include <QScrollBar>

#include <algorithm>

void ReadingGrid::setModel(QAbstractItemModel *model)
{
    m_change = Change::Other;
    QTableView::setModel(model);
}

void ReadingGrid::doItemsLayout()
{
    const bool onlyAppended = m_change == Change::Appended;
    m_change = Change::None;
    QWidget *port = viewport();
    if (!onlyAppended || !port->isVisible() || port->testAttribute(Qt::WA_UpdatesDisabled)) {
        QTableView::doItemsLayout();
        return;
    }
    const QRect portBefore = port->geometry();
    const int verticalBefore = verticalScrollBar()->value();
    const int horizontalBefore = horizontalScrollBar()->value();
    const int offsetBefore = verticalHeader()->offset();
    const int columnOffsetBefore = horizontalHeader()->offset();
    // The base pass lays out and then updates the whole viewport; its update is kept out.
    port->setAttribute(Qt::WA_UpdatesDisabled, true);
    QTableView::doItemsLayout();
    port->setAttribute(Qt::WA_UpdatesDisabled, false);
    if (port->geometry() != portBefore || verticalScrollBar()->value() != verticalBefore ||
        horizontalScrollBar()->value() != horizontalBefore ||
        horizontalHeader()->offset() != columnOffsetBefore) {
        port->update(); // the scroll bar came or the view moved: everything shifted
        return;
    }
    // Scrolled to the end, the rows sit flush with the bottom edge; with a longer range they
    // move to a row boundary until the view follows the newest row. Moving what is shown keeps
    // it true to that, as a scroll would (the children stay where they are, as they do then).
    if (verticalHeader()->offset() != offsetBefore)
        port->scroll(0, offsetBefore - verticalHeader()->offset(), port->rect());
    const int top = std::max(0, rowViewportPosition(m_firstAppended));
    if (top < port->height())
        port->update(QRect(0, top, port->width(), port->height() - top));
}

void ReadingGrid::rowsInserted(const QModelIndex &parent, int start, int end)
{
    QTableView::rowsInserted(parent, start, end);
    const bool atEnd = !parent.isValid() && end == model()->rowCount() - 1;
    if (m_change == Change::None && atEnd) {
        m_change = Change::Appended;
        m_firstAppended = start;
    } else if (m_change != Change::Appended || !atEnd) {
        m_change = Change::Other;
    }
}

void ReadingGrid::rowsAboutToBeRemoved(const QModelIndex &parent, int start, int end)
{
    m_change = Change::Other;
    QTableView::rowsAboutToBeRemoved(parent, start, end);
}

void ReadingGrid::reset()
{
    m_change = Change::Other;
    QTableView::reset();
}
