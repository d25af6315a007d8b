#include "display/LcdLabel.h"

#include "display/LcdFont.h"

#include <QPainter>

#include <cmath>

LcdLabel::LcdLabel(QWidget *parent) : QWidget(parent) {}

LcdLabel::LcdLabel(const QString &text, int pixelHeight, bool bold, QWidget *parent)
    : QWidget(parent), m_text(text), m_pixelHeight(pixelHeight), m_bold(bold)
{}

void LcdLabel::setText(const QString &text)
{
    if (text == m_text)
        return;
    m_text = text;
    textLayoutChanged();
}

void LcdLabel::setPixelHeight(int pixelHeight)
{
    if (pixelHeight == m_pixelHeight)
        return;
    m_pixelHeight = pixelHeight;
    textLayoutChanged();
}

void LcdLabel::setBold(bool bold)
{
    if (bold == m_bold)
        return;
    m_bold = bold;
    textLayoutChanged();
}

void LcdLabel::setItalic(bool italic)
{
    if (italic == m_italic)
        return;
    m_italic = italic;
    textLayoutChanged();
}

void LcdLabel::setColour(const QColor &colour)
{
    m_colour = colour;
    update();
}

void LcdLabel::setAlignment(Qt::Alignment alignment)
{
    m_alignment = alignment;
    update();
}

void LcdLabel::setAutoSize(bool autoSize)
{
    m_autoSize = autoSize;
    textLayoutChanged();
}

const LcdFont::Layout &LcdLabel::cachedLayout() const
{
    if (!m_layoutValid) {
        m_layout = LcdFont::layout(m_text, m_pixelHeight, m_bold, m_italic);
        m_layoutValid = true;
    }
    return m_layout;
}

QSize LcdLabel::sizeHint() const
{
    const int w = int(std::ceil(cachedLayout().width));
    return QSize(std::max(1, w + 1), int(std::ceil(m_pixelHeight * 1.12)));
}

void LcdLabel::textLayoutChanged()
{
    m_layoutValid = false;
    if (m_autoSize)
        resize(sizeHint().width(), height());
    updateGeometry();
    update();
}

void LcdLabel::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    LcdFont::paint(painter, QRectF(rect()), cachedLayout(), m_pixelHeight, m_colour, m_alignment);
}
