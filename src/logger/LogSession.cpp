#include "logger/LogSession.h"

#include "serial/SerialDriver.h"

#include <QFile>
#ifndef Q_OS_WIN
#include <QSocketNotifier>
#endif

#include <cmath>
#include <functional>
#include <limits>

// The recorder's rows, handed on to the outputs as they come: nothing is kept.
class LogSession::Sink : public RowSink
{
public:
    explicit Sink(LogSession &session) : m_session(session) {}
    bool isOpen() const override { return true; }
    int64_t rowCount() const override { return m_session.m_kept; }
    bool appendRow(const RowInput &row) override
    {
        m_session.record(row);
        return true;
    }
    bool emptyTable() override { return true; }
    QString lastError() const override { return {}; }

private:
    LogSession &m_session;
};

QString LogSession::linkText(Link link)
{
    switch (link) {
    case Link::Receiving:
        return QStringLiteral("receiving");
    case Link::Waiting:
        return QStringLiteral("waiting");
    case Link::PortLost:
        break;
    }
    return QStringLiteral("port lost");
}

LogSession::LogSession(const LogSettings &settings, QObject *parent)
    : QObject(parent), m_settings(settings),
      m_decoder(settings.profile.family, DecodeContext{settings.selectors, settings.range}),
      m_sink(std::make_unique<Sink>(*this)), m_recorder(m_sink.get())
{
    RecorderSettings &rules = m_recorder.settings();
    rules.RecordSI = settings.intervalSeconds.has_value();
    rules.RecordSITime = QString::number(settings.intervalSeconds.value_or(0));
    rules.RepeatSet = settings.repeatFilter;
    m_recorder.setRecordLimit(settings.limit.value_or(std::numeric_limits<int32_t>::max()));
    // The row's time and the reading's date are the frame's own arrival.
    m_recorder.setClock([this] {
        m_now = QDateTime::fromMSecsSinceEpoch(m_frameMs);
        return int32_t(m_now.time().msecsSinceStartOfDay());
    });

    m_tick.setInterval(1000);
    connect(&m_tick, &QTimer::timeout, this, [this] { m_recorder.TrecordTimer(); });
    m_flushTimer.setInterval(kFlushIntervalMs);
    connect(&m_flushTimer, &QTimer::timeout, this, [this] { flush(); });
    m_idleTimer.setInterval(1000);
    m_idleTimer.setSingleShot(true);
    connect(&m_idleTimer, &QTimer::timeout, this, [this] {
        if (m_link == Link::Receiving)
            setLink(Link::Waiting);
    });
}

LogSession::~LogSession()
{
    // Whoever listened may be gone by now.
    blockSignals(true);
    flush();
}

int64_t LogSession::recorded() const
{
    int64_t stored = m_kept;
    for (const auto &output : m_outputs)
        stored = std::min(stored, output->stored());
    return stored;
}

bool LogSession::limitReached() const
{
    // The recorder refuses a reading once its count has passed the limit.
    return m_settings.limit && m_recorder.state().RecordCount > *m_settings.limit;
}

void LogSession::continueAfter(int64_t no)
{
    m_recorder.state().RecordNo = int32_t(no + 1);
}

bool LogSession::start(QString *error)
{
    m_clock.start();
    m_frameMs = QDateTime::currentMSecsSinceEpoch();
    // A byte on the line is a start bit, eight data bits and a stop bit.
    m_msPerByte = 10 * 1000.0 / (m_settings.profile.baud19200 ? 19200 : 2400);
    if (m_settings.source == LogSettings::Source::Input) {
        if (m_settings.device == QLatin1String("-")) {
            m_input = platform::File::standardInput();
        } else {
            // Not blocking: a named pipe opens before anyone writes into it.
            platform::Error failed;
            m_input = platform::File::open(m_settings.device.toStdString(),
                                           platform::File::Access::ReadNonBlocking, &failed);
            if (!m_input.isOpen()) {
                *error =
                    QStringLiteral("%1: %2").arg(m_settings.device, QString::fromStdString(failed.message));
                return false;
            }
        }
        if (m_input.isRegular())
            m_msPerByte = 0;
#ifdef Q_OS_WIN
        // Windows tells no readiness of files and pipes: the input is read in turns with the loop's
        // other work.
        m_inputPoll = new QTimer(this);
        connect(m_inputPoll, &QTimer::timeout, this, &LogSession::readInput);
        m_inputPoll->start(0);
#else
        m_inputNotifier = new QSocketNotifier(m_input.handle(), QSocketNotifier::Read, this);
        connect(m_inputNotifier, &QSocketNotifier::activated, this, &LogSession::readInput);
#endif
    } else {
        m_driver = new TSerialPortDriver(this);
        TSerialPortDriver::removeStaleLock(
            m_settings.source == LogSettings::Source::Device
                ? m_settings.device
                : TSerialPortDriver::devicePathFor(TComPortNumber(m_settings.port)));
        m_driver->setComPortSpeed(m_settings.profile.baud19200 ? br19200 : br2400);
        if (m_settings.source == LogSettings::Source::Device)
            m_driver->setDevice(m_settings.device);
        else
            m_driver->setComPort(static_cast<TComPortNumber>(m_settings.port));
        m_driver->setReadOnArrival(true);
        m_driver->setOnReceiveData([this](TSerialPortDriver *, const char *data, qint32 size) {
            receive(reinterpret_cast<const uint8_t *>(data), size_t(size));
        });
        connect(m_driver, &TSerialPortDriver::portLost, this, [this](const QString &message) {
            setLink(Link::PortLost);
            emit portLost(message);
        });
        connect(m_driver, &TSerialPortDriver::portRestored, this, [this] {
            setLink(Link::Waiting);
            emit portRestored();
        });
        if (!m_driver->Connect()) {
            *error = m_driver->lastErrorText();
            return false;
        }
    }
    m_tick.start();
    m_flushTimer.start();
    return true;
}

void LogSession::stop()
{
    if (m_driver)
        m_driver->Disconnect();
    stopReadingInput();
    m_tick.stop();
    m_idleTimer.stop();
}

void LogSession::readInput()
{
    // One read of what is there: a pipe that stays open must not hold up the event loop.
    char buffer[65536];
    platform::Error failed;
    const std::ptrdiff_t n = m_input.read(buffer, sizeof buffer, &failed);
    if (n > 0) {
        receive(reinterpret_cast<const uint8_t *>(buffer), size_t(n));
        return;
    }
    if (n < 0 && failed.kind == platform::Error::Kind::Busy) // nothing waits yet
        return;
    if (n < 0)
        m_inputError =
            QStringLiteral("%1: %2").arg(m_settings.device, QString::fromStdString(failed.message));
    stopReadingInput();
    flush();
    emit inputEnded();
}

void LogSession::stopReadingInput()
{
#ifdef Q_OS_WIN
    if (m_inputPoll)
        m_inputPoll->stop();
#else
    if (m_inputNotifier)
        m_inputNotifier->setEnabled(false);
#endif
}

void LogSession::receive(const uint8_t *data, size_t size)
{
    receive(data, size, QDateTime::currentMSecsSinceEpoch());
}

void LogSession::receive(const uint8_t *data, size_t size, qint64 arrivalMs)
{
    size_t end = size; // where the frame being decoded ends in data
    const std::function<void(const FrameOutcome &)> onFrame = [&](const FrameOutcome &outcome) {
        setLink(Link::Receiving);
        m_idleTimer.start();
        if (!outcome.ok) {
            ++m_failedFrames; // counted and reported, never recorded
            return;
        }
        m_frameMs = std::max(m_frameMs, arrivalMs - std::llround(double(size - end) * m_msPerByte));
        m_recorder.INDataToTable(outcome.reading);
    };
    if (m_msPerByte == 0) {
        m_decoder.receive(data, size, onFrame);
        return;
    }
    // Byte by byte, so that a frame knows where in the read it ended.
    for (end = 1; end <= size; ++end)
        m_decoder.receive(data + end - 1, 1, onFrame);
}

void LogSession::record(const RowInput &row)
{
    LoggedReading reading;
    reading.time = m_now;
    reading.no = row.no;
    reading.value.assign(row.value);
    reading.unit.assign(row.unit);
    reading.dcac.assign(row.dcac);
    reading.autoText.assign(row.autoText);
    reading.nval = row.nval;
    for (const auto &output : m_outputs)
        output->write(reading);
    ++m_kept;
    m_lastReading = QString::fromStdString(reading.value + ' ' + reading.unit);
    emit readingRecorded(reading);
    if (limitReached())
        emit limitHit();
}

FlushResult LogSession::flush()
{
    if (m_outputFailed)
        return FlushResult::Failed;
    FlushResult result = FlushResult::Written;
    for (const auto &output : m_outputs) {
        switch (output->flush()) {
        case FlushResult::Written:
            break;
        case FlushResult::Delayed:
            if (!m_writingDelayed) {
                m_writingDelayed = true;
                emit writingDelayed(output->error());
            }
            result = FlushResult::Delayed;
            break;
        case FlushResult::Failed:
            // Readings that cannot be written are not read any more.
            m_outputFailed = true;
            stop();
            emit outputFailed(output->error(), output->noRoom());
            return FlushResult::Failed;
        }
    }
    if (result == FlushResult::Written && m_writingDelayed) {
        m_writingDelayed = false;
        emit writingResumed();
    }
    if (result == FlushResult::Written)
        emit flushed();
    return result;
}

void LogSession::setLink(Link link)
{
    if (link == m_link)
        return;
    m_link = link;
    emit linkChanged(link);
}
