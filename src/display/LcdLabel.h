#pragma once

#include "display/GroundPictures.h"
#include "display/LcdFont.h"

#include <QColor>
#include <QImage>
#include <QString>
#include <QWidget>

#include <functional>
#include <vector>

// A label in the LCD symbol font, drawn transparent over its parent (or over a ground it is given). With
// autoSize on, the label grows or shrinks its width to the text whenever the text changes, keeping its left
// edge.
class LcdLabel : public QWidget
{
    Q_OBJECT

public:
    explicit LcdLabel(QWidget *parent = nullptr);
    LcdLabel(const QString &text, int pixelHeight, bool bold, QWidget *parent = nullptr);

    QString text() const { return m_text; }
    void setText(const QString &text);

    int pixelHeight() const { return m_pixelHeight; }
    void setPixelHeight(int pixelHeight);

    bool bold() const { return m_bold; }
    void setBold(bool bold);

    bool italic() const { return m_italic; }
    void setItalic(bool italic);

    QColor colour() const { return m_colour; }
    void setColour(const QColor &colour);

    Qt::Alignment alignment() const { return m_alignment; }
    void setAlignment(Qt::Alignment alignment);

    bool autoSize() const { return m_autoSize; }
    void setAutoSize(bool autoSize);

    QSize sizeHint() const override;

    // Paints what lies under the label (in its parent's coordinates, the painter drawing in them),
    // making the label opaque: its parent is no longer painted under it. None by default.
    using Ground = std::function<void(QPainter &painter, const QRegion &region)>;
    void setGround(Ground ground);
    // The ground now paints other pixels (the parent's colour, size or drawing changed).
    void groundChanged();

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    QRect paintedRect() const;
    QRect shownInk() const; // what paintedRect() covers while the label is shown, else nothing
    void textLayoutChanged(const QRect &paintedBefore, const QSize &hintBefore);
    QByteArray look() const; // everything that the label's pixels on a ground depend on
    bool paintGroundPicture(QPainter &painter, const QRegion &region,
                            const std::function<void(QPainter &)> &draw);

    // The layout of the text as it is now, with where it paints in a box of the label's size.
    struct KeptLayout
    {
        QString text;
        int pixelHeight = 0;
        bool bold = false;
        bool italic = false;
        LcdFont::Layout layout;
        QSize box;
        Qt::Alignment alignment;
        QRect painted; // for box and alignment
        // The label with this text on its ground, as painted at its geometry in its colour and
        // alignment (empty when there is none).
        QImage onGround;
        QRect groundGeometry;
        QColor groundColour;
        Qt::Alignment groundAlignment;
    };
    KeptLayout &keptLayout() const;
    const LcdFont::Layout &cachedLayout() const { return keptLayout().layout; }

    QString m_text;
    // A digit comes back to the same few texts: each is laid out once and kept.
    mutable std::vector<KeptLayout> m_kept;
    mutable size_t m_current = 0; // m_kept's entry for the text, when m_layoutValid
    mutable bool m_layoutValid = false;
    int m_pixelHeight = 12;
    bool m_bold = false;
    bool m_italic = false;
    bool m_autoSize = false;
    QColor m_colour = Qt::black;
    Qt::Alignment m_alignment = Qt::AlignLeft | Qt::AlignTop;
    GroundPictures m_pictures{16};
    Ground m_ground;
};
