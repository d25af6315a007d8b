#include "display/GroundPictures.h"

#include "display/RegionBlit.h"

#include <QPainter>

#include <cstring>

namespace {

// Whether the target holds `picture`'s pixels at `parts` (image coordinates; `from` is where the
// picture's top left lies there).
bool samePixels(const ImageTarget &target, const QRegion &parts, const QImage &picture, QPoint from)
{
    if (picture.format() != target.image->format())
        return false;
    const int bytesPerPixel = target.image->depth() / 8;
    for (const QRect &r : parts) {
        const size_t rowBytes = size_t(r.width()) * size_t(bytesPerPixel);
        for (int y = r.top(); y <= r.bottom(); ++y) {
            const uchar *shown = target.image->constScanLine(y) + r.left() * bytesPerPixel;
            const uchar *kept = picture.constScanLine(y - from.y()) + (r.left() - from.x()) * bytesPerPixel;
            if (std::memcmp(shown, kept, rowBytes) != 0)
                return false;
        }
    }
    return true;
}

} // namespace

void GroundPictures::paint(QPainter &painter, const QRect &area, const QByteArray &look,
                           const std::function<void()> &draw)
{
    const ImageTarget target = ImageTarget::of(painter);
    if (!target || area.isEmpty()) {
        draw();
        return;
    }
    const QRegion parts = target.reach(area);
    const QPoint at = area.topLeft() + target.offset;
    for (const Picture &p : m_pictures) {
        if (p.area != area || p.look != look || !samePixels(target, parts, p.ground, at))
            continue;
        // Where painting is clipped the target keeps its pixels, as drawing would.
        for (const QRect &r : parts)
            copyPixels(target, p.drawn, r.translated(-at), r.topLeft());
        ++m_copied;
        return;
    }
    // Only a drawing of the whole area can be kept: elsewhere the target keeps older pixels.
    const QRect whole = area.translated(target.offset);
    const bool keep = parts == QRegion(whole);
    Picture picture;
    if (keep)
        picture.ground = target.image->copy(whole);
    draw();
    ++m_drawn;
    if (!keep)
        return;
    picture.look = look;
    picture.area = area;
    picture.drawn = target.image->copy(whole);
    if (m_pictures.size() >= m_capacity)
        m_pictures.pop_front();
    m_pictures.push_back(std::move(picture));
}
