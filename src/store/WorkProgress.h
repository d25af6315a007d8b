#pragma once

#include <algorithm>
#include <cstdint>
#include <functional>

// Long work on a table file (opening, a table copy, the text export) runs on the caller's thread in
// slices. Between slices it calls this with how far it has come, done of total (total is
// ProgressMeter::kScale), at least every few milliseconds; returning false cancels the work, which
// then leaves everything as it was before it started.
using WorkProgress = std::function<bool(int64_t done, int64_t total)>;

// Spreads the phases of one job over the progress scale and remembers a cancel.
class ProgressMeter
{
public:
    static constexpr int64_t kScale = 1000;

    explicit ProgressMeter(const WorkProgress &progress) : m_progress(progress) {}

    // The steps reported next cover [from, to) of the scale.
    void setPhase(int64_t from, int64_t to)
    {
        m_from = from;
        m_to = to;
    }
    // done of total steps of the current phase are done; false once the work is to stop.
    bool report(int64_t done, int64_t total)
    {
        if (m_cancelled)
            return false;
        if (!m_progress)
            return true;
        const int64_t share = total > 0 ? (m_to - m_from) * std::clamp<int64_t>(done, 0, total) / total : 0;
        m_cancelled = !m_progress(m_from + share, kScale);
        return !m_cancelled;
    }
    bool cancelled() const { return m_cancelled; }
    int64_t phaseFrom() const { return m_from; }

private:
    const WorkProgress &m_progress;
    int64_t m_from = 0;
    int64_t m_to = kScale;
    bool m_cancelled = false;
};
