#pragma once

#include "decode/MeterDecoder.h"
#include "decode/ModelProfile.h"
#include "logger/LoggedReading.h"
#include "logger/ReadingOutputs.h"
#include "platform/File.h"
#include "recorder/Recorder.h"
#include "recorder/RowSink.h"

#include <QDateTime>
#include <QElapsedTimer>
#include <QObject>
#include <QTimer>

#include <memory>
#include <optional>
#include <vector>

class QSocketNotifier;
class TSerialPortDriver;

// What the headless logger reads and how it records: the window's recording rules with the values
// its controls would hold.
struct LogSettings
{
    ModelSelectors selectors;
    ModelProfile profile;
    RangeConstants range;

    enum class Source
    {
        Device, // a serial device by path
        Port,   // COM1..COM4, mapped as the window maps them
        Input,  // a captured byte stream; "-" for standard input
    };
    Source source = Source::Input;
    QString device;                         // Device: the path; Input: the file
    int port = 0;                           // Port: 0..3 for COM1..COM4
    std::optional<int32_t> intervalSeconds; // the Sampling Interval box, checked; none: every frame
    bool repeatFilter = true;               // the Repeat box
    // The record limit: as in the window, the limit N lets N+1 readings be recorded, and the log ends
    // after the last of them. None: no limit.
    std::optional<int32_t> limit;
};

// The headless logger: bytes from a port or a stream are decoded as the window decodes them, the
// recorder's rules decide which readings are kept, and the kept ones go to the outputs, which are
// flushed at least once a second. Everything runs on the event loop: a stream is read as much as
// is there, never waited for. A kept reading counts as recorded once it is in the output.
class LogSession : public QObject
{
    Q_OBJECT

public:
    enum class Link
    {
        Receiving,
        Waiting,
        PortLost,
    };
    static QString linkText(Link link);

    // How often waiting readings are written out; a kill loses at most this much.
    static constexpr int kFlushIntervalMs = 500;

    explicit LogSession(const LogSettings &settings, QObject *parent = nullptr);
    ~LogSession() override;

    void addOutput(std::unique_ptr<ReadingOutput> output) { m_outputs.push_back(std::move(output)); }
    // Numbering goes on after `no` (a continued file).
    void continueAfter(int64_t no);

    // Opens the source and starts; false with the reason (and what to do) when it cannot be opened.
    bool start(QString *error);
    // Stops reading: the port is closed and nothing more is recorded.
    void stop();
    // Writes what waits. Delayed while another program holds an output locked; Failed (reported
    // once by outputFailed, after which nothing more is read) when an output cannot be written.
    FlushResult flush();
    // Bytes as a source delivers them (benchmarks feed the session directly), arrived now or at
    // arrivalMs (milliseconds since the epoch). A frame's time is the arrival of its last byte: one
    // that came before the read's last byte is placed back by the bytes after it at the line
    // speed, never before the frame ahead of it.
    void receive(const uint8_t *data, size_t size);
    void receive(const uint8_t *data, size_t size, qint64 arrivalMs);

    // Readings that reached the output.
    int64_t recorded() const;
    // Readings the rules kept that are not in the output (yet).
    int64_t unwritten() const { return m_kept - recorded(); }
    bool limitReached() const;
    int64_t failedFrames() const { return m_failedFrames; }
    QString lastReading() const { return m_lastReading; }
    Link link() const { return m_link; }
    QString inputError() const { return m_inputError; }
    qint64 elapsedMs() const { return m_clock.elapsed(); }

signals:
    // A reading was kept (after the outputs got it).
    void readingRecorded(const LoggedReading &reading);
    void linkChanged(LogSession::Link link);
    // The captured stream ended: everything in it was read, or inputError() says why not.
    void inputEnded();
    // Every reading kept so far is in the outputs.
    void flushed();
    // An output could not be written: the log should end. noRoom: the disk is full.
    void outputFailed(const QString &message, bool noRoom);
    // Another program holds the output locked: readings wait in memory; and writing goes on.
    void writingDelayed(const QString &message);
    void writingResumed();
    // The record limit let the last reading through: nothing more will be recorded.
    void limitHit();
    // The port went away (the driver's message) and came back.
    void portLost(const QString &message);
    void portRestored();

private:
    class Sink;

    void readInput();
    void stopReadingInput();
    void setLink(Link link);
    void record(const RowInput &row);

    LogSettings m_settings;
    MeterDecoder m_decoder;
    std::unique_ptr<Sink> m_sink;
    Recorder m_recorder;
    std::vector<std::unique_ptr<ReadingOutput>> m_outputs;
    TSerialPortDriver *m_driver = nullptr;
    platform::File m_input;
#ifdef Q_OS_WIN
    QTimer *m_inputPoll = nullptr;
#else
    QSocketNotifier *m_inputNotifier = nullptr;
#endif
    QTimer m_tick;       // the recording timer's second
    QTimer m_flushTimer; // writes waiting readings out
    QTimer m_idleTimer;  // no frame for a while: waiting
    QElapsedTimer m_clock;
    QDateTime m_now;        // when the reading being recorded arrived
    qint64 m_frameMs = 0;   // when the frame being decoded arrived, since the epoch
    double m_msPerByte = 0; // at the line speed; 0 for a file, read far faster than any line
    Link m_link = Link::Waiting;
    int64_t m_kept = 0;
    int64_t m_failedFrames = 0;
    QString m_lastReading;
    QString m_inputError;
    bool m_outputFailed = false;
    bool m_writingDelayed = false;
};
