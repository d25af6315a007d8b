#include "app/PanelButton.h"

#include "display/LcdFont.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>

PanelButton::PanelButton(const QString &objectName, const QString &caption, QWidget *parent)
    : QFrame(parent), m_caption(caption)
{
    setObjectName(objectName);
    setFocusPolicy(Qt::TabFocus);
    setCursor(Qt::PointingHandCursor);
}

void PanelButton::setCaption(const QString &caption)
{
    m_caption = caption;
    update();
}

void PanelButton::setBevel(Bevel bevel)
{
    m_bevel = bevel;
    update();
}

void PanelButton::setLcdPixelHeight(int pixelHeight)
{
    m_lcdPixelHeight = pixelHeight;
    update();
}

void PanelButton::setColors(const QColor &background, const QColor &text)
{
    m_background = background;
    m_text = text;
    update();
}

void PanelButton::click()
{
    if (isEnabled())
        emit clicked();
}

void PanelButton::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    const QRect r = rect();
    p.fillRect(r, m_background.isValid() ? m_background : palette().color(QPalette::Button));

    // Inner bevel: light on the top-left and dark on the bottom-right for raised, the other way for
    // lowered; a pressed raised panel looks lowered.
    const bool sunken = m_bevel == Bevel::Lowered || m_pressed;
    const QColor light = m_background.isValid() ? m_background.lighter(160) : QColor(Qt::white);
    const QColor dark = m_background.isValid() ? m_background.darker(180) : QColor(Qt::darkGray);
    p.setPen(sunken ? dark : light);
    p.drawLine(r.topLeft(), r.topRight());
    p.drawLine(r.topLeft(), r.bottomLeft());
    p.setPen(sunken ? light : dark);
    p.drawLine(r.bottomLeft(), r.bottomRight());
    p.drawLine(r.topRight(), r.bottomRight());

    QColor text = m_text.isValid() ? m_text : palette().color(QPalette::ButtonText);
    if (!isEnabled())
        text = text.darker(150);
    const QRectF box = QRectF(r).adjusted(2, 1, -2, -1).translated(sunken ? 1 : 0, sunken ? 1 : 0);
    if (m_lcdPixelHeight > 0) {
        LcdFont::paint(p, box, m_caption, m_lcdPixelHeight, true, text, Qt::AlignCenter, true);
    } else {
        p.setFont(font());
        p.setPen(text);
        p.drawText(box, Qt::AlignCenter, m_caption);
    }
    if (hasFocus()) {
        p.setPen(QPen(text, 1, Qt::DotLine));
        p.drawRect(r.adjusted(3, 3, -4, -4));
    }
}

void PanelButton::mousePressEvent(QMouseEvent *event)
{
    if (event->button() == Qt::LeftButton) {
        m_pressed = true;
        update();
    }
}

void PanelButton::mouseReleaseEvent(QMouseEvent *event)
{
    if (event->button() != Qt::LeftButton || !m_pressed)
        return;
    m_pressed = false;
    update();
    if (rect().contains(event->position().toPoint()))
        click();
}

void PanelButton::keyPressEvent(QKeyEvent *event)
{
    if (event->key() == Qt::Key_Space || event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter)
        click();
    else
        QFrame::keyPressEvent(event);
}
