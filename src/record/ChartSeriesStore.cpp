#include "record/ChartSeriesStore.h"

#include <algorithm>

struct ChartSeriesStore::Chunk
{
    static constexpr int kBlocks = 1 << kBlocksPerChunkBits;

    int32_t values[kChunkSize];
    int32_t blockMin[kBlocks];
    int32_t blockMax[kBlocks];
    int32_t min;
    int32_t max;
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
    const int64_t block = offset >> kBlockBits;
    if ((offset & (kBlockSize - 1)) == 0) {
        chunk.blockMin[block] = value;
        chunk.blockMax[block] = value;
    } else {
        chunk.blockMin[block] = std::min(chunk.blockMin[block], value);
        chunk.blockMax[block] = std::max(chunk.blockMax[block], value);
    }
    if (offset == 0) {
        chunk.min = value;
        chunk.max = value;
    } else {
        chunk.min = std::min(chunk.min, value);
        chunk.max = std::max(chunk.max, value);
    }
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
    return m_chunks[static_cast<size_t>(index >> (kBlockBits + kBlocksPerChunkBits))]
        ->values[index & (kChunkSize - 1)];
}

ChartSeriesStore::Extent ChartSeriesStore::extent(int64_t first, int64_t last) const
{
    Extent result;
    first = std::max<int64_t>(first, 0);
    last = std::min(last, m_size);
    int64_t i = first;
    // Walk up: single points to a block edge, blocks to a chunk edge, then whole chunks, then down.
    while (i < last) {
        const Chunk &chunk = *m_chunks[static_cast<size_t>(i / kChunkSize)];
        const int64_t offset = i & (kChunkSize - 1);
        if (offset == 0 && i + kChunkSize <= last) {
            result.include(chunk.min, chunk.max);
            i += kChunkSize;
        } else if ((offset & (kBlockSize - 1)) == 0 && i + kBlockSize <= last) {
            const int64_t block = offset >> kBlockBits;
            result.include(chunk.blockMin[block], chunk.blockMax[block]);
            i += kBlockSize;
        } else {
            const int32_t v = chunk.values[offset];
            result.include(v, v);
            ++i;
        }
    }
    return result;
}

std::vector<ChartSeriesStore::Extent> ChartSeriesStore::envelope(int64_t first, int64_t last,
                                                                 int columns) const
{
    std::vector<Extent> result(static_cast<size_t>(std::max(columns, 0)));
    const int64_t count = last - first;
    if (columns <= 0 || count <= 0)
        return result;
    for (int c = 0; c < columns; ++c) {
        const int64_t from = first + count * c / columns;
        const int64_t to = first + count * (c + 1) / columns;
        result[static_cast<size_t>(c)] = extent(from, to);
    }
    return result;
}

int64_t ChartSeriesStore::memoryBytes() const
{
    return static_cast<int64_t>(m_chunks.size() * sizeof(Chunk) +
                                m_chunks.capacity() * sizeof(std::unique_ptr<Chunk>));
}
