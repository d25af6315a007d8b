#pragma once

#include <QFont>
#include <QGlyphRun>
#include <QHash>
#include <QRawFont>

#include <array>
#include <climits>
#include <vector>

// Lays out a line of digits and ASCII punctuation without shaping it: each character's glyph and
// advance, and how much each pair of characters is kerned, are learnt once from the font's own
// layout of that character or of a line holding every pair. A grid row's number, time and value are
// new texts every row, and shaping them costs far more than drawing them. Texts with any other
// character (letters may join or change shape in context), or with a character or pair the font
// does not lay out as one glyph each from its primary face, are left to the caller.
class CellGlyphs
{
public:
    CellGlyphs() { reset(QFont()); }

    // Forgets everything learnt; the next texts are laid out in font.
    void reset(const QFont &font);
    const QFont &font() const { return m_font; }

    struct Line
    {
        QGlyphRun run;     // pen starting at 0 on the baseline
        int advance64 = 0; // in 64ths of a pixel, the unit the font's layout adds advances in
        QRectF ink;        // where the glyphs' ink stays
    };
    // The glyphs of text on one line, valid until the next call; null when it cannot vouch for
    // the result.
    const Line *layOut(const QString &text);
    // The height and ascent of the line those texts are laid out on (valid after a layOut).
    qreal lineHeight() const { return m_lineHeight; }
    qreal ascent() const { return m_ascent; }

private:
    struct Glyph
    {
        enum State : char
        {
            Unknown,
            Usable,
            Unusable,
        };
        State state = Unknown;
        quint32 index = 0;
        int advance64 = 0;
        QRectF ink; // from the pen on the baseline
    };
    static constexpr char kFirst = 0x21; // the characters laid out here: '!' to '~'
    static constexpr int kCount = 0x7f - kFirst;
    static constexpr qint16 kUnknown = SHRT_MIN;
    static constexpr qint16 kNotLaidAlone = SHRT_MIN + 1;
    // A text is drawn twice as a rule, new and then no longer current: the lines laid out lately
    // are kept, each in a place its text's hash chooses.
    static constexpr size_t kKeptLines = 64;

    bool learn(char c);
    int kerning64(char a, char b);
    qint16 &kerningOf(char a, char b) { return m_kerning[size_t((a - kFirst) * kCount + (b - kFirst))]; }
    // Learns how the characters of numbers and times kern, all from one laid out line.
    void learnNumberPairs();

    QFont m_font;
    QRawFont m_raw;
    qreal m_lineHeight = 0;
    qreal m_ascent = 0;
    bool m_numberPairsLearnt = false;
    std::array<Glyph, 128> m_glyphs{};
    std::vector<qint16> m_kerning; // by the pair's two characters
    struct Kept
    {
        QString text;
        Line line;
    };
    std::array<Kept, kKeptLines> m_kept;
    QList<quint32> m_indexes;
    QList<QPointF> m_positions;
};
