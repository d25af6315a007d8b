#include "chart/TrendChart.h"

#include "chart/AxisTicks.h"

#include "decode/IntegerText.h"

#include <QCheckBox>
#include <QDir>
#include <QFileInfo>
#include <QImage>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPaintEngine>
#include <QPaintEvent>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <QSaveFile>
#include <QToolButton>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

const QColor TrendChart::kAreaColor = QColor(255, 255, 128);
const QColor TrendChart::kAreaLineColor = QColor(0, 128, 255);
const QColor TrendChart::kLinePenColor = QColor(128, 255, 0);
const QColor TrendChart::kPointColor = QColor(0, 0, 255);
const QColor TrendChart::kAxisLineColor = QColor(0, 64, 128);
const QColor TrendChart::kGradientTop = QColor(255, 255, 164);
const QColor TrendChart::kGradientBottom = QColor(255, 221, 221);
const QColor TrendChart::kLeftWallColor = QColor(255, 255, 128);
const QColor TrendChart::kBottomWallColor = QColor(255, 255, 255);
const QColor TrendChart::kPanelColor = QColor(192, 221, 248);
const QString TrendChart::kPointLabel = QStringLiteral("paper");

namespace {

constexpr int kControlRowHeight = 22; // controls sit on the top edge, above the plot
constexpr int kWallSize = 4;
constexpr int kTickLength = 3;
constexpr int kMinorTicks = 4;
constexpr int kToolSize = 18;
constexpr int kPageNumberWidth = 36;
constexpr int kToolGap = 2;
constexpr int kPlaceholderValue = 0; // what New leaves in each series; any value would do

enum class Glyph
{
    New,
    Save,
    First,
    Previous,
    Next,
    Last,
    Enlarge,
    Restore,
};

// Small icons drawn here rather than shipped as files: a 14-pixel glyph in the axis colour.
QIcon glyphIcon(Glyph glyph)
{
    QPixmap pixmap(14, 14);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    const QColor ink(0, 64, 128);
    p.setPen(QPen(ink, 1.2));
    p.setBrush(ink);
    auto triangle = [&p](double tipX, double baseX) {
        const QPointF pts[3] = {{tipX, 7}, {baseX, 2.5}, {baseX, 11.5}};
        p.drawPolygon(pts, 3);
    };
    switch (glyph) {
    case Glyph::New: {
        p.setBrush(Qt::white);
        const QPointF sheet[5] = {{3, 1.5}, {8.5, 1.5}, {11.5, 4.5}, {11.5, 12.5}, {3, 12.5}};
        p.drawPolygon(sheet, 5);
        p.drawLine(QPointF(8.5, 1.5), QPointF(8.5, 4.5));
        p.drawLine(QPointF(8.5, 4.5), QPointF(11.5, 4.5));
        break;
    }
    case Glyph::Save:
        p.drawRoundedRect(QRectF(1.5, 1.5, 11, 11), 1, 1);
        p.setBrush(Qt::white);
        p.drawRect(QRectF(3.5, 1.5, 7, 4));
        p.drawRect(QRectF(4, 8, 6, 4.5));
        break;
    case Glyph::First:
        p.drawRect(QRectF(2.5, 2.5, 1, 9));
        triangle(4.5, 11);
        break;
    case Glyph::Previous:
        triangle(3.5, 10.5);
        break;
    case Glyph::Next:
        triangle(10.5, 3.5);
        break;
    case Glyph::Last:
        triangle(9.5, 3);
        p.drawRect(QRectF(10.5, 2.5, 1, 9));
        break;
    case Glyph::Enlarge:
    case Glyph::Restore: {
        p.setBrush(Qt::NoBrush);
        p.drawRect(QRectF(1.5, 1.5, 11, 11));
        const bool out = glyph == Glyph::Enlarge;
        // Arrows pointing to the corners (enlarge) or to the centre (restore).
        const QPointF a = out ? QPointF(5.5, 5.5) : QPointF(3.5, 3.5);
        const QPointF b = out ? QPointF(3.5, 3.5) : QPointF(5.5, 5.5);
        const QPointF c = out ? QPointF(8.5, 8.5) : QPointF(10.5, 10.5);
        const QPointF d = out ? QPointF(10.5, 10.5) : QPointF(8.5, 8.5);
        p.drawLine(a, b);
        p.drawLine(c, d);
        p.drawLine(b, b + QPointF(out ? 2.5 : -2.5, 0));
        p.drawLine(b, b + QPointF(0, out ? 2.5 : -2.5));
        p.drawLine(d, d + QPointF(out ? -2.5 : 2.5, 0));
        p.drawLine(d, d + QPointF(0, out ? -2.5 : 2.5));
        break;
    }
    }
    return QIcon(pixmap);
}

QToolButton *toolButton(QWidget *parent, const char *name, const QString &hint, Glyph glyph)
{
    auto *button = new QToolButton(parent);
    button->setObjectName(QLatin1String(name));
    button->setToolTip(hint);
    button->setIcon(glyphIcon(glyph));
    button->setIconSize(QSize(14, 14));
    button->setAutoRaise(true);
    button->setFocusPolicy(Qt::TabFocus);
    // The style's own focus mark hides behind so small an icon.
    button->setStyleSheet(QStringLiteral("QToolButton:focus { border: 1px solid palette(highlight); }"));
    button->resize(kToolSize, kToolSize);
    return button;
}

} // namespace

TrendChart::TrendChart(QWidget *parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("Chtshow"));
    setCursor(Qt::CrossCursor);
    setAutoFillBackground(false);
    setAttribute(Qt::WA_OpaquePaintEvent);

    BtFill = new QCheckBox(QStringLiteral("Fill"), this);
    BtFill->setObjectName(QStringLiteral("BtFill"));
    BtFill->setToolTip(QStringLiteral("Graphic Fill"));
    BtFill->setChecked(true);
    BtFill->setFocusPolicy(Qt::StrongFocus);

    Maxrecord = new QLineEdit(QStringLiteral("100"), this);
    Maxrecord->setObjectName(QStringLiteral("Maxrecord"));
    // Digits only, typed or pasted; an empty text is allowed and reported when converted.
    Maxrecord->setValidator(
        new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]*")), Maxrecord));

    BtNew = toolButton(this, "BtNew", QStringLiteral("New"), Glyph::New);
    BtSave = toolButton(this, "BtSave", QStringLiteral("Save"), Glyph::Save);
    BtFirst = toolButton(this, "BtFirst", QStringLiteral("First"), Glyph::First);
    BTPrevious = toolButton(this, "BTPrevious", QStringLiteral("Previous"), Glyph::Previous);
    BtNext = toolButton(this, "BtNext", QStringLiteral("Next"), Glyph::Next);
    BTlast = toolButton(this, "BTlast", QStringLiteral("last"), Glyph::Last);

    Bt10 = new QPushButton(QStringLiteral("1"), this);
    Bt10->setObjectName(QStringLiteral("Bt10"));
    Bt10->setToolTip(QStringLiteral("Page No."));
    Bt10->setFlat(true);
    Bt10->setFocusPolicy(Qt::NoFocus);
    QPalette pagePalette = Bt10->palette();
    pagePalette.setColor(QPalette::ButtonText, Qt::blue);
    Bt10->setPalette(pagePalette);

    TbFd = toolButton(this, "TbFd", QStringLiteral("Graphic Enlarge"), Glyph::Enlarge);
    TbSx = toolButton(this, "TbSx", QStringLiteral("Graphic Restore"), Glyph::Restore);
    TbSx->hide();

    connect(BtFill, &QCheckBox::toggled, this, &TrendChart::btFillClick);
    connect(Maxrecord, &QLineEdit::textChanged, this, &TrendChart::MaxrecordExit);
    connect(BtNew, &QToolButton::clicked, this, &TrendChart::BtNewClick);
    connect(BtSave, &QToolButton::clicked, this, &TrendChart::saveRequested);
    connect(BtFirst, &QToolButton::clicked, this, &TrendChart::BtFirstClick);
    connect(BTPrevious, &QToolButton::clicked, this, &TrendChart::BTPreviousClick);
    connect(BtNext, &QToolButton::clicked, this, &TrendChart::BtNextClick);
    connect(BTlast, &QToolButton::clicked, this, &TrendChart::BTlastClick);
    // TbFd and TbSx are wired by the window, which knows its outer size and calls TbFdClick.

    resize(320, 233);
    BtNewClick();
    syncNavigation();
}

TrendChart::~TrendChart() = default;

QString TrendChart::seriesName(int index)
{
    return index == kAreaSeries ? QStringLiteral("Series2") : QStringLiteral("Series1");
}

bool TrendChart::isSeriesActive(int index) const
{
    return index == m_activeSeries;
}

void TrendChart::setAxisRange(int min, int max)
{
    if (min == m_axisMin && max == m_axisMax)
        return;
    m_axisMin = min;
    m_axisMax = max;
    invalidatePicture();
}

void TrendChart::setPage(int64_t page)
{
    const int64_t before = m_paging.page();
    m_paging.setPage(page, pointCount());
    pageMoved(before);
}

void TrendChart::pageMoved(int64_t pageBefore)
{
    if (m_paging.page() != pageBefore)
        m_zoom.reset();
    invalidatePicture();
}

void TrendChart::zoomTo(double xMin, double xMax, double yMin, double yMax)
{
    if (xMax <= xMin || yMax <= yMin)
        return;
    m_zoom = View{xMin, xMax, yMin, yMax};
    invalidatePicture();
}

void TrendChart::undoZoom()
{
    m_zoom.reset();
    invalidatePicture();
}

void TrendChart::addPoint(int value)
{
    // Series1 and Series2 share the store, so this one append feeds both before the page follows:
    // the page count always includes the newest point and it is on screen at once.
    const View viewBefore = currentView();
    m_points.append(value);
    const int64_t before = m_paging.page();
    const int64_t captionBefore = m_paging.caption();
    m_paging.pointAdded(pointCount());
    if (m_paging.caption() != captionBefore)
        syncNavigation();
    const View view = currentView();
    if (m_paging.page() == before && !m_zoom && view.xMin == viewBefore.xMin &&
        view.xMax == viewBefore.xMax && view.yMin == viewBefore.yMin && view.yMax == viewBefore.yMax) {
        // The scales stayed, so only the trace's end changed: the segment to the new point, its fill and
        // the cap that moved off the point before it. The kept picture follows at the next paint,
        // redrawing no more than this.
        update(changedByPoint(view, pointCount() - 1));
        return;
    }
    pageMoved(before);
}

QRect TrendChart::changedByPoint(const View &view, int64_t index) const
{
    const QRect columns = plotColumns(view, index - 1, index);
    const QRect plot = plotRect(rect());
    const int64_t firstShown = std::max<int64_t>(int64_t(std::ceil(view.xMin)), 0);
    const int64_t slotCount = int64_t(std::floor(view.xMax)) - int64_t(std::ceil(view.xMin)) + 1;
    if (columns.isEmpty() || slotCount > plot.width() || index < firstShown || index >= pointCount())
        return columns; // a column of many points spans what its neighbours hold too
    // The rows the points around it reach, two pixels more for the pen's caps; the area's fill and
    // the line under the point reach down to the plot's bottom.
    const double ySpan = std::max(view.yMax - view.yMin, 1.0);
    int32_t low = m_points.at(index);
    int32_t high = low;
    for (int64_t i = std::max(index - 1, firstShown); i < index; ++i) {
        low = std::min(low, m_points.at(i));
        high = std::max(high, m_points.at(i));
    }
    auto toY = [&](double y) {
        return plot.top() + (view.yMax - y) / ySpan * (plot.height() - 1);
    };
    const double top = std::floor(std::max(toY(high), double(plot.top() - 4))) - 2;
    const double bottom = m_activeSeries == kAreaSeries
                              ? plot.bottom()
                              : std::ceil(std::min(toY(low), double(plot.bottom() + 4))) + 2;
    if (bottom < top)
        return QRect();
    return columns & QRect(QPoint(columns.left(), int(top)), QPoint(columns.right(), int(bottom)));
}

QRect TrendChart::aroundPoint(const View &view, int64_t index) const
{
    const QRect plot = plotRect(rect());
    const int64_t firstShown = std::max<int64_t>(int64_t(std::ceil(view.xMin)), 0);
    if (index < firstShown || index >= pointCount())
        return QRect();
    const double xSpan = std::max(view.xMax - view.xMin, 1.0);
    const double ySpan = std::max(view.yMax - view.yMin, 1.0);
    const double x = plot.left() + (double(index) - view.xMin) / xSpan * (plot.width() - 1);
    const double y = plot.top() + (view.yMax - m_points.at(index)) / ySpan * (plot.height() - 1);
    // Clamped first: a point far off the axis range is far off any int.
    const double cx = std::clamp(x, double(plot.left() - 8), double(plot.right() + 8));
    const double cy = std::clamp(y, double(plot.top() - 8), double(plot.bottom() + 8));
    return QRect(QPoint(int(std::floor(cx)) - 2, int(std::floor(cy)) - 2),
                 QPoint(int(std::ceil(cx)) + 2, int(std::ceil(cy)) + 2));
}

QRect TrendChart::plotColumns(const View &view, int64_t first, int64_t last) const
{
    const QRect plot = plotRect(rect());
    const double xSpan = std::max(view.xMax - view.xMin, 1.0);
    auto toX = [&](int64_t x) {
        return plot.left() + (double(x) - view.xMin) / xSpan * (plot.width() - 1);
    };
    // Three pixels either side hold the pen's caps, and a column of the many-points drawing, which
    // can sit up to a pixel from its points' place.
    const double left = std::max(toX(first), double(plot.left())) - 3;
    const double right = std::min(toX(last), double(plot.right())) + 3;
    if (right < left)
        return QRect();
    return QRect(QPoint(int(std::floor(left)), plot.top()), QPoint(int(std::ceil(right)), plot.bottom())) &
           plot;
}

void TrendChart::ShowSeries(int index)
{
    if (index < 0 || index >= kSeriesCount)
        return;
    m_activeSeries = index;
    invalidatePicture();
}

void TrendChart::btFillClick()
{
    emit fillChanged(BtFill->isChecked());
    ShowSeries(BtFill->isChecked() ? kAreaSeries : kLineSeries);
}

void TrendChart::FillClick()
{
    BtFill->setChecked(!BtFill->isChecked()); // runs btFillClick, which tells the menu
    ShowSeries(BtFill->isChecked() ? kAreaSeries : kLineSeries);
}

void TrendChart::BtNewClick()
{
    m_points.clear();
    m_points.append(kPlaceholderValue);
    const int64_t before = m_paging.page();
    m_paging.setPage(before, pointCount()); // a page beyond the one page left cannot be shown
    ShowSeries(kAreaSeries);
    ShowSeries(BtFill->isChecked() ? kAreaSeries : kLineSeries);
    m_zoom.reset();
    pageMoved(before);
}

bool TrendChart::MaxrecordExit()
{
    const std::string text = Maxrecord->text().toStdString();
    const std::optional<int32_t> perPage = parseInteger(text);
    if (!perPage) {
        emit maxrecordError(QString::fromStdString(invalidIntegerMessage(text)));
        return false;
    }
    const int64_t before = m_paging.page();
    m_paging.setPointsPerPage(*perPage, pointCount());
    m_zoom.reset();
    pageMoved(before);
    return true;
}

void TrendChart::BtFirstClick()
{
    const int64_t before = m_paging.page();
    m_paging.first(pointCount());
    syncNavigation();
    pageMoved(before);
}

void TrendChart::BTPreviousClick()
{
    const int64_t before = m_paging.page();
    m_paging.previous(pointCount());
    syncNavigation();
    pageMoved(before);
}

void TrendChart::BtNextClick()
{
    const int64_t before = m_paging.page();
    m_paging.next(pointCount());
    syncNavigation();
    pageMoved(before);
}

void TrendChart::BTlastClick()
{
    const int64_t before = m_paging.page();
    m_paging.last(pointCount());
    syncNavigation();
    pageMoved(before);
}

void TrendChart::syncNavigation()
{
    const ChartPaging::Buttons &b = m_paging.buttons();
    BtFirst->setEnabled(b.first);
    BTPrevious->setEnabled(b.previous);
    BtNext->setEnabled(b.next);
    BTlast->setEnabled(b.last);
    Bt10->setText(QString::number(m_paging.caption()));
    emit navigationChanged();
}

void TrendChart::TbFdClick(QSize windowOuterSize)
{
    placeEnlarged(
        m_enlarge.toggle(toLayoutRect(geometry()), windowOuterSize.width(), windowOuterSize.height()));
}

void TrendChart::applyWindowLayout(int top, int width, int height)
{
    if (m_enlarge.isEnlarged() && ChartEnlargeRule::isEnlargedForResize(toLayoutRect(geometry())))
        placeEnlarged(m_enlarge.restore());
    setGeometry(x(), top, width, height);
}

void TrendChart::placeEnlarged(const LayoutRect &place)
{
    setGeometry(place.left, place.top, place.width, place.height);
    const bool enlarged = ChartEnlargeRule::isEnlargedForIcon(place);
    TbFd->setVisible(!enlarged);
    TbSx->setVisible(enlarged);
    if (enlarged)
        raise();
    emit enlargedChanged(enlarged);
}

void TrendChart::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    placeControls();
}

void TrendChart::changeEvent(QEvent *event)
{
    // The axes' font and the plot's place follow the font; the rest is drawn in fixed colours, but a
    // new palette or style repaints the whole widget anyway.
    if (event->type() == QEvent::FontChange || event->type() == QEvent::PaletteChange ||
        event->type() == QEvent::StyleChange)
        invalidatePicture();
    QWidget::changeEvent(event);
}

void TrendChart::placeControls()
{
    const int y = 2;
    int left = 4;
    BtFill->setGeometry(left, y, 42, kToolSize);
    left += 44;
    Maxrecord->setGeometry(left, y, 38, kToolSize);
    left += 42;
    for (QToolButton *button : {BtNew, BtSave}) {
        button->move(left, y);
        left += kToolSize;
    }
    left += 6;
    for (QToolButton *button : {BtFirst, BTPrevious, BtNext, BTlast}) {
        button->move(left, y);
        left += kToolSize;
    }
    Bt10->setGeometry(left + 2, y, kPageNumberWidth, kToolSize);
    left += 2 + kPageNumberWidth + kToolGap;
    // At the right edge, but never over the page number: a chart narrower than the row pushes the
    // icon out to the right rather than onto the paging controls.
    const int iconLeft = std::max(width() - kToolSize - 4, left);
    TbFd->move(iconLeft, y);
    TbSx->move(iconLeft, y);
}

TrendChart::View TrendChart::currentView() const
{
    if (m_zoom)
        return *m_zoom;
    const ChartPaging::Span span = m_paging.span(pointCount());
    return View{double(span.xMin), double(span.xMax), double(m_axisMin), double(m_axisMax)};
}

QRect TrendChart::plotRect(const QRect &target) const
{
    // Measured once per font: every new point asks where the plot is.
    if (m_labelMetricsFont != font() || m_labelWidth < 0) {
        QFont labelFont = font();
        labelFont.setPixelSize(10);
        const QFontMetrics fm(labelFont);
        m_labelWidth = fm.horizontalAdvance(QStringLiteral("-00000"));
        m_labelHeight = fm.height();
        m_labelMetricsFont = font();
    }
    const int left = target.left() + m_labelWidth + kTickLength + 4 + kWallSize;
    const int top = target.top() + kControlRowHeight + 6;
    const int right = target.right() - 10;
    const int bottom = target.bottom() - m_labelHeight - kTickLength - 4 - kWallSize;
    return QRect(QPoint(left, top), QPoint(std::max(right, left + 1), std::max(bottom, top + 1)));
}

namespace {

// Copies the part of the cached gradient and grid that is to be composed into the plot's image.
void copyBackdrop(const QImage &ground, const QRect &devicePart, QImage *layer)
{
    for (int y = devicePart.top(); y <= devicePart.bottom(); ++y) {
        std::memcpy(layer->scanLine(y) + devicePart.left() * 4,
                    ground.constScanLine(y) + devicePart.left() * 4, size_t(devicePart.width()) * 4);
    }
}

// More points than pixel columns: one low/high span per column keeps the work bounded, written
// straight into the image. Each span reaches over to its neighbour so the trace stays joined; the
// area fills below it down to the bottom wall.
// env holds the columns from firstColumn on; the first is only read for the join with the next.
void drawEnvelope(const std::vector<ChartSeriesStore::Extent> &env, int firstColumn, double yMax,
                  double ySpan, bool area, const QRect &devicePart, QImage *layer)
{
    const int h = layer->height();
    auto *bits = reinterpret_cast<uint32_t *>(layer->bits());
    const qsizetype stride = layer->bytesPerLine() / 4;
    const uint32_t traceColour = (area ? TrendChart::kAreaLineColor : TrendChart::kLinePenColor).rgb();
    const uint32_t fillColour = TrendChart::kAreaColor.rgb();
    auto toRow = [&](int32_t v) {
        return int(std::lround((yMax - v) / ySpan * (h - 1)));
    };
    bool joined = false;
    int previousTop = 0;
    int previousBottom = 0;
    for (int x = firstColumn, end = firstColumn + int(env.size()); x < end; ++x) {
        const ChartSeriesStore::Extent &e = env[size_t(x - firstColumn)];
        if (e.empty) {
            joined = false;
            continue;
        }
        const int ownTop = toRow(e.max);
        const int ownBottom = toRow(e.min);
        const int top = joined ? std::min(ownTop, previousBottom) : ownTop;
        const int bottom = joined ? std::max(ownBottom, previousTop) : ownBottom;
        joined = true;
        previousTop = ownTop;
        previousBottom = ownBottom;
        if (x < devicePart.left() || x > devicePart.right())
            continue;
        uint32_t *pixel = bits + x;
        for (int y = std::max(top, devicePart.top()), end = std::min(bottom, devicePart.bottom()); y <= end;
             ++y)
            pixel[y * stride] = traceColour;
        if (area) {
            for (int y = std::max(bottom + 1, devicePart.top()); y <= devicePart.bottom(); ++y)
                pixel[y * stride] = fillColour;
        }
    }
}

// Few enough points for each to have its place: the line, or the area with its outline and, with
// spaced (points far enough apart), a line under each. trace is in widget coordinates; a null clip
// draws over the whole image.
void drawTrace(const QPolygonF &trace, const QRect &plot, const QRect &clip, bool area, bool spaced,
               QImage *layer)
{
    QPainter lp(layer);
    if (!clip.isNull())
        lp.setClipRect(clip);
    lp.translate(-plot.left(), -plot.top());
    if (area) {
        const double base = plot.bottom() + 1;
        QPolygonF fill = trace;
        fill << QPointF(trace.last().x(), base) << QPointF(trace.first().x(), base);
        lp.setPen(Qt::NoPen);
        lp.setBrush(TrendChart::kAreaColor);
        lp.drawPolygon(fill);
        lp.setPen(QPen(TrendChart::kAreaLineColor, 1));
        // Area lines under each point, where points are far enough apart to tell them from a fill.
        if (spaced) {
            for (const QPointF &pt : std::as_const(trace))
                lp.drawLine(pt, QPointF(pt.x(), base));
        }
    } else {
        lp.setPen(QPen(TrendChart::kLinePenColor, 1));
    }
    lp.drawPolyline(trace);
}

// The walls around the back wall, with their outline (one pixel wide, along the right and bottom
// just outside its rectangle).
void paintWalls(QPainter &p, const QRect &plot)
{
    const QRect walls = plot.adjusted(-kWallSize, -1, 0, kWallSize);
    p.fillRect(QRect(plot.left() - kWallSize, plot.top(), kWallSize, plot.height() + kWallSize),
               TrendChart::kLeftWallColor);
    p.fillRect(QRect(plot.left(), plot.bottom() + 1, plot.width(), kWallSize), TrendChart::kBottomWallColor);
    p.setPen(QColor(128, 128, 128));
    p.setBrush(Qt::NoBrush);
    p.drawRect(walls);
}

} // namespace

void TrendChart::paintChart(QPainter &p, const QRect &target) const
{
    paintChart(p, target, target);
}

void TrendChart::updateAxisFont() const
{
    // Kept between paints: a font made afresh looks its metrics up again each time.
    if (m_axisFontBase != font() || m_axisFontHeight < 0) {
        m_axisFont = font();
        m_axisFont.setPixelSize(10);
        m_axisFont.setBold(false);
        m_axisFontHeight = QFontMetrics(m_axisFont).height();
        m_axisFontBase = font();
    }
}

double TrendChart::yStepFor(const View &view, const QRect &plot) const
{
    // Vertical axis: major steps far enough apart for their labels.
    const double ySpan = std::max(view.yMax - view.yMin, 1.0);
    const double plotH = plot.height() - 1;
    return niceStep(ySpan * (m_axisFontHeight * 1.6) / std::max(plotH, 1.0));
}

void TrendChart::composePlot(const QRect &plot, const View &view, double yStep, qreal dpr, const QRect &part,
                             const QRect &restore, QImage *target) const
{
    const double xSpan = std::max(view.xMax - view.xMin, 1.0);
    const double ySpan = std::max(view.yMax - view.yMin, 1.0);
    const double plotW = plot.width() - 1;
    const double plotH = plot.height() - 1;
    auto toX = [&](double x) {
        return plot.left() + (x - view.xMin) / xSpan * plotW;
    };
    auto toY = [&](double y) {
        return plot.top() + (view.yMax - y) / ySpan * plotH;
    };
    // Starts from a cached copy of the gradient and grid; the series is drawn from the points near
    // the part, clipped to it, so each pixel comes out as in a full drawing.
    const QImage &ground = backdrop(plot.size(), dpr, view.yMin, view.yMax, yStep);
    const QRect whole(QPoint(0, 0), plot.size());
    QImage &layer = *target;
    const QRect devicePart = part == whole ? layer.rect() : part;
    copyBackdrop(ground, restore == whole ? layer.rect() : restore & devicePart, &layer);

    const int64_t count = m_points.size();
    const int64_t firstIndex = std::max<int64_t>(int64_t(std::ceil(view.xMin)), 0);
    const int64_t endIndex = std::min<int64_t>(int64_t(std::floor(view.xMax)) + 1, count);
    const bool area = m_activeSeries == kAreaSeries;
    const int64_t slotCount = int64_t(std::floor(view.xMax)) - int64_t(std::ceil(view.xMin)) + 1;
    if (part.isEmpty()) {
        // Nothing of the plot is exposed.
    } else if (endIndex > firstIndex && slotCount > layer.width()) {
        const int64_t from = int64_t(std::ceil(view.xMin));
        // The column left of the part only tells how the part's first column joins it.
        const int fromColumn = std::max(devicePart.left() - 1, 0);
        drawEnvelope(
            m_points.envelope(from, from + slotCount, layer.width(), fromColumn, devicePart.right() + 1),
            fromColumn, view.yMax, ySpan, area, devicePart, &layer);
    } else if (endIndex > firstIndex) {
        // When zoomed, take the neighbours outside the view too so the line reaches the edges.
        const int64_t from = m_zoom ? std::max<int64_t>(firstIndex - 1, 0) : firstIndex;
        const int64_t to = m_zoom ? std::min<int64_t>(endIndex + 1, count) : endIndex;
        const bool spaced = to - from > 1 && toX(double(from + 1)) - toX(double(from)) >= 4;
        int64_t first = from;
        int64_t last = to;
        if (part != whole) {
            // Only the points whose segments reach the part, and two more on each side: the piece's own
            // ends, the pen's caps there and the fill's sides then lie outside the part, and each pixel
            // inside comes out as in the whole trace. A piece of fewer than three points lies wholly
            // outside.
            auto indexAt = [&](int px) {
                return view.xMin + (px - plot.left()) * xSpan / plotW;
            };
            first = std::max(from, int64_t(std::floor(indexAt(plot.left() + part.left() - 2))) - 2);
            last = std::min(to, int64_t(std::ceil(indexAt(plot.left() + part.right() + 2))) + 3);
            if (last - first < 3 && (first != from || last != to))
                last = first;
        }
        if (last > first) {
            QPolygonF trace;
            trace.reserve(int(last - first));
            for (int64_t i = first; i < last; ++i)
                trace << QPointF(toX(double(i)), toY(m_points.at(i)));
            drawTrace(trace, plot, part != whole ? part : QRect(), area, spaced, &layer);
        }
    }
}

void TrendChart::paintChart(QPainter &p, const QRect &target, const QRect &exposed) const
{
    p.save();
    const QRect plot = plotRect(target);
    // Under the plot the panel colour would be painted over at once.
    const bool beyondPlot = !plot.contains(exposed & target);
    if (beyondPlot)
        p.fillRect(target & exposed, kPanelColor);
    const View view = currentView();
    updateAxisFont();
    p.setFont(m_axisFont);
    const double yStep = yStepFor(view, plot);

    // The back wall and the series are drawn into an image of the plot and put on screen in one blit.
    const qreal dpr = p.device() ? p.device()->devicePixelRatioF() : 1.0;
    // Only the exposed part of the plot is composed (a new point exposes a few columns).
    const QRect whole(QPoint(0, 0), plot.size());
    const QRect part = dpr == 1.0 ? (exposed & plot).translated(-plot.topLeft()) : whole;
    if (m_layer.size() != plot.size() * dpr || m_layer.format() != QImage::Format_RGB32)
        m_layer = QImage(plot.size() * dpr, QImage::Format_RGB32);
    m_layer.setDevicePixelRatio(dpr);
    composePlot(plot, view, yStep, dpr, part, part, &m_layer);
    p.save();
    if (part == whole)
        p.drawImage(plot.topLeft(), m_layer);
    else if (!part.isEmpty())
        p.drawImage(plot.topLeft() + part.topLeft(), m_layer, part);
    if (beyondPlot)
        paintWalls(p, plot);
    p.restore();

    // The axes lie left of and below the walls; a repaint inside the plot leaves them out. Their
    // labels may reach a pixel or two past their boxes.
    const int axisX = plot.left() - kWallSize - 1;
    const int axisY = plot.bottom() + kWallSize + 1;
    constexpr int kLabelReach = 4;
    const QFontMetrics fm(m_axisFont);
    if (exposed.left() <= axisX + kLabelReach)
        paintVerticalAxis(p, fm, target, plot, view, axisX, yStep);
    if (exposed.bottom() >= axisY - kLabelReach)
        paintHorizontalAxis(p, fm, target, plot, view, axisY);
    p.restore();
}

void TrendChart::paintVerticalAxis(QPainter &p, const QFontMetrics &fm, const QRect &target,
                                   const QRect &plot, const View &view, int axisX, double yStep) const
{
    const double ySpan = std::max(view.yMax - view.yMin, 1.0);
    const double plotH = plot.height() - 1;
    auto toY = [&](double y) {
        return plot.top() + (view.yMax - y) / ySpan * plotH;
    };
    const AxisTicks yTicks = axisTicks(view.yMin, view.yMax, yStep, kMinorTicks);

    // The vertical axis line, dashed, with its ticks and labels.
    QPen axisPen(kAxisLineColor, 1, Qt::DashLine);
    p.setPen(axisPen);
    p.drawLine(axisX, plot.top(), axisX, plot.bottom() + kWallSize);
    p.setPen(QPen(kAxisLineColor, 1));
    for (double v : yTicks.minor) {
        const int my = int(std::round(toY(v)));
        p.drawLine(axisX - kTickLength, my, axisX, my);
    }
    for (double v : yTicks.major) {
        const int y = int(std::round(toY(v)));
        p.drawLine(axisX - kTickLength, y, axisX, y);
        p.setPen(Qt::black);
        p.drawText(
            QRect(target.left(), y - fm.height() / 2, axisX - kTickLength - 2 - target.left(), fm.height()),
            Qt::AlignRight | Qt::AlignVCenter, QString::number(std::llround(v)));
        p.setPen(QPen(kAxisLineColor, 1));
    }
}

void TrendChart::paintHorizontalAxis(QPainter &p, const QFontMetrics &fm, const QRect &target,
                                     const QRect &plot, const View &view, int axisY) const
{
    const double xSpan = std::max(view.xMax - view.xMin, 1.0);
    const double plotW = plot.width() - 1;
    auto toX = [&](double x) {
        return plot.left() + (x - view.xMin) / xSpan * plotW;
    };

    // Horizontal axis: X labels under the bottom wall.
    p.setPen(QColor(0, 0, 0));
    p.drawLine(plot.left(), axisY, plot.right(), axisY);
    const int labelRoom = fm.horizontalAdvance(QString::number(std::llround(view.xMax))) + 12;
    for (double v :
         axisTicks(view.xMin, view.xMax, std::max(xSpan * labelRoom / std::max(plotW, 1.0), 1.0)).major) {
        const int x = int(std::round(toX(v)));
        p.drawLine(x, axisY, x, axisY + kTickLength);
        const QString label = QString::number(std::llround(v));
        const int w = fm.horizontalAdvance(label);
        // Centred under its tick, but kept inside the chart at the right edge.
        const int left = std::min(x - w / 2 - 1, target.right() - w - 2);
        p.drawText(QRect(left, axisY + kTickLength, w + 2, fm.height()), Qt::AlignCenter, label);
    }
}

const QImage &TrendChart::backdrop(QSize size, qreal dpr, double yMin, double yMax, double yStep) const
{
    const BackdropKey key{size, dpr, yMin, yMax, yStep};
    if (m_backdropKey == key && !m_backdrop.isNull())
        return m_backdrop;
    m_backdropKey = key;
    m_backdrop = QImage(size * dpr, QImage::Format_RGB32);
    m_backdrop.setDevicePixelRatio(dpr);
    QPainter p(&m_backdrop);
    QLinearGradient gradient(0, 0, 0, size.height());
    gradient.setColorAt(0, kGradientTop);
    gradient.setColorAt(1, kGradientBottom);
    p.fillRect(QRect(QPoint(0, 0), size), gradient);
    // Grid lines at the major steps of the vertical axis.
    p.setPen(QPen(QColor(160, 160, 160), 1, Qt::DotLine));
    const double span = std::max(yMax - yMin, 1.0);
    for (double v : axisTicks(yMin, yMax, yStep).major) {
        const double y = std::round((yMax - v) / span * (size.height() - 1));
        p.drawLine(QPointF(1, y), QPointF(size.width() - 1, y));
    }
    return m_backdrop;
}

void TrendChart::invalidatePicture()
{
    m_pictureValid = false;
    // The row of controls lies on the panel's colour whatever the chart shows: left out of the
    // repaint, the controls are not painted again with it. Qt repaints everything itself when the
    // size, font, palette or style change.
    QRegion changed(rect());
    for (const QObject *child : children()) {
        if (child->isWidgetType())
            changed -= static_cast<const QWidget *>(child)->geometry();
    }
    update(changed);
}

void TrendChart::refreshPicture(QPainter &screen)
{
    const qreal dpr = devicePixelRatioF();
    const PictureKey key{size(), dpr, currentView(), m_activeSeries};
    const int64_t count = pointCount();
    if (m_pictureValid && key == m_pictureKey && count == m_picturePoints)
        return;
    // A zoomed trace also takes the points just outside the view, and on a scaled screen the walls and
    // axes reach into the plot's edge pixels: both are drawn whole.
    const bool addedOnly =
        m_pictureValid && key == m_pictureKey && count > m_picturePoints && !m_zoom && dpr == 1.0;
    if (!addedOnly) {
        // Drawn in the screen's own format, so copying it to the screen is a plain copy.
        const QPaintDevice *device = screen.paintEngine() ? screen.paintEngine()->paintDevice() : nullptr;
        const QImage::Format format = device && device->devType() == QInternal::Image
                                          ? static_cast<const QImage *>(device)->format()
                                          : QImage::Format_RGB32;
        if (m_picture.size() != size() * dpr || m_picture.format() != format)
            m_picture = QImage(size() * dpr, format);
        m_picture.setDevicePixelRatio(dpr);
    }
    // New points beyond the page shown (it no longer follows) change nothing on it.
    QRect changed = addedOnly ? QRect() : rect();
    if (addedOnly && count - m_picturePoints > 64) {
        changed = plotColumns(key.view, m_picturePoints - 2, count - 1);
    } else if (addedOnly) {
        for (int64_t i = m_picturePoints; i < count; ++i)
            changed |= changedByPoint(key.view, i);
    }
    const QImage::Format f = m_picture.format();
    if (addedOnly && !changed.isEmpty() &&
        (f == QImage::Format_RGB32 || f == QImage::Format_ARGB32_Premultiplied ||
         f == QImage::Format_ARGB32)) {
        // The columns are composed straight into the plot's place in the picture: the same pixels as
        // composing them apart and copying them there, without the copy.
        const QRect plot = plotRect(rect());
        const qsizetype perLine = m_picture.bytesPerLine();
        uchar *plotBits = m_picture.bits() + plot.top() * perLine + plot.left() * 4;
        // Kept between paints, with the paint engine it makes, as long as it views the same pixels.
        if (m_plotView.constBits() != plotBits || m_plotView.size() != plot.size() ||
            m_plotView.format() != f || m_plotView.bytesPerLine() != perLine)
            m_plotView = QImage(plotBits, plot.width(), plot.height(), perLine, f);
        // What the new points draw covers what the trace showed before, in the same colours, except
        // the cap at its old end: only around that point does the backdrop come back first.
        QRect restore = changed;
        if (count - m_picturePoints <= 64)
            restore &= aroundPoint(key.view, m_picturePoints - 1);
        composePlot(plot, key.view, m_pictureYStep, dpr, changed.translated(-plot.topLeft()),
                    restore.translated(-plot.topLeft()), &m_plotView);
    } else if (!changed.isEmpty()) {
        QPainter p(&m_picture);
        paintChart(p, rect(), changed);
    }
    if (!addedOnly) {
        // The grid's step follows the view, the plot's size and the font, all of which redraw whole.
        updateAxisFont();
        m_pictureYStep = yStepFor(key.view, plotRect(rect()));
    }
    m_pictureKey = key;
    m_picturePoints = count;
    m_pictureValid = true;
}

void TrendChart::paintEvent(QPaintEvent *event)
{
    QPainter p(this);
    refreshPicture(p);
    const QRect r = event->rect();
    const qreal dpr = m_picture.devicePixelRatio();
    p.drawImage(QPointF(r.topLeft()), m_picture, QRectF(QPointF(r.topLeft()) * dpr, QSizeF(r.size()) * dpr));
    if (m_dragStart) {
        p.setPen(QPen(Qt::black, 1, Qt::DotLine));
        p.setBrush(Qt::NoBrush);
        p.drawRect(QRect(*m_dragStart, m_dragEnd).normalized());
    }
}

void TrendChart::mousePressEvent(QMouseEvent *event)
{
    if (event->button() != Qt::LeftButton) {
        QWidget::mousePressEvent(event);
        return;
    }
    m_dragStart = event->position().toPoint();
    m_dragEnd = *m_dragStart;
}

void TrendChart::mouseMoveEvent(QMouseEvent *event)
{
    if (!m_dragStart)
        return;
    m_dragEnd = event->position().toPoint();
    update();
}

void TrendChart::mouseReleaseEvent(QMouseEvent *event)
{
    if (!m_dragStart || event->button() != Qt::LeftButton)
        return;
    const QPoint start = *m_dragStart;
    const QPoint end = event->position().toPoint();
    m_dragStart.reset();
    const QPoint delta = end - start;
    if (delta.x() > 2 && delta.y() > 2) {
        // Dragged down and right: show the rectangle.
        const QRect plot = plotRect(rect());
        const View view = currentView();
        const double xSpan = std::max(view.xMax - view.xMin, 1.0);
        const double ySpan = std::max(view.yMax - view.yMin, 1.0);
        auto dataX = [&](int px) {
            return view.xMin + (px - plot.left()) * xSpan / std::max(plot.width() - 1, 1);
        };
        auto dataY = [&](int py) {
            return view.yMax - (py - plot.top()) * ySpan / std::max(plot.height() - 1, 1);
        };
        zoomTo(dataX(start.x()), dataX(end.x()), dataY(end.y()), dataY(start.y()));
    } else if (delta.x() < -2 || delta.y() < -2) {
        undoZoom(); // dragged the other way: back to the page
    }
    update();
}

QImage TrendChart::renderChart() const
{
    QImage image(size(), QImage::Format_RGB32);
    QPainter p(&image);
    paintChart(p, QRect(QPoint(0, 0), size()));
    return image;
}

bool TrendChart::saveBitmap(const QString &path, QString *error) const
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        if (error)
            *error = QStringLiteral("%1: %2").arg(path, file.errorString());
        return false;
    }
    if (!renderChart().save(&file, "BMP")) {
        file.cancelWriting();
        if (error)
            *error = QStringLiteral("%1: the bitmap could not be written").arg(path);
        return false;
    }
    if (!file.commit()) {
        if (error)
            *error = QStringLiteral("%1: %2").arg(path, file.errorString());
        return false;
    }
    return true;
}

QString TrendChart::defaultBitmapPath()
{
#ifdef Q_OS_WIN
    return QStringLiteral("c:\\databmp.bmp");
#else
    return QDir(QDir::homePath()).filePath(QStringLiteral("databmp.bmp"));
#endif
}
