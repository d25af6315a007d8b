#pragma once

#include "decode/LcdState.h"

#include <QString>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

class RowSink;

// What became of a reading handed to the recorder.
enum class RecordOutcome
{
    Stored,
    LimitReached,  // RecordCount passed RecordLimit
    Waiting,       // the sampling interval has not run out
    Repeated,      // same as the last stored reading
    NoTable,       // no reading table is open: nothing stored, nothing counted
    IntervalError, // RecordSITime does not convert; lastError() holds the message
};

// The recorder's window-wide state.
struct RecorderState
{
    int32_t RecordNo = 1;
    int32_t RecordCount = 0;
    int32_t RecordLimit = 10000;
    int32_t SampleCountdown = 0;
    std::string LastRecordKey;
};

// The recording settings the window's controls hold.
struct RecorderSettings
{
    bool RecordSI = false; // "Sampling Interval" check box
    bool RepeatSet = true; // "Repeat" check box
    QString RecordSITime = QStringLiteral("10");
};

// Decides for every decoded reading whether it becomes a row of the reading table. No widgets: the
// window copies its controls into settings() and shows what the calls report.
class Recorder
{
public:
    // The time of day in milliseconds, taken when a row is appended.
    using Clock = std::function<int32_t()>;

    explicit Recorder(RowSink *table);

    RecorderState &state() { return m_state; }
    const RecorderState &state() const { return m_state; }
    RecorderSettings &settings() { return m_settings; }
    const RecorderSettings &settings() const { return m_settings; }
    void setClock(Clock clock) { m_clock = std::move(clock); }
    // Where the rows go (the reading table, the same object across reopens).
    void setTable(RowSink *table) { m_table = table; }

    // Stores the reading when the rules allow; at most one row per call.
    RecordOutcome INDataToTable(const Reading &reading);
    // The Trecord tick, once a second.
    void TrecordTimer();
    // RecordSITime's text changed: the wait restarts from the new interval. False (and
    // lastError()) when the text does not convert.
    bool RecordSITimeChange(const QString &text);
    // Empties the table and restarts numbering; the window shows " Record deleted " first.
    void RecordNewClick();
    // A record-limit menu item was chosen; neither the count nor the table changes.
    void setRecordLimit(int32_t limit) { m_state.RecordLimit = limit; }

    QString lastError() const { return m_lastError; }

    // The interval a RecordSITime text gives: "-", "+" and empty give 0, anything else must be a
    // whole number.
    static std::optional<int32_t> intervalFromText(const QString &text);
    // "'%s' is not a valid integer value" with the text in place of %s.
    static QString notValidIntegerMessage(const QString &text);
    // Whether a whole RecordSITime text (typed or pasted) is acceptable: up to nine digits, so it
    // always converts.
    static bool isValidIntervalText(const QString &text);

private:
    RowSink *m_table = nullptr;
    RecorderState m_state;
    RecorderSettings m_settings;
    Clock m_clock;
    QString m_lastError;
};
