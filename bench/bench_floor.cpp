// What this machine charges before the window does any work of its own: the CPU per tick of a bare
// window woken at a meter's pace, with nothing repainted, with one small opaque widget repainted, and
// with one label's text changed. bench_live's figures can go no lower than these; they say how much
// of a frame's cost is the toolkit's and the kernel's wake-up rather than the window's.
//
//   bench_floor [--seconds N]
//
// Runs offscreen unless QT_QPA_PLATFORM says otherwise; for a real X server:
//   QT_QPA_PLATFORM=xcb xvfb-run -a -s "-screen 0 1024x768x24" ./build/bench/bench_floor
#include "PacedLoop.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QLabel>
#include <QMainWindow>
#include <QPainter>
#include <QTimer>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

namespace {

double processCpuSeconds()
{
    timespec ts{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return double(ts.tv_sec) + double(ts.tv_nsec) * 1e-9;
}

// The least a repaint can be: a small widget that covers its own pixels.
class Swatch : public QWidget
{
public:
    explicit Swatch(QWidget *parent) : QWidget(parent) { setAttribute(Qt::WA_OpaquePaintEvent); }
    int shade = 0;

protected:
    void paintEvent(QPaintEvent *) override
    {
        QPainter painter(this);
        painter.fillRect(rect(), QColor(shade % 256, 0, 0));
    }
};

enum class Work
{
    None,
    Swatch,
    Label
};

// Ticks at `rate` for `seconds` as bench_live feeds frames (one precise single-shot timer per tick)
// and returns the CPU microseconds per tick.
double ticks(Work work, double rate, double seconds)
{
    QMainWindow window;
    window.resize(615, 447); // the meter window's size
    auto *label = new QLabel(QStringLiteral("0"), &window);
    label->setGeometry(10, 40, 100, 20);
    auto *swatch = new Swatch(&window);
    swatch->setGeometry(200, 40, 20, 20);
    window.show();
    QEventLoop settle;
    QTimer::singleShot(500, &settle, &QEventLoop::quit);
    settle.exec();

    const long total = std::lround(rate * seconds);
    long done = 0;
    const double before = processCpuSeconds();
    PacedLoop().run([&] {
        if (work == Work::Label)
            label->setText(QString::number(done));
        else if (work == Work::Swatch) {
            swatch->shade = int(done);
            swatch->update();
        }
        ++done;
        return done < total ? double(done) * 1000.0 / rate : -1.0;
    });
    QEventLoop last; // the last tick's repaint
    QTimer::singleShot(50, &last, &QEventLoop::quit);
    last.exec();
    return (processCpuSeconds() - before) * 1e6 / double(done);
}

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    const char *usage = "usage: bench_floor [--seconds N]\n"
                        "  CPU per tick of a bare window woken at 17 and 174 ticks/s: with nothing\n"
                        "  repainted, with one 20x20 opaque widget repainted, with one label changed.\n";
    double seconds = 8;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
            std::fputs(usage, stdout);
            return 0;
        } else if (std::strcmp(argv[i], "--seconds") == 0 && i + 1 < argc) {
            seconds = std::atof(argv[++i]);
        } else {
            seconds = -1;
        }
    }
    if (seconds <= 0) {
        std::fputs(usage, stderr);
        return 2;
    }
    QApplication app(argc, argv);
    std::printf("platform %s, %.0f s per figure\n", qPrintable(QApplication::platformName()), seconds);
    for (const double rate : {17.0, 174.0}) {
        const double none = ticks(Work::None, rate, seconds);
        const double swatch = ticks(Work::Swatch, rate, seconds);
        const double label = ticks(Work::Label, rate, seconds);
        std::printf("floor: %.0f us CPU per tick at %.0f ticks/s with nothing repainted, %.0f us with one "
                    "small widget, %.0f us with one label\n",
                    none, rate, swatch, label);
        std::fflush(stdout);
    }
    return 0;
}
