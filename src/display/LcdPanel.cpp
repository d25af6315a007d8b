#include "display/LcdPanel.h"

#include "display/LcdFont.h"
#include "display/LcdLabel.h"
#include "display/Pictures.h"
#include "display/RegionBlit.h"

#include <QLabel>
#include <QPaintEngine>
#include <QPaintEvent>
#include <QPainter>

namespace {

enum class Face
{
    Lcd,
    Arial,
    Point
};

struct ElementRow
{
    LcdElement element;
    Face face;
    const char *caption;
    int pixelHeight;
    bool bold;
    int left, top, width, height;
};

// The glass as the meter shows it: place, size and face of every element.
const ElementRow kRows[] = {
    {LcdElement::LcdFH, Face::Lcd, "-", 100, false, 5, 20, 26, 112},
    {LcdElement::LcdDa, Face::Lcd, "3", 100, false, 40, 20, 38, 112},
    {LcdElement::LcdDb, Face::Lcd, "9", 100, false, 88, 20, 38, 112},
    {LcdElement::LcdDc, Face::Lcd, "9", 100, false, 136, 20, 38, 112},
    {LcdElement::LcdDd, Face::Lcd, "9", 100, false, 184, 20, 38, 112},
    {LcdElement::LcdP1, Face::Point, "", 0, false, 79, 105, 7, 8},
    {LcdElement::LcdP2, Face::Point, "", 0, false, 127, 105, 7, 8},
    {LcdElement::LcdP3, Face::Point, "", 0, false, 176, 105, 7, 8},
    {LcdElement::LcdAuto, Face::Lcd, "AUTO", 19, true, 8, 11, 58, 21},
    {LcdElement::LCDRS, Face::Lcd, "RS", 19, true, 70, 11, 29, 21},
    {LcdElement::LCD232C, Face::Arial, "232C", 14, true, 98, 15, 34, 16},
    {LcdElement::LcdACDC, Face::Arial, "AC+DC", 16, true, 77, 14, 56, 19},
    {LcdElement::LcdAC, Face::Lcd, "AC", 21, true, 6, 38, 31, 23},
    {LcdElement::LcdDc1, Face::Lcd, "DC", 21, true, 5, 38, 32, 23},
    {LcdElement::LCDBF, Face::Lcd, "%", 24, false, 136, 8, 21, 27},
    {LcdElement::LCDHold, Face::Lcd, "\"", 35, false, 160, -2, 19, 39},
    {LcdElement::LCDRec, Face::Lcd, "!", 32, false, 184, 3, 19, 36},
    {LcdElement::LCDBATT, Face::Lcd, "$", 35, false, 208, 0, 12, 39},
    {LcdElement::LCDBT, Face::Lcd, "(", 35, false, 232, 33, 11, 39},
    {LcdElement::LcdRPM, Face::Lcd, "RPM", 19, true, 230, 11, 46, 21},
    {LcdElement::LCDTRMST, Face::Lcd, "T", 19, true, 230, 10, 13, 21},
    {LcdElement::LCDTRMS, Face::Lcd, "RMS", 12, true, 241, 16, 30, 14},
    {LcdElement::LCDCS, Face::Lcd, "#", 32, false, 248, 33, 24, 36},
    {LcdElement::LCDFS, Face::Lcd, "?", 32, false, 248, 33, 23, 36},
    {LcdElement::LCDDI, Face::Lcd, ")", 29, false, 248, 33, 31, 32},
    {LcdElement::LCDFm, Face::Lcd, "&", 32, false, 248, 31, 25, 36},
    {LcdElement::LCDk, Face::Lcd, "k", 27, false, 238, 55, 14, 30},
    {LcdElement::LCDM1, Face::Lcd, "M", 24, false, 230, 57, 20, 27},
    {LcdElement::LCDHz, Face::Lcd, "Hz", 24, false, 248, 58, 29, 27},
    {LcdElement::LCDohm, Face::Lcd, "*", 29, false, 256, 54, 19, 32},
    {LcdElement::LCDu, Face::Lcd, "+", 32, false, 240, 75, 16, 36},
    {LcdElement::Lcdm, Face::Lcd, "m", 24, false, 232, 81, 20, 27},
    {LcdElement::LCDn, Face::Lcd, "n", 24, false, 240, 82, 13, 27},
    {LcdElement::LCDA, Face::Lcd, "A", 24, false, 256, 82, 16, 27},
    {LcdElement::LCDF, Face::Lcd, "F", 24, false, 256, 82, 15, 27},
    {LcdElement::LcdV, Face::Lcd, "V", 24, false, 256, 83, 16, 27},
};

static_assert(sizeof(kRows) / sizeof(kRows[0]) == kLcdElementCount, "every element has a row");

constexpr LcdElement kDigits[4] = {LcdElement::LcdDa, LcdElement::LcdDb, LcdElement::LcdDc,
                                   LcdElement::LcdDd};
// The elements that paint the glass under themselves.
constexpr LcdElement kGrounded[5] = {LcdElement::LcdFH, LcdElement::LcdDa, LcdElement::LcdDb,
                                     LcdElement::LcdDc, LcdElement::LcdDd};
constexpr LcdElement kPoints[3] = {LcdElement::LcdP1, LcdElement::LcdP2, LcdElement::LcdP3};

// A decimal point: a filled black square.
class LcdPoint : public QWidget
{
public:
    using QWidget::QWidget;

protected:
    void paintEvent(QPaintEvent *) override
    {
        QPainter painter(this);
        painter.fillRect(rect(), Qt::black);
    }
};

} // namespace

LcdPanel::LcdPanel(QWidget *parent) : QFrame(parent)
{
    setObjectName(QStringLiteral("Panel1"));
    setFrameStyle(QFrame::Panel | QFrame::Sunken);
    setLineWidth(1);
    setAutoFillBackground(true);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, colourFromBgr(16628881));
    setPalette(pal);
    resize(283, 129);

    for (const ElementRow &row : kRows) {
        QWidget *w = nullptr;
        const QString caption = QString::fromLatin1(row.caption);
        switch (row.face) {
        case Face::Lcd:
            w = new LcdLabel(caption, row.pixelHeight, row.bold, this);
            break;
        case Face::Arial: {
            auto *label = new QLabel(caption, this);
            label->setFont(arialFont(row.pixelHeight, row.bold, false));
            label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
            QPalette lp = label->palette();
            lp.setColor(QPalette::WindowText, Qt::black);
            label->setPalette(lp);
            w = label;
            break;
        }
        case Face::Point:
            w = new LcdPoint(this);
            break;
        }
        w->setObjectName(QString::fromLatin1(lcdElementName(row.element)));
        w->setGeometry(row.left, row.top, row.width, row.height);
        m_elements[static_cast<size_t>(row.element)] = w;
    }
    for (int i = 0; i < 4; ++i)
        m_digits[size_t(i)] = label(kDigits[i]);
    for (LcdElement e : kGrounded)
        label(e)->setGround(
            [this](QPainter &painter, const QRegion &region) { paintGround(painter, region); });
    apply(LcdPanelState::startState());
}

LcdLabel *LcdPanel::label(LcdElement e) const
{
    return qobject_cast<LcdLabel *>(element(e));
}

QString LcdPanel::caption(LcdElement e) const
{
    if (const LcdLabel *l = label(e))
        return l->text();
    if (const auto *l = qobject_cast<const QLabel *>(element(e)))
        return l->text();
    return QString();
}

void LcdPanel::apply(const LcdPanelState &state)
{
    // A frame mostly repeats the last one's digits and annunciators: only what differs is touched,
    // and the unchanged digits are not even converted.
    for (int i = 0; i < 4; ++i) {
        LcdLabel *digit = m_digits[size_t(i)];
        const std::string &text = state.digits[size_t(i)];
        if (digit->text() != QLatin1String(text.data(), qsizetype(text.size())))
            digit->setText(QString::fromStdString(text));
    }
    // The annunciators change with the function only: most frames compare one set of bits.
    const auto changed = m_visibleValid ? state.visible ^ m_visible : ~decltype(state.visible)();
    for (int i = 0; i < kLcdElementCount; ++i) {
        const auto e = static_cast<LcdElement>(i);
        if (changed.test(size_t(i)) && element(e)->isHidden() == state.isVisible(e))
            element(e)->setVisible(state.isVisible(e));
    }
    m_visible = state.visible;
    m_visibleValid = true;
}

void LcdPanel::setGhostSegments(bool on)
{
    m_ghostSegments = on;
    update();
    groundChanged();
}

void LcdPanel::groundChanged()
{
    for (LcdElement e : kGrounded) {
        if (LcdLabel *l = label(e)) // none yet while the panel is being built
            l->groundChanged();
    }
}

void LcdPanel::changeEvent(QEvent *event)
{
    QFrame::changeEvent(event);
    if (event->type() == QEvent::PaletteChange || event->type() == QEvent::StyleChange)
        groundChanged();
}

void LcdPanel::resizeEvent(QResizeEvent *event)
{
    QFrame::resizeEvent(event);
    groundChanged();
}

void LcdPanel::paintEvent(QPaintEvent *event)
{
    if (m_ghostSegments) {
        QPainter painter(this);
        if (paintFromGlass(painter, event->region(), false))
            return;
    }
    QFrame::paintEvent(event);
    if (!m_ghostSegments)
        return;
    QPainter painter(this);
    paintGhosts(painter, event->rect());
}

void LcdPanel::paintGround(QPainter &painter, const QRegion &region)
{
    if (m_ghostSegments && paintFromGlass(painter, region, true))
        return;
    const QBrush ground = palette().brush(backgroundRole());
    for (const QRect &r : region)
        painter.fillRect(r, ground);
    drawFrame(&painter);
    if (m_ghostSegments) {
        painter.save();
        paintGhosts(painter, region.boundingRect());
        painter.restore();
    }
}

bool LcdPanel::paintFromGlass(QPainter &painter, const QRegion &region, bool fillBorder)
{
    // The faint ghosts are costly to blend and every new digit repaints one: on a device that is an
    // image, the glass with its ghosts is painted once into an image of the same kind and copied.
    const QPaintDevice *target = painter.paintEngine() ? painter.paintEngine()->paintDevice() : nullptr;
    const QBrush ground = palette().brush(backgroundRole());
    if (!target || target->devType() != QInternal::Image || target->devicePixelRatio() != 1 ||
        !autoFillBackground() || ground.style() != Qt::SolidPattern || !ground.isOpaque())
        return false;
    const QImage::Format format = static_cast<const QImage *>(target)->format();
    if (m_glass.size() != size() || m_glass.format() != format || m_glassColour != ground.color()) {
        m_glass = QImage(size(), format);
        m_glass.fill(ground.color());
        QPainter glass(&m_glass);
        paintGhosts(glass, m_glass.rect());
        m_glassColour = ground.color();
    }
    // The copy covers the contents, so the border needs drawing only where it is exposed: a new
    // digit does not reach it.
    if (!contentsRect().contains(region.boundingRect())) {
        if (fillBorder) {
            for (const QRect &r : region.subtracted(contentsRect()))
                painter.fillRect(r, ground);
        }
        drawFrame(&painter);
    }
    blitRegion(painter, region & contentsRect(), m_glass);
    return true;
}

void LcdPanel::paintGhosts(QPainter &painter, const QRect &exposed)
{
    painter.setClipRect(contentsRect());
    const QColor ghost(0, 0, 0, 16);
    // A new digit repaints only its own place: the other ghosts would all be clipped away.
    auto paintGhost = [&](const LcdLabel *l, const QString &text, LcdFont::Layout &cache, int &cacheHeight) {
        if (cacheHeight != l->pixelHeight()) {
            cache = LcdFont::layout(text, l->pixelHeight());
            cacheHeight = l->pixelHeight();
        }
        const QRectF box(l->geometry());
        const Qt::Alignment alignment = Qt::AlignLeft | Qt::AlignTop;
        if (exposed.intersects(LcdFont::paintedRect(box, cache, l->pixelHeight(), alignment)))
            LcdFont::paint(painter, box, cache, l->pixelHeight(), ghost, alignment);
    };
    paintGhost(label(LcdElement::LcdFH), QStringLiteral("-"), m_ghostSign, m_ghostSignHeight);
    for (LcdElement d : kDigits)
        paintGhost(label(d), QStringLiteral("8"), m_ghostDigit, m_ghostDigitHeight);
    for (LcdElement p : kPoints)
        painter.fillRect(element(p)->geometry(), ghost);
}
