#pragma once

#include "report/DataReport.h"

#include <QAbstractScrollArea>

// The pages of a report laid out one under another on a grey desk, at a zoom where 1.0 is paper
// size on screen. Only the pages that show in the viewport are drawn, when they show, so a
// report of thousands of pages opens as fast as one of a single page and holds no page images.
class ReportPageView : public QAbstractScrollArea
{
    Q_OBJECT

public:
    static constexpr double MinZoom = 0.1;
    static constexpr double MaxZoom = 4.0;
    // Grey space around and between pages, in screen pixels.
    static constexpr int PageGap = 12;

    explicit ReportPageView(const DataReport &report, QWidget *parent = nullptr);

    int pageCount() const { return m_report.pageCount(); }
    // 0-based page in view: the one last asked for by showPage() until the view scrolls, otherwise
    // the page under a line half a page (or half the viewport, if less) below the viewport's top;
    // -1 when there are no pages.
    int currentPage() const;
    double zoom() const { return m_zoom; }
    // Page draws done since the view was made; the view draws only what shows.
    int64_t pagesPainted() const { return m_pagesPainted; }

    // Scrolls so that `page` (0-based) starts at the top of the viewport.
    void showPage(int page);
    // Zooms, keeping the same spot of the current page in view.
    void setZoom(double zoom);
    // Zooms so a page's width, or a whole page, fits the viewport.
    void fitWidth();
    void fitPage();

signals:
    void currentPageChanged(int page);
    void zoomChanged(double zoom);

protected:
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void scrollContentsBy(int dx, int dy) override;
    void wheelEvent(QWheelEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;

private:
    double dotsPerMm() const;
    int pageWidth() const;
    int pageHeight() const;
    // Page height plus the gap under it: the vertical distance between page tops.
    int pageStride() const;
    void updateScrollBars();
    void reportCurrentPage();
    // Distance from the viewport's top to the line that decides the current page.
    int referenceLine() const;

    const DataReport &m_report;
    double m_zoom = 1.0;
    int m_lastReportedPage = -2;
    // With several pages in view, or at the end of the report, the page scrolled to is not the one
    // under the reference line; it stays current until the view moves.
    int m_pinnedPage = -1;
    int m_pinnedScroll = -1;
    int64_t m_pagesPainted = 0;
};
