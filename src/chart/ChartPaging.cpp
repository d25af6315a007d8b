#include "chart/ChartPaging.h"

#include <algorithm>

void ChartPaging::setPointsPerPage(int64_t pointsPerPage, int64_t points)
{
    m_pointsPerPage = std::max<int64_t>(pointsPerPage, 0);
    if (m_page > pageCount(points))
        m_page = pageCount(points);
}

int64_t ChartPaging::pageCount(int64_t points) const
{
    if (m_pointsPerPage <= 0)
        return 1;
    return std::max<int64_t>((points + m_pointsPerPage - 1) / m_pointsPerPage, 1);
}

void ChartPaging::setPage(int64_t page, int64_t points)
{
    m_page = std::clamp<int64_t>(page, 1, pageCount(points));
}

ChartPaging::Span ChartPaging::span(int64_t points) const
{
    Span s;
    if (m_pointsPerPage <= 0) {
        s.first = 0;
        s.last = points;
        s.xMin = 0;
        s.xMax = std::max<int64_t>(points - 1, 0);
        return s;
    }
    s.xMin = (m_page - 1) * m_pointsPerPage;
    s.xMax = s.xMin + m_pointsPerPage - 1;
    s.first = std::min(s.xMin, points);
    s.last = std::min(s.xMax + 1, points);
    return s;
}

void ChartPaging::first(int64_t points)
{
    m_buttons.first = false;
    m_buttons.previous = false;
    m_buttons.next = true;
    m_buttons.last = true;
    setPage(1, points);
    m_caption = 1;
    m_FollowLastPage = false;
}

void ChartPaging::previous(int64_t points)
{
    // Page 1 is not left; the buttons only follow on the second press.
    if (m_page == 1) {
        m_buttons.first = false;
        m_buttons.previous = false;
    } else {
        setPage(m_page - 1, points);
    }
    m_buttons.next = true;
    m_buttons.last = true;
    m_caption = m_page;
    m_FollowLastPage = false;
}

void ChartPaging::next(int64_t points)
{
    if (m_page == pageCount(points)) {
        m_buttons.next = false;
        m_buttons.last = false;
    } else {
        setPage(m_page + 1, points);
    }
    m_buttons.first = true;
    m_buttons.previous = true;
    m_caption = m_page;
    m_FollowLastPage = false;
}

void ChartPaging::last(int64_t points)
{
    m_buttons.next = false;
    m_buttons.last = false;
    m_buttons.first = true;
    m_buttons.previous = true;
    setPage(pageCount(points), points);
    m_caption = m_page;
    m_FollowLastPage = true;
}

void ChartPaging::pointAdded(int64_t points)
{
    if (!m_FollowLastPage)
        return;
    setPage(pageCount(points), points);
    m_caption = m_page;
}
