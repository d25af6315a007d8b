#include "display/MeterBar.h"

#include <QApplication>
#include <QImage>
#include <QPaintEngine>
#include <QPainter>
#include <QProxyStyle>
#include <QStyleFactory>
#include <QStyleOptionProgressBar>

#include <cmath>
#include <cstring>
#include <deque>

// Draws the bar as the application's style does, once per look and ground: a picture is kept of the
// pixels the style produced together with the pixels it drew on, and when the same look is asked for
// on the same ground the picture is copied. So every copy is exactly what the style would draw there,
// even where its rounded corners blend with the window behind. Only drawings of the whole bar on an
// image device are kept; anything else is drawn by the style.
class MeterBar::PictureStyle : public QProxyStyle
{
public:
    PictureStyle() : QProxyStyle(QStyleFactory::create(QApplication::style()->name())) {}

    void drawControl(ControlElement element, const QStyleOption *option, QPainter *painter,
                     const QWidget *widget) const override
    {
        const auto *bar = qstyleoption_cast<const QStyleOptionProgressBar *>(option);
        if (element == CE_ProgressBar && bar && copyOrKeep(*bar, painter, widget))
            return;
        QProxyStyle::drawControl(element, option, painter, widget);
    }

    mutable int drawn = 0;
    mutable int copied = 0;

private:
    // What the look depends on, besides the ground.
    struct Look
    {
        QSize size;
        State state;
        Qt::LayoutDirection direction = Qt::LeftToRight;
        qint64 palette = 0;
        int minimum = 0;
        int maximum = 0;
        int progress = 0;
        bool textVisible = false;
        QString text;
        Qt::Alignment textAlignment;
        QString font; // only when the text shows
        bool inverted = false;
        bool bottomToTop = false;

        bool operator==(const Look &o) const
        {
            return size == o.size && state == o.state && direction == o.direction && palette == o.palette &&
                   minimum == o.minimum && maximum == o.maximum && progress == o.progress &&
                   textVisible == o.textVisible && text == o.text && textAlignment == o.textAlignment &&
                   font == o.font && inverted == o.inverted && bottomToTop == o.bottomToTop;
        }
    };

    struct Picture
    {
        Look look;
        QImage ground;
        QImage drawn;
    };

    static bool sameGround(const QImage &target, const QRect &area, const QImage &ground)
    {
        if (ground.format() != target.format() || ground.size() != area.size())
            return false;
        const int bytesPerPixel = target.depth() / 8;
        const size_t rowBytes = size_t(area.width()) * size_t(bytesPerPixel);
        for (int y = 0; y < area.height(); ++y) {
            const uchar *row = target.constScanLine(area.top() + y) + area.left() * bytesPerPixel;
            if (std::memcmp(row, ground.constScanLine(y), rowBytes) != 0)
                return false;
        }
        return true;
    }

    bool copyOrKeep(const QStyleOptionProgressBar &bar, QPainter *painter, const QWidget *widget) const
    {
        QPaintEngine *engine = painter->paintEngine();
        QPaintDevice *device = engine ? engine->paintDevice() : nullptr;
        // A busy bar (no range) animates: nothing to keep.
        if (!device || device->devType() != QInternal::Image || (bar.minimum == 0 && bar.maximum == 0) ||
            painter->hasClipping())
            return false;
        auto *target = static_cast<QImage *>(device);
        const QTransform toDevice = painter->deviceTransform();
        if (target->devicePixelRatio() != 1 || target->depth() < 8 || target->depth() % 8 != 0 ||
            toDevice.type() > QTransform::TxTranslate || toDevice.dx() != std::floor(toDevice.dx()) ||
            toDevice.dy() != std::floor(toDevice.dy()))
            return false;
        const QRect area = toDevice.mapRect(bar.rect);
        if (area.isEmpty() || !target->rect().contains(area))
            return false;

        Look look{bar.rect.size(),
                  bar.state,
                  bar.direction,
                  bar.palette.cacheKey(),
                  bar.minimum,
                  bar.maximum,
                  bar.progress,
                  bar.textVisible,
                  bar.textVisible ? bar.text : QString(),
                  bar.textAlignment,
                  bar.textVisible ? painter->font().key() : QString(),
                  bar.invertedAppearance,
                  bar.bottomToTop};
        for (const Picture &p : m_pictures) {
            if (p.look == look && sameGround(*target, area, p.ground)) {
                painter->save();
                painter->setCompositionMode(QPainter::CompositionMode_Source);
                painter->drawImage(bar.rect.topLeft(), p.drawn);
                painter->restore();
                ++copied;
                return true;
            }
        }
        // Keep a picture only of a drawing that is not clipped: elsewhere the device still holds
        // what was there before.
        const QRegion clip = engine->systemClip();
        const bool whole = clip.isEmpty() || QRegion(area).subtracted(clip).isEmpty();
        Picture picture;
        if (whole)
            picture.ground = target->copy(area);
        QProxyStyle::drawControl(CE_ProgressBar, &bar, painter, widget);
        ++drawn;
        if (!whole)
            return true;
        picture.look = std::move(look);
        picture.drawn = target->copy(area);
        // The meter's bar has 41 positions on one ground; room for them and a few changes of state.
        constexpr size_t kKept = 96;
        if (m_pictures.size() == kKept)
            m_pictures.pop_front();
        m_pictures.push_back(std::move(picture));
        return true;
    }

    mutable std::deque<Picture> m_pictures;
};

MeterBar::MeterBar(QWidget *parent) : QProgressBar(parent), m_style(new PictureStyle)
{
    m_style->setParent(this);
    setStyle(m_style);
}

int MeterBar::drawnCount() const
{
    return m_style->drawn;
}

int MeterBar::copiedCount() const
{
    return m_style->copied;
}
