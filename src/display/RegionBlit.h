#pragma once

#include <QImage>
#include <QPainter>
#include <QRegion>

// The image under a painter, when the painter draws straight onto one: one device pixel per pixel,
// no transformation but a whole-pixel shift, no clipping of its own, plain source-over at full
// opacity. Then pixels can be read and written there directly, as drawing would.
struct ImageTarget
{
    QImage *image = nullptr;
    QPoint offset;   // painter coordinates + offset = image coordinates
    QRegion allowed; // in image coordinates: where painting may change pixels

    static ImageTarget of(QPainter &painter);
    explicit operator bool() const { return image != nullptr; }
    // The parts of `area` (painter coordinates) that may be painted, in image coordinates.
    QRegion reach(const QRect &area) const;
};

// Copies the rectangle `from` of `source` (same format as the target) to `to` on the target.
void copyPixels(const ImageTarget &target, const QImage &source, const QRect &from, QPoint to);

// Copies the parts of `image` that lie under `region` (in painter coordinates, the image's top left
// at `origin`). The pixels are those drawImage() gives; `opaque` says that every pixel of the image
// is opaque even where its format could hold transparency. On an image target where the copy needs
// no blending the rows are copied as they are. Otherwise each rectangle is drawn on its own: each
// copy then clips to a plain rectangle and is a straight blit; through a region of several
// rectangles the painter would blend it span by span and hand a tall copy to its helper threads.
void blitRegion(QPainter &painter, const QRegion &region, const QImage &image, QPoint origin = {},
                bool opaque = false);
