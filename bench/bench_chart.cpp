// Cost of one decoded reading on the trend chart: append the point and paint the chart, as the
// window's repaint would, at growing point counts. Prints the median per point for a page of 100
// that follows the last page and for one page holding every point; then, on a shown chart, the cost
// of a point and the repaint it asks for at several page sizes, which should not grow with the page.
#include "chart/TrendChart.h"

#include <QApplication>
#include <QCoreApplication>
#include <QImage>
#include <QLineEdit>
#include <QPainter>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <vector>

namespace {

int reading(int64_t i)
{
    return int(1800 * std::sin(double(i) * 0.0009) + 900 * std::sin(double(i) * 0.031) + 300);
}

// Median microseconds of `rounds` append-and-paint steps on a chart already holding `points` points.
double medianMicros(TrendChart &chart, int64_t points, int rounds)
{
    chart.BtNewClick();
    for (int64_t i = 1; i < points; ++i)
        chart.addPoint(reading(i));
    QImage image(chart.size(), QImage::Format_RGB32);
    std::vector<double> samples;
    samples.reserve(size_t(rounds));
    for (int r = 0; r < rounds; ++r) {
        const auto start = std::chrono::steady_clock::now();
        chart.addPoint(reading(points + r));
        QPainter painter(&image);
        chart.paintChart(painter, image.rect());
        painter.end();
        const auto stop = std::chrono::steady_clock::now();
        samples.push_back(std::chrono::duration<double, std::micro>(stop - start).count());
    }
    std::nth_element(samples.begin(), samples.begin() + rounds / 2, samples.end());
    return samples[size_t(rounds / 2)];
}

// Median microseconds of adding a point to a shown chart that follows its last page, the paint pass
// it asks for included. The chart holds a page and a half, so the last page is half full.
double shownMicros(TrendChart &chart, int64_t perPage, int rounds)
{
    chart.Maxrecord->setText(QString::number(perPage));
    chart.BtNewClick();
    for (int64_t i = 1; i < perPage * 3 / 2; ++i)
        chart.addPoint(reading(i));
    QCoreApplication::processEvents();
    std::vector<double> samples;
    samples.reserve(size_t(rounds));
    for (int r = 0; r < rounds; ++r) {
        const auto start = std::chrono::steady_clock::now();
        chart.addPoint(reading(perPage * 3 / 2 + r));
        QCoreApplication::processEvents();
        const auto stop = std::chrono::steady_clock::now();
        samples.push_back(std::chrono::duration<double, std::micro>(stop - start).count());
    }
    std::nth_element(samples.begin(), samples.begin() + rounds / 2, samples.end());
    return samples[size_t(rounds / 2)];
}

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);

    const int64_t counts[] = {1000, 100000, 1000000};
    const int rounds = 301;
    bool ok = true;
    for (const char *perPage : {"100", "0"}) {
        TrendChart chart;
        chart.setAxisRange(-4000, 4000);
        chart.Maxrecord->setText(QLatin1String(perPage));
        std::printf("points per page %s\n", perPage);
        double base = 0;
        for (int64_t count : counts) {
            const double us = medianMicros(chart, count, rounds);
            if (count == counts[0])
                base = us;
            std::printf("  %8lld points: %8.1f us per point (%.2fx)\n", static_cast<long long>(count), us,
                        us / base);
            if (us > 2000 || us > 1.5 * base)
                ok = false;
        }
    }
    std::printf("%s: at most 1.5x the 1000-point figure and 2 ms a point\n", ok ? "met" : "NOT met");

    // An enlarged chart is about this size; its plot is some 950 pixels wide, so pages up to 900 points
    // draw each point and larger ones draw one span per pixel column.
    TrendChart shown;
    shown.setAxisRange(-4000, 4000);
    shown.resize(1000, 420);
    shown.show();
    std::printf("shown chart, one point and its repaint\n");
    std::vector<double> figures;
    for (int64_t perPage : {100, 300, 900, 5000, 100000}) {
        figures.push_back(shownMicros(shown, perPage, rounds));
        std::printf("  %8lld points per page: %8.1f us per point (%.2fx)\n", static_cast<long long>(perPage),
                    figures.back(), figures.back() / figures.front());
    }
    // A larger page draws fewer pixels per point, so it should cost no more than the smallest.
    const bool flat = *std::max_element(figures.begin(), figures.end()) <= 1.5 * figures.front();
    std::printf("%s: every page size at most 1.5x the 100-point page\n", flat ? "met" : "NOT met");
    return ok && flat ? 0 : 1;
}
