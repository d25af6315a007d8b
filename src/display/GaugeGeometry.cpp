#include "display/GaugeGeometry.h"

#include <cmath>

namespace {

constexpr double kPi = 3.141592653589793;
// 1/3.1415 rather than 1/pi: the scale's sweep was always converted with this truncated value while
// the way back to radians uses the full pi. Marks and needle land where users know them only with it.
constexpr double kDegreesPerPiFactor = 0.31831927423205475;
constexpr int kLeftInset = 20;
constexpr int kTopInset = 30;
constexpr double kPixelLimit = 1.0e6;

} // namespace

int roundPixelHalfEven(double value)
{
    if (std::isnan(value))
        return 0;
    if (value > kPixelLimit)
        return static_cast<int>(kPixelLimit);
    if (value < -kPixelLimit)
        return -static_cast<int>(kPixelLimit);
    return static_cast<int>(std::nearbyint(value)); // default rounding mode: to nearest, ties to even
}

GaugeGeometry::GaugeGeometry(int panelWidth, int panelHeight)
{
    if (panelHeight <= 60 || panelWidth <= 40)
        return;
    W = static_cast<float>(panelWidth - 40);
    H = static_cast<float>(panelHeight - 60);
    R = static_cast<float>((double(W) * W + 4.0 * double(H) * H) / (8.0 * double(H)));
    A = static_cast<float>(std::atan((double(W) * 0.5) / (double(R) - double(H))) * 2.0 * 180.0 *
                           kDegreesPerPiFactor);
    B = static_cast<float>((180.0 - double(A)) * 0.5);
    m_valid = std::isfinite(R) && std::isfinite(A);
}

float GaugeGeometry::theta(float q, float n) const
{
    return static_cast<float>(((double(A) / double(n)) * double(q) + double(B)) * kPi * (1.0 / 180.0));
}

GaugePoint GaugeGeometry::point(float q, float n, float k) const
{
    const double t = theta(q, n);
    const double c = std::cos(t);
    const double s = std::sin(t);
    GaugePoint p;
    p.x = roundPixelHalfEven(double(W) * 0.5 - (double(R) * c + double(k) * c)) + kLeftInset;
    p.y = roundPixelHalfEven(double(R) - (double(R) * s + double(k) * s)) + kTopInset;
    return p;
}

GaugeNeedle GaugeGeometry::needle(int v, bool hzMode, int gaugeSpan) const
{
    float s = 0.0f;
    float u = 0.0f;
    if (hzMode) {
        s = 1000.0f;
        u = static_cast<float>(v + 100);
    } else {
        s = static_cast<float>(gaugeSpan * 10);
        u = static_cast<float>(v);
    }
    const double t = theta(u, s);
    const double c = std::cos(t);
    const double sn = std::sin(t);
    GaugeNeedle n;
    n.tip.x = roundPixelHalfEven(double(W) * 0.5 - double(R) * c) + kLeftInset;
    n.tip.y = roundPixelHalfEven(double(R) - double(R) * sn + 4.0) + kTopInset;
    // The inner end lies on the same radius line 280 pixels below the scale box, out of sight.
    const double d = double(R) - double(H) - 280.0;
    n.inner.x = roundPixelHalfEven(double(W) * 0.5 - d * c / sn) + kLeftInset;
    n.inner.y = roundPixelHalfEven(double(H) + 280.0) + kTopInset;
    return n;
}
