#include "app/CellGlyphs.h"

#include <QTextLayout>
#include <gtest/gtest.h>

namespace {

// The glyphs and pen positions of text as the font's own layout puts them on one line.
struct Shaped
{
    QList<quint32> indexes;
    QList<QPointF> positions;
    int advance64 = 0;
};

Shaped shaped(const QString &text, const QFont &font)
{
    QTextLayout layout(text, font);
    layout.beginLayout();
    QTextLine line = layout.createLine();
    line.setLineWidth(1000);
    layout.endLayout();
    Shaped result;
    for (const QGlyphRun &run : layout.glyphRuns()) {
        result.indexes += run.glyphIndexes();
        for (const QPointF &at : run.positions())
            result.positions += at - QPointF(0, line.ascent());
    }
    result.advance64 = int(std::lround(line.naturalTextWidth() * 64));
    return result;
}

TEST(CellGlyphs, TextsAreLaidOutAsTheFontsOwnLayoutDoes)
{
    // Every pair of the characters numbers and times are written with, then texts of several
    // characters; each laid out twice (the second time from what was kept) in a few faces, some
    // of which kern digits and punctuation.
    const QString characters = QStringLiteral("0123456789.,:-+/");
    QStringList texts;
    for (const QChar a : characters)
        for (const QChar b : characters)
            texts << QString(a) + b;
    texts << QStringLiteral("1111111") << QStringLiteral("12:34:56.789") << QStringLiteral("-0.0017")
          << QStringLiteral("+1,5/7") << QStringLiteral("7.1.7:1") << QStringLiteral("(1)")
          << QStringLiteral("9");
    const auto font = [](const char *family, int pixels, bool bold, bool italic) {
        QFont f(QString::fromLatin1(family));
        f.setPixelSize(pixels);
        f.setBold(bold);
        f.setItalic(italic);
        return f;
    };
    const QFont fonts[] = {
        font("Liberation Sans", 10, false, false), font("Liberation Sans", 13, true, false),
        font("DejaVu Serif", 11, false, true),     font("DejaVu Sans Mono", 12, false, false),
        font("Nimbus Roman", 17, false, false),
    };
    for (const QFont &f : fonts) {
        CellGlyphs glyphs;
        glyphs.reset(f);
        int laidOut = 0;
        for (int pass = 0; pass < 2; ++pass) {
            for (const QString &text : texts) {
                const CellGlyphs::Line *line = glyphs.layOut(text);
                if (!line)
                    continue;
                ++laidOut;
                const Shaped expected = shaped(text, f);
                const std::string what = f.family().toStdString() + " '" + text.toStdString() + "'";
                EXPECT_EQ(line->run.glyphIndexes(), expected.indexes) << what;
                EXPECT_EQ(line->run.positions(), expected.positions) << what;
                EXPECT_EQ(line->advance64, expected.advance64) << what;
                EXPECT_TRUE(line->ink.isValid()) << what;
            }
        }
        // A face that lays out none of these on its own would prove nothing.
        EXPECT_GT(laidOut, texts.size()) << f.family().toStdString();
    }
}

} // namespace
