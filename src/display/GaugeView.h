#pragma once

#include "display/GaugeGeometry.h"
#include "display/GaugeScale.h"

#include <QFrame>
#include <QHashFunctions>
#include <QImage>
#include <QPainter>
#include <QRect>
#include <QRegion>

#include <unordered_map>
#include <vector>

// The analog scale: the white panel "KD" with the picture "KD1" over its whole area. KDsetup draws the
// scale (and so wipes the needle), KDrun moves the needle by painting the previous one white and
// drawing the new one. The picture has the panel's size; when the panel is resized the picture is
// redrawn at the new size with the needle where it stood, so the scale stays sharp and the needle's
// erase line always matches what is on the picture.
class GaugeView : public QFrame
{
    Q_OBJECT

public:
    explicit GaugeView(QWidget *parent = nullptr);

    void setInputs(const GaugeInputs &inputs) { m_inputs = inputs; }
    const GaugeInputs &inputs() const { return m_inputs; }

    // Redraws the whole scale; the argument is kept for the callers' sake and has no effect.
    void KDsetup(int unused);
    // Moves the needle to gauge input v (not clamped).
    void KDrun(int v);

    // The scale laid out in the panel at its present size.
    GaugeGeometry scaleGeometry() const;
    const QImage &picture() const { return m_picture; }
    QWidget *pictureWidget() const { return m_pictureWidget; }
    GaugeNeedle lastNeedle() const { return m_needle; }

protected:
    void resizeEvent(QResizeEvent *event) override;

private:
    void ensurePictureSize();
    void followPanelSize();
    void drawScale(QPainter &painter, const GaugeGeometry &g);
    void scaleLaid();
    // The pixels of a needle line as drawing it on the picture would set them, worked out once per
    // place (a reading comes back to the same few places) and kept with the area they repaint.
    struct NeedleRuns
    {
        struct Run
        {
            qint16 y, x, width; // a picture is far smaller than 32768 pixels
        };
        std::vector<Run> runs;
        QRegion area;
    };
    const NeedleRuns &needleRuns(const GaugeNeedle &needle);
    void setRuns(const NeedleRuns &runs, QRgb colour);

    GaugeInputs m_inputs;
    QImage m_picture;
    struct NeedleKey
    {
        GaugePoint tip, inner;
        bool operator==(const NeedleKey &o) const { return tip == o.tip && inner == o.inner; }
    };
    struct NeedleKeyHash
    {
        size_t operator()(const NeedleKey &k) const
        {
            return qHashMulti(0, k.tip.x, k.tip.y, k.inner.x, k.inner.y);
        }
    };
    std::unordered_map<NeedleKey, NeedleRuns, NeedleKeyHash> m_needleRuns; // for m_runsSize
    QSize m_runsSize;
    QImage m_needleScratch;    // white, the picture's size and format, where new needles are drawn
    QPainter m_scratchPainter; // on m_needleScratch: beginning a painter costs more than a line
    // The scale's layout for the size it was worked out for: the needle needs it at every move.
    mutable QSize m_geometrySize;
    mutable GaugeGeometry m_geometry{0, 0};
    QWidget *m_pictureWidget = nullptr;
    GaugeNeedle m_needle; // both ends (0,0) until the first KDrun
    int m_lastInput = 0;
    bool m_needleShown = false;
    // The last scales drawn, by picture size and inputs: a meter that changes range goes back and
    // forth between a few of them, and copying one costs a fraction of drawing it.
    struct DrawnScale
    {
        QSize size;
        GaugeInputs inputs;
        QImage picture;
    };
    std::vector<DrawnScale> m_drawnScales;
    // Whether the picture is a scale drawn for m_scaleInputs with only needle lines on it since,
    // all of them inside m_needleMarks (a box: a needle sweeping the dial for hours would make a
    // region of many pieces).
    bool m_onScale = false;
    GaugeInputs m_scaleInputs;
    QRect m_needleMarks;
};
