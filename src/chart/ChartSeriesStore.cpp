#include "chart/ChartSeriesStore.h"

#include <algorithm>
#include <limits>

namespace {
// Summary levels: 0 is the points themselves, then blocks, groups and whole chunks.
constexpr int kLevelBits[] = {0, ChartSeriesStore::kBlockBits, ChartSeriesStore::kGroupBits,
                              ChartSeriesStore::kChunkBits};
constexpr int kChunkLevel = 3;
} // namespace

struct ChartSeriesStore::Chunk
{
    int32_t values[kChunkSize];
    int32_t blockMin[kChunkSize / kBlockSize];
    int32_t blockMax[kChunkSize / kBlockSize];
    int32_t groupMin[kChunkSize / kGroupSize];
    int32_t groupMax[kChunkSize / kGroupSize];
    int32_t min;
    int32_t max;

    const int32_t *lows(int level) const { return level == 0 ? values : level == 1 ? blockMin : groupMin; }
    const int32_t *highs(int level) const { return level == 0 ? values : level == 1 ? blockMax : groupMax; }
};

void ChartSeriesStore::Extent::include(int32_t lo, int32_t hi)
{
    if (empty) {
        min = lo;
        max = hi;
        empty = false;
        return;
    }
    min = std::min(min, lo);
    max = std::max(max, hi);
}

ChartSeriesStore::ChartSeriesStore() = default;
ChartSeriesStore::~ChartSeriesStore() = default;

void ChartSeriesStore::append(int32_t value)
{
    const int64_t offset = m_size & (kChunkSize - 1);
    if (offset == 0)
        m_chunks.push_back(std::unique_ptr<Chunk>(new Chunk)); // left uninitialised: filled as it grows
    Chunk &chunk = *m_chunks.back();
    chunk.values[offset] = value;
    // A summary starts with the first point of its range and widens with each later one.
    auto widen = [value](bool first, int32_t &lo, int32_t &hi) {
        lo = first ? value : std::min(lo, value);
        hi = first ? value : std::max(hi, value);
    };
    widen((offset & (kBlockSize - 1)) == 0, chunk.blockMin[offset >> kBlockBits],
          chunk.blockMax[offset >> kBlockBits]);
    widen((offset & (kGroupSize - 1)) == 0, chunk.groupMin[offset >> kGroupBits],
          chunk.groupMax[offset >> kGroupBits]);
    widen(offset == 0, chunk.min, chunk.max);
    ++m_size;
}

void ChartSeriesStore::clear()
{
    m_chunks.clear();
    m_chunks.shrink_to_fit();
    m_size = 0;
}

int32_t ChartSeriesStore::at(int64_t index) const
{
    return chunkAt(index).values[index & (kChunkSize - 1)];
}

// Widens lo/hi by the points in [from, to), both multiples of the level's size: the unaligned ends
// are read at this level, the aligned middle one level up.
void ChartSeriesStore::scan(int64_t from, int64_t to, int level, int32_t &lo, int32_t &hi) const
{
    if (level == kChunkLevel) {
        for (int64_t i = from; i < to; i += kChunkSize) {
            const Chunk &chunk = chunkAt(i);
            lo = std::min(lo, chunk.min);
            hi = std::max(hi, chunk.max);
        }
        return;
    }
    const int bits = kLevelBits[level];
    const int64_t up = int64_t(1) << kLevelBits[level + 1];
    // Neither end run crosses a chunk edge, since chunk edges are multiples of `up`.
    auto run = [&](int64_t a, int64_t b) {
        if (a >= b)
            return;
        const Chunk &chunk = chunkAt(a);
        const int64_t index = (a & (kChunkSize - 1)) >> bits;
        const int32_t *l = chunk.lows(level) + index;
        const int32_t *h = chunk.highs(level) + index;
        int32_t runLo = lo; // locals: the references might alias the arrays as far as the compiler knows
        int32_t runHi = hi;
        for (int64_t n = (b - a) >> bits, k = 0; k < n; ++k) {
            runLo = std::min(runLo, l[k]);
            runHi = std::max(runHi, h[k]);
        }
        lo = runLo;
        hi = runHi;
    };
    const int64_t middleStart = std::min((from + up - 1) & ~(up - 1), to);
    const int64_t middleEnd = std::max(to & ~(up - 1), middleStart);
    run(from, middleStart);
    if (middleStart < middleEnd)
        scan(middleStart, middleEnd, level + 1, lo, hi);
    run(middleEnd, to);
}

ChartSeriesStore::Extent ChartSeriesStore::extent(int64_t first, int64_t last) const
{
    Extent result;
    first = std::max<int64_t>(first, 0);
    last = std::min(last, m_size);
    if (first >= last)
        return result;
    int32_t lo = std::numeric_limits<int32_t>::max();
    int32_t hi = std::numeric_limits<int32_t>::min();
    scan(first, last, 0, lo, hi);
    result.include(lo, hi);
    return result;
}

std::vector<ChartSeriesStore::Extent> ChartSeriesStore::envelope(int64_t first, int64_t last,
                                                                 int columns) const
{
    return envelope(first, last, columns, 0, columns);
}

std::vector<ChartSeriesStore::Extent> ChartSeriesStore::envelope(int64_t first, int64_t last, int columns,
                                                                 int fromColumn, int toColumn) const
{
    fromColumn = std::max(fromColumn, 0);
    toColumn = std::min(toColumn, columns);
    std::vector<Extent> result(static_cast<size_t>(std::max(toColumn - fromColumn, 0)));
    const int64_t count = last - first;
    if (columns <= 0 || count <= 0 || result.empty())
        return result;
    // Wide columns start on a block, group or chunk edge, so only summaries are read; an edge then
    // moves by less than a quarter of a column, that is, of a pixel.
    int64_t grain = 1;
    for (int64_t size : {kBlockSize, kGroupSize, kChunkSize}) {
        if (count / columns >= 4 * size)
            grain = size;
    }
    auto edge = [&](int c) {
        if (c == 0)
            return first;
        if (c == columns)
            return last;
        return std::max(first, (first + count * c / columns) & ~(grain - 1));
    };
    for (int c = fromColumn; c < toColumn; ++c)
        result[static_cast<size_t>(c - fromColumn)] = extent(edge(c), edge(c + 1));
    return result;
}

int64_t ChartSeriesStore::memoryBytes() const
{
    return static_cast<int64_t>(m_chunks.size() * sizeof(Chunk) +
                                m_chunks.capacity() * sizeof(std::unique_ptr<Chunk>));
}
