#include "app/PaintPacer.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEvent>
#include <QTest>
#include <QWidget>
#include <gtest/gtest.h>

namespace {

class CountingWidget : public QWidget
{
public:
    using QWidget::QWidget;
    int paints = 0;

protected:
    void paintEvent(QPaintEvent *) override { ++paints; }
};

// Counts the update requests the pacer lets through: installed first, it sees them after the pacer.
class PassCounter : public QObject
{
public:
    int passes = 0;

protected:
    bool eventFilter(QObject *, QEvent *event) override
    {
        if (event->type() == QEvent::UpdateRequest)
            ++passes;
        return false;
    }
};

struct Paced
{
    qint64 now = 1000;
    QWidget window;
    PassCounter counter;
    CountingWidget *a = new CountingWidget(&window);
    CountingWidget *b = new CountingWidget(&window);
    PaintPacer *pacer = nullptr;

    Paced()
    {
        window.installEventFilter(&counter);
        pacer = new PaintPacer(&window, [this] { return now; });
        window.resize(100, 100);
        a->setGeometry(0, 0, 50, 50);
        b->setGeometry(50, 50, 50, 50);
        window.show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(&window));
        // A first pass, at a known time, well after those of showing the window.
        now += 100;
        a->update();
        QCoreApplication::sendPostedEvents();
        a->paints = b->paints = 0;
        counter.passes = 0;
    }

    bool waitForPaint(CountingWidget *w, int atLeast)
    {
        QElapsedTimer clock;
        clock.start();
        while (w->paints < atLeast && clock.elapsed() < 5000)
            QTest::qWait(5);
        return w->paints >= atLeast;
    }
};

TEST(PaintPacer, PaintsAtMostOncePerIntervalAndNeverLosesAChange)
{
    struct Case
    {
        const char *name;
        qint64 sinceLastPass;
        bool inBatch;
        bool repaint; // QWidget::repaint rather than update
        bool paintedAtOnce;
        bool paintedAfterPostedEvents;
    };
    const Case cases[] = {
        {"update after the interval", PaintPacer::kMinIntervalMs, false, false, false, true},
        {"update too soon", PaintPacer::kMinIntervalMs - 1, false, false, false, false},
        {"repaint after the interval", PaintPacer::kMinIntervalMs, false, true, true, true},
        {"repaint too soon", 2, false, true, false, false},
        {"repaint in a batch", 100, true, true, false, true},
        {"repaint in a batch too soon", 2, true, true, false, false},
        {"update in a batch", 100, true, false, false, true},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        Paced p;
        p.now += c.sinceLastPass;
        {
            const PaintPacer::Batch batch(c.inBatch ? p.pacer : nullptr);
            if (c.repaint)
                p.a->repaint();
            else
                p.a->update();
            EXPECT_EQ(p.a->paints, c.paintedAtOnce ? 1 : 0);
        }
        QCoreApplication::sendPostedEvents();
        EXPECT_EQ(p.a->paints, c.paintedAfterPostedEvents ? 1 : 0);
        // Held back, the change is painted once the interval is over, without another request.
        p.now += PaintPacer::kMinIntervalMs;
        EXPECT_TRUE(p.waitForPaint(p.a, 1));
        EXPECT_EQ(p.a->paints, 1);
        EXPECT_EQ(p.counter.passes, 1);
    }
}

TEST(PaintPacer, WhatABatchAndItsPostedEventsChangeIsOnePass)
{
    Paced p;
    p.now += 100;
    {
        const PaintPacer::Batch outer(p.pacer);
        const PaintPacer::Batch inner(p.pacer);
        p.a->repaint();
        // Work the batch posts, as a view's deferred layout does.
        QMetaObject::invokeMethod(
            p.b, [&p] { p.b->update(); }, Qt::QueuedConnection);
    }
    QCoreApplication::sendPostedEvents();
    QCoreApplication::sendPostedEvents();
    EXPECT_EQ(p.a->paints, 1);
    EXPECT_EQ(p.b->paints, 1);
    EXPECT_EQ(p.counter.passes, 1);
}

TEST(PaintPacer, AHeldPassIsTakenByTheFirstBatchAfterTheInterval)
{
    // While frames stream, the held pass comes with a frame rather than with a wakeup of its own.
    Paced p;
    p.now += 2;
    p.a->update();
    QCoreApplication::sendPostedEvents();
    EXPECT_EQ(p.a->paints, 0);
    p.now += PaintPacer::kMinIntervalMs;
    {
        const PaintPacer::Batch batch(p.pacer);
    }
    QCoreApplication::sendPostedEvents();
    EXPECT_EQ(p.a->paints, 1);
    EXPECT_EQ(p.counter.passes, 1);
}

} // namespace
