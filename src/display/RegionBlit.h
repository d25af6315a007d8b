#pragma once

#include <QImage>
#include <QPainter>
#include <QRegion>

// Copies the parts of `image` that lie under `region` (in painter coordinates, the image's top left
// at `origin`) one rectangle at a time. Each copy then clips to a plain rectangle and is a straight
// blit; through a region of several rectangles the painter would blend it span by span and hand a
// tall copy to its helper threads, which costs more than the copy itself. Same pixels either way.
inline void blitRegion(QPainter &painter, const QRegion &region, const QImage &image, QPoint origin = {})
{
    const QRect bounds = image.rect().translated(origin);
    painter.save();
    for (const QRect &r : region) {
        const QRect part = r & bounds;
        if (part.isEmpty())
            continue;
        painter.setClipRect(part);
        painter.drawImage(part.topLeft(), image, part.translated(-origin));
    }
    painter.restore();
}
