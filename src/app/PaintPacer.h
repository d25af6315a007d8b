#pragma once

#include <QObject>
#include <QTimer>

#include <functional>

class QWidget;

// Paints a window at most once per screen refresh, and what one input changes in one pass.
//
// Qt paints a window in passes: each pass works out what changed, paints it into the backing store
// and hands that to the window system (under X, with a round trip to the server). A meter at 174
// frames/s would cause 174 passes a second, of which a 60 Hz screen shows 60; a frame that moves
// the bar by a visible step would cause two, the bar's own repaint and the pass for what the frame's
// posted events changed after it.
//
// The pacer filters the window's update requests. Within a batch (one input: the frames that came
// in one delivery) a widget's immediate repaint only marks it: the batch's changes are painted in
// one pass after the events the batch posted. A pass comes at least kMinIntervalMs after the one
// before; a request that comes sooner waits for the end of the next batch that finds the interval
// over, or for the timer when no batch comes, at most kMaxDelayMs after the last pass.
class PaintPacer : public QObject
{
    Q_OBJECT

public:
    static constexpr int kMinIntervalMs = 16; // one refresh of a 60 Hz screen
    static constexpr int kMaxDelayMs = 24;
    // Milliseconds on a monotonic clock; the steady clock unless a test sets another.
    using Clock = std::function<qint64()>;

    explicit PaintPacer(QWidget *window, Clock clock = {});

    // Marks one input's handling; batches may nest.
    class Batch
    {
    public:
        explicit Batch(PaintPacer *pacer);
        ~Batch();
        Batch(const Batch &) = delete;
        Batch &operator=(const Batch &) = delete;

    private:
        PaintPacer *m_pacer;
    };

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void endBatch();
    qint64 msUntilDue() const;
    void requestPass();

    QWidget *m_window = nullptr;
    Clock m_clock;
    QTimer m_timer;
    qint64 m_lastPass = 0;
    bool m_painted = false;
    int m_batchDepth = 0;
    bool m_heldInBatch = false;
};
