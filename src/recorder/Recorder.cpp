#include "recorder/Recorder.h"

#include "decode/IntegerText.h"

#include "recorder/RowSink.h"

#include <QDateTime>

namespace {

// The local time of day in milliseconds. QTime::currentTime() looks the time zone up at every call,
// which costs more than recording the row; the offset from UTC is looked up once a minute instead
// (zones change their offset on a minute's boundary).
int32_t localTimeOfDayMs()
{
    static qint64 offsetMs = 0;
    static qint64 offsetValidUntil = 0;
    const qint64 now = QDateTime::currentMSecsSinceEpoch();
    if (now >= offsetValidUntil) {
        offsetMs = qint64(QDateTime::fromMSecsSinceEpoch(now).offsetFromUtc()) * 1000;
        offsetValidUntil = now - now % 60000 + 60000;
    }
    constexpr qint64 kDayMs = 86400000;
    return int32_t(((now + offsetMs) % kDayMs + kDayMs) % kDayMs);
}

} // namespace

Recorder::Recorder(RowSink *table) : m_table(table), m_clock(localTimeOfDayMs) {}

RecordOutcome Recorder::INDataToTable(const Reading &reading)
{
    // Without a table the reading has nowhere to go; leave every counter as it is so recording
    // picks up unchanged once a table is open again.
    if (!m_table || !m_table->isOpen())
        return RecordOutcome::NoTable;
    // Strict less-than: with the limit 1000, 1001 rows are stored.
    if (m_state.RecordLimit < m_state.RecordCount)
        return RecordOutcome::LimitReached;
    if (m_settings.RecordSI && m_state.SampleCountdown != 0)
        return RecordOutcome::Waiting;
    std::string key = reading.value + reading.dcac + reading.unit + reading.autoText;
    if (m_settings.RepeatSet && key == m_state.LastRecordKey)
        return RecordOutcome::Repeated;
    m_state.LastRecordKey = std::move(key);
    const std::optional<int32_t> interval = intervalFromText(m_settings.RecordSITime);
    if (!interval) {
        m_lastError = notValidIntegerMessage(m_settings.RecordSITime);
        return RecordOutcome::IntervalError;
    }
    m_state.SampleCountdown = *interval;
    ++m_state.RecordCount;

    RowInput row;
    row.value = reading.value;
    row.nval = reading.Nval;
    row.timeMs = m_clock();
    row.no = m_state.RecordNo;
    row.dcac = reading.dcac;
    row.unit = reading.unit;
    row.autoText = reading.autoText;
    ++m_state.RecordNo;
    if (!m_table->appendRow(row)) {
        m_lastError = m_table->lastError();
        return RecordOutcome::NoTable;
    }
    return RecordOutcome::Stored;
}

void Recorder::TrecordTimer()
{
    if (m_settings.RecordSI && m_state.SampleCountdown > 0)
        --m_state.SampleCountdown;
}

bool Recorder::RecordSITimeChange(const QString &text)
{
    m_settings.RecordSITime = text;
    const std::optional<int32_t> interval = intervalFromText(text);
    if (!interval) {
        m_lastError = notValidIntegerMessage(text);
        return false;
    }
    m_state.SampleCountdown = *interval;
    return true;
}

void Recorder::RecordNewClick()
{
    if (m_table && m_table->isOpen() && m_table->rowCount() > 0)
        m_table->emptyTable();
    m_state.RecordNo = 1;
    m_state.RecordCount = 0;
}

std::optional<int32_t> Recorder::intervalFromText(const QString &text)
{
    if (text.isEmpty() || text == QLatin1String("-") || text == QLatin1String("+"))
        return 0;
    return parseInteger(text.toStdString());
}

QString Recorder::notValidIntegerMessage(const QString &text)
{
    return QString::fromStdString(invalidIntegerMessage(text.toStdString()));
}

bool Recorder::isValidIntervalText(const QString &text)
{
    if (text.size() > 9)
        return false;
    for (QChar c : text) {
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            return false;
    }
    return true;
}
