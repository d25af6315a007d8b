#include "display/MeterBar.h"

#include <QBackingStore>
#include <QImage>
#include <QTest>
#include <QWidget>

#include <gtest/gtest.h>

namespace {

// A plain progress bar and the meter's bar side by side on one window, moved alike.
struct TwoBars
{
    QWidget window;
    QProgressBar plain{&window};
    MeterBar meter{&window};

    TwoBars()
    {
        window.resize(300, 40);
        plain.setGeometry(3, 3, 283, 12);
        meter.setGeometry(3, 23, 283, 12);
        for (QProgressBar *bar : {&plain, static_cast<QProgressBar *>(&meter)}) {
            bar->setRange(0, 40);
            bar->setValue(30);
            bar->setTextVisible(false);
        }
        window.show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(&window));
    }

    void setValue(int v)
    {
        plain.setValue(v);
        meter.setValue(v);
    }

    // What the window shows of each bar: the backing store, built up by the repaints so far.
    std::pair<QImage, QImage> shown() const
    {
        const auto *store = static_cast<const QImage *>(window.backingStore()->paintDevice());
        return {store->copy(plain.geometry()), store->copy(meter.geometry())};
    }
};

} // namespace

TEST(MeterBar, ShowsWhatAProgressBarShowsAtEveryStepIncludingTheSkippedRepaints)
{
    TwoBars bars;
    // Up and down in steps of one (smaller than the bar repaints for), two and more, twice over, so
    // that the second round is copied from pictures.
    const int values[] = {30, 31, 32, 34, 0, 1, 40, 39, 38, 20, 21, 23, 22, 30};
    int drawnInFirstRound = 0;
    for (int round = 0; round < 2; ++round) {
        for (int v : values) {
            bars.setValue(v);
            const auto [plain, meter] = bars.shown();
            ASSERT_EQ(plain, meter) << "value " << v << ", round " << round;
            ASSERT_EQ(bars.plain.grab().toImage(), bars.meter.grab().toImage()) << "value " << v;
        }
        if (round == 0)
            drawnInFirstRound = bars.meter.drawnCount();
    }
    EXPECT_EQ(bars.meter.drawnCount(), drawnInFirstRound) << "the second round is copied from pictures";
    EXPECT_GT(bars.meter.copiedCount(), 0);
}
