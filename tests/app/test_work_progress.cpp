#include "app/WindowPrompts.h"

#include <QElapsedTimer>
#include <QPointer>
#include <QProgressDialog>
#include <QPushButton>
#include <QTimer>
#include <QWidget>
#include <gtest/gtest.h>

namespace {

// Long work as the window runs it: the window's timers keep running throughout, a cancellable
// dialog shows only once the work has taken half a second, and the dialog goes with the work.
TEST(WorkProgress, LongWorkKeepsTheWindowServedAndCanBeCancelled)
{
    QWidget window;
    window.show();
    WindowPrompts prompts(&window);
    int ticks = 0;
    QTimer timer;
    timer.setInterval(5);
    QObject::connect(&timer, &QTimer::timeout, [&] { ++ticks; });
    timer.start();

    WorkProgress progress = prompts.progress(QStringLiteral("Saving run.xls ..."));
    QElapsedTimer clock;
    clock.start();
    const auto workUntil = [&](qint64 ms) {
        for (int64_t step = 0; clock.elapsed() < ms; ++step) {
            QElapsedTimer slice;
            slice.start();
            while (slice.elapsed() < 2) {
            }
            if (!progress(step % ProgressMeter::kScale, ProgressMeter::kScale))
                return false;
        }
        return true;
    };

    ASSERT_TRUE(workUntil(WindowPrompts::kProgressDelayMs - 150));
    EXPECT_GT(ticks, 10) << "the window's events wait for the work";
    EXPECT_TRUE(window.findChildren<QProgressDialog *>().isEmpty()) << "short work shows no dialog";

    ASSERT_TRUE(workUntil(WindowPrompts::kProgressDelayMs + 150));
    const QList<QProgressDialog *> dialogs = window.findChildren<QProgressDialog *>();
    ASSERT_EQ(dialogs.size(), 1);
    QPointer<QProgressDialog> dialog = dialogs.first();
    EXPECT_TRUE(dialog->isVisible());
    EXPECT_TRUE(dialog->isModal());
    EXPECT_EQ(dialog->labelText(), QStringLiteral("Saving run.xls ..."));

    QPushButton *cancel = dialog->findChild<QPushButton *>();
    ASSERT_NE(cancel, nullptr);
    cancel->click();
    EXPECT_FALSE(workUntil(clock.elapsed() + 100)) << "Cancel stops the work";
    progress = {};
    EXPECT_TRUE(dialog.isNull());
}

} // namespace
