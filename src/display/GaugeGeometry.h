#pragma once

// A pixel of the gauge picture.
struct GaugePoint
{
    int x = 0;
    int y = 0;
    bool operator==(const GaugePoint &o) const { return x == o.x && y == o.y; }
    bool operator!=(const GaugePoint &o) const { return !(*this == o); }
};

// The needle as a line from its tip (just below the arc) to an inner end far below the picture.
struct GaugeNeedle
{
    GaugePoint tip;
    GaugePoint inner;
};

// The circle every mark, label and the needle of the analog scale are placed on, worked out from
// the gauge panel's size. The scale box is inset 20 pixels at the left and 30 at the top; the circle
// passes through its bottom corners and the middle of its top edge. Values are kept in single
// precision between the steps, as the scale's pixel positions depend on it.
class GaugeGeometry
{
public:
    GaugeGeometry(int panelWidth, int panelHeight);

    // False when the panel is too small for a circle (60 pixels high or less, 40 wide or less): then
    // nothing but white is drawn.
    bool valid() const { return m_valid; }

    // Angle in radians of position q on a scale of n steps; q = 0 is the left end of the arc.
    float theta(float q, float n) const;
    // The point k pixels outside the circle at position q of n.
    GaugePoint point(float q, float n, float k) const;
    // The needle for gauge input v: s = GaugeSpan x 10 steps, or 1000 steps shifted by 100 in the
    // frequency mode. v is not clamped.
    GaugeNeedle needle(int v, bool hzMode, int gaugeSpan) const;

    float W = 0.0f;
    float H = 0.0f;
    float R = 0.0f;
    float A = 0.0f; // sweep of the arc in degrees
    float B = 0.0f; // start angle in degrees

private:
    bool m_valid = false;
};

// Nearest whole number, halves to the even neighbour; kept inside a sane pixel range so a needle
// pointing sideways (infinite inner end) still gives a drawable line.
int roundPixelHalfEven(double value);
