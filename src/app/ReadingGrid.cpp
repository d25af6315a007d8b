#include "app/ReadingGrid.h"

#include <QAbstractItemModel>
#include <QApplication>
#include <QElapsedTimer>
#include <QGlyphRun>
#include <QHeaderView>
#include <QKeyEvent>
#include <QPaintEngine>
#include <QPainter>
#include <QScrollBar>
#include <QStyleOptionSlider>
#include <QStyleOptionViewItem>

#include <algorithm>
#include <cmath>
#include <tuple>

namespace {

// Each appended row changes the scroll bar's range, yet at thousands of rows its slider rarely
// moves a pixel: a change that leaves the bar looking the same paints nothing.
class ScrollBar : public QScrollBar
{
public:
    using QScrollBar::QScrollBar;

    // Between quiet(true) and quiet(false) changes only add up: a larger range followed by the
    // value at its end is one change, and none at all if the bar looks the same after it.
    void quiet(bool on)
    {
        m_quiet = on;
        if (on)
            return;
        const Look now = look();
        if (now == m_painted)
            return;
        // Where only the slider moved, the groove beside it looks the same: what changed lies
        // where the slider was painted and where it is now, with the outline the style draws a
        // pixel past its rectangle. Other styles may pattern the groove from the slider's place.
        const QRect before = std::get<0>(m_painted);
        if (std::get<1>(now) == std::get<1>(m_painted) && std::get<2>(now) == std::get<2>(m_painted) &&
            std::get<3>(now) == std::get<3>(m_painted) && before.isValid() &&
            style()->name().compare(QLatin1String("fusion"), Qt::CaseInsensitive) == 0)
            update(before.united(std::get<0>(now)).adjusted(-kOutline, -kOutline, kOutline, kOutline));
        else
            update();
    }

protected:
    bool event(QEvent *event) override
    {
        // Whatever else the slider's place depends on (size, style, state) reaches the bar as an
        // event; painting changes none of it.
        if (event->type() != QEvent::Paint)
            m_optionKnown = false;
        const bool done = QScrollBar::event(event);
        // Painting its own background, the bar spares the widgets behind it a repaint as tall as
        // itself; the style's polish clears the attribute, so it is set again after.
        if (event->type() == QEvent::Polish)
            setAttribute(Qt::WA_OpaquePaintEvent);
        return done;
    }
    void sliderChange(SliderChange change) override
    {
        if (change == SliderOrientationChange)
            m_optionKnown = false;
        else if (m_quiet || look() == m_painted)
            return;
        QScrollBar::sliderChange(change);
    }
    void paintEvent(QPaintEvent *event) override
    {
        m_painted = look();
        QPainter painter(this);
        const QBrush ground = palette().brush(QPalette::Window);
        const QPaintDevice *target = painter.paintEngine() ? painter.paintEngine()->paintDevice() : nullptr;
        // Hovered or pressed parts only the bar itself knows how to draw.
        if (underMouse() || m_mouseDown || !target || target->devType() != QInternal::Image ||
            target->devicePixelRatio() != 1 || ground.style() != Qt::SolidPattern) {
            painter.fillRect(event->rect(), ground);
            painter.end();
            QScrollBar::paintEvent(event);
            return;
        }
        // Drawn in bands of an image like the screen's: a fill as tall as the bar would be handed to
        // Qt's helper threads.
        QStyleOptionSlider option;
        initStyleOption(&option);
        option.subControls = QStyle::SC_All;
        const QImage::Format format = static_cast<const QImage *>(target)->format();
        for (int top = event->rect().top(); top <= event->rect().bottom(); top += kBand) {
            QImage band(width(), std::min(kBand, height() - top), format);
            band.fill(ground.color());
            QPainter bandPainter(&band);
            bandPainter.translate(0, -top);
            style()->drawComplexControl(QStyle::CC_ScrollBar, &option, &bandPainter, this);
            bandPainter.end();
            painter.drawImage(QPoint(0, top), band);
        }
    }
    void mousePressEvent(QMouseEvent *event) override
    {
        m_mouseDown = true;
        QScrollBar::mousePressEvent(event);
    }
    void mouseReleaseEvent(QMouseEvent *event) override
    {
        QScrollBar::mouseReleaseEvent(event);
        m_mouseDown = event->buttons() != Qt::NoButton;
        update();
    }

private:
    using Look = std::tuple<QRect, bool, bool, bool>;
    Look look() const
    {
        // Asked after every appended row: the style's option is made once and only its numbers
        // follow the bar.
        if (!m_optionKnown) {
            initStyleOption(&m_option);
            m_optionKnown = true;
        }
        m_option.minimum = minimum();
        m_option.maximum = maximum();
        m_option.sliderPosition = sliderPosition();
        m_option.sliderValue = value();
        m_option.singleStep = singleStep();
        m_option.pageStep = pageStep();
        m_option.upsideDown = invertedAppearance();
        const QRect slider =
            style()->subControlRect(QStyle::CC_ScrollBar, &m_option, QStyle::SC_ScrollBarSlider, this);
        return {slider, value() == minimum(), value() == maximum(), minimum() == maximum()};
    }
    static constexpr int kBand = 64;
    static constexpr int kOutline = 2;
    Look m_painted;
    mutable QStyleOptionSlider m_option;
    mutable bool m_optionKnown = false;
    bool m_mouseDown = false;
    bool m_quiet = false;
};

} // namespace

ReadingGrid::ReadingGrid(QWidget *parent) : QAbstractScrollArea(parent)
{
    setFocusPolicy(Qt::StrongFocus);
    setVerticalScrollBar(new ScrollBar(Qt::Vertical, this));
    m_header = new QHeaderView(Qt::Horizontal, this);
    m_header->setSectionsClickable(true);
    m_header->setSectionResizeMode(QHeaderView::Fixed);
    verticalScrollBar()->setSingleStep(1);
    connect(m_header, &QHeaderView::sectionResized, this, [this] { viewport()->update(); });
}

void ReadingGrid::setModel(QAbstractItemModel *model)
{
    if (m_model)
        disconnect(m_model, nullptr, this, nullptr);
    m_model = model;
    m_header->setModel(model);
    if (model) {
        connect(model, &QAbstractItemModel::rowsInserted, this, &ReadingGrid::modelRowsInserted);
        connect(model, &QAbstractItemModel::modelReset, this, &ReadingGrid::modelReset);
        for (int column = 0; column < kColumns; ++column)
            if (m_givenWidths[size_t(column)] > 0)
                m_header->resizeSection(column, m_givenWidths[size_t(column)]);
    }
    m_rows = model ? model->rowCount() : 0;
    m_current = -1;
    m_currentColumn = 0;
    updateGeometries();
    verticalScrollBar()->setValue(0);
    m_offset = offsetFor(verticalScrollBar()->value());
    viewport()->update();
}

void ReadingGrid::setColumnWidth(int column, int width)
{
    if (column < 0 || column >= kColumns)
        return;
    m_givenWidths[size_t(column)] = width;
    m_header->resizeSection(column, width);
    if (column == 0)
        fitNumberColumn(0, m_rows - 1);
}

int ReadingGrid::columnWidth(int column) const
{
    return m_header->sectionSize(column);
}

QModelIndex ReadingGrid::currentIndex() const
{
    return m_model && m_current >= 0 ? m_model->index(int(m_current), m_currentColumn) : QModelIndex();
}

void ReadingGrid::setCurrentIndex(const QModelIndex &index)
{
    if (!index.isValid() || index.model() != m_model)
        return;
    moveCurrent(index.row(), index.column(), Place::Visible);
}

int ReadingGrid::viewportHeight() const
{
    return viewport()->height();
}

qint64 ReadingGrid::offsetFor(int scrollValue) const
{
    const QScrollBar *bar = verticalScrollBar();
    if (bar->maximum() > 0 && scrollValue == bar->maximum())
        return std::max<qint64>(0, m_rows * kRowHeight - viewportHeight());
    return qint64(scrollValue) * kRowHeight;
}

qint64 ReadingGrid::rowAt(int y) const
{
    const qint64 contentY = y + m_offset;
    if (contentY < 0)
        return -1;
    const qint64 row = contentY / kRowHeight;
    return row < m_rows ? row : -1;
}

int ReadingGrid::columnLeft(int column) const
{
    return m_header->sectionViewportPosition(column);
}

int ReadingGrid::columnsWidth() const
{
    return m_header->length() - m_header->offset();
}

void ReadingGrid::modelRowsInserted(const QModelIndex &parent, int first, int last)
{
    if (parent.isValid())
        return;
    const qint64 before = m_rows;
    const bool atEnd = verticalScrollBar()->value() == verticalScrollBar()->maximum();
    m_rows = m_model->rowCount();
    if (first < before) { // not an append: everything below moves
        updateScrollRange();
        syncOffset();
        viewport()->update();
        return;
    }
    fitNumberColumn(first, last);
    // Scrolled to the end, the grid stays there and shows the new rows at the bottom. While
    // recording the current row follows the newest, so the last row's pixels are painted again
    // anyway and need not be moved.
    const int top = rowTop(before - 1);
    updateScrollRange(atEnd, atEnd && m_current == before - 1 && top >= 0 ? top : INT_MAX);
    syncOffset();
    const int newTop = rowTop(first);
    if (newTop < viewportHeight())
        viewport()->update(QRect(0, newTop, viewport()->width(), (last - first + 1) * kRowHeight));
}

void ReadingGrid::modelReset()
{
    m_rows = m_model->rowCount();
    m_current = -1;
    m_currentColumn = 0;
    for (int column = 0; column < kColumns; ++column)
        if (m_givenWidths[size_t(column)] > 0)
            m_header->resizeSection(column, m_givenWidths[size_t(column)]);
    updateScrollRange();
    m_offset = offsetFor(verticalScrollBar()->value());
    fitNumberColumn(0, m_rows - 1);
    viewport()->update();
}

void ReadingGrid::updateGeometries()
{
    const int height = std::min(std::max(m_header->minimumHeight(), m_header->sizeHint().height()),
                                m_header->maximumHeight());
    setViewportMargins(0, height, 0, 0);
    const QRect port = viewport()->geometry();
    m_header->setGeometry(port.left(), port.top() - height, port.width(), height);
    updateScrollRange();
}

void ReadingGrid::updateScrollRange(bool followEnd, int repaintedFrom)
{
    // As many whole rows as fit make a page; the scroll bar's end shows the last row at the bottom.
    const int page = std::max(0, viewportHeight() / kRowHeight);
    const qint64 maximum = std::max<qint64>(0, m_rows - page);
    auto *bar = static_cast<ScrollBar *>(verticalScrollBar());
    // While the bar stays shown, the scroll area's answers to its signals (a queued look at whether
    // to show it, a scroll per value) are the grid's own work, done once below.
    const bool shownBefore = bar->maximum() > 0;
    const bool quiet = shownBefore && maximum > 0;
    const QSignalBlocker blocker(quiet ? bar : nullptr);
    bar->quiet(true);
    bar->setPageStep(page);
    bar->setRange(0, int(std::min<qint64>(maximum, INT_MAX)));
    if (followEnd && bar->maximum() > 0)
        bar->setValue(bar->maximum());
    bar->quiet(false);
    if (quiet)
        syncOffset(repaintedFrom);
}

void ReadingGrid::scrollContentsBy(int, int)
{
    syncOffset();
}

void ReadingGrid::syncOffset(int repaintedFrom)
{
    const qint64 offset = offsetFor(verticalScrollBar()->value());
    if (offset == m_offset)
        return;
    const qint64 dy = m_offset - offset;
    m_offset = offset;
    // The pixels drawn move with the rows; only what comes into view is painted. Moving them
    // costs by the line, so the lines painted again after moving up stay where they are.
    const int height = viewportHeight();
    QRect moved = viewport()->rect();
    if (dy < 0 && repaintedFrom < height)
        moved.setBottom(repaintedFrom - 1);
    if (std::abs(dy) >= moved.height()) {
        viewport()->update();
    } else {
        viewport()->scroll(0, int(dy), moved); // the notice over the rows stays
        const int stale = moved.bottom() + 1 + int(dy);
        if (stale < height)
            viewport()->update(QRect(0, stale, moved.width(), height - stale));
    }
    if (dy < 0)
        fitNumberColumn((m_offset + viewportHeight() + dy) / kRowHeight, m_rows - 1);
    else
        fitNumberColumn(0, (m_offset + dy) / kRowHeight);
}

void ReadingGrid::updateRow(qint64 row)
{
    if (row < 0 || row >= m_rows)
        return;
    const int top = rowTop(row);
    if (top < viewportHeight() && top + kRowHeight > 0)
        viewport()->update(QRect(0, top, viewport()->width(), kRowHeight));
}

void ReadingGrid::moveCurrent(qint64 row, int column, Place place, bool select)
{
    if (row < 0 || row >= m_rows)
        return;
    const qint64 before = m_current;
    const int columnBefore = m_currentColumn;
    const bool selectedBefore = m_currentSelected;
    m_current = row;
    m_currentColumn = std::clamp(column, 0, kColumns - 1);
    m_currentSelected = select;
    scrollToRow(row, place);
    if (before != m_current || columnBefore != m_currentColumn || selectedBefore != select) {
        updateRow(before);
        updateRow(m_current);
    }
}

void ReadingGrid::scrollToRow(qint64 row, Place place)
{
    const int height = viewportHeight();
    const int top = rowTop(row);
    if (place == Place::Stay)
        return;
    if (place == Place::Visible) {
        if (top < 0 || kRowHeight > height)
            place = Place::Top;
        else if (top + kRowHeight > height)
            place = Place::Bottom;
        else
            return;
    }
    qint64 value = row;
    if (place == Place::Bottom)
        value = row - std::max(0, height / kRowHeight - 1);
    verticalScrollBar()->setValue(int(std::max<qint64>(0, value)));
}

void ReadingGrid::fitNumberColumn(qint64 firstRow, qint64 lastRow)
{
    // Only the rows in view are looked at, and the column never narrows while they stay.
    if (!m_model || m_rows == 0 || m_givenWidths[0] <= 0)
        return;
    const qint64 top = std::max<qint64>(0, m_offset / kRowHeight);
    const qint64 bottom = std::min(m_rows - 1, (m_offset + viewportHeight() - 1) / kRowHeight);
    firstRow = std::max(firstRow, top);
    lastRow = std::min(lastRow, bottom);
    if (firstRow > lastRow)
        return;
    const int margins = 2 * (style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, this) + 1) + 1;
    const int room = m_header->sectionSize(0) - margins;
    int widest = 0;
    for (qint64 row = firstRow; row <= lastRow; ++row) {
        const QString text = m_model->index(int(row), 0).data().toString();
        // Laying a number out costs more than the rest of an appended row: it is measured only when
        // its characters' widths, each rounded up, would not fit.
        int bound = 1;
        for (const QChar c : text) {
            auto known = m_charWidths.find(c);
            if (known == m_charWidths.end())
                known = m_charWidths.insert(c, int(std::ceil(QFontMetricsF(font()).horizontalAdvance(c))));
            bound += *known;
        }
        if (bound > room)
            widest = std::max(widest, QFontMetrics(font()).horizontalAdvance(text));
    }
    if (widest + margins > m_header->sectionSize(0))
        m_header->resizeSection(0, widest + margins);
}

void ReadingGrid::initItemOption(QStyleOptionViewItem *option) const
{
    option->initFrom(this);
    option->state &= ~QStyle::State_MouseOver;
    option->font = font();
    option->fontMetrics = QFontMetrics(option->font);
    if (!hasFocus())
        option->state &= ~QStyle::State_Active;
    option->state &= ~QStyle::State_HasFocus;
    const int icon = style()->pixelMetric(QStyle::PM_SmallIconSize, nullptr, this);
    option->decorationSize = QSize(icon, icon);
    option->decorationPosition = QStyleOptionViewItem::Left;
    option->decorationAlignment = Qt::AlignCenter;
    option->displayAlignment = Qt::AlignLeft | Qt::AlignVCenter;
    option->textElideMode = Qt::ElideRight;
    // As the table view drew them: a text too wide for its cell breaks where it may and shows
    // its first line elided.
    option->features |= QStyleOptionViewItem::WrapText;
    option->rect = QRect();
    option->showDecorationSelected = true;
    option->locale = locale();
    option->locale.setNumberOptions(QLocale::OmitGroupSeparator);
    option->widget = this;
}

void ReadingGrid::drawCell(QPainter &painter, const QStyleOptionViewItem &option) const
{
    style()->drawPrimitive(QStyle::PE_PanelItemViewRow, &option, &painter, this);
    style()->drawControl(QStyle::CE_ItemViewItem, &option, &painter, this);
}

QImage ReadingGrid::drawnCell(const QStyleOptionViewItem &option, QImage::Format format,
                              const QBrush &ground) const
{
    QImage picture(option.rect.size(), format);
    picture.fill(ground.color());
    QPainter painter(&picture);
    painter.setPen(viewport()->palette().color(viewport()->foregroundRole()));
    painter.setBackground(ground);
    painter.setFont(viewport()->font());
    painter.translate(-option.rect.topLeft());
    drawCell(painter, option);
    return picture;
}

quint64 ReadingGrid::cellKind(const QStyleOptionViewItem &option)
{
    // Rows are all as high.
    return quint64(option.rect.width() & 0xffff) << 48 |
           quint64(uint(option.displayAlignment) & 0xffff) << 32 | quint64(uint(option.state));
}

QImage ReadingGrid::withGridLines(QImage cell, const QBrush &ground) const
{
    if (!m_gridLines.isValid())
        return cell;
    QImage picture(cell.width() + 1, cell.height() + 1, cell.format());
    picture.fill(ground.color());
    QPainter painter(&picture);
    painter.drawImage(0, 0, cell);
    painter.fillRect(QRect(0, cell.height(), picture.width(), 1), m_gridLines);
    painter.fillRect(QRect(cell.width(), 0, 1, picture.height()), m_gridLines);
    return picture;
}

const QImage &ReadingGrid::cellPicture(const QStyleOptionViewItem &option, QImage::Format format,
                                       const QBrush &ground)
{
    const QPair<quint64, QString> key(cellKind(option), option.text);
    auto cell = m_cells.find(key);
    if (cell == m_cells.end())
        cell = m_cells.insert(key, withGridLines(drawnCell(option, format, ground), ground));
    return *cell;
}

bool ReadingGrid::drawCellText(QPainter &painter, const QStyleOptionViewItem &option, QImage::Format format,
                               const QBrush &ground)
{
    // A text that fits on one line is laid out the same whether it may wrap or not.
    if (option.direction != Qt::LeftToRight)
        return false;
    const Qt::Alignment align = option.displayAlignment;
    const Qt::Alignment horizontal =
        QStyle::visualAlignment(option.direction, align) & Qt::AlignHorizontal_Mask & ~Qt::AlignAbsolute;
    if (horizontal != Qt::AlignLeft && horizontal != Qt::AlignRight && horizontal != Qt::AlignHCenter)
        return false;
    if (m_glyphs.font() != option.font)
        m_glyphs.reset(option.font);
    const CellGlyphs::Line *line = m_glyphs.layOut(option.text);
    if (!line)
        return false;
    const int advance64 = line->advance64;
    // Where the style puts the line: its text rectangle does not depend on the text, only on the
    // cell, so it is asked once per cell size.
    const QSize size = option.rect.size();
    auto box = m_textRects.constFind(size);
    if (box == m_textRects.constEnd()) {
        QStyleOptionViewItem sample = option;
        sample.rect = QRect(QPoint(), size);
        sample.text = QStringLiteral("0");
        const int margin = style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, this) + 1;
        const QRect rect = style()->subElementRect(QStyle::SE_ItemViewItemText, &sample, this);
        box = m_textRects.insert(size, rect.adjusted(margin, 0, -margin, 0));
    }
    const QRect textRect = *box;
    const int room64 = textRect.width() * 64;
    if (advance64 > room64) // elided
        return false;
    int x64 = 0;
    if (horizontal == Qt::AlignRight)
        x64 = room64 - advance64;
    else if (horizontal == Qt::AlignHCenter)
        x64 = (room64 - advance64) / 2;
    const int lineHeight = int(std::lround(m_glyphs.lineHeight()));
    int top = textRect.top();
    if ((align & Qt::AlignVCenter) == Qt::AlignVCenter)
        top += textRect.height() / 2 - lineHeight / 2;
    else if ((align & Qt::AlignBottom) == Qt::AlignBottom)
        top += textRect.height() - lineHeight;
    const QPointF origin(textRect.left() + x64 / 64.0, top + m_glyphs.ascent());

    QPalette::ColorGroup group = option.state & QStyle::State_Enabled ? QPalette::Normal : QPalette::Disabled;
    if (group == QPalette::Normal && !(option.state & QStyle::State_Active))
        group = QPalette::Inactive;
    const QColor pen = option.palette.color(
        group, option.state & QStyle::State_Selected ? QPalette::HighlightedText : QPalette::Text);

    // The first text drawn so in each kind of cell is drawn by the style as well: if the two ever
    // differed, that kind of cell would be left to the style from then on.
    const quint64 kind = cellKind(option);
    auto cell = m_textCells.find(kind);
    if (cell == m_textCells.end()) {
        QStyleOptionViewItem empty = option;
        empty.text.clear();
        TextCell made{drawnCell(empty, format, ground), false};
        QImage fast = made.background.copy();
        QPainter fastPainter(&fast);
        fastPainter.setPen(pen);
        fastPainter.drawGlyphRun(origin, line->run);
        fastPainter.end();
        made.sameAsStyle = fast == drawnCell(option, format, ground);
        made.background = withGridLines(made.background, ground);
        cell = m_textCells.insert(kind, made);
    }
    if (!cell->sameAsStyle)
        return false;
    painter.drawImage(option.rect.topLeft(), cell->background);
    painter.setPen(pen);
    // Inside the cell a clip would cut nothing.
    const bool clip =
        !QRectF(QPointF(1, 1), QSizeF(size) - QSizeF(2, 2)).contains(line->ink.translated(origin));
    if (clip)
        painter.setClipRect(option.rect);
    painter.drawGlyphRun(origin + option.rect.topLeft(), line->run);
    if (clip)
        painter.setClipping(false);
    return true;
}

void ReadingGrid::paintEvent(QPaintEvent *event)
{
    QPainter painter(viewport());
    const QRect area = event->rect();
    if (!m_model || m_rows == 0) {
        // An empty grid still shows that it has the keyboard, drawn as the tool buttons mark theirs,
        // whatever the style does with focus rectangles.
        if (hasFocus()) {
            painter.setPen(QPen(palette().color(QPalette::Highlight), 2));
            painter.drawRect(QRectF(viewport()->rect()).adjusted(1, 1, -1, -1));
        }
        return;
    }
    // The options change with the grid's style, palette, font, focus and activation, which all
    // reach it as events; a paint per appended row need not make them again.
    if (!m_itemOptionsKnown) {
        initItemOption(&m_baseOption);
        m_cellOption = m_baseOption;
        m_cellOption.palette.setCurrentColorGroup(QPalette::Normal);
        m_cellOption.features |= QStyleOptionViewItem::HasDisplay;
        m_itemOptionsKnown = true;
    }
    const QStyleOptionViewItem &base = m_baseOption;
    const int right = columnsWidth() - 1;
    const int bottom = int(std::min<qint64>(m_rows * kRowHeight - m_offset - 1, viewportHeight()));
    const qint64 first = std::max<qint64>(0, (area.top() + m_offset) / kRowHeight);
    const qint64 last =
        std::min<qint64>(m_rows - 1, (std::min(area.bottom(), bottom) + m_offset) / kRowHeight);
    const bool focused = hasFocus();
    // Cells are kept as pictures while the screen is an image they can be copied to: most of a
    // row's texts recur (DC, V, AUTO ...) and laying a text out costs far more than copying it.
    const QPaintDevice *target = painter.paintEngine() ? painter.paintEngine()->paintDevice() : nullptr;
    const QBrush ground = viewport()->palette().brush(viewport()->backgroundRole());
    const bool pictures = target && target->devType() == QInternal::Image &&
                          target->devicePixelRatio() == 1 && ground.style() == Qt::SolidPattern &&
                          viewport()->autoFillBackground();
    const QImage::Format format =
        pictures ? static_cast<const QImage *>(target)->format() : QImage::Format_Invalid;
    const int gridHint = style()->styleHint(QStyle::SH_Table_GridLineColor, &base, this);
    const QColor gridColor = QColor::fromRgba(QRgb(gridHint));
    // The pictures hold the grid lines along their right and bottom edges, which spares filling
    // the lines apart, where drawing a line twice changes nothing: opaque, and no column so narrow
    // that its line falls on another's.
    bool linesInPictures = gridColor.alpha() == 255;
    for (int column = 0; column < kColumns; ++column)
        linesInPictures = linesInPictures && m_header->sectionSize(column) > 1;
    const QColor pictureLines = linesInPictures ? gridColor : QColor();
    if (format != m_cellFormat || pictureLines != m_gridLines || m_cells.size() > kMaxCellPictures) {
        m_cells.clear();
        m_textCells.clear();
        m_cellFormat = format;
        m_gridLines = pictureLines;
    }
    bool styleDrawn = false; // a cell drawn by the style here, which may reach over the lines
    QStyleOptionViewItem &option = m_cellOption;
    for (qint64 row = first; row <= last; ++row) {
        const int y = rowTop(row);
        for (int column = 0; column < kColumns; ++column) {
            const int x = columnLeft(column);
            const int width = m_header->sectionSize(column);
            if (x > area.right() || x + width <= area.left())
                continue;
            const QModelIndex index = m_model->index(int(row), column);
            // One option serves every cell: copying its palette, font and locale per cell costs more
            // than drawing a cell from its picture.
            option.rect = QRect(x, y, width - 1, kRowHeight - 1);
            option.state = base.state;
            if (row == m_current) {
                if (m_currentSelected)
                    option.state |= QStyle::State_Selected;
                if (focused && column == m_currentColumn)
                    option.state |= QStyle::State_HasFocus;
            }
            option.index = index;
            const QVariant alignment = index.data(Qt::TextAlignmentRole);
            option.displayAlignment =
                alignment.isValid() ? alignment.value<Qt::Alignment>() : base.displayAlignment;
            option.text = index.data(Qt::DisplayRole).toString();
            if (!pictures || option.state & QStyle::State_HasFocus) { // a focus frame reaches past the cell
                drawCell(painter, option);
                styleDrawn = true;
                continue;
            }
            if (!drawCellText(painter, option, format, ground))
                painter.drawImage(option.rect.topLeft(), cellPicture(option, format, ground));
        }
    }
    // The grid lines: under each row and right of each column, as far as the rows go.
    const QRect lines = area.intersected(QRect(0, 0, right + 1, bottom + 1));
    if (lines.isEmpty() || (m_gridLines.isValid() && !styleDrawn))
        return;
    // A one-pixel line along the pixel grid covers what a one-pixel rectangle does, and filling
    // one costs less than stroking a line.
    for (qint64 row = first; row <= last; ++row)
        painter.fillRect(QRect(lines.left(), rowTop(row) + kRowHeight - 1, lines.width(), 1), gridColor);
    for (int column = 0; column < kColumns; ++column) {
        const int x = columnLeft(column) + m_header->sectionSize(column) - 1;
        painter.fillRect(QRect(x, lines.top(), 1, lines.height()), gridColor);
    }
}

void ReadingGrid::resizeEvent(QResizeEvent *event)
{
    QAbstractScrollArea::resizeEvent(event);
    const QRect port = viewport()->geometry();
    m_header->setGeometry(port.left(), port.top() - m_header->height(), port.width(), m_header->height());
    updateScrollRange();
    m_offset = offsetFor(verticalScrollBar()->value());
    fitNumberColumn(0, m_rows - 1);
    viewport()->update();
}

bool ReadingGrid::event(QEvent *event)
{
    m_itemOptionsKnown = false;
    switch (event->type()) {
    case QEvent::WindowActivate:
    case QEvent::WindowDeactivate:
        viewport()->update();
        break;
    case QEvent::FontChange:
    case QEvent::StyleChange:
        m_cells.clear();
        m_charWidths.clear();
        m_textRects.clear();
        m_textCells.clear();
        m_glyphs.reset(QFont());
        updateGeometries();
        viewport()->update();
        break;
    default:
        break;
    }
    return QAbstractScrollArea::event(event);
}

void ReadingGrid::changeEvent(QEvent *event)
{
    QAbstractScrollArea::changeEvent(event);
    if (event->type() == QEvent::PaletteChange || event->type() == QEvent::EnabledChange) {
        m_cells.clear();
        m_textCells.clear();
        viewport()->update();
    }
}

void ReadingGrid::keyPressEvent(QKeyEvent *event)
{
    // Tab and Shift+Tab move the focus before they get here; Ctrl+Tab does get here, and a keyboard
    // user expects it to leave a control that might keep Tab for itself.
    if ((event->key() == Qt::Key_Tab || event->key() == Qt::Key_Backtab) &&
        (event->modifiers() & Qt::ControlModifier)) {
        const bool back = event->key() == Qt::Key_Backtab || (event->modifiers() & Qt::ShiftModifier);
        focusNextPrevChild(!back);
        event->accept();
        return;
    }
    if (m_rows == 0) {
        event->ignore();
        return;
    }
    const QString text = event->text();
    const bool typing = !text.isEmpty() && text.front().isPrint() &&
                        !(event->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier));
    if (typing) {
        search(text);
        return;
    }
    if (m_current < 0) { // the first move shows the first cell
        switch (event->key()) {
        case Qt::Key_Up:
        case Qt::Key_Down:
        case Qt::Key_Left:
        case Qt::Key_Right:
        case Qt::Key_Home:
        case Qt::Key_End:
        case Qt::Key_PageUp:
        case Qt::Key_PageDown:
            moveCurrent(0, 0, Place::Visible);
            return;
        default:
            event->ignore();
            return;
        }
    }
    const bool control = event->modifiers() & Qt::ControlModifier;
    const int height = viewportHeight();
    qint64 row = m_current;
    int column = m_currentColumn;
    switch (event->key()) {
    case Qt::Key_Up:
        row = std::max<qint64>(0, row - 1);
        break;
    case Qt::Key_Down:
        row = std::min(m_rows - 1, row + 1);
        break;
    case Qt::Key_Left:
        column = std::max(0, column - 1);
        break;
    case Qt::Key_Right:
        column = std::min(kColumns - 1, column + 1);
        break;
    case Qt::Key_Home:
        column = 0;
        if (control)
            row = 0;
        break;
    case Qt::Key_End:
        column = kColumns - 1;
        if (control)
            row = m_rows - 1;
        break;
    case Qt::Key_PageUp: {
        const qint64 target = rowAt(rowTop(row) + kRowHeight - 1 - height);
        row = target < 0 ? 0 : target;
        break;
    }
    case Qt::Key_PageDown: {
        const qint64 target = rowAt(rowTop(row) + height);
        row = target < 0 ? m_rows - 1 : target;
        break;
    }
    default:
        event->ignore();
        return;
    }
    moveCurrent(row, column, Place::Visible);
}

void ReadingGrid::moveCurrentTo(const QPoint &at, Place place)
{
    const qint64 row = rowAt(at.y());
    const int column = m_header->logicalIndexAt(at.x());
    if (row >= 0 && column >= 0)
        moveCurrent(row, column, place);
}

void ReadingGrid::search(const QString &typed)
{
    // A pause longer than the desktop's typing interval starts a new search, and so does typing
    // one key over and over; either looks from the row after the current one.
    const bool fresh =
        !m_sinceTyped.isValid() || m_sinceTyped.restart() > QApplication::keyboardInputInterval();
    if (!m_sinceTyped.isValid())
        m_sinceTyped.start();
    m_typed = fresh ? typed : m_typed + typed;
    const bool sameKey = m_typed.size() > 1 && m_typed.count(m_typed.back()) == m_typed.size();
    qint64 start = std::max<qint64>(0, m_current);
    if (m_current >= 0 && (fresh || sameKey))
        start = (start + 1) % m_rows;
    // A key press must not stall the window: on a table of millions of rows the look ends after a
    // tenth of a second, as if nothing matched, however far it came.
    QElapsedTimer looking;
    looking.start();
    for (qint64 step = 0; step < m_rows; ++step) {
        if ((step & 0xfff) == 0xfff && looking.elapsed() > 100)
            return;
        const qint64 row = (start + step) % m_rows;
        const QString text = m_model->index(int(row), m_currentColumn).data().toString();
        if (text.startsWith(m_typed, Qt::CaseInsensitive)) {
            moveCurrent(row, m_currentColumn, Place::Visible);
            return;
        }
    }
}

void ReadingGrid::mousePressEvent(QMouseEvent *event)
{
    moveCurrentTo(event->position().toPoint(), Place::Stay); // a click does not scroll
}

void ReadingGrid::mouseMoveEvent(QMouseEvent *event)
{
    if (event->buttons() & Qt::LeftButton) // dragging, the current row follows and stays in view
        dragTo(event->position().toPoint());
}

void ReadingGrid::dragTo(const QPoint &at)
{
    m_dragAt = at;
    moveCurrentTo(at, Place::Visible);
    const bool outside = at.y() < kAutoScrollMargin || at.y() >= viewportHeight() - kAutoScrollMargin;
    if (outside && !m_dragScroll.isActive()) {
        m_dragSpeed = 0;
        m_dragScroll.start(kAutoScrollMs, this);
    } else if (!outside) {
        m_dragScroll.stop();
    }
}

void ReadingGrid::mouseReleaseEvent(QMouseEvent *event)
{
    if (!(event->buttons() & Qt::LeftButton))
        m_dragScroll.stop();
}

void ReadingGrid::timerEvent(QTimerEvent *event)
{
    if (event->timerId() != m_dragScroll.timerId()) {
        QAbstractScrollArea::timerEvent(event);
        return;
    }
    // Held outside, the rows keep coming, faster the longer it is held, up to a page a tick.
    QScrollBar *bar = verticalScrollBar();
    m_dragSpeed = std::min(m_dragSpeed + 1, std::max(1, bar->pageStep()));
    const int before = bar->value();
    bar->setValue(before + (m_dragAt.y() < kAutoScrollMargin ? -m_dragSpeed : m_dragSpeed));
    moveCurrentTo(QPoint(m_dragAt.x(), std::clamp(m_dragAt.y(), 0, viewportHeight() - 1)), Place::Visible);
    if (bar->value() == before) // at the end
        m_dragScroll.stop();
}

void ReadingGrid::focusInEvent(QFocusEvent *event)
{
    QAbstractScrollArea::focusInEvent(event);
    if (m_current < 0 && m_rows > 0)
        moveCurrent(0, 0, Place::Visible, false);
    viewport()->update();
}

void ReadingGrid::focusOutEvent(QFocusEvent *event)
{
    QAbstractScrollArea::focusOutEvent(event);
    m_dragScroll.stop();
    viewport()->update();
}
