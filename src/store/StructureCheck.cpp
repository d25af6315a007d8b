#include "store/StructureCheck.h"

#include "store/TableFile.h"

#include <QUrl>

#include <chrono>

StructureCheck::StructureCheck(const QString &path)
{
    // immutable: no locks, no journal or log read; the caller's lock is what keeps the file still.
    const QByteArray uri = "file:" + QByteArray(path.startsWith(QLatin1Char('/')) ? "" : "/") +
                           QUrl::toPercentEncoding(path, "/") + "?immutable=1";
    const int rc = sqlite3_open_v2(uri.constData(), &m_db, SQLITE_OPEN_READONLY | SQLITE_OPEN_URI, nullptr);
    if (rc != SQLITE_OK) {
        m_result.errorCode = rc;
        m_result.error = m_db ? tablefile::engineMessage(m_db) : QString::fromUtf8(sqlite3_errstr(rc));
        m_done.store(true, std::memory_order_release);
        return;
    }
    tablefile::harden(m_db);
    m_worker = std::thread([this] { run(); });
}

StructureCheck::~StructureCheck()
{
    if (m_db)
        sqlite3_interrupt(m_db);
    if (m_worker.joinable())
        m_worker.join();
    sqlite3_close_v2(m_db);
}

void StructureCheck::run()
{
    Result result;
    sqlite3_stmt *stmt = nullptr;
    int rc = sqlite3_prepare_v2(m_db, "PRAGMA quick_check(1)", -1, &stmt, nullptr);
    if (rc == SQLITE_OK)
        rc = sqlite3_step(stmt);
    if (rc == SQLITE_ROW) {
        result.finished = true;
        result.verdict = QString::fromUtf8(reinterpret_cast<const char *>(sqlite3_column_text(stmt, 0)));
    } else {
        result.errorCode = sqlite3_extended_errcode(m_db);
        result.error = tablefile::engineMessage(m_db);
    }
    sqlite3_finalize(stmt);
    {
        const std::lock_guard<std::mutex> lock(m_mutex);
        m_result = result;
        m_done.store(true, std::memory_order_release);
    }
    m_finished.notify_all();
}

StructureCheck::Result StructureCheck::finish(const std::function<bool()> &keepGoing)
{
    bool interrupted = false;
    for (;;) {
        {
            std::unique_lock<std::mutex> lock(m_mutex);
            if (m_finished.wait_for(lock, std::chrono::milliseconds(20), [this] { return done(); }))
                return m_result;
        }
        // Outside the lock: keepGoing serves the window's events.
        if (!interrupted && !keepGoing()) {
            sqlite3_interrupt(m_db);
            interrupted = true;
        }
    }
}
