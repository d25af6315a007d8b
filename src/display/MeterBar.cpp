#include "display/MeterBar.h"

#include "display/GroundPictures.h"

#include <QApplication>
#include <QPainter>
#include <QProxyStyle>
#include <QStyleFactory>
#include <QStyleOptionProgressBar>

// Draws the bar as the application's style does, once per look and ground (GroundPictures): so every
// copy is exactly what the style would draw there, even where its rounded corners blend with the
// window behind.
class MeterBar::PictureStyle : public QProxyStyle
{
public:
    PictureStyle() : QProxyStyle(QStyleFactory::create(QApplication::style()->name())) {}

    void drawControl(ControlElement element, const QStyleOption *option, QPainter *painter,
                     const QWidget *widget) const override
    {
        const auto *bar = qstyleoption_cast<const QStyleOptionProgressBar *>(option);
        // A busy bar (no range) animates: nothing to keep.
        if (element != CE_ProgressBar || !bar || (bar->minimum == 0 && bar->maximum == 0)) {
            QProxyStyle::drawControl(element, option, painter, widget);
            return;
        }
        m_pictures.paint(*painter, bar->rect, look(*bar, *painter),
                         [&] { QProxyStyle::drawControl(element, option, painter, widget); });
    }

    // The meter's bar has 41 positions on one ground; room for them and a few changes of state (27 kB each).
    mutable GroundPictures m_pictures{64};

private:
    // Everything in the option the drawing depends on.
    static QByteArray look(const QStyleOptionProgressBar &bar, const QPainter &painter)
    {
        const qint64 numbers[] = {bar.rect.width(),
                                  bar.rect.height(),
                                  bar.state.toInt(),
                                  bar.direction,
                                  bar.palette.cacheKey(),
                                  bar.minimum,
                                  bar.maximum,
                                  bar.progress,
                                  bar.textVisible,
                                  bar.textAlignment.toInt(),
                                  bar.invertedAppearance,
                                  bar.bottomToTop};
        QByteArray key(reinterpret_cast<const char *>(numbers), sizeof numbers);
        if (bar.textVisible)
            key += (bar.text + QChar(0) + painter.font().key()).toUtf8();
        return key;
    }
};

MeterBar::MeterBar(QWidget *parent) : QProgressBar(parent), m_style(new PictureStyle)
{
    m_style->setParent(this);
    setStyle(m_style);
}

int MeterBar::drawnCount() const
{
    return m_style->m_pictures.drawnCount();
}

int MeterBar::copiedCount() const
{
    return m_style->m_pictures.copiedCount();
}
