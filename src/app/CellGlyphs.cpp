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
    m_numberPairsLearnt = false;
    m_glyphs.fill(Glyph());
    m_kerning.assign(size_t(kCount * kCount), kUnknown);
    m_kept.fill(Kept());
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

void CellGlyphs::learnNumberPairs()
{
    m_numberPairsLearnt = true;
    QString usable;
    for (const char c : {'0', '1', '2', '3', '4', '5', '6', '7', '8', '9', '.', ',', ':', '-', '+'}) {
        const Glyph &glyph = m_glyphs[size_t(c)];
        if (glyph.state == Glyph::Usable || (glyph.state == Glyph::Unknown && learn(c)))
            usable += QLatin1Char(c);
    }
    if (usable.isEmpty())
        return;
    // Every pair once, in one line, instead of a line per pair: each character, then itself
    // followed by each later one, and the first again at the end. Pairs kern the same wherever
    // they stand, which drawing a text from its pairs relies on anyway.
    QString line;
    for (qsizetype i = 0; i < usable.size(); ++i) {
        line += usable.at(i);
        for (qsizetype j = i + 1; j < usable.size(); ++j) {
            line += usable.at(i);
            line += usable.at(j);
        }
    }
    line += usable.front();
    Laid laid;
    if (!layOutAlone(line, m_font, &laid) || laid.run.rawFont() != m_raw)
        return;
    const QList<quint32> indexes = laid.run.glyphIndexes();
    const QList<QPointF> positions = laid.run.positions();
    for (qsizetype i = 0; i < line.size(); ++i)
        if (indexes.at(i) != m_glyphs[line.at(i).unicode()].index)
            return;
    const auto at64 = [&positions](qsizetype i) {
        return int(std::lround(positions.at(i).x() * 64));
    };
    if (laid.width64 != at64(line.size() - 1) + m_glyphs[line.back().unicode()].advance64)
        return;
    for (qsizetype i = 0; i + 1 < line.size(); ++i) {
        const char a = char(line.at(i).unicode());
        kerningOf(a, char(line.at(i + 1).unicode())) =
            qint16(at64(i + 1) - at64(i) - m_glyphs[size_t(a)].advance64);
    }
}

int CellGlyphs::kerning64(char a, char b)
{
    qint16 &known = kerningOf(a, b);
    if (known != kUnknown)
        return known;
    const char pair[] = {a, b, 0};
    Laid laid;
    known = kNotLaidAlone;
    const Glyph &first = m_glyphs[size_t(a)];
    const Glyph &second = m_glyphs[size_t(b)];
    if (layOutAlone(QString::fromLatin1(pair), m_font, &laid) && laid.run.rawFont() == m_raw &&
        laid.run.glyphIndexes() == QList<quint32>{first.index, second.index}) {
        const int secondAt = int(std::lround(laid.run.positions().at(1).x() * 64));
        if (laid.width64 == secondAt + second.advance64)
            known = qint16(secondAt - first.advance64);
    }
    return known;
}

const CellGlyphs::Line *CellGlyphs::layOut(const QString &text)
{
    if (text.isEmpty())
        return nullptr;
    for (const QChar c : text) {
        if (!laidOutAlone(c))
            return nullptr;
        const Glyph &glyph = m_glyphs[c.unicode()];
        if (glyph.state == Glyph::Unusable || (glyph.state == Glyph::Unknown && !learn(char(c.unicode()))))
            return nullptr;
    }
    Kept &kept = m_kept[qHash(text) % kKeptLines];
    if (kept.text == text)
        return &kept.line;
    if (!m_numberPairsLearnt)
        learnNumberPairs();
    m_indexes.resize(text.size());
    m_positions.resize(text.size());
    int pen = 0;
    Line line;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char c = char(text.at(i).unicode());
        const Glyph &glyph = m_glyphs[size_t(c)];
        m_indexes[i] = glyph.index;
        m_positions[i] = QPointF(pen / 64.0, 0);
        line.ink |= glyph.ink.translated(m_positions[i]);
        pen += glyph.advance64;
        if (i + 1 < text.size()) {
            const int kerning = kerning64(c, char(text.at(i + 1).unicode()));
            if (kerning == kNotLaidAlone)
                return nullptr;
            pen += kerning;
        }
    }
    line.run.setRawFont(m_raw);
    line.run.setGlyphIndexes(m_indexes);
    line.run.setPositions(m_positions);
    line.advance64 = pen;
    kept.text = text;
    kept.line = line;
    return &kept.line;
}
