#include "display/LcdLabel.h"

#include "display/LcdFont.h"
#include "display/RegionBlit.h"

#include <QPaintEvent>
#include <QPainter>

#include <algorithm>
#include <cmath>

LcdLabel::LcdLabel(QWidget *parent) : QWidget(parent) {}

LcdLabel::LcdLabel(const QString &text, int pixelHeight, bool bold, QWidget *parent)
    : QWidget(parent), m_text(text), m_pixelHeight(pixelHeight), m_bold(bold)
{}

void LcdLabel::setText(const QString &text)
{
    if (text == m_text)
        return;
    const QRect before = shownInk();
    const QSize hintBefore = sizeHint();
    m_text = text;
    textLayoutChanged(before, hintBefore);
}

void LcdLabel::setPixelHeight(int pixelHeight)
{
    if (pixelHeight == m_pixelHeight)
        return;
    const QRect before = shownInk();
    const QSize hintBefore = sizeHint();
    m_pixelHeight = pixelHeight;
    textLayoutChanged(before, hintBefore);
}

void LcdLabel::setBold(bool bold)
{
    if (bold == m_bold)
        return;
    const QRect before = shownInk();
    const QSize hintBefore = sizeHint();
    m_bold = bold;
    textLayoutChanged(before, hintBefore);
}

void LcdLabel::setItalic(bool italic)
{
    if (italic == m_italic)
        return;
    const QRect before = shownInk();
    const QSize hintBefore = sizeHint();
    m_italic = italic;
    textLayoutChanged(before, hintBefore);
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
    const QRect before = shownInk();
    const QSize hintBefore = sizeHint();
    m_autoSize = autoSize;
    textLayoutChanged(before, hintBefore);
}

LcdLabel::KeptLayout &LcdLabel::keptLayout() const
{
    if (m_layoutValid)
        return m_kept[m_current];
    const auto same = [this](const KeptLayout &k) {
        return k.pixelHeight == m_pixelHeight && k.bold == m_bold && k.italic == m_italic && k.text == m_text;
    };
    auto found = std::find_if(m_kept.begin(), m_kept.end(), same);
    if (found == m_kept.end()) {
        constexpr size_t kKept = 16;
        if (m_kept.size() == kKept)
            m_kept.erase(m_kept.begin());
        KeptLayout k;
        k.text = m_text;
        k.pixelHeight = m_pixelHeight;
        k.bold = m_bold;
        k.italic = m_italic;
        k.layout = LcdFont::layout(m_text, m_pixelHeight, m_bold, m_italic);
        m_kept.push_back(std::move(k));
        found = m_kept.end() - 1;
    }
    m_current = size_t(found - m_kept.begin());
    m_layoutValid = true;
    return *found;
}

QSize LcdLabel::sizeHint() const
{
    const int w = int(std::ceil(cachedLayout().width));
    return QSize(std::max(1, w + 1), int(std::ceil(m_pixelHeight * 1.12)));
}

QRect LcdLabel::shownInk() const
{
    return isVisible() ? paintedRect() : QRect();
}

QRect LcdLabel::paintedRect() const
{
    KeptLayout &k = keptLayout();
    if (k.box != size() || k.alignment != m_alignment) {
        k.painted = LcdFont::paintedRect(QRectF(rect()), k.layout, m_pixelHeight, m_alignment);
        k.box = size();
        k.alignment = m_alignment;
    }
    return k.painted;
}

void LcdLabel::textLayoutChanged(const QRect &paintedBefore, const QSize &hintBefore)
{
    m_layoutValid = false;
    if (m_autoSize)
        resize(sizeHint().width(), height());
    // Telling the parent about a size hint that stayed the same (a digit for a digit) would only
    // post it a layout request to handle.
    if (sizeHint() != hintBefore)
        updateGeometry();
    if (!isVisible())
        return;
    // Only the box around the old and the new ink differs from what is behind the label, and on the
    // LCD a new digit leaves the glass and its neighbours as they were.
    update(paintedBefore | paintedRect());
}

void LcdLabel::setGround(Ground ground)
{
    m_ground = std::move(ground);
    for (KeptLayout &k : m_kept)
        k.onGround = QImage();
    setAttribute(Qt::WA_OpaquePaintEvent, bool(m_ground));
    update();
}

QByteArray LcdLabel::look() const
{
    const qint64 numbers[] = {m_pixelHeight,       m_bold,  m_italic, qint64(quint64(m_colour.rgba64())),
                              m_alignment.toInt(), width(), height()};
    QByteArray look(reinterpret_cast<const char *>(numbers), sizeof numbers);
    look.append(reinterpret_cast<const char *>(m_text.utf16()), m_text.size() * qsizetype(sizeof(char16_t)));
    return look;
}

void LcdLabel::groundChanged()
{
    for (KeptLayout &k : m_kept)
        k.onGround = QImage();
    update();
}

void LcdLabel::paintEvent(QPaintEvent *event)
{
    QPainter painter(this);
    const auto draw = [this](QPainter &p) {
        LcdFont::paint(p, QRectF(rect()), cachedLayout(), m_pixelHeight, m_colour, m_alignment);
    };
    if (m_ground) {
        if (paintGroundPicture(painter, event->region(), draw))
            return;
        painter.save();
        painter.translate(-pos());
        m_ground(painter, event->region().translated(pos()));
        painter.restore();
        draw(painter);
        return;
    }
    // The digits come back to the same few texts on the same glass, and their smooth outlines cost
    // more to fill than their pixels to copy.
    m_pictures.paint(painter, paintedRect() & rect(), look(), [&] { draw(painter); });
}

bool LcdLabel::paintGroundPicture(QPainter &painter, const QRegion &region,
                                  const std::function<void(QPainter &)> &draw)
{
    // Painting onto an image: the label with its ground is painted once per text into an image of
    // the same kind, and its pixels are copied. Drawing there gives the pixels drawing here gives, as
    // the ground is the same and the place differs by whole pixels.
    const ImageTarget target = ImageTarget::of(painter);
    if (!target)
        return false;
    KeptLayout &k = keptLayout();
    if (k.onGround.isNull() || k.onGround.format() != target.image->format() ||
        k.groundGeometry != geometry() || k.groundColour != m_colour || k.groundAlignment != m_alignment) {
        QImage image(size(), target.image->format());
        QPainter p(&image);
        p.translate(-pos());
        m_ground(p, QRegion(geometry()));
        p.resetTransform();
        draw(p);
        p.end();
        k.onGround = image;
        k.groundGeometry = geometry();
        k.groundColour = m_colour;
        k.groundAlignment = m_alignment;
    }
    blitRegion(painter, region, k.onGround, QPoint(), true);
    return true;
}
