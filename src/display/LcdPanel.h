#pragma once

#include "decode/LcdState.h"
#include "display/LcdFont.h"

#include <QColor>
#include <QFrame>
#include <QImage>
#include <QString>

#include <array>

class LcdLabel;

// The picture of the meter's LCD: every digit, point, annunciator and unit symbol as a child widget
// named after its element, at its place on the light blue glass. A decoded frame's panel state is
// applied as a whole; nothing lingers from an earlier frame.
class LcdPanel : public QFrame
{
    Q_OBJECT

public:
    explicit LcdPanel(QWidget *parent = nullptr);

    // Shows and hides every element as the state says and sets the four digit captions.
    void apply(const LcdPanelState &state);

    QWidget *element(LcdElement e) const { return m_elements[static_cast<size_t>(e)]; }
    // The element as an LCD label; nullptr for the points and the two captions in a plain face.
    LcdLabel *label(LcdElement e) const;
    // The caption an element shows ("AUTO", a digit, ...); empty for the points.
    QString caption(LcdElement e) const;

    // Faint unlit segments behind the digits, as the real glass shows them. On by default.
    void setGhostSegments(bool on);

protected:
    void paintEvent(QPaintEvent *event) override;
    void changeEvent(QEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    // Paints what the panel shows under `region` (panel coordinates; the painter draws in them): its
    // ground, frame and ghosts, as its own paint event paints them after Qt has filled its ground.
    // The digits paint it under themselves, so that they are opaque and a new digit does not repaint
    // the panel.
    void paintGround(QPainter &painter, const QRegion &region);
    void groundChanged();
    // With the glass kept for the painter's device; false where it cannot be. `fillBorder` fills the
    // ground the frame is drawn on, where Qt has not.
    bool paintFromGlass(QPainter &painter, const QRegion &region, bool fillBorder);
    void paintGhosts(QPainter &painter, const QRect &exposed);

    std::array<QWidget *, kLcdElementCount> m_elements{};
    std::array<LcdLabel *, 4> m_digits{}; // LcdDa..LcdDd
    // Which elements the last state applied showed; the panel alone shows and hides them.
    decltype(LcdPanelState::visible) m_visible;
    bool m_visibleValid = false;
    bool m_ghostSegments = true;
    // The ghosts' outlines, kept for the pixel height they were laid out at.
    LcdFont::Layout m_ghostSign;
    LcdFont::Layout m_ghostDigit;
    int m_ghostSignHeight = 0;
    int m_ghostDigitHeight = 0;
    // The glass with its ghosts as painted on an image device of m_glass's format.
    QImage m_glass;
    QColor m_glassColour;
};
