#pragma once

// Left, top, width and height of a control, in pixels of its parent.
struct LayoutRect
{
    int left = 0;
    int top = 0;
    int width = 0;
    int height = 0;

    bool operator==(const LayoutRect &o) const
    {
        return left == o.left && top == o.top && width == o.width && height == o.height;
    }
    bool operator!=(const LayoutRect &o) const { return !(*this == o); }
};

// Enlarging the chart over the window and putting it back (TbFdClick, and the first step of
// FormResize). Remembers the chart's normal place while it is enlarged.
class ChartEnlargeRule
{
public:
    static constexpr int kEnlargedLeft = 2;
    static constexpr int kEnlargedTop = 28;

    // The icon handler treats a chart whose top is at most this far down as enlarged...
    static bool isEnlargedForIcon(const LayoutRect &chart) { return chart.top <= 50; }
    // ...while the resize rule restores a chart whose top is above this line.
    static bool isEnlargedForResize(const LayoutRect &chart) { return chart.top < 100; }

    // TbFdClick: returns the chart's new place. When enlarging, `chart` is remembered.
    LayoutRect toggle(const LayoutRect &chart, int outerWidth, int outerHeight);
    // Whether the chart stands enlarged by toggle() and has a remembered place to go back to.
    bool isEnlarged() const { return m_enlarged; }
    // The resize rule's first step: the chart goes back to its remembered place and is no longer
    // enlarged. A chart that a small window has pushed above the resize line without being enlarged
    // has no remembered place, so the rule asks isEnlarged() first.
    LayoutRect restore()
    {
        m_enlarged = false;
        return m_remembered;
    }
    // The remembered normal place.
    LayoutRect restored() const { return m_remembered; }
    void remember(const LayoutRect &chart) { m_remembered = chart; }

private:
    LayoutRect m_remembered;
    bool m_enlarged = false;
};
