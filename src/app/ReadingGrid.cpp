#include "app/ReadingGrid.h"

#include "store/ReadingTableModel.h"

#include <QHeaderView>
#include <QKeyEvent>
#include <QPainter>
#include <QScrollBar>

#include <algorithm>

ReadingGrid::ReadingGrid(QWidget *parent) : QTableView(parent)
{
    setTabKeyNavigation(false);
}

void ReadingGrid::keyPressEvent(QKeyEvent *event)
{
    // Tab and Shift+Tab never get here now; Ctrl+Tab does, and a keyboard user expects it to leave
    // a control that might keep Tab for itself.
    if ((event->key() == Qt::Key_Tab || event->key() == Qt::Key_Backtab) &&
        (event->modifiers() & Qt::ControlModifier)) {
        const bool back = event->key() == Qt::Key_Backtab || (event->modifiers() & Qt::ShiftModifier);
        focusNextPrevChild(!back);
        event->accept();
        return;
    }
    QTableView::keyPressEvent(event);
}

void ReadingGrid::focusInEvent(QFocusEvent *event)
{
    QTableView::focusInEvent(event);
    viewport()->update();
}

void ReadingGrid::focusOutEvent(QFocusEvent *event)
{
    QTableView::focusOutEvent(event);
    viewport()->update();
}

void ReadingGrid::paintEvent(QPaintEvent *event)
{
    QTableView::paintEvent(event);
    // The view marks its focus on the current row; without one, a keyboard user would not see where
    // the focus went.
    if (!hasFocus() || currentIndex().isValid())
        return;
    // Drawn as the tool buttons mark theirs, whatever the style does with focus rectangles.
    QPainter painter(viewport());
    painter.setPen(QPen(palette().color(QPalette::Highlight), 2));
    painter.drawRect(QRectF(viewport()->rect()).adjusted(1, 1, -1, -1));
}

void ReadingGrid::setModel(QAbstractItemModel *model)
{
    m_change = Change::Other;
    m_givenFirstWidth = -1;
    m_fittedText.clear();
    QTableView::setModel(model);
}

bool ReadingGrid::fitFirstColumn()
{
    if (!model())
        return false;
    const QString widest =
        model()->headerData(0, Qt::Horizontal, ReadingTableModel::kWidestTextRole).toString();
    if (widest == m_fittedText)
        return false;
    m_fittedText = widest;
    if (m_givenFirstWidth < 0)
        m_givenFirstWidth = columnWidth(0);
    // Measured as the cells measure their text, with the grid line.
    QStyleOptionViewItem option;
    initViewItemOption(&option);
    option.features |= QStyleOptionViewItem::HasDisplay;
    option.text = widest;
    const int needed = style()->sizeFromContents(QStyle::CT_ItemViewItem, &option, QSize(), this).width() +
                       (showGrid() ? 1 : 0);
    const int width = std::max(m_givenFirstWidth, needed);
    if (width == columnWidth(0))
        return false;
    setColumnWidth(0, width);
    return true;
}

void ReadingGrid::doItemsLayout()
{
    // A wider first column moves every other column: the whole grid is laid out and painted again.
    const bool onlyAppended = !fitFirstColumn() && m_change == Change::Appended;
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
