#pragma once

#include <cstdint>
#include <memory>
#include <vector>

// The points of the trend chart: Y values in arrival order, X being the index. Values sit in fixed
// chunks, so growth allocates one chunk at a time and never moves what is stored. Each chunk keeps
// the min/max of its 64-point blocks, of its 512-point groups and of itself, so the extent of any
// range costs a few dozen steps however many points it spans.
class ChartSeriesStore
{
public:
    static constexpr int kBlockBits = 6;
    static constexpr int kGroupBits = 9;
    static constexpr int kChunkBits = 12;
    static constexpr int64_t kBlockSize = int64_t(1) << kBlockBits;
    static constexpr int64_t kGroupSize = int64_t(1) << kGroupBits;
    static constexpr int64_t kChunkSize = int64_t(1) << kChunkBits;

    // Smallest and largest value of a range; empty when the range holds no point.
    struct Extent
    {
        int32_t min = 0;
        int32_t max = 0;
        bool empty = true;

        void include(int32_t lo, int32_t hi);
    };

    ChartSeriesStore();
    ~ChartSeriesStore();
    ChartSeriesStore(const ChartSeriesStore &) = delete;
    ChartSeriesStore &operator=(const ChartSeriesStore &) = delete;

    void append(int32_t value);
    void clear();

    int64_t size() const { return m_size; }
    int32_t at(int64_t index) const;

    // Min/max of the points with index in [first, last), clipped to what is stored.
    Extent extent(int64_t first, int64_t last) const;

    // Splits [first, last) into `columns` consecutive slices of (nearly) equal length and returns the
    // extent of each: what a chart draws when a range holds more points than it has pixel columns.
    std::vector<Extent> envelope(int64_t first, int64_t last, int columns) const;
    // Only columns [fromColumn, toColumn) of that envelope, each exactly as the whole one has it: what
    // a repaint of a few columns needs.
    std::vector<Extent> envelope(int64_t first, int64_t last, int columns, int fromColumn,
                                 int toColumn) const;

    // Bytes held for the points, summaries included.
    int64_t memoryBytes() const;

private:
    struct Chunk;
    const Chunk &chunkAt(int64_t index) const { return *m_chunks[static_cast<size_t>(index >> kChunkBits)]; }
    void scan(int64_t from, int64_t to, int level, int32_t &lo, int32_t &hi) const;

    std::vector<std::unique_ptr<Chunk>> m_chunks;
    int64_t m_size = 0;
};
