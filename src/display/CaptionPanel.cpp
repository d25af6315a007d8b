#include "display/CaptionPanel.h"

#include "display/LcdFont.h"
#include "display/Pictures.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>

CaptionPanel::CaptionPanel(const QString &caption, Face face, int pixelHeight, QFrame::Shadow bevel,
                           QWidget *parent)
    : QFrame(parent), m_caption(caption), m_face(face), m_pixelHeight(pixelHeight)
{
    setFrameStyle(QFrame::Panel | bevel);
    setLineWidth(1);
    setAutoFillBackground(true);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, colourFromBgr(16744448));
    pal.setColor(QPalette::WindowText, Qt::yellow);
    pal.setColor(QPalette::Light, QColor(120, 190, 255));
    pal.setColor(QPalette::Dark, QColor(0, 60, 130));
    setPalette(pal);
    setCursor(Qt::PointingHandCursor);
    setFocusPolicy(Qt::TabFocus);
}

void CaptionPanel::click()
{
    if (isEnabled())
        emit clicked();
}

void CaptionPanel::keyPressEvent(QKeyEvent *event)
{
    if (event->key() == Qt::Key_Space || event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter)
        click();
    else
        QFrame::keyPressEvent(event);
}

void CaptionPanel::setCaption(const QString &caption)
{
    m_caption = caption;
    update();
}

void CaptionPanel::paintEvent(QPaintEvent *event)
{
    QFrame::paintEvent(event);
    QPainter painter(this);
    QColor text(Qt::yellow);
    if (!isEnabled())
        text = QColor(200, 200, 120);
    const QRectF box = QRectF(contentsRect()).translated(m_pressed ? 1 : 0, m_pressed ? 1 : 0);
    if (m_face == Face::Lcd) {
        LcdFont::paint(painter, box, m_caption, m_pixelHeight, true, text, Qt::AlignCenter, true);
    } else {
        painter.setFont(arialFont(m_pixelHeight, true, true));
        painter.setPen(text);
        painter.drawText(box, Qt::AlignCenter, m_caption);
    }
    // Where the keyboard is: a dotted frame in the caption's colour inside the bevel.
    if (hasFocus()) {
        painter.setPen(QPen(text, 1, Qt::DotLine));
        painter.setBrush(Qt::NoBrush);
        painter.drawRect(QRectF(contentsRect()).adjusted(1.5, 1.5, -2.5, -2.5));
    }
}

void CaptionPanel::mousePressEvent(QMouseEvent *event)
{
    if (event->button() == Qt::LeftButton) {
        m_pressed = true;
        update();
    }
    QFrame::mousePressEvent(event);
}

void CaptionPanel::mouseReleaseEvent(QMouseEvent *event)
{
    const bool wasPressed = m_pressed;
    m_pressed = false;
    update();
    if (wasPressed && event->button() == Qt::LeftButton && rect().contains(event->position().toPoint()))
        emit clicked();
    QFrame::mouseReleaseEvent(event);
}
