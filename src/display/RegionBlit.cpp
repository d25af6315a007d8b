#include "display/RegionBlit.h"

#include <QPaintEngine>

#include <cmath>
#include <cstring>

ImageTarget ImageTarget::of(QPainter &painter)
{
    ImageTarget target;
    QPaintEngine *engine = painter.paintEngine();
    QPaintDevice *device = engine ? engine->paintDevice() : nullptr;
    if (!device || device->devType() != QInternal::Image || painter.hasClipping() ||
        painter.opacity() != 1.0 || painter.compositionMode() != QPainter::CompositionMode_SourceOver)
        return target;
    auto *image = static_cast<QImage *>(device);
    const QTransform toDevice = painter.deviceTransform();
    if (image->devicePixelRatio() != 1 || image->depth() < 8 || image->depth() % 8 != 0 ||
        toDevice.type() > QTransform::TxTranslate || toDevice.dx() != std::floor(toDevice.dx()) ||
        toDevice.dy() != std::floor(toDevice.dy()))
        return target;
    target.image = image;
    target.offset = QPoint(int(toDevice.dx()), int(toDevice.dy()));
    const QRegion clip = engine->systemClip();
    target.allowed = clip.isEmpty() ? QRegion(image->rect()) : clip & image->rect();
    return target;
}

QRegion ImageTarget::reach(const QRect &area) const
{
    return allowed & area.translated(offset);
}

void copyPixels(const ImageTarget &target, const QImage &source, const QRect &from, QPoint to)
{
    const int bytesPerPixel = target.image->depth() / 8;
    const size_t rowBytes = size_t(from.width()) * size_t(bytesPerPixel);
    // Row by row through pointers: asking the image for each row checks whether it is shared.
    uchar *out = target.image->scanLine(to.y()) + to.x() * bytesPerPixel;
    const uchar *in = source.constScanLine(from.top()) + from.left() * bytesPerPixel;
    const qsizetype outStride = target.image->bytesPerLine();
    const qsizetype inStride = source.bytesPerLine();
    for (int y = 0; y < from.height(); ++y, out += outStride, in += inStride)
        std::memcpy(out, in, rowBytes);
}

namespace {

// Whether copying the image's bits gives what drawing it gives on a target of `format`.
bool copiesAsDrawn(const QImage &image, QImage::Format format, bool opaque)
{
    if (image.format() == format)
        return opaque || !image.hasAlphaChannel();
    // Opaque 32-bit pixels have the same bits with and without an alpha channel.
    return image.format() == QImage::Format_RGB32 &&
           (format == QImage::Format_ARGB32_Premultiplied || format == QImage::Format_ARGB32);
}

} // namespace

void blitRegion(QPainter &painter, const QRegion &region, const QImage &image, QPoint origin, bool opaque)
{
    const QRect bounds = image.rect().translated(origin);
    const ImageTarget target = ImageTarget::of(painter);
    if (target && image.depth() == target.image->depth() &&
        copiesAsDrawn(image, target.image->format(), opaque)) {
        // One region operation for all rectangles: a needle's bands are many small ones.
        const QRegion parts = target.allowed & (region & bounds).translated(target.offset);
        for (const QRect &part : parts)
            copyPixels(target, image, part.translated(-target.offset - origin), part.topLeft());
        return;
    }
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
