#pragma once

#include <QString>

#include <atomic>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

struct sqlite3;

// The engine's structure check of a large table file, on a connection of its own in a worker
// thread, so that it runs while this thread loads the rows instead of before: the two passes over
// the file then take the time of the longer one. The connection reads the file as it stands on
// disk, without locks or side files. That is the file the caller reads only while the caller's own
// connection holds it locked against every writer and keeps no write-ahead log: only then may
// the caller start one. Nothing else is shared with the worker.
class StructureCheck
{
public:
    struct Result
    {
        bool finished = false; // the engine gave its verdict
        QString verdict;       // "ok", or the first thing it found wrong
        int errorCode = 0;     // when it did not finish: the engine's error code and message
        QString error;
    };

    // Opens the file at path (absolute) and starts the check.
    explicit StructureCheck(const QString &path);
    // Interrupts a check still running and waits for the worker.
    ~StructureCheck();
    StructureCheck(const StructureCheck &) = delete;
    StructureCheck &operator=(const StructureCheck &) = delete;

    bool done() const { return m_done.load(std::memory_order_acquire); }
    // Done, and found the file damaged or could not check it.
    bool failed() const { return done() && !(m_result.finished && m_result.verdict == QLatin1String("ok")); }
    // Waits for the verdict, calling keepGoing about every 20 ms meanwhile; when it returns false
    // the check is interrupted (the result then says so).
    Result finish(const std::function<bool()> &keepGoing);

private:
    void run();

    sqlite3 *m_db = nullptr;
    Result m_result; // the worker's until m_done
    std::atomic<bool> m_done{false};
    std::mutex m_mutex;
    std::condition_variable m_finished;
    std::thread m_worker;
};
