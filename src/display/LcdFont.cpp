#include "display/LcdFont.h"

#include <QFont>
#include <QFontMetricsF>
#include <QHash>
#include <QPainter>
#include <QPainterPathStroker>
#include <QPolygonF>
#include <QTransform>

#include <algorithm>
#include <cmath>

namespace {

constexpr qreal kCapRatio = 0.75;
constexpr qreal kBaselineRatio = 0.93;
constexpr qreal kSlant = 0.06;       // the gentle lean of a meter's LCD
constexpr qreal kItalicSlant = 0.18; // port panels and other italic captions
constexpr qreal kGapRatio = 0.05;

// Seven segment masks, bit 0 = a (top) ... bit 6 = g (middle).
enum Segment : unsigned
{
    SegA = 1u << 0,
    SegB = 1u << 1,
    SegC = 1u << 2,
    SegD = 1u << 3,
    SegE = 1u << 4,
    SegF = 1u << 5,
    SegG = 1u << 6,
};

constexpr unsigned kDigitMasks[10] = {
    SegA | SegB | SegC | SegD | SegE | SegF,        // 0
    SegB | SegC,                                    // 1
    SegA | SegB | SegD | SegE | SegG,               // 2
    SegA | SegB | SegC | SegD | SegG,               // 3
    SegB | SegC | SegF | SegG,                      // 4
    SegA | SegC | SegD | SegF | SegG,               // 5
    SegA | SegC | SegD | SegE | SegF | SegG,        // 6
    SegA | SegB | SegC,                             // 7
    SegA | SegB | SegC | SegD | SegE | SegF | SegG, // 8
    SegA | SegB | SegC | SegD | SegF | SegG,        // 9
};

// Seven segment mask of a character, or -1 when it is not a segment glyph.
int segmentMask(QChar ch)
{
    const char16_t c = ch.unicode();
    if (c >= u'0' && c <= u'9')
        return int(kDigitMasks[c - u'0']);
    switch (c) {
    case u'@': // the overload letter L
        return SegD | SegE | SegF;
    case u'/': // the port numbers as the port panels show them
        return int(kDigitMasks[1]);
    case u',':
        return int(kDigitMasks[2]);
    case u'<':
        return int(kDigitMasks[3]);
    case u'>':
        return int(kDigitMasks[4]);
    default:
        return -1;
    }
}

// Upright ink width of a drawn glyph as a fraction of the pixel height, or 0 for letters.
qreal symbolInkRatio(QChar ch, int pixelHeight)
{
    // The big digits are as narrow as the glass's digit places; small ones are drawn wider so
    // their segments keep some weight next to the caption letters.
    if (segmentMask(ch) >= 0)
        return pixelHeight >= 40 ? 0.38 : 0.46;
    switch (ch.unicode()) {
    case u'-':
        return 0.25;
    case u'+':
        return 0.46;
    case u'*':
        return 0.62;
    case u'#':
        return 0.72;
    case u'?':
        return 0.68;
    case u')':
        return 1.0;
    case u'&':
        return 0.76;
    case u'"':
        return 0.52;
    case u'!':
        return 0.56;
    case u'$':
        return 0.32;
    case u'(':
        return 0.30;
    default:
        return 0.0;
    }
}

struct Metrics
{
    qreal h = 0;    // pixel height
    qreal c = 0;    // cap height
    qreal skew = 0; // horizontal lean per pixel of height
    qreal seg = 0;  // segment thickness
    qreal sw = 0;   // stroke width of the symbols
    qreal gap = 0;  // between glyphs
    bool bold = false;
};

Metrics metricsFor(int pixelHeight, bool bold, bool italic)
{
    Metrics m;
    m.h = pixelHeight;
    m.c = LcdFont::capHeight(pixelHeight);
    m.skew = italic ? kItalicSlant : kSlant;
    m.seg = (0.078 * m.h + 0.7) * (bold ? 1.25 : 1.0);
    m.sw = (0.066 * m.h + 0.5) * (bold ? 1.3 : 1.0);
    m.gap = kGapRatio * m.h;
    m.bold = bold;
    return m;
}

QPainterPath polygonPath(const QPolygonF &polygon)
{
    QPainterPath p;
    p.addPolygon(polygon);
    p.closeSubpath();
    return p;
}

// A horizontal segment with pointed ends at (x0, y) and (x1, y); bevel is how far the points reach
// in, as a share of the thickness.
QPainterPath horizontalSegment(qreal x0, qreal x1, qreal y, qreal t, qreal bevel = 0.5)
{
    const qreal e = std::min(t * bevel, (x1 - x0) / 2);
    return polygonPath(QPolygonF({{x0, y},
                                  {x0 + e, y - t / 2},
                                  {x1 - e, y - t / 2},
                                  {x1, y},
                                  {x1 - e, y + t / 2},
                                  {x0 + e, y + t / 2}}));
}

QPainterPath stroked(const QPainterPath &line, qreal width, Qt::PenCapStyle cap = Qt::RoundCap)
{
    QPainterPathStroker stroker;
    stroker.setWidth(width);
    stroker.setCapStyle(cap);
    stroker.setJoinStyle(Qt::RoundJoin);
    return stroker.createStroke(line);
}

QPainterPath line(qreal x0, qreal y0, qreal x1, qreal y1)
{
    QPainterPath p;
    p.moveTo(x0, y0);
    p.lineTo(x1, y1);
    return p;
}

// Segments with mitred outer corners, as on the glass: the outer ones are trapezoids that meet their
// neighbours on a diagonal, the middle one and the inner ends are pointed.
void addSegments(QVector<QPainterPath> &out, unsigned mask, qreal w, const Metrics &m)
{
    const qreal t = std::min(m.seg, w / 3);
    const qreal g = std::max<qreal>(0.3, t * 0.16);
    const qreal top = -m.c;
    const qreal mid = -m.c / 2;
    const qreal h = t / 2;
    if (m.c < 24) {
        // Small digits: plain bars that join, so a few pixels of height still read as a digit.
        const qreal half = m.c / 2 + h;
        const QRectF bars[7] = {{0, top, w, t},    {w - t, top, t, half}, {w - t, mid - h, t, half},
                                {0, -t, w, t},     {0, mid - h, t, half}, {0, top, t, half},
                                {0, mid - h, w, t}};
        for (int i = 0; i < 7; ++i) {
            if (mask & (1u << i)) {
                QPainterPath bar;
                bar.addRect(bars[i]);
                out << bar;
            }
        }
        return;
    }
    if (mask & SegA)
        out << polygonPath(QPolygonF({{g, top}, {w - g, top}, {w - t - g, top + t}, {t + g, top + t}}));
    if (mask & SegD)
        out << polygonPath(QPolygonF({{t + g, -t}, {w - t - g, -t}, {w - g, 0}, {g, 0}}));
    if (mask & SegG)
        out << horizontalSegment(h + g, w - h - g, mid, t);
    if (mask & SegF)
        out << polygonPath(
            QPolygonF({{0, top + g}, {t, top + t + g}, {t, mid - h - g}, {h, mid - g}, {0, mid - h - g}}));
    if (mask & SegE)
        out << polygonPath(
            QPolygonF({{0, mid + h + g}, {h, mid + g}, {t, mid + h + g}, {t, -t - g}, {0, -g}}));
    if (mask & SegB)
        out << polygonPath(QPolygonF(
            {{w, top + g}, {w, mid - h - g}, {w - h, mid - g}, {w - t, mid - h - g}, {w - t, top + t + g}}));
    if (mask & SegC)
        out << polygonPath(
            QPolygonF({{w, mid + h + g}, {w, -g}, {w - t, -t - g}, {w - t, mid + h + g}, {w - h, mid + g}}));
}

QPainterPath ring(QPointF centre, qreal radius)
{
    QPainterPath p;
    p.addEllipse(centre, radius, radius);
    return p;
}

// Draws the picture of symbol ch into out, in a body w wide and c high (before the slant).
void addSymbol(QVector<QPainterPath> &out, QChar ch, qreal w, const Metrics &m)
{
    const qreal c = m.c;
    const qreal sw = m.sw;
    const qreal hs = sw / 2;
    switch (ch.unicode()) {
    case u'-':
        out << horizontalSegment(0, w, -c / 2, std::min(m.seg, c / 4), 0.3);
        break;
    case u'+': { // micro
        const qreal x0 = hs;
        const qreal x1 = w - hs - 0.12 * w;
        out << stroked(line(x0, -0.64 * c, x0, 0.2 * c), sw, Qt::FlatCap);
        QPainterPath u;
        u.moveTo(x0, -0.34 * c);
        u.cubicTo(x0, 0.02 * c, x1, 0.02 * c, x1, -0.34 * c);
        out << stroked(u, sw);
        QPainterPath leg;
        leg.moveTo(x1, -0.64 * c);
        leg.lineTo(x1, -0.1 * c);
        leg.quadTo(x1, -hs, w - hs, -hs);
        out << stroked(leg, sw);
        break;
    }
    case u'*': { // ohm
        const QRectF bowl(hs + 0.04 * w, -c + hs, w - sw - 0.08 * w, 0.8 * c);
        QPainterPath p;
        p.arcMoveTo(bowl, -58);
        const QPointF rightEnd = p.currentPosition();
        p.moveTo(w - hs, -hs);
        p.lineTo(rightEnd.x() + 0.02 * w, -hs);
        p.lineTo(rightEnd);
        p.arcTo(bowl, -58, 296);
        const QPointF leftEnd = p.currentPosition();
        p.lineTo(leftEnd.x() - 0.02 * w, -hs);
        p.lineTo(hs, -hs);
        out << stroked(p, sw, Qt::FlatCap);
        break;
    }
    case u'#':   // degrees Celsius
    case u'?': { // degrees Fahrenheit
        const qreal r = std::max<qreal>(0.1 * c, sw);
        out << stroked(ring(QPointF(hs + r, -c + hs + r), r), sw * 0.8);
        if (ch == u'#') {
            const QRectF bowl(0.36 * w, -c + hs, w - 0.36 * w - hs, c - sw);
            QPainterPath p;
            p.arcMoveTo(bowl, 45);
            p.arcTo(bowl, 45, 270);
            out << stroked(p, sw, Qt::FlatCap);
        } else {
            const qreal x = 0.46 * w;
            out << stroked(line(x, -c + hs, x, 0), sw, Qt::FlatCap);
            out << stroked(line(x - hs, -c + hs, w - hs, -c + hs), sw, Qt::FlatCap);
            out << stroked(line(x, -0.5 * c, 0.88 * w, -0.5 * c), sw, Qt::FlatCap);
        }
        break;
    }
    case u')': { // diode
        const qreal y = -0.5 * c;
        const qreal x0 = 0.26 * w;
        const qreal x1 = 0.68 * w;
        out << polygonPath(QPolygonF({{x0, -0.88 * c}, {x0, -0.12 * c}, {x1, y}}));
        out << stroked(line(x1, -0.88 * c, x1, -0.12 * c), sw, Qt::FlatCap);
        out << stroked(line(0, y, x0, y), sw * 0.8, Qt::FlatCap);
        out << stroked(line(x1, y, w, y), sw * 0.8, Qt::FlatCap);
        break;
    }
    case u'&': { // beeper: a speaker with two sound waves
        const qreal y = -0.5 * c;
        out << polygonPath(QPolygonF({{0, -0.64 * c},
                                      {0.2 * w, -0.64 * c},
                                      {0.46 * w, -0.92 * c},
                                      {0.46 * w, -0.08 * c},
                                      {0.2 * w, -0.36 * c},
                                      {0, -0.36 * c}}));
        for (const qreal r : {0.22 * w, 0.44 * w}) {
            const QRectF box(0.46 * w - r, y - r, 2 * r, 2 * r);
            QPainterPath wave;
            wave.arcMoveTo(box, -48);
            wave.arcTo(box, -48, 96);
            out << stroked(wave, sw * 0.85);
        }
        break;
    }
    case u'"': { // hold: an H in a box
        QPainterPath box;
        box.addRoundedRect(QRectF(hs, -c + hs, w - sw, c - sw), 0.16 * w, 0.16 * w);
        out << stroked(box, sw * 0.8);
        const qreal x0 = 0.32 * w;
        const qreal x1 = 0.68 * w;
        out << stroked(line(x0, -0.76 * c, x0, -0.24 * c), sw, Qt::FlatCap);
        out << stroked(line(x1, -0.76 * c, x1, -0.24 * c), sw, Qt::FlatCap);
        out << stroked(line(x0, -0.5 * c, x1, -0.5 * c), sw * 0.9, Qt::FlatCap);
        break;
    }
    case u'!': { // record: a ring around a dot
        const qreal r = std::min(w, c) / 2 - hs;
        const QPointF centre(w / 2, -c / 2);
        out << stroked(ring(centre, r), sw * 0.85);
        out << ring(centre, r * 0.48);
        break;
    }
    case u'$': { // battery, standing, nearly empty
        const qreal nub = 0.12 * c;
        QPainterPath body;
        body.addRect(QRectF(hs, -c + nub + hs, w - sw, c - nub - sw));
        out << stroked(body, sw * 0.9, Qt::FlatCap);
        QPainterPath top;
        top.addRect(QRectF(0.28 * w, -c, 0.44 * w, nub + hs));
        out << top;
        QPainterPath charge;
        const qreal inset = sw * 1.4;
        charge.addRect(QRectF(inset, -inset - 0.16 * c, w - 2 * inset, 0.16 * c));
        out << charge;
        break;
    }
    case u'(': { // up/down arrow
        const qreal x = w / 2;
        const qreal head = std::min(0.24 * c, w / 2);
        out << stroked(line(x, -c + head, x, -head), sw, Qt::FlatCap);
        out << polygonPath(QPolygonF({{x, -c}, {x + w / 2, -c + head}, {x - w / 2, -c + head}}));
        out << polygonPath(QPolygonF({{x, 0}, {x + w / 2, -head}, {x - w / 2, -head}}));
        break;
    }
    default:
        break;
    }
}

// The condensed sans face the captions' letters come from, sized so its capitals are capHeight high.
QFont letterFont(qreal capHeight, bool bold)
{
    QFont font;
    font.setFamilies({QStringLiteral("Liberation Sans Narrow"), QStringLiteral("Liberation Sans"),
                      QStringLiteral("DejaVu Sans Condensed"), QStringLiteral("Sans Serif")});
    font.setStyleHint(QFont::SansSerif);
    font.setBold(bold);
    font.setPixelSize(100);
    static qreal ratio[2] = {0, 0};
    qreal &r = ratio[bold ? 1 : 0];
    if (r <= 0) {
        const qreal cap = QFontMetricsF(font).capHeight();
        r = cap > 1 ? cap / 100.0 : 0.72;
    }
    font.setPixelSize(std::max(1, int(std::lround(capHeight / r))));
    font.setHintingPreference(QFont::PreferNoHinting);
    return font;
}

} // namespace

bool LcdFont::isSymbol(QChar c)
{
    return symbolInkRatio(c, 100) > 0;
}

qreal LcdFont::capHeight(int pixelHeight)
{
    return std::max<qreal>(1, std::round(kCapRatio * pixelHeight));
}

qreal LcdFont::baseline(int pixelHeight)
{
    return std::round(kBaselineRatio * pixelHeight);
}

namespace {

struct LayoutKey
{
    QString text;
    int pixelHeight;
    bool bold;
    bool italic;

    bool operator==(const LayoutKey &o) const
    {
        return pixelHeight == o.pixelHeight && bold == o.bold && italic == o.italic && text == o.text;
    }
};

size_t qHash(const LayoutKey &key, size_t seed = 0)
{
    return qHashMulti(seed, key.text, key.pixelHeight, key.bold, key.italic);
}

LcdFont::Layout buildLayout(const QString &text, int pixelHeight, bool bold, bool italic);

} // namespace

LcdFont::Layout LcdFont::layout(const QString &text, int pixelHeight, bool bold, bool italic)
{
    // The same few texts come back with every frame (digits, units, captions), and building their
    // outlines costs more than drawing them. Layouts are shared copies, so keeping them is cheap.
    static QHash<LayoutKey, Layout> cache;
    LayoutKey key{text, pixelHeight, bold, italic};
    const auto found = cache.constFind(key);
    if (found != cache.cend())
        return *found;
    if (cache.size() >= 512)
        cache.clear();
    return *cache.insert(std::move(key), buildLayout(text, pixelHeight, bold, italic));
}

namespace {

LcdFont::Layout buildLayout(const QString &text, int pixelHeight, bool bold, bool italic)
{
    LcdFont::Layout result;
    if (text.isEmpty() || pixelHeight <= 0)
        return result;
    const Metrics m = metricsFor(pixelHeight, bold, italic);
    const qreal slantWidth = m.skew * m.c;
    const QTransform slant(1, 0, -m.skew, 1, 0, 0);
    qreal x = 0;
    qreal inkEnd = 0;
    int i = 0;
    while (i < text.size()) {
        const QChar ch = text.at(i);
        const qreal ratio = symbolInkRatio(ch, pixelHeight);
        if (ratio > 0) {
            // The body keeps its upright width; a stronger (italic) lean widens the glyph instead.
            const qreal body = std::max<qreal>(1, ratio * m.h - kSlant * m.c);
            const qreal ink = body + slantWidth;
            QVector<QPainterPath> pieces;
            const int mask = segmentMask(ch);
            if (mask >= 0)
                addSegments(pieces, unsigned(mask), body, m);
            else
                addSymbol(pieces, ch, body, m);
            const QTransform place = slant * QTransform::fromTranslate(x, 0);
            for (const QPainterPath &piece : pieces)
                result.pieces << place.map(piece);
            inkEnd = x + ink;
            x += ink + m.gap;
            ++i;
            continue;
        }
        // A run of letters from the sans face.
        int end = i;
        while (end < text.size() && symbolInkRatio(text.at(end), pixelHeight) <= 0)
            ++end;
        const QString run = text.mid(i, end - i);
        const QFont font = letterFont(m.c, bold);
        QPainterPath letters;
        letters.addText(QPointF(0, 0), font, run);
        result.pieces << (slant * QTransform::fromTranslate(x, 0)).map(letters);
        const qreal advance = QFontMetricsF(font).horizontalAdvance(run);
        inkEnd = x + advance + (run.back().isSpace() ? 0 : slantWidth);
        x += advance + m.gap * 0.5;
        i = end;
    }
    result.width = inkEnd;
    for (const QPainterPath &piece : std::as_const(result.pieces))
        result.ink |= piece.controlPointRect();
    return result;
}

} // namespace

qreal LcdFont::textWidth(const QString &text, int pixelHeight, bool bold, bool italic)
{
    return layout(text, pixelHeight, bold, italic).width;
}

void LcdFont::paint(QPainter &painter, const QRectF &box, const QString &text, int pixelHeight, bool bold,
                    const QColor &colour, Qt::Alignment alignment, bool italic)
{
    paint(painter, box, layout(text, pixelHeight, bold, italic), pixelHeight, colour, alignment);
}

namespace {

// Where paint() puts a layout in its box.
QTransform placement(const QRectF &box, const LcdFont::Layout &l, int pixelHeight, Qt::Alignment alignment)
{
    const qreal scaleX = (l.width > box.width() && l.width > 0) ? box.width() / l.width : 1.0;
    const qreal width = l.width * scaleX;
    qreal x = box.left();
    if (alignment & Qt::AlignRight)
        x = box.right() - width;
    else if (alignment & Qt::AlignHCenter)
        x = box.left() + (box.width() - width) / 2;
    qreal base = box.top() + LcdFont::baseline(pixelHeight);
    if (alignment & Qt::AlignBottom)
        base = box.bottom() - (pixelHeight - LcdFont::baseline(pixelHeight));
    else if (alignment & Qt::AlignVCenter)
        base = box.top() + (box.height() + LcdFont::capHeight(pixelHeight)) / 2;
    // Whole pixels keep horizontal segment edges and baselines sharp.
    return QTransform::fromScale(scaleX, 1) * QTransform::fromTranslate(std::round(x), std::round(base));
}

} // namespace

void LcdFont::paint(QPainter &painter, const QRectF &box, const Layout &l, int pixelHeight,
                    const QColor &colour, Qt::Alignment alignment)
{
    if (l.pieces.isEmpty())
        return;
    const QTransform place = placement(box, l, pixelHeight, alignment);
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing, true);
    painter.setPen(Qt::NoPen);
    painter.setBrush(colour);
    for (const QPainterPath &piece : l.pieces)
        painter.drawPath(place.map(piece));
    painter.restore();
}

QRect LcdFont::paintedRect(const QRectF &box, const Layout &l, int pixelHeight, Qt::Alignment alignment)
{
    const QRectF &ink = l.ink;
    if (ink.isNull())
        return QRect();
    // Antialiased edges reach into the pixels the outline only touches; one more pixel all round
    // leaves rounding no say.
    return placement(box, l, pixelHeight, alignment).mapRect(ink).toAlignedRect().adjusted(-1, -1, 1, 1);
}
