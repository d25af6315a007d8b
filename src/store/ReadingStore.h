#pragma once

#include "recorder/RowInput.h"

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

// A stored row as views into the store (or into timeBuffer); valid until the store changes.
struct RowView
{
    int64_t no = 0;
    double nval = 0.0;
    uint8_t nullMask = 0;
    std::string_view time;
    std::string_view dcac;
    std::string_view value;
    std::string_view unit;
    std::string_view autoText;
    char timeBuffer[12] = {};

    RowView() = default;
    RowView(const RowView &) = delete; // the time view may point into timeBuffer
    RowView &operator=(const RowView &) = delete;
};

// The stored row as a row to store again (its texts stay views into the store).
RowInput rowInputOf(const RowView &row);

// Formats a time of day as "HH:MM:SS.zzz" into out (12 characters, no terminator).
void formatTimeOfDay(int32_t ms, char *out);
// Reads "HH:MM:SS.zzz" back; -1 when the text is not exactly that form.
int32_t parseTimeOfDay(std::string_view text);

// The rows of a reading table held in memory: 24 bytes for a row as the recorder writes it, in
// chunks so that growth never moves rows already stored. Rows whose texts or numbers do not fit the
// compact form (possible only in files written elsewhere) keep every field whole, packed into blocks
// of bytes: such a row takes about 26 bytes more than its texts, whatever they are.
class ReadingStore
{
public:
    static constexpr int kChunkShift = 14;
    static constexpr int64_t kChunkRows = int64_t(1) << kChunkShift;

    ReadingStore();
    ~ReadingStore();
    ReadingStore(ReadingStore &&) noexcept;
    ReadingStore &operator=(ReadingStore &&) noexcept;

    int64_t size() const { return m_size; }
    bool empty() const { return m_size == 0; }
    // The highest No stored (0 when none is above 0), for numbering that must not repeat.
    int64_t highestNo() const { return m_anyNo && m_largestNo > 0 ? m_largestNo : 0; }

    void append(const RowInput &row);
    void view(int64_t row, RowView &out) const;
    void clear();

    // The longest text of a No among the rows (the smallest or the largest number); empty when no
    // row has a No.
    std::string widestNo() const;

    // Rows that did not fit the compact form.
    int64_t overflowCount() const { return m_overflowRows; }
    // Memory held by the rows, for the benchmark's bytes-per-row figure.
    size_t bytesReserved() const;

private:
    // Plain fields without initialisers: a fresh chunk is not zero-filled, which keeps appending
    // at a constant cost.
    struct StoredRow
    {
        int32_t no; // the side-list index for an overflow row
        int32_t timeMs;
        float nval;
        char value[8]; // NUL-padded when shorter than 8
        uint8_t unit;  // index into m_units
        uint8_t dcac;
        uint8_t autoCode;
        uint8_t flags;
    };
    static_assert(sizeof(StoredRow) == 24, "a recorded row must stay 24 bytes");

    // An overflow row is packed as: its null mask (1 byte), No and Nval (8 bytes each, left out when
    // NULL), then each text that is not NULL as its length (a base-128 varint) and its bytes. The
    // row's StoredRow gives its block (no) and the offset in it (timeMs).
    static constexpr size_t kBlockBytes = size_t(1) << 20;

    void appendOverflow(StoredRow &r, const RowInput &row);
    bool fitsCompact(const RowInput &row, int32_t &timeMs, uint8_t &dcac, uint8_t &autoCode, uint8_t &unit);
    int internUnit(std::string_view unit);
    StoredRow &slot(int64_t row) const { return m_chunks[row >> kChunkShift][row & (kChunkRows - 1)]; }

    std::vector<std::unique_ptr<StoredRow[]>> m_chunks;
    int64_t m_size = 0;
    std::vector<std::unique_ptr<char[]>> m_blocks; // never moved once written
    size_t m_blockUsed = 0;                        // bytes used in the last block
    size_t m_blockSize = 0;                        // size of the last block
    size_t m_blockBytes = 0;                       // size of all blocks
    int64_t m_overflowRows = 0;
    int64_t m_smallestNo = 0;
    int64_t m_largestNo = 0;
    bool m_anyNo = false;
    std::vector<std::string> m_units;
    std::unordered_map<std::string, uint8_t> m_unitIndex;
    int m_lastUnit = -1;
};
