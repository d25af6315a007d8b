#pragma once

#include <QByteArray>
#include <QImage>
#include <QRect>

#include <deque>
#include <functional>

class QPainter;

// Pictures of a drawing together with the pixels it was drawn on. Painting draws each pixel from
// what was there and what is drawn, so a drawing of the same look on the same ground gives the same
// pixels: those are copied instead of drawn again. Only drawings straight onto an image are kept
// (ImageTarget); anything else is drawn as it comes.
class GroundPictures
{
public:
    explicit GroundPictures(size_t capacity) : m_capacity(capacity) {}

    // Paints what `draw` paints inside `area` (painter coordinates; `draw` must not reach outside
    // it), looking like `look`: two drawings with the same look must paint the same pixels.
    void paint(QPainter &painter, const QRect &area, const QByteArray &look,
               const std::function<void()> &draw);
    void clear() { m_pictures.clear(); }

    int drawnCount() const { return m_drawn; }
    int copiedCount() const { return m_copied; }

private:
    struct Picture
    {
        QByteArray look;
        QRect area; // where it was drawn, in painter coordinates
        QImage ground;
        QImage drawn;
    };

    size_t m_capacity;
    std::deque<Picture> m_pictures;
    int m_drawn = 0;
    int m_copied = 0;
};
