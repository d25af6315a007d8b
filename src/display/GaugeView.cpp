#include "display/GaugeView.h"

#include "display/RegionBlit.h"

#include <QPaintEvent>
#include <QPainter>
#include <QPolygon>
#include <QRegion>

#include <algorithm>
#include <cmath>

namespace {

// The picture KD1: the gauge image shown stretched over the panel.
class GaugePicture : public QWidget
{
public:
    GaugePicture(const QImage *image, QWidget *parent) : QWidget(parent), m_image(image) {}

protected:
    void paintEvent(QPaintEvent *event) override
    {
        QPainter painter(this);
        if (m_image->isNull())
            painter.fillRect(rect(), Qt::white);
        else if (m_image->size() == size() && m_image->devicePixelRatio() == 1)
            blitRegion(painter, event->region(), *m_image);
        else
            painter.drawImage(rect(), *m_image);
    }

private:
    const QImage *m_image;
};

// A fixed elliptic arc at the top left of the picture, part of the scale as users know it: the
// ellipse bounded by (0, 50) and (100, 80), counter-clockwise from the ray towards (100, 10) to the
// ray towards (50, 100). Drawn as a polyline along the rays' true angles.
QPolygon fixedArc()
{
    const double cx = 50.0;
    const double cy = 65.0;
    const double a = 50.0;
    const double b = 15.0;
    const double start = std::atan2(cy - 10.0, 100.0 - cx);
    double end = std::atan2(cy - 100.0, 50.0 - cx);
    if (end < start)
        end += 2.0 * M_PI;
    QPolygon arc;
    const int steps = 72;
    for (int s = 0; s <= steps; ++s) {
        const double phi = start + (end - start) * s / steps;
        const double c = std::cos(phi);
        const double sn = std::sin(phi);
        const double r = a * b / std::sqrt(b * b * c * c + a * a * sn * sn);
        arc << QPoint(int(std::lround(cx + r * c)), int(std::lround(cy - r * sn)));
    }
    return arc;
}

// The pixels a needle line of pen width 2 can touch inside bounds, as bands a few rows high along
// it: the bounding box of a slanted needle would take in much of the dial. A pixel of the line lies
// within two pixels of it both ways, so each band spans the line's x over its rows and three more
// rows either side, widened by three pixels.
QRegion needleRegion(const GaugeNeedle &n, const QRect &bounds)
{
    constexpr int kMargin = 3;
    constexpr int kBand = 8;
    const double x0 = n.tip.x;
    const double y0 = n.tip.y;
    const double x1 = n.inner.x;
    const double y1 = n.inner.y;
    auto xAt = [&](double y) {
        if (y0 == y1)
            return y < y0 ? std::min(x0, x1) : std::max(x0, x1);
        return x0 + std::clamp((y - y0) / (y1 - y0), 0.0, 1.0) * (x1 - x0);
    };
    const int top = std::max(bounds.top(), int(std::floor(std::min(y0, y1))) - kMargin);
    const int bottom = std::min(bounds.bottom(), int(std::ceil(std::max(y0, y1))) + kMargin);
    QRegion region;
    for (int y = top; y <= bottom; y += kBand) {
        const int last = std::min(y + kBand - 1, bottom);
        const double a = xAt(y - kMargin);
        const double b = xAt(last + kMargin);
        const QRect band(QPoint(int(std::floor(std::min(a, b))) - kMargin, y),
                         QPoint(int(std::ceil(std::max(a, b))) + kMargin, last));
        region += band & bounds;
    }
    return region;
}

void drawDot(QPainter &painter, GaugePoint p, const QColor &colour, int penWidth)
{
    painter.setPen(QPen(colour, penWidth));
    painter.setBrush(colour);
    painter.drawEllipse(QRectF(p.x, p.y, 2, 2));
}

// A scale has hundreds of dots of a few looks at whole-pixel places, and stroking each costs far more
// than copying its pixels: without antialiasing a dot's pixels are wholly its colour or untouched, so
// a picture of one dot on a transparent ground, copied over, gives the pixels drawing would.
class DotStamps
{
public:
    void draw(QPainter &painter, GaugePoint p, const QColor &colour, int penWidth)
    {
        const QImage &stamp = stampFor(colour, penWidth);
        painter.drawImage(QPoint(p.x - kAt, p.y - kAt), stamp);
    }

private:
    static constexpr int kAt = 6;    // where the dot's box starts in its picture
    static constexpr int kSize = 16; // room for the box and a pen of up to 8 pixels around it

    const QImage &stampFor(const QColor &colour, int penWidth)
    {
        for (const Stamp &s : m_stamps) {
            if (s.colour == colour && s.penWidth == penWidth)
                return s.image;
        }
        QImage image(kSize, kSize, QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::transparent);
        QPainter painter(&image);
        painter.setRenderHint(QPainter::Antialiasing, false);
        drawDot(painter, GaugePoint{kAt, kAt}, colour, penWidth);
        painter.end();
        m_stamps.push_back({colour, penWidth, image});
        return m_stamps.back().image;
    }

    struct Stamp
    {
        QColor colour;
        int penWidth;
        QImage image;
    };
    std::vector<Stamp> m_stamps;
};

} // namespace

GaugeView::GaugeView(QWidget *parent) : QFrame(parent)
{
    setObjectName(QStringLiteral("KD"));
    setFrameStyle(QFrame::NoFrame);
    setAutoFillBackground(true);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, Qt::white);
    setPalette(pal);
    m_pictureWidget = new GaugePicture(&m_picture, this);
    m_pictureWidget->setObjectName(QStringLiteral("KD1"));
    // The picture covers the panel with opaque pixels, so the white under it need not be painted
    // each time the needle moves.
    m_pictureWidget->setAttribute(Qt::WA_OpaquePaintEvent);
    resize(318, 137);
}

void GaugeView::ensurePictureSize()
{
    const QSize size = QSize(width(), height()).expandedTo(QSize(1, 1));
    if (m_picture.size() != size)
        m_picture = QImage(size, QImage::Format_RGB32);
}

void GaugeView::resizeEvent(QResizeEvent *event)
{
    QFrame::resizeEvent(event);
    m_pictureWidget->setGeometry(contentsRect());
    followPanelSize();
}

void GaugeView::followPanelSize()
{
    if (m_picture.isNull() || m_picture.size() == QSize(width(), height()).expandedTo(QSize(1, 1)))
        return;
    // Redraw at the new size; the old needle line is not on the new picture, so nothing is erased.
    m_onScale = false;
    ensurePictureSize();
    QPainter painter(&m_picture);
    const GaugeGeometry g = scaleGeometry();
    painter.fillRect(m_picture.rect(), Qt::white);
    if (g.valid()) {
        drawScale(painter, g);
        if (m_needleShown) {
            m_needle = g.needle(m_lastInput, m_inputs.HzMode, m_inputs.GaugeSpan);
            painter.setPen(QPen(Qt::black, 2));
            painter.drawLine(m_needle.tip.x, m_needle.tip.y, m_needle.inner.x, m_needle.inner.y);
        }
    }
    m_pictureWidget->update();
}

void GaugeView::KDsetup(int)
{
    ensurePictureSize();
    m_needleShown = false;
    const auto same = [this](const DrawnScale &d) {
        return d.size == m_picture.size() && d.inputs == m_inputs;
    };
    const auto drawn = std::find_if(m_drawnScales.begin(), m_drawnScales.end(), same);
    if (drawn != m_drawnScales.end()) {
        // The scale drawn again over itself (a limit confirmed unchanged) differs only where the
        // needle has been since.
        if (m_onScale && m_scaleInputs == m_inputs && m_picture.size() == m_pictureWidget->size())
            m_pictureWidget->update(m_needleMarks);
        else
            m_pictureWidget->update();
        m_picture = drawn->picture; // shared until the needle is drawn on it
        scaleLaid();
        return;
    }
    m_pictureWidget->update();
    QPainter painter(&m_picture);
    painter.fillRect(m_picture.rect(), Qt::white);
    const GaugeGeometry g = scaleGeometry();
    if (g.valid()) {
        drawScale(painter, g);
    }
    painter.end();
    constexpr size_t kKeptScales = 6;
    if (m_drawnScales.size() == kKeptScales)
        m_drawnScales.erase(m_drawnScales.begin());
    m_drawnScales.push_back({m_picture.size(), m_inputs, m_picture});
    scaleLaid();
}

void GaugeView::scaleLaid()
{
    m_onScale = true;
    m_scaleInputs = m_inputs;
    m_needleMarks = QRect();
}

void GaugeView::drawScale(QPainter &painter, const GaugeGeometry &g)
{
    const QColor red(255, 0, 0);
    const QColor blue(0, 0, 255);
    const QPolygon arc = fixedArc();
    QFont labelFont;
    labelFont.setFamilies({QStringLiteral("Liberation Sans"), QStringLiteral("Sans Serif")});
    labelFont.setPixelSize(11);
    painter.setFont(labelFont);
    painter.setBackground(Qt::white);
    painter.setBrush(Qt::white);
    painter.setRenderHint(QPainter::Antialiasing, false);
    const QPen arcPen = m_inputs.HzMode ? QPen(red, 2) : QPen(blue, 1);
    DotStamps dots;
    for (const ScaleMark &mark : gaugeScaleMarks(g, m_inputs)) {
        if (!mark.label.empty()) {
            // Labels sit on an opaque white ground, as the marks under them are meant to be covered.
            painter.setBackgroundMode(Qt::OpaqueMode);
            painter.setPen(Qt::black);
            painter.drawText(QRect(mark.labelAt.x, mark.labelAt.y, 100, 40), Qt::AlignLeft | Qt::AlignTop,
                             QString::fromStdString(mark.label));
            painter.setBackgroundMode(Qt::TransparentMode);
        }
        painter.setPen(arcPen);
        painter.drawPolyline(arc);
        if (mark.dot)
            dots.draw(painter, mark.dotAt, red, 2);
    }
    // The limit band keeps the normal division in the frequency mode too.
    const int m = m_inputs.GaugeSpan * 10;
    for (int j = 0; j <= m; ++j)
        dots.draw(painter, g.point(float(j), float(m), 3.0f), gaugeBandRed(m_inputs, j) ? red : blue, 4);
}

void GaugeView::KDrun(int v)
{
    const bool firstPicture = m_picture.isNull();
    if (firstPicture) {
        ensurePictureSize();
        m_picture.fill(Qt::white);
    }
    // A hidden panel gets its resize event only when shown.
    followPanelSize();
    const GaugeGeometry g = scaleGeometry();
    if (!g.valid())
        return;
    const GaugeNeedle next = g.needle(v, m_inputs.HzMode, m_inputs.GaugeSpan);
    if (!firstPicture && m_needleShown && next.tip == m_needle.tip && next.inner == m_needle.inner) {
        // Erasing the needle and drawing it again in the same place would leave every pixel as it is.
        m_lastInput = v;
        return;
    }
    // The old needle painted white, then the new one black.
    const NeedleRuns &erased = needleRuns(m_needle);
    setRuns(erased, qRgb(255, 255, 255));
    const QRegion erasedArea = erased.area; // the next look-up may drop the kept runs
    m_needle = next;
    const NeedleRuns &drawn = needleRuns(next);
    setRuns(drawn, qRgb(0, 0, 0));
    m_lastInput = v;
    m_needleShown = true;
    if (firstPicture || m_picture.size() != m_pictureWidget->size()) {
        m_onScale = false;
        m_pictureWidget->update();
        return;
    }
    // Only the pixels under the erased and the new needle changed.
    const QRegion changed = erasedArea | drawn.area;
    m_pictureWidget->update(changed);
    if (m_onScale)
        m_needleMarks |= changed.boundingRect();
}

GaugeGeometry GaugeView::scaleGeometry() const
{
    if (m_geometrySize != size()) {
        m_geometry = GaugeGeometry(width(), height());
        m_geometrySize = size();
    }
    return m_geometry;
}

const GaugeView::NeedleRuns &GaugeView::needleRuns(const GaugeNeedle &needle)
{
    if (m_runsSize != m_picture.size() || m_needleScratch.format() != m_picture.format()) {
        m_needleRuns.clear();
        m_runsSize = m_picture.size();
        if (m_scratchPainter.isActive())
            m_scratchPainter.end();
        m_needleScratch = QImage(m_runsSize, m_picture.format());
        m_needleScratch.fill(Qt::white);
        m_scratchPainter.begin(&m_needleScratch);
        m_scratchPainter.setRenderHint(QPainter::Antialiasing, false);
        m_scratchPainter.setPen(QPen(Qt::black, 2));
    }
    const NeedleKey key{needle.tip, needle.inner};
    const auto kept = m_needleRuns.find(key);
    if (kept != m_needleRuns.end())
        return kept->second;
    // A needle sweeping a meter's whole range visits a thousand places or so in each mode (under a
    // kilobyte of runs each).
    constexpr size_t kKeptNeedles = 2048;
    if (m_needleRuns.size() >= kKeptNeedles)
        m_needleRuns.clear();
    NeedleRuns runs;
    const QRegion reach = needleRegion(needle, m_needleScratch.rect());
    // Drawn as the picture would be drawn on, then read back where the line can reach (and made white
    // again): a line of the same pen in the same place covers the same pixels on any white ground.
    m_scratchPainter.drawLine(needle.tip.x, needle.tip.y, needle.inner.x, needle.inner.y);
    const QRgb white = qRgb(255, 255, 255);
    uchar *bits = m_needleScratch.bits();
    const qsizetype stride = m_needleScratch.bytesPerLine();
    runs.runs.reserve(size_t(m_needleScratch.height()));
    for (const QRect &r : reach) {
        for (int y = r.top(); y <= r.bottom(); ++y) {
            auto *line = reinterpret_cast<QRgb *>(bits + y * stride);
            for (int x = r.left(); x <= r.right(); ++x) {
                if (line[x] == white)
                    continue;
                const int first = x;
                while (x <= r.right() && line[x] != white)
                    line[x++] = white;
                runs.runs.push_back({qint16(y), qint16(first), qint16(x - first)});
            }
        }
    }
    // The area to repaint: the runs' extent in bands a few rows high, as few rectangles as keep
    // the slanted needle's bands narrow.
    constexpr int kBand = 16;
    std::vector<QRect> bands;
    for (const NeedleRuns::Run &run : runs.runs) {
        const QRect r(run.x, run.y, run.width, 1);
        if (bands.empty() || bands.back().top() / kBand != run.y / kBand)
            bands.push_back(r);
        else
            bands.back() |= r;
    }
    runs.area.setRects(bands.data(), int(bands.size()));
    return m_needleRuns.emplace(key, std::move(runs)).first->second;
}

void GaugeView::setRuns(const NeedleRuns &runs, QRgb colour)
{
    uchar *bits = m_picture.bits();
    const qsizetype stride = m_picture.bytesPerLine();
    for (const NeedleRuns::Run &r : runs.runs) {
        auto *line = reinterpret_cast<QRgb *>(bits + r.y * stride) + r.x;
        std::fill(line, line + r.width, colour);
    }
}
