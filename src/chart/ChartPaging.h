#pragma once

#include <cstdint>

// Paging of the trend chart: points per page, the current page (1-based), which points a page
// shows, and what the First/Previous/Next/Last commands do to the page, to the enabled state of
// their buttons, to the page caption and to FollowLastPage. Plain state; the chart widget mirrors it.
class ChartPaging
{
public:
    // Which points the current page shows ([first, last) indexes into the series) and the X range its
    // horizontal axis spans. The last page keeps a whole page's width when it holds fewer points.
    struct Span
    {
        int64_t first = 0;
        int64_t last = 0;
        int64_t xMin = 0;
        int64_t xMax = 0;
    };

    // Enabled state of the four paging buttons and their menu items.
    struct Buttons
    {
        bool first = true;
        bool previous = true;
        bool next = true;
        bool last = true;
    };

    // 0 puts every point on one page.
    int64_t pointsPerPage() const { return m_pointsPerPage; }
    // Takes a new page size; a current page beyond the new number of pages becomes the last page.
    void setPointsPerPage(int64_t pointsPerPage, int64_t points);

    int64_t page() const { return m_page; }
    int64_t pageCount(int64_t points) const;
    // Goes to `page`, clamped to 1 .. pageCount(points).
    void setPage(int64_t page, int64_t points);
    Span span(int64_t points) const;

    void first(int64_t points);
    void previous(int64_t points);
    void next(int64_t points);
    void last(int64_t points);
    // After a point was added: while following, go to the last page and show its number.
    void pointAdded(int64_t points);

    const Buttons &buttons() const { return m_buttons; }
    bool FollowLastPage() const { return m_FollowLastPage; }
    // The number the page caption shows. It is only a display: page-size changes and New leave it.
    int64_t caption() const { return m_caption; }

private:
    int64_t m_pointsPerPage = 100;
    int64_t m_page = 1;
    int64_t m_caption = 1;
    bool m_FollowLastPage = true;
    Buttons m_buttons;
};
