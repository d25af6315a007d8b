#pragma once

#include "logger/LoggedReading.h"

#include <QDate>
#include <QString>

#include <cstdint>
#include <deque>
#include <vector>

struct sqlite3;
struct sqlite3_stmt;

// The broker's readings taken from the table file rather than from memory, so that what the broker
// has not acknowledged survives a stopped broker, a killed logger and a later run with --append.
// Beside FILE.db a small file (FILE.db.unsent) holds the number of the first reading the broker has
// not acknowledged, where the table goes on after the last one it has, and the dates the table's
// times of day belong to (the table keeps the seven fields the window opens, without a date):
//
//   next 1235
//   after 1234 1234 2026-12-08 43200123  the last acknowledged reading's rowid, number, date and
//                                        time of day ("-" for a date not known)
//   run 5001 2026-12-09                  a later run's first reading and its date
//
// Within a run a time of day more than 12 hours before the one ahead of it is on the next day.
class Outbox
{
public:
    Outbox() = default;
    Outbox(const Outbox &) = delete;
    Outbox &operator=(const Outbox &) = delete;
    ~Outbox();

    static QString sideFileFor(const QString &tablePath);

    // Reads the side file, or starts after the table's last reading lastNo when there is none.
    bool open(const QString &tablePath, int64_t lastNo, QString *error);
    // A reading the session recorded (its row is committed later): the first of a run is noted
    // with its date at once, before its row can reach the file.
    void noteRecorded(const LoggedReading &reading);
    // The next committed reading the broker has not been handed; false when there is none yet.
    bool next(LoggedReading *reading);
    // The publisher holds `queued` readings it had from next() and the broker has not acknowledged
    // (the newest ones): the rest are acknowledged, and the side file says so.
    void acknowledgedAllBut(int64_t queued);

    // The first reading the broker has not acknowledged.
    int64_t nextNo() const { return m_after.no + 1; }
    // Readings recorded that the broker has not acknowledged.
    int64_t unacknowledged() const { return m_lastNo - m_after.no; }
    QString error() const { return m_error; }

private:
    struct Position
    {
        int64_t rowid = 0;
        int64_t no = 0;
        QDate date;
        int32_t timeMs = -1;
    };
    struct Run
    {
        int64_t no;
        QDate date;
    };

    bool save();
    bool fetch();

    QString m_sidePath;
    sqlite3 *m_db = nullptr;
    sqlite3_stmt *m_select = nullptr;
    Position m_after;              // the last acknowledged reading
    Position m_fed;                // the last reading handed out
    std::deque<Position> m_handed; // handed out, not known to be acknowledged, oldest first
    std::deque<LoggedReading> m_fetched;
    std::deque<Position> m_fetchedAt;
    std::vector<Run> m_runs;
    int64_t m_lastNo = 0;
    bool m_runNoted = false;
    QString m_error;
};
