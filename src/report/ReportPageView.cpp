#include "report/ReportPageView.h"

#include <QKeyEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QScrollBar>
#include <QWheelEvent>
#include <algorithm>
#include <climits>
#include <cmath>

ReportPageView::ReportPageView(const DataReport &report, QWidget *parent)
    : QAbstractScrollArea(parent), m_report(report)
{
    viewport()->setBackgroundRole(QPalette::Dark);
    viewport()->setAutoFillBackground(false);
    setFocusPolicy(Qt::StrongFocus);
    updateScrollBars();
}

double ReportPageView::dotsPerMm() const
{
    return viewport()->logicalDpiX() / 25.4 * m_zoom;
}

int ReportPageView::pageWidth() const
{
    return std::max(1, static_cast<int>(std::lround(DataReport::PageWidthMm * dotsPerMm())));
}

int ReportPageView::pageHeight() const
{
    return std::max(1, static_cast<int>(std::lround(DataReport::PageHeightMm * dotsPerMm())));
}

int ReportPageView::pageStride() const
{
    return pageHeight() + PageGap;
}

int ReportPageView::referenceLine() const
{
    return std::min(viewport()->height(), pageHeight()) / 2;
}

int ReportPageView::currentPage() const
{
    const int pages = pageCount();
    if (pages == 0)
        return -1;
    if (m_pinnedPage >= 0 && verticalScrollBar()->value() == m_pinnedScroll)
        return m_pinnedPage;
    const int64_t line = int64_t{verticalScrollBar()->value()} + referenceLine() - PageGap;
    return static_cast<int>(std::clamp<int64_t>(line / pageStride(), 0, pages - 1));
}

void ReportPageView::showPage(int page)
{
    if (pageCount() == 0)
        return;
    page = std::clamp(page, 0, pageCount() - 1);
    // A page's own top gap stays out of view, so the page sits flush at the top.
    const int64_t top = int64_t{page} * pageStride() + PageGap;
    verticalScrollBar()->setValue(static_cast<int>(std::min<int64_t>(top, INT_MAX)));
    m_pinnedPage = page;
    m_pinnedScroll = verticalScrollBar()->value();
    reportCurrentPage();
}

void ReportPageView::setZoom(double zoom)
{
    zoom = std::clamp(zoom, MinZoom, MaxZoom);
    if (zoom == m_zoom)
        return;

    // A page just asked for is shown from its top again; otherwise the spot under the reference
    // line stays there, so the reader keeps their place.
    const int page = std::max(currentPage(), 0);
    const bool pinned = m_pinnedPage >= 0 && verticalScrollBar()->value() == m_pinnedScroll;
    const double lineY = verticalScrollBar()->value() + referenceLine();
    const double intoPage = (lineY - (double(page) * pageStride() + PageGap)) / pageStride();
    QScrollBar *horizontal = horizontalScrollBar();
    const double across =
        horizontal->maximum() > 0 ? double(horizontal->value()) / horizontal->maximum() : 0.5;

    m_zoom = zoom;
    updateScrollBars();
    if (pinned) {
        showPage(page);
    } else {
        const double newLine = double(page) * pageStride() + PageGap + intoPage * pageStride();
        verticalScrollBar()->setValue(
            static_cast<int>(std::clamp(newLine - referenceLine(), 0.0, double(INT_MAX))));
    }
    horizontal->setValue(static_cast<int>(std::lround(across * horizontal->maximum())));
    viewport()->update();
    emit zoomChanged(m_zoom);
    reportCurrentPage();
}

void ReportPageView::fitWidth()
{
    const double paperDotsPerMm = viewport()->logicalDpiX() / 25.4;
    setZoom((viewport()->width() - 2.0 * PageGap) / (DataReport::PageWidthMm * paperDotsPerMm));
}

void ReportPageView::fitPage()
{
    const double paperDotsPerMm = viewport()->logicalDpiX() / 25.4;
    const double byWidth = (viewport()->width() - 2.0 * PageGap) / (DataReport::PageWidthMm * paperDotsPerMm);
    const double byHeight =
        (viewport()->height() - 2.0 * PageGap) / (DataReport::PageHeightMm * paperDotsPerMm);
    setZoom(std::min(byWidth, byHeight));
}

void ReportPageView::updateScrollBars()
{
    const QSize area = viewport()->size();
    // Scroll positions are ints: a report too long for them at this zoom ends where they end.
    const int64_t contentHeight = PageGap + int64_t{pageCount()} * pageStride();
    const int contentWidth = pageWidth() + 2 * PageGap;

    QScrollBar *vertical = verticalScrollBar();
    vertical->setRange(0, static_cast<int>(std::clamp<int64_t>(contentHeight - area.height(), 0, INT_MAX)));
    vertical->setPageStep(area.height());
    vertical->setSingleStep(std::max(1, pageHeight() / 20));

    QScrollBar *horizontal = horizontalScrollBar();
    horizontal->setRange(0, std::max(0, contentWidth - area.width()));
    horizontal->setPageStep(area.width());
    horizontal->setSingleStep(std::max(1, pageWidth() / 20));
}

void ReportPageView::reportCurrentPage()
{
    const int page = currentPage();
    if (page == m_lastReportedPage)
        return;
    m_lastReportedPage = page;
    emit currentPageChanged(page);
}

void ReportPageView::paintEvent(QPaintEvent *event)
{
    QPainter painter(viewport());
    const QRect exposed = event->rect();
    painter.fillRect(exposed, palette().color(QPalette::Dark));

    const int pages = pageCount();
    if (pages == 0) {
        painter.setPen(palette().color(QPalette::BrightText));
        painter.drawText(viewport()->rect(), Qt::AlignCenter,
                         tr("The table has no rows: there is nothing to print."));
        return;
    }

    const int width = pageWidth();
    const int height = pageHeight();
    const int64_t stride = pageStride();
    const int contentWidth = width + 2 * PageGap;
    const int left = contentWidth <= viewport()->width() ? (viewport()->width() - width) / 2
                                                         : PageGap - horizontalScrollBar()->value();
    const int64_t scroll = verticalScrollBar()->value();
    const double scale = dotsPerMm();

    // Pages are drawn straight from the table, so only the few in the exposed strip cost anything.
    const int first =
        static_cast<int>(std::clamp<int64_t>((scroll + exposed.top() - PageGap) / stride, 0, pages - 1));
    for (int page = first; page < pages; ++page) {
        const int64_t top = PageGap + page * stride - scroll;
        if (top > exposed.bottom())
            break;
        if (top + height < exposed.top())
            continue;
        const QRect paper(left, static_cast<int>(top), width, height);
        painter.fillRect(paper.translated(3, 3), palette().color(QPalette::Shadow));
        painter.fillRect(paper, Qt::white);
        painter.setClipRect(paper);
        m_report.renderPage(painter, page, paper.topLeft(), scale);
        painter.setClipping(false);
        ++m_pagesPainted;
    }
}

void ReportPageView::resizeEvent(QResizeEvent *event)
{
    QAbstractScrollArea::resizeEvent(event);
    updateScrollBars();
    reportCurrentPage();
}

void ReportPageView::scrollContentsBy(int, int)
{
    viewport()->update();
    reportCurrentPage();
}

void ReportPageView::keyPressEvent(QKeyEvent *event)
{
    if (event->key() == Qt::Key_Home) {
        showPage(0);
        event->accept();
    } else if (event->key() == Qt::Key_End) {
        showPage(pageCount() - 1);
        event->accept();
    } else {
        QAbstractScrollArea::keyPressEvent(event);
    }
}

void ReportPageView::wheelEvent(QWheelEvent *event)
{
    if (event->modifiers() & Qt::ControlModifier) {
        const int steps = event->angleDelta().y() / 120;
        if (steps != 0)
            setZoom(m_zoom * std::pow(1.25, steps));
        event->accept();
        return;
    }
    QAbstractScrollArea::wheelEvent(event);
}
