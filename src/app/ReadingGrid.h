#pragma once

#include "app/CellGlyphs.h"

#include <QAbstractScrollArea>
#include <QBasicTimer>
#include <QElapsedTimer>
#include <QHash>
#include <QImage>
#include <QModelIndex>
#include <QStyleOptionViewItem>

#include <array>
#include <climits>

class QAbstractItemModel;
class QHeaderView;
class QPainter;

// The read-only reading grid: a header, rows of equal height, one current row drawn selected, a
// scroll bar that moves a row at a time. It keeps nothing per row: a row appended costs the same
// after ten million as after none, and a paint draws only the rows it covers. Rows come from the
// model's display texts and alignments. The arrow keys, Page Up/Down, Home/End (with Ctrl: the
// first and last row), clicks and the wheel move inside; Tab and Shift+Tab leave it. Typing moves
// to the next row whose text in the current column starts with what was typed; dragging past the
// top or bottom keeps scrolling while the button is held.
class ReadingGrid : public QAbstractScrollArea
{
public:
    static constexpr int kRowHeight = 17;
    static constexpr int kColumns = 6;

    explicit ReadingGrid(QWidget *parent = nullptr);

    void setModel(QAbstractItemModel *model);
    QAbstractItemModel *model() const { return m_model; }
    QHeaderView *horizontalHeader() const { return m_header; }
    // The width a column is given; the No column widens beyond it when a number shown needs more.
    void setColumnWidth(int column, int width);
    int columnWidth(int column) const;

    // The current row (with the column of the cell that has the focus); showing it scrolls to it.
    QModelIndex currentIndex() const;
    void setCurrentIndex(const QModelIndex &index);

protected:
    bool event(QEvent *event) override;
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void scrollContentsBy(int dx, int dy) override;
    void keyPressEvent(QKeyEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void timerEvent(QTimerEvent *event) override;
    void focusInEvent(QFocusEvent *event) override;
    void focusOutEvent(QFocusEvent *event) override;
    void changeEvent(QEvent *event) override;

private:
    enum class Place
    {
        Stay,    // no scrolling (a click)
        Visible, // as little scrolling as shows the whole row
        Top,
        Bottom,
    };

    qint64 rows() const { return m_rows; }
    int viewportHeight() const;
    // The content's vertical offset: whole rows, but flush with the last row at the scroll bar's end.
    qint64 offsetFor(int scrollValue) const;
    qint64 rowAt(int y) const; // -1 outside the rows
    int rowTop(qint64 row) const { return int(row * kRowHeight - m_offset); }
    int columnLeft(int column) const;
    int columnsWidth() const;

    void modelRowsInserted(const QModelIndex &parent, int first, int last);
    void modelReset();
    void updateGeometries();
    // repaintedFrom: as syncOffset's.
    void updateScrollRange(bool followEnd = false, int repaintedFrom = INT_MAX);
    void moveCurrent(qint64 row, int column, Place place, bool select = true);
    void moveCurrentTo(const QPoint &at, Place place); // the cell under a viewport point
    void scrollToRow(qint64 row, Place place);
    void updateRow(qint64 row);
    // Brings what is shown in line with the scroll bar, scrolling the pixels already drawn; the
    // viewport's lines from repaintedFrom down are to be painted again anyway and are not moved.
    void syncOffset(int repaintedFrom = INT_MAX);
    void fitNumberColumn(qint64 firstRow, qint64 lastRow);
    // Moves to the next row whose text in the current column starts with what was typed lately.
    void search(const QString &typed);
    void dragTo(const QPoint &at);
    void initItemOption(QStyleOptionViewItem *option) const;
    void drawCell(QPainter &painter, const QStyleOptionViewItem &option) const;
    // What a cell's look depends on besides its text and the grid's palette and font.
    static quint64 cellKind(const QStyleOptionViewItem &option);
    // The cell as the style draws it, alone on the grid's ground, and the same kept for reuse.
    QImage drawnCell(const QStyleOptionViewItem &option, QImage::Format format, const QBrush &ground) const;
    // A cell's picture with the grid lines along its right and bottom edges, while pictures
    // hold them (m_gridLines).
    QImage withGridLines(QImage cell, const QBrush &ground) const;
    const QImage &cellPicture(const QStyleOptionViewItem &option, QImage::Format format,
                              const QBrush &ground);
    // Draws a cell whose text is new without laying it out, where that is the same as the
    // style's drawing; false leaves the cell undrawn.
    bool drawCellText(QPainter &painter, const QStyleOptionViewItem &option, QImage::Format format,
                      const QBrush &ground);

    QAbstractItemModel *m_model = nullptr;
    QHeaderView *m_header = nullptr;
    std::array<int, kColumns> m_givenWidths{};
    qint64 m_rows = 0;
    qint64 m_current = -1;
    bool m_currentSelected = false; // focus alone makes the first cell current, but not selected
    int m_currentColumn = 0;
    qint64 m_offset = 0; // the offset the viewport's pixels show
    // Cell pictures by width, state, alignment and text, in the screen's image format.
    static constexpr int kMaxCellPictures = 4096;
    static constexpr int kAutoScrollMargin = 16; // px inside the edge where dragging starts scrolling
    static constexpr int kAutoScrollMs = 50;
    QHash<QPair<quint64, QString>, QImage> m_cells; // by cellKind and text
    QHash<QChar, int> m_charWidths;                 // of the No column's characters, rounded up
    QImage::Format m_cellFormat = QImage::Format_Invalid;
    QColor m_gridLines; // the grid lines' colour when the cell pictures hold them
    QString m_typed;
    QElapsedTimer m_sinceTyped;
    QBasicTimer m_dragScroll;
    QPoint m_dragAt;     // where the button is held, in the viewport
    int m_dragSpeed = 0; // rows a tick, growing while the drag stays outside
    CellGlyphs m_glyphs;
    QStyleOptionViewItem m_baseOption; // as initItemOption makes it
    QStyleOptionViewItem m_cellOption; // the same, ready for a cell's rectangle, state and text
    bool m_itemOptionsKnown = false;   // whether the two are up to date
    QHash<QSize, QRect> m_textRects;   // where the style puts text, by cell size
    struct TextCell
    {
        QImage background; // the cell without its text
        bool sameAsStyle;  // whether a text drawn there without the style looked the same
    };
    QHash<quint64, TextCell> m_textCells; // by cellKind
};
