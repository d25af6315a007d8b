#include "store/ReadingStore.h"

#include <algorithm>
#include <cstring>
#include <limits>

namespace {

constexpr int32_t kMsPerDay = 24 * 60 * 60 * 1000;
constexpr uint8_t kOverflowFlag = 1;
constexpr size_t kMaxInternedUnits = 255;
constexpr size_t kMaxInternedUnitBytes = 32;
constexpr size_t kScannedUnits = 8;

constexpr std::string_view kDcacTexts[] = {"", "DC", "AC"};
constexpr std::string_view kAutoTexts[] = {"AUTO", "MANU", ""};

// Compares the few bytes of a field in place; a library compare call costs more than it does.
bool sameText(std::string_view a, std::string_view b)
{
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i) {
        if (a[i] != b[i])
            return false;
    }
    return true;
}

template <size_t N> int codeOf(const std::string_view (&texts)[N], std::string_view text)
{
    for (size_t i = 0; i < N; ++i) {
        if (sameText(texts[i], text))
            return int(i);
    }
    return -1;
}

void twoDigits(int v, char *out)
{
    out[0] = char('0' + v / 10);
    out[1] = char('0' + v % 10);
}

int digitsAt(std::string_view text, size_t pos, size_t count)
{
    int v = 0;
    for (size_t i = pos; i < pos + count; ++i) {
        if (text[i] < '0' || text[i] > '9')
            return -1;
        v = v * 10 + (text[i] - '0');
    }
    return v;
}

} // namespace

void formatTimeOfDay(int32_t ms, char *out)
{
    const int h = ms / 3600000;
    const int m = ms / 60000 % 60;
    const int s = ms / 1000 % 60;
    const int z = ms % 1000;
    twoDigits(h, out);
    out[2] = ':';
    twoDigits(m, out + 3);
    out[5] = ':';
    twoDigits(s, out + 6);
    out[8] = '.';
    out[9] = char('0' + z / 100);
    out[10] = char('0' + z / 10 % 10);
    out[11] = char('0' + z % 10);
}

int32_t parseTimeOfDay(std::string_view text)
{
    if (text.size() != 12 || text[2] != ':' || text[5] != ':' || text[8] != '.')
        return -1;
    const int h = digitsAt(text, 0, 2);
    const int m = digitsAt(text, 3, 2);
    const int s = digitsAt(text, 6, 2);
    const int z = digitsAt(text, 9, 3);
    if (h < 0 || m < 0 || s < 0 || z < 0 || h > 23 || m > 59 || s > 59)
        return -1;
    return ((h * 60 + m) * 60 + s) * 1000 + z;
}

ReadingStore::ReadingStore() = default;
ReadingStore::~ReadingStore() = default;
ReadingStore::ReadingStore(ReadingStore &&) noexcept = default;
ReadingStore &ReadingStore::operator=(ReadingStore &&) noexcept = default;

int ReadingStore::internUnit(std::string_view unit)
{
    // Consecutive readings nearly always share their unit, and a meter has a handful of them: a
    // look along a short list is quicker than hashing.
    if (m_lastUnit >= 0 && sameText(m_units[size_t(m_lastUnit)], unit))
        return m_lastUnit;
    if (unit.size() > kMaxInternedUnitBytes)
        return -1;
    if (m_units.size() <= kScannedUnits) {
        for (size_t i = 0; i < m_units.size(); ++i) {
            if (sameText(m_units[i], unit)) {
                m_lastUnit = int(i);
                return m_lastUnit;
            }
        }
    }
    std::string key(unit);
    auto it = m_units.size() <= kScannedUnits ? m_unitIndex.end() : m_unitIndex.find(key);
    if (it != m_unitIndex.end()) {
        m_lastUnit = it->second;
        return m_lastUnit;
    }
    if (m_units.size() >= kMaxInternedUnits)
        return -1;
    m_units.push_back(key);
    m_lastUnit = int(m_units.size() - 1);
    m_unitIndex.emplace(std::move(key), uint8_t(m_lastUnit));
    return m_lastUnit;
}

bool ReadingStore::fitsCompact(const RowInput &row, int32_t &timeMs, uint8_t &dcac, uint8_t &autoCode,
                               uint8_t &unit)
{
    if (row.nullMask != 0)
        return false;
    if (row.no < std::numeric_limits<int32_t>::min() || row.no > std::numeric_limits<int32_t>::max())
        return false;
    if (double(float(row.nval)) != row.nval)
        return false;
    timeMs = row.timeMs >= 0 ? row.timeMs : parseTimeOfDay(row.timeText);
    if (timeMs < 0 || timeMs >= kMsPerDay)
        return false;
    if (row.value.size() > 8)
        return false;
    for (char c : row.value) {
        if (c < 0x20 || c > 0x7e)
            return false;
    }
    const int d = codeOf(kDcacTexts, row.dcac);
    const int a = codeOf(kAutoTexts, row.autoText);
    if (d < 0 || a < 0)
        return false;
    const int u = internUnit(row.unit);
    if (u < 0)
        return false;
    dcac = uint8_t(d);
    autoCode = uint8_t(a);
    unit = uint8_t(u);
    return true;
}

void ReadingStore::appendOverflow(StoredRow &r, const RowInput &row)
{
    char time[12];
    std::string_view timeText = row.timeText;
    if (row.timeMs >= 0) {
        formatTimeOfDay(row.timeMs % kMsPerDay, time);
        timeText = std::string_view(time, sizeof time);
    }
    const std::string_view texts[] = {timeText, row.dcac, row.value, row.unit, row.autoText};
    const uint8_t textBits[] = {NullTime, NullDcac, NullValue, NullUnit, NullAuto};
    size_t size = 1 + 16;
    for (const std::string_view &t : texts)
        size += 10 + t.size();
    if (m_blocks.empty() || m_blockUsed + size > m_blockSize) {
        m_blockSize = std::max(kBlockBytes, size);
        m_blocks.emplace_back(new char[m_blockSize]);
        m_blockUsed = 0;
        m_blockBytes += m_blockSize;
    }
    char *const start = m_blocks.back().get() + m_blockUsed;
    char *out = start;
    *out++ = char(row.nullMask);
    if (!(row.nullMask & NullNo)) {
        std::memcpy(out, &row.no, 8);
        out += 8;
    }
    if (!(row.nullMask & NullNval)) {
        std::memcpy(out, &row.nval, 8);
        out += 8;
    }
    for (size_t i = 0; i < std::size(texts); ++i) {
        if (row.nullMask & textBits[i])
            continue;
        for (uint64_t n = texts[i].size();; n >>= 7) {
            *out++ = char((n & 0x7f) | (n >= 0x80 ? 0x80 : 0));
            if (n < 0x80)
                break;
        }
        if (!texts[i].empty()) // an empty text may have no data at all, which memcpy must not see
            std::memcpy(out, texts[i].data(), texts[i].size());
        out += texts[i].size();
    }
    r.no = int32_t(m_blocks.size() - 1);
    r.timeMs = int32_t(m_blockUsed);
    r.flags = kOverflowFlag;
    m_blockUsed += size_t(out - start);
    ++m_overflowRows;
}

void ReadingStore::append(const RowInput &row)
{
    if (!(row.nullMask & NullNo)) {
        m_smallestNo = m_anyNo ? std::min(m_smallestNo, row.no) : row.no;
        m_largestNo = m_anyNo ? std::max(m_largestNo, row.no) : row.no;
        m_anyNo = true;
    }
    if ((m_size & (kChunkRows - 1)) == 0 && (m_size >> kChunkShift) == int64_t(m_chunks.size()))
        m_chunks.emplace_back(new StoredRow[kChunkRows]);
    StoredRow &r = slot(m_size);

    int32_t timeMs = 0;
    uint8_t dcac = 0, autoCode = 0, unit = 0;
    if (fitsCompact(row, timeMs, dcac, autoCode, unit)) {
        r.no = int32_t(row.no);
        r.timeMs = timeMs;
        r.nval = float(row.nval);
        std::memset(r.value, 0, sizeof r.value);
        if (!row.value.empty())
            std::memcpy(r.value, row.value.data(), row.value.size());
        r.unit = unit;
        r.dcac = dcac;
        r.autoCode = autoCode;
        r.flags = 0;
    } else {
        appendOverflow(r, row);
    }
    ++m_size;
}

void ReadingStore::view(int64_t row, RowView &out) const
{
    const StoredRow &r = slot(row);
    if (r.flags & kOverflowFlag) {
        const char *in = m_blocks[size_t(r.no)].get() + r.timeMs;
        out.nullMask = uint8_t(*in++);
        out.no = 0;
        out.nval = 0.0;
        if (!(out.nullMask & NullNo)) {
            std::memcpy(&out.no, in, 8);
            in += 8;
        }
        if (!(out.nullMask & NullNval)) {
            std::memcpy(&out.nval, in, 8);
            in += 8;
        }
        std::string_view *const texts[] = {&out.time, &out.dcac, &out.value, &out.unit, &out.autoText};
        const uint8_t textBits[] = {NullTime, NullDcac, NullValue, NullUnit, NullAuto};
        for (size_t i = 0; i < std::size(texts); ++i) {
            if (out.nullMask & textBits[i]) {
                *texts[i] = {};
                continue;
            }
            uint64_t n = 0;
            for (int shift = 0;; shift += 7) {
                const auto byte = uint8_t(*in++);
                n |= uint64_t(byte & 0x7f) << shift;
                if (!(byte & 0x80))
                    break;
            }
            *texts[i] = std::string_view(in, size_t(n));
            in += n;
        }
        return;
    }
    out.no = r.no;
    out.nval = r.nval;
    out.nullMask = 0;
    formatTimeOfDay(r.timeMs, out.timeBuffer);
    out.time = std::string_view(out.timeBuffer, sizeof out.timeBuffer);
    out.dcac = kDcacTexts[r.dcac];
    out.value = std::string_view(r.value, strnlen(r.value, sizeof r.value));
    out.unit = m_units[r.unit];
    out.autoText = kAutoTexts[r.autoCode];
}

std::string ReadingStore::widestNo() const
{
    if (!m_anyNo)
        return {};
    const std::string smallest = std::to_string(m_smallestNo);
    const std::string largest = std::to_string(m_largestNo);
    return smallest.size() > largest.size() ? smallest : largest;
}

void ReadingStore::clear()
{
    m_anyNo = false;
    m_smallestNo = 0;
    m_largestNo = 0;
    m_chunks.clear();
    m_chunks.shrink_to_fit();
    m_size = 0;
    m_blocks.clear();
    m_blocks.shrink_to_fit();
    m_blockUsed = 0;
    m_blockSize = 0;
    m_blockBytes = 0;
    m_overflowRows = 0;
    m_units.clear();
    m_unitIndex.clear();
    m_lastUnit = -1;
}

size_t ReadingStore::bytesReserved() const
{
    return m_chunks.capacity() * sizeof(m_chunks[0]) + m_chunks.size() * kChunkRows * sizeof(StoredRow) +
           m_blocks.capacity() * sizeof(m_blocks[0]) + m_blockBytes;
}

RowInput rowInputOf(const RowView &row)
{
    RowInput in;
    in.no = row.no;
    in.nullMask = row.nullMask;
    in.nval = row.nval;
    in.timeText = row.time;
    in.dcac = row.dcac;
    in.value = row.value;
    in.unit = row.unit;
    in.autoText = row.autoText;
    return in;
}
