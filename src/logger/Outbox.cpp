#include "logger/Outbox.h"

#include <QFile>
#include <QSaveFile>
#include <QTextStream>

#include "store/ReadingStore.h"

#include <sqlite3.h>

#include <algorithm>

namespace {

constexpr int32_t kHalfDayMs = 12 * 3600 * 1000;

std::string column(sqlite3_stmt *s, int i)
{
    const auto *text = reinterpret_cast<const char *>(sqlite3_column_text(s, i));
    return text ? std::string(text, size_t(sqlite3_column_bytes(s, i))) : std::string();
}

} // namespace

Outbox::~Outbox()
{
    sqlite3_finalize(m_select);
    sqlite3_close(m_db);
}

QString Outbox::sideFileFor(const QString &tablePath)
{
    return tablePath + QStringLiteral(".unsent");
}

bool Outbox::open(const QString &tablePath, int64_t lastNo, QString *error)
{
    m_sidePath = sideFileFor(tablePath);
    m_lastNo = lastNo;
    const auto fail = [&](const QString &why) {
        *error = QStringLiteral("%1: %2").arg(tablePath, why);
        return false;
    };
    if (sqlite3_open_v2(tablePath.toUtf8().constData(), &m_db, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK ||
        sqlite3_prepare_v2(m_db,
                           "SELECT rowid, No, Time, \"DC/AC\", Value, Unit, AUTO, Nval FROM Readings "
                           "WHERE rowid > ?1 ORDER BY rowid LIMIT 256",
                           -1, &m_select, nullptr) != SQLITE_OK)
        return fail(QString::fromUtf8(sqlite3_errmsg(m_db)));
    sqlite3_busy_timeout(m_db, 100);

    int64_t lastRowid = 0;
    sqlite3_stmt *last = nullptr;
    if (sqlite3_prepare_v2(m_db, "SELECT max(rowid) FROM Readings", -1, &last, nullptr) == SQLITE_OK &&
        sqlite3_step(last) == SQLITE_ROW)
        lastRowid = sqlite3_column_int64(last, 0);
    sqlite3_finalize(last);

    QFile side(m_sidePath);
    if (side.open(QIODevice::ReadOnly)) {
        QTextStream in(&side);
        bool understood = false;
        while (!in.atEnd()) {
            const QStringList f = in.readLine().split(QLatin1Char(' '), Qt::SkipEmptyParts);
            if (f.size() == 5 && f[0] == QLatin1String("after")) {
                m_after = {f[1].toLongLong(), f[2].toLongLong(), QDate::fromString(f[3], Qt::ISODate),
                           f[4].toInt()};
                understood = true;
            } else if (f.size() == 3 && f[0] == QLatin1String("run")) {
                m_runs.push_back({f[1].toLongLong(), QDate::fromString(f[2], Qt::ISODate)});
            }
        }
        if (!understood)
            return fail(QStringLiteral("%1 is not what the logger keeps there: remove it to publish only new "
                                       "readings")
                            .arg(m_sidePath));
    }
    // No side file, or one left by a table since removed: only what comes now is for the broker.
    if (!side.exists() || m_after.rowid > lastRowid) {
        m_after = Position{lastRowid, lastNo, QDate(), -1};
        m_runs.clear();
    }
    m_fed = m_after;
    if (!save())
        return fail(m_error);
    return true;
}

void Outbox::noteRecorded(const LoggedReading &reading)
{
    m_lastNo = reading.no;
    if (m_runNoted)
        return;
    m_runNoted = true;
    m_runs.push_back({reading.no, reading.time.date()});
    save();
}

bool Outbox::fetch()
{
    sqlite3_reset(m_select);
    sqlite3_bind_int64(m_select, 1, m_fetchedAt.empty() ? m_fed.rowid : m_fetchedAt.back().rowid);
    Position at = m_fetchedAt.empty() ? m_fed : m_fetchedAt.back();
    int rc;
    while ((rc = sqlite3_step(m_select)) == SQLITE_ROW) {
        LoggedReading r;
        at.rowid = sqlite3_column_int64(m_select, 0);
        r.no = sqlite3_column_int64(m_select, 1);
        const int32_t timeMs = parseTimeOfDay(column(m_select, 2));
        r.dcac = column(m_select, 3);
        r.value = column(m_select, 4);
        r.unit = column(m_select, 5);
        r.autoText = column(m_select, 6);
        r.nval = sqlite3_column_double(m_select, 7);
        // A run's first reading carries its date; past midnight the time of day starts again.
        const auto run =
            std::find_if(m_runs.begin(), m_runs.end(), [&](const Run &x) { return x.no == r.no; });
        if (run != m_runs.end())
            at.date = run->date;
        else if (!at.date.isValid())
            at.date = QDate::currentDate();
        else if (timeMs >= 0 && at.timeMs >= 0 && timeMs < at.timeMs - kHalfDayMs)
            at.date = at.date.addDays(1);
        at.no = r.no;
        at.timeMs = std::max(timeMs, 0);
        r.time = QDateTime(at.date, QTime::fromMSecsSinceStartOfDay(at.timeMs));
        m_fetched.push_back(std::move(r));
        m_fetchedAt.push_back(at);
    }
    sqlite3_reset(m_select);
    if (rc != SQLITE_DONE && rc != SQLITE_BUSY && rc != SQLITE_LOCKED)
        m_error = QString::fromUtf8(sqlite3_errmsg(m_db));
    return !m_fetched.empty();
}

bool Outbox::next(LoggedReading *reading)
{
    if (m_fetched.empty() && !fetch())
        return false;
    *reading = std::move(m_fetched.front());
    m_fetched.pop_front();
    m_fed = m_fetchedAt.front();
    m_fetchedAt.pop_front();
    m_handed.push_back(m_fed);
    return true;
}

void Outbox::acknowledgedAllBut(int64_t queued)
{
    if (int64_t(m_handed.size()) <= queued)
        return;
    while (int64_t(m_handed.size()) > queued) {
        m_after = m_handed.front();
        m_handed.pop_front();
    }
    // Runs before the acknowledged reading are no longer needed to date the table.
    m_runs.erase(
        std::remove_if(m_runs.begin(), m_runs.end(), [&](const Run &r) { return r.no <= m_after.no; }),
        m_runs.end());
    save();
}

bool Outbox::save()
{
    QSaveFile file(m_sidePath);
    if (!file.open(QIODevice::WriteOnly)) {
        m_error = QStringLiteral("%1: %2").arg(m_sidePath, file.errorString());
        return false;
    }
    QByteArray text = QByteArrayLiteral("next ") + QByteArray::number(qint64(nextNo())) + '\n';
    text +=
        QByteArrayLiteral("after ") + QByteArray::number(qint64(m_after.rowid)) + ' ' +
        QByteArray::number(qint64(m_after.no)) + ' ' +
        (m_after.date.isValid() ? m_after.date.toString(Qt::ISODate).toLatin1() : QByteArrayLiteral("-")) +
        ' ' + QByteArray::number(m_after.timeMs) + '\n';
    for (const Run &run : m_runs)
        text += QByteArrayLiteral("run ") + QByteArray::number(qint64(run.no)) + ' ' +
                run.date.toString(Qt::ISODate).toLatin1() + '\n';
    file.write(text);
    if (!file.commit()) {
        m_error = QStringLiteral("%1: %2").arg(m_sidePath, file.errorString());
        return false;
    }
    return true;
}
