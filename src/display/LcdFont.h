#pragma once

#include <QColor>
#include <QPainterPath>
#include <QRect>
#include <QRectF>
#include <QString>
#include <QVector>

class QPainter;

// The LCD symbol font, drawn rather than loaded: digits, "-" and "@" (the letter L) as slanted seven
// segment shapes, the meter symbols as small pictures, and the letters of the captions in a condensed
// sans face slanted to match. The characters that stand for symbols:
//   "+" micro, "*" ohm, "#" degrees Celsius, "?" degrees Fahrenheit, ")" diode, "&" beeper,
//   '"' hold, "!" record, "$" battery, "(" up/down arrow;
//   "/" "," "<" ">" the port numbers 1 to 4 in seven segment style.
// Heights are the font's pixel height: the cap height is three quarters of it and the baseline
// sits 93 % down from the top, as the labels of the panel expect.
class LcdFont
{
public:
    // Text laid out at the origin: x from 0, baseline at y = 0, glyphs rising to -capHeight.
    struct Layout
    {
        QVector<QPainterPath> pieces; // filled one by one so overlapping strokes stay solid
        qreal width = 0;              // from the first glyph's left edge to the last glyph's ink end
        QRectF ink;                   // the pieces' control points together
    };

    static Layout layout(const QString &text, int pixelHeight, bool bold = false, bool italic = false);
    static qreal textWidth(const QString &text, int pixelHeight, bool bold = false, bool italic = false);
    static qreal capHeight(int pixelHeight);
    static qreal baseline(int pixelHeight); // distance from the top of the em box

    // Draws text in box. Vertical placement: top puts the em box at the box's top (as a label does),
    // vcenter centres the cap height, bottom puts the em box's bottom at the box's bottom. Text wider
    // than the box is narrowed to fit rather than cut.
    static void paint(QPainter &painter, const QRectF &box, const QString &text, int pixelHeight, bool bold,
                      const QColor &colour, Qt::Alignment alignment, bool italic = false);
    // The same for text laid out beforehand (labels keep their layout between repaints).
    static void paint(QPainter &painter, const QRectF &box, const Layout &layout, int pixelHeight,
                      const QColor &colour, Qt::Alignment alignment);
    // The pixels that paint() with the same arguments can touch (empty for an empty layout): a text
    // change needs to repaint only these.
    static QRect paintedRect(const QRectF &box, const Layout &layout, int pixelHeight,
                             Qt::Alignment alignment);

    // True for the characters drawn as pictures rather than taken from the letter face.
    static bool isSymbol(QChar c);
};
