#include "app/CellGlyphs.h"

#include <QTextLayout>

#include <cmath>

namespace {

struct Laid
{
    QGlyphRun run;
    int width64 = 0;
    qreal height = 0;
    qreal ascent = 0;
};

// The text on one unbroken left-to-right line, as an item view's cell lays it out; false unless
// it is one run of one glyph per character.
bool layOutAlone(const QString &text, const QFont &font, Laid *laid)
{
    QTextLayout layout(text, font);
    QTextOption option;
    option.setWrapMode(QTextOption::ManualWrap);
    option.setTextDirection(Qt::LeftToRight);
    layout.setTextOption(option);
    layout.beginLayout();
    QTextLine line = layout.createLine();
    line.setLineWidth(1000);
    layout.endLayout();
    const QList<QGlyphRun> runs = layout.glyphRuns();
    if (runs.size() != 1 || runs.front().glyphIndexes().size() != text.size())
        return false;
    laid->run = runs.front();
    laid->width64 = int(std::lround(line.naturalTextWidth() * 64));
    laid->height = line.height();
    laid->ascent = line.ascent();
    for (const QPointF &at : laid->run.positions())
        if (at.y() != line.ascent())
            return false;
    return laid->run.positions().front().x() == 0;
}

bool laidOutAlone(QChar c)
{
    // Letters may join, kern in threes or change shape in context; digits and signs do not.
    return c.unicode() > 0x20 && c.unicode() < 0x7f && !c.isLetter();
}

} // namespace

void CellGlyphs::reset(const QFont &font)
{
    m_font = font;
    m_raw = QRawFont();
    m_lineHeight = 0;
    m_ascent = 0;
    m_glyphs.fill(Glyph());
    m_kerning.clear();
}

bool CellGlyphs::learn(char c)
{
    Glyph &glyph = m_glyphs[size_t(c)];
    glyph.state = Glyph::Unusable;
    Laid laid;
    if (!layOutAlone(QString(QLatin1Char(c)), m_font, &laid))
        return false;
    if (!m_raw.isValid()) {
        m_raw = laid.run.rawFont();
        m_lineHeight = laid.height;
        m_ascent = laid.ascent;
    }
    // Another face (a fallback) or other line metrics would be laid out apart.
    if (laid.run.rawFont() != m_raw || laid.height != m_lineHeight || laid.ascent != m_ascent)
        return false;
    glyph.index = laid.run.glyphIndexes().front();
    glyph.advance64 = laid.width64;
    glyph.ink = m_raw.boundingRect(glyph.index);
    glyph.state = Glyph::Usable;
    return true;
}

int CellGlyphs::kerning64(char a, char b)
{
    const int key = a << 8 | b;
    const auto known = m_kerning.constFind(key);
    if (known != m_kerning.constEnd())
        return *known;
    const char pair[] = {a, b, 0};
    Laid laid;
    int kerning = kNotLaidAlone;
    const Glyph &first = m_glyphs[size_t(a)];
    const Glyph &second = m_glyphs[size_t(b)];
    if (layOutAlone(QString::fromLatin1(pair), m_font, &laid) && laid.run.rawFont() == m_raw &&
        laid.run.glyphIndexes() == QList<quint32>{first.index, second.index}) {
        const int secondAt = int(std::lround(laid.run.positions().at(1).x() * 64));
        if (laid.width64 == secondAt + second.advance64)
            kerning = secondAt - first.advance64;
    }
    m_kerning.insert(key, kerning);
    return kerning;
}

bool CellGlyphs::layOut(const QString &text, QGlyphRun *run, int *advance64, QRectF *ink)
{
    if (text.isEmpty())
        return false;
    for (const QChar c : text) {
        if (!laidOutAlone(c))
            return false;
        const Glyph &glyph = m_glyphs[c.unicode()];
        if (glyph.state == Glyph::Unusable || (glyph.state == Glyph::Unknown && !learn(char(c.unicode()))))
            return false;
    }
    m_indexes.resize(text.size());
    m_positions.resize(text.size());
    int pen = 0;
    *ink = QRectF();
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char c = char(text.at(i).unicode());
        const Glyph &glyph = m_glyphs[size_t(c)];
        m_indexes[i] = glyph.index;
        m_positions[i] = QPointF(pen / 64.0, 0);
        *ink |= glyph.ink.translated(m_positions[i]);
        pen += glyph.advance64;
        if (i + 1 < text.size()) {
            const int kerning = kerning64(c, char(text.at(i + 1).unicode()));
            if (kerning == kNotLaidAlone)
                return false;
            pen += kerning;
        }
    }
    run->setRawFont(m_raw);
    run->setGlyphIndexes(m_indexes);
    run->setPositions(m_positions);
    *advance64 = pen;
    return true;
}
