#include "logger/PendingReadings.h"

#include <QTimeZone>

#include <algorithm>
#include <cstring>

PendingReadings::PendingReadings(size_t capacity) : m_capacity(std::max<size_t>(capacity, 1)) {}

void PendingReadings::push(const LoggedReading &reading)
{
    if (m_entries.size() >= m_capacity)
        dropOldestUnsent();
    m_entries.push_back(Entry{reading.time.toMSecsSinceEpoch(), reading.no, reading.nval, share(reading), 0});
}

LoggedReading PendingReadings::nextUnsent() const
{
    const Entry &e = m_entries[m_next];
    const Texts &t = m_texts[e.text];
    LoggedReading r;
    r.time = QDateTime::fromMSecsSinceEpoch(e.msecs, QTimeZone(t.offset));
    r.no = e.no;
    r.value = t.value;
    r.unit = t.unit;
    r.dcac = t.dcac;
    r.autoText = t.autoText;
    r.nval = e.nval;
    return r;
}

void PendingReadings::markSent(int messageId)
{
    m_entries[m_next].id = messageId;
    ++m_inFlight;
    ++m_next;
    skipAcknowledged();
}

bool PendingReadings::acknowledge(int messageId)
{
    if (messageId <= 0)
        return false;
    // The broker acknowledges in the order it received, so this is nearly always the front.
    const auto sent = m_entries.begin() + qsizetype(m_next);
    const auto it =
        std::find_if(m_entries.begin(), sent, [messageId](const Entry &e) { return e.id == messageId; });
    if (it == sent)
        return false;
    it->id = kAcknowledged;
    --m_inFlight;
    ++m_delivered;
    ++m_acknowledgedInQueue;
    while (!m_entries.empty() && m_entries.front().id == kAcknowledged) {
        release(m_entries.front().text);
        m_entries.pop_front();
        --m_acknowledgedInQueue;
        --m_next;
    }
    return true;
}

void PendingReadings::unsendAll()
{
    for (size_t i = 0; i < m_next; ++i) {
        if (m_entries[i].id > 0)
            m_entries[i].id = 0;
    }
    m_inFlight = 0;
    m_next = 0;
    skipAcknowledged();
}

void PendingReadings::skipAcknowledged()
{
    while (m_next < m_entries.size() && m_entries[m_next].id != 0)
        ++m_next;
}

void PendingReadings::dropOldestUnsent()
{
    // What is in flight stays: its acknowledgement may be on the way.
    if (m_next >= m_entries.size())
        return;
    const auto it = m_entries.begin() + qsizetype(m_next);
    release(it->text);
    m_entries.erase(it);
    ++m_dropped;
    skipAcknowledged();
}

uint32_t PendingReadings::share(const LoggedReading &reading)
{
    const int offset = reading.time.offsetFromUtc();
    std::string key(sizeof offset, '\0');
    std::memcpy(key.data(), &offset, sizeof offset);
    for (const std::string *text : {&reading.value, &reading.unit, &reading.dcac, &reading.autoText}) {
        key += *text;
        key += '\0';
    }
    const auto found = m_textIndex.find(key);
    if (found != m_textIndex.end()) {
        ++m_texts[found->second].uses;
        return found->second;
    }
    uint32_t index;
    if (m_freeTexts.empty()) {
        index = uint32_t(m_texts.size());
        m_texts.emplace_back();
    } else {
        index = m_freeTexts.back();
        m_freeTexts.pop_back();
    }
    m_texts[index] = Texts{key, offset, reading.value, reading.unit, reading.dcac, reading.autoText, 1};
    m_textIndex.emplace(std::move(key), index);
    return index;
}

void PendingReadings::release(uint32_t text)
{
    Texts &t = m_texts[text];
    if (--t.uses > 0)
        return;
    m_textIndex.erase(t.key);
    t = Texts{};
    m_freeTexts.push_back(text);
}
