#include "app/WindowLayoutRule.h"

#include "app/FCOMMLayout.h"
#include "app/ReadingGrid.h"
#include "chart/TrendChart.h"
#include "display/CaptionPanel.h"
#include "display/GaugeView.h"

#include <QLabel>

#include <algorithm>

int64_t divideRoundHalfEven(int64_t numerator, int64_t denominator)
{
    // Floor division, then look at the remainder against half the denominator.
    int64_t q = numerator / denominator;
    int64_t r = numerator % denominator;
    if (r < 0) {
        --q;
        r += denominator;
    }
    const int64_t twice = 2 * r;
    if (twice > denominator || (twice == denominator && (q & 1) != 0))
        ++q;
    return q;
}

namespace {

// The chart takes the window's outer width less this.
constexpr int kChartWidthMargin = 302;

} // namespace

WindowLayout computeWindowLayout(int outerWidth, int outerHeight)
{
    WindowLayout l;
    l.btExitLeft = outerWidth - 80;
    l.btConLeft = outerWidth - 190;
    l.dbGridHeight = outerHeight - 311;
    l.chartWidth = outerWidth - kChartWidthMargin;
    l.kdWidth = outerWidth - 303;
    l.kd2Width = outerWidth - 305;
    const int64_t h = outerHeight - 87;
    l.kdHeight = static_cast<int>(divideRoundHalfEven(h * 37, 100));
    l.kd2Height = l.kdHeight - 6;
    l.chartHeight = static_cast<int>(divideRoundHalfEven(h * 61, 100));
    l.chartTop = l.kdHeight + 38;
    return l;
}

int clientWidthForChartWidth(int chartWidth)
{
    return chartWidth + kChartWidthMargin - outerWindowSize(QSize(0, 0)).width();
}

QRect openingFrame(const QRect &available, QSize frame, QSize minimumFrame)
{
    const QSize size = frame.boundedTo(available.size()).expandedTo(minimumFrame);
    QRect placed(QPoint(), size);
    placed.moveCenter(available.center());
    // Past the right or bottom edge rather than past the top or left one.
    placed.moveLeft(
        std::max(available.left(), std::min(placed.left(), available.right() + 1 - size.width())));
    placed.moveTop(std::max(available.top(), std::min(placed.top(), available.bottom() + 1 - size.height())));
    return placed;
}

void applyWindowLayout(FCOMMLayout &ui, const WindowLayout &layout)
{
    ui.Chtshow->applyWindowLayout(layout.chartTop, layout.chartWidth, layout.chartHeight);
    ui.BtExit->move(layout.btExitLeft, ui.BtExit->y());
    ui.BTCon->move(layout.btConLeft, ui.BTCon->y());
    ui.BtDiscon->move(layout.btConLeft, ui.BtDiscon->y());
    ui.DBGrid1->resize(ui.DBGrid1->width(), qMax(0, layout.dbGridHeight));
    ui.KD->resize(qMax(0, layout.kdWidth), qMax(0, layout.kdHeight));
    // The gauge redraws itself at its new size with the needle where it stood; a scale setup here
    // would wipe the needle, and one put back at zero would contradict the LCD until the next frame.
    ui.KD2->resize(qMax(0, layout.kd2Width), qMax(0, layout.kd2Height));
}
