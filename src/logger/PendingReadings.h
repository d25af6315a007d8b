#pragma once

#include "logger/LoggedReading.h"

#include <QtGlobal>

#include <cstdint>
#include <deque>
#include <string>
#include <unordered_map>
#include <vector>

// Readings on their way to the message broker, oldest first, kept until the broker acknowledges
// them. A reading takes 32 bytes here: its texts and UTC offset are shared by every reading that
// shows the same, so a day of readings from a meter fits in a few tens of megabytes. Past the
// capacity the oldest reading not yet handed to the broker goes, and is counted.
class PendingReadings
{
public:
    static constexpr size_t kBytesPerReading = 32;
    // 24 hours at 174 readings a second, in about 460 MB when the broker is away that long.
    static constexpr size_t kDefaultCapacity = 174 * 86400;

    explicit PendingReadings(size_t capacity = kDefaultCapacity);

    void push(const LoggedReading &reading);

    bool hasUnsent() const { return m_next < m_entries.size(); }
    // The oldest reading not handed to the broker yet (hasUnsent() must hold).
    LoggedReading nextUnsent() const;
    // nextUnsent() went out as the message messageId.
    void markSent(int messageId);
    // The broker acknowledged messageId; false when no reading went out as it.
    bool acknowledge(int messageId);
    // The connection is gone: what the broker has not acknowledged goes out again, in order.
    void unsendAll();

    int inFlight() const { return m_inFlight; }
    qint64 waiting() const { return qint64(m_entries.size()) - m_acknowledgedInQueue; }
    // The oldest reading not acknowledged and all after it, acknowledged or not.
    qint64 queued() const { return qint64(m_entries.size()); }
    qint64 delivered() const { return m_delivered; }
    qint64 dropped() const { return m_dropped; }

private:
    // id: 0 not sent yet, above 0 the message id it went out as, kAcknowledged once the broker
    // has it but an older one is still in flight.
    struct Entry
    {
        int64_t msecs;
        int64_t no;
        double nval;
        uint32_t text;
        int32_t id;
    };
    static_assert(sizeof(Entry) == kBytesPerReading, "a queued reading stays at 32 bytes");
    static constexpr int32_t kAcknowledged = -1;

    struct Texts
    {
        std::string key;
        int offset = 0;
        std::string value;
        std::string unit;
        std::string dcac;
        std::string autoText;
        uint32_t uses = 0;
    };

    uint32_t share(const LoggedReading &reading);
    void release(uint32_t text);
    void skipAcknowledged();
    void dropOldestUnsent();

    size_t m_capacity;
    std::deque<Entry> m_entries;
    // Every entry before m_next has been handed to the broker; m_next is unsent or the end.
    size_t m_next = 0;
    int m_inFlight = 0;
    qint64 m_acknowledgedInQueue = 0;
    qint64 m_delivered = 0;
    qint64 m_dropped = 0;

    std::vector<Texts> m_texts;
    std::vector<uint32_t> m_freeTexts;
    std::unordered_map<std::string, uint32_t> m_textIndex;
};
