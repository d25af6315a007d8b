#include "chart/ChartPaging.h"
#include "chart/ChartSeriesStore.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>

namespace {

struct PageCountCase
{
    int64_t perPage;
    int64_t points;
    int64_t pages;
};

class PageCount : public ::testing::TestWithParam<PageCountCase>
{};

TEST_P(PageCount, RoundsUpAndIsAtLeastOne)
{
    ChartPaging paging;
    paging.setPointsPerPage(GetParam().perPage, GetParam().points);
    EXPECT_EQ(paging.pageCount(GetParam().points), GetParam().pages);
}

INSTANTIATE_TEST_SUITE_P(Table, PageCount,
                         ::testing::Values(PageCountCase{100, 250, 3}, PageCountCase{100, 200, 2},
                                           PageCountCase{100, 201, 3}, PageCountCase{100, 0, 1},
                                           PageCountCase{100, 1, 1}, PageCountCase{0, 250, 1},
                                           PageCountCase{0, 1000000, 1}, PageCountCase{1, 7, 7}));

TEST(ChartPagingSpan, LastPageKeepsFullWidthAndShowsOnlyItsPoints)
{
    ChartPaging paging;
    paging.setPage(3, 250);
    ASSERT_EQ(paging.page(), 3);
    const ChartPaging::Span s = paging.span(250);
    EXPECT_EQ(s.first, 200);
    EXPECT_EQ(s.last, 250);
    EXPECT_EQ(s.xMin, 200);
    EXPECT_EQ(s.xMax, 299); // not stretched to the 50 points it holds
}

TEST(ChartPagingSpan, ZeroPerPageShowsEverythingOnOnePage)
{
    ChartPaging paging;
    paging.setPointsPerPage(0, 250);
    paging.setPage(5, 250);
    EXPECT_EQ(paging.page(), 1);
    const ChartPaging::Span s = paging.span(250);
    EXPECT_EQ(s.first, 0);
    EXPECT_EQ(s.last, 250);
    EXPECT_EQ(s.xMin, 0);
    EXPECT_EQ(s.xMax, 249);
}

TEST(ChartPagingSetPage, ClampsToExistingPages)
{
    ChartPaging paging;
    paging.setPage(0, 250);
    EXPECT_EQ(paging.page(), 1);
    paging.setPage(99, 250);
    EXPECT_EQ(paging.page(), 3);
    paging.setPage(-4, 250);
    EXPECT_EQ(paging.page(), 1);
}

TEST(ChartPagingSetPointsPerPage, PageBeyondTheNewCountMovesToTheLast)
{
    ChartPaging paging;
    paging.setPage(3, 250);
    paging.setPointsPerPage(200, 250);
    EXPECT_EQ(paging.page(), 2);
    paging.setPointsPerPage(10, 250); // page 2 still exists: it stays
    EXPECT_EQ(paging.page(), 2);
    EXPECT_EQ(paging.caption(), 1); // the caption is only written by the paging commands
}

TEST(ChartPagingCommands, LastShowsTheLastPageAndFollows)
{
    ChartPaging paging;
    paging.first(250);
    paging.last(250);
    EXPECT_EQ(paging.page(), 3);
    EXPECT_EQ(paging.caption(), 3);
    EXPECT_TRUE(paging.FollowLastPage());
    EXPECT_FALSE(paging.buttons().next);
    EXPECT_FALSE(paging.buttons().last);
    EXPECT_TRUE(paging.buttons().first);
    EXPECT_TRUE(paging.buttons().previous);
}

TEST(ChartPagingCommands, FirstStopsFollowingAndNewPointsDoNotMoveTheView)
{
    ChartPaging paging;
    paging.pointAdded(250);
    EXPECT_EQ(paging.page(), 3);
    paging.first(250);
    EXPECT_EQ(paging.page(), 1);
    EXPECT_EQ(paging.caption(), 1);
    EXPECT_FALSE(paging.FollowLastPage());
    EXPECT_FALSE(paging.buttons().first);
    EXPECT_FALSE(paging.buttons().previous);
    EXPECT_TRUE(paging.buttons().next);
    EXPECT_TRUE(paging.buttons().last);
    paging.pointAdded(400);
    EXPECT_EQ(paging.page(), 1);
    EXPECT_EQ(paging.caption(), 1);
}

TEST(ChartPagingCommands, PreviousOnPageOneOnlyChangesTheButtons)
{
    ChartPaging paging;
    paging.pointAdded(250);
    paging.next(250); // on the last page: disables Next and Last, stays
    EXPECT_EQ(paging.page(), 3);
    EXPECT_FALSE(paging.buttons().next);
    paging.previous(250);
    paging.previous(250);
    EXPECT_EQ(paging.page(), 1);
    // Reaching page 1 leaves First and Previous enabled...
    EXPECT_TRUE(paging.buttons().first);
    EXPECT_TRUE(paging.buttons().previous);
    EXPECT_TRUE(paging.buttons().next);
    // ...until Previous is pressed once more.
    paging.previous(250);
    EXPECT_EQ(paging.page(), 1);
    EXPECT_EQ(paging.caption(), 1);
    EXPECT_FALSE(paging.buttons().first);
    EXPECT_FALSE(paging.buttons().previous);
    EXPECT_TRUE(paging.buttons().next);
    EXPECT_TRUE(paging.buttons().last);
    EXPECT_FALSE(paging.FollowLastPage());
}

TEST(ChartPagingCommands, NextStopsFollowingEvenOnTheLastPage)
{
    ChartPaging paging;
    paging.first(250);
    paging.next(250);
    paging.next(250);
    EXPECT_EQ(paging.page(), 3);
    EXPECT_EQ(paging.caption(), 3);
    EXPECT_TRUE(paging.buttons().next); // still enabled until pressed on the last page
    paging.next(250);
    EXPECT_EQ(paging.page(), 3);
    EXPECT_FALSE(paging.buttons().next);
    EXPECT_FALSE(paging.buttons().last);
    EXPECT_TRUE(paging.buttons().first);
    EXPECT_FALSE(paging.FollowLastPage());
    paging.pointAdded(450);
    EXPECT_EQ(paging.page(), 3);
}

TEST(ChartPagingCommands, FollowingTracksTheLastPageAsPointsArrive)
{
    ChartPaging paging;
    for (int64_t n = 1; n <= 301; ++n) {
        paging.pointAdded(n);
        ASSERT_EQ(paging.page(), (n + 99) / 100) << n;
        ASSERT_EQ(paging.caption(), paging.page());
    }
}

// Reference min/max by scanning, to check the summaries against.
ChartSeriesStore::Extent scan(const std::vector<int32_t> &v, int64_t first, int64_t last)
{
    ChartSeriesStore::Extent e;
    for (int64_t i = std::max<int64_t>(first, 0); i < std::min<int64_t>(last, int64_t(v.size())); ++i)
        e.include(v[size_t(i)], v[size_t(i)]);
    return e;
}

TEST(ChartSeriesStore, KeepsValuesInOrderAcrossChunks)
{
    ChartSeriesStore store;
    const int64_t n = 3 * ChartSeriesStore::kChunkSize + 17;
    for (int64_t i = 0; i < n; ++i)
        store.append(int32_t(i * 7 - 5000));
    ASSERT_EQ(store.size(), n);
    for (int64_t i : {int64_t(0), int64_t(63), int64_t(64), ChartSeriesStore::kChunkSize - 1,
                      ChartSeriesStore::kChunkSize, n - 1})
        EXPECT_EQ(store.at(i), int32_t(i * 7 - 5000)) << i;
    // About four bytes a point, plus the part of the newest chunk not yet used.
    EXPECT_LT(store.memoryBytes(), n * 4.2 + ChartSeriesStore::kChunkSize * 5);
    store.clear();
    EXPECT_EQ(store.size(), 0);
    store.append(42);
    EXPECT_EQ(store.at(0), 42);
}

TEST(ChartSeriesStore, ExtentMatchesAScanForRandomRanges)
{
    std::mt19937 rng(7);
    std::uniform_int_distribution<int32_t> value(-4000, 4000);
    std::vector<int32_t> reference;
    ChartSeriesStore store;
    for (int i = 0; i < 20000; ++i) {
        reference.push_back(value(rng));
        store.append(reference.back());
    }
    std::uniform_int_distribution<int64_t> index(-10, 20010);
    for (int k = 0; k < 2000; ++k) {
        int64_t a = index(rng);
        int64_t b = index(rng);
        if (a > b)
            std::swap(a, b);
        const auto got = store.extent(a, b);
        const auto want = scan(reference, a, b);
        ASSERT_EQ(got.empty, want.empty) << a << ".." << b;
        if (!want.empty) {
            ASSERT_EQ(got.min, want.min) << a << ".." << b;
            ASSERT_EQ(got.max, want.max) << a << ".." << b;
        }
    }
}

TEST(ChartSeriesStore, EnvelopeCoversEveryPointOnceAndLeavesColumnsPastTheEndEmpty)
{
    ChartSeriesStore store;
    for (int i = 0; i < 1000; ++i)
        store.append(i % 2 ? i : -i);
    const auto env = store.envelope(0, 2000, 100); // half the columns lie beyond the stored points
    ASSERT_EQ(env.size(), 100u);
    EXPECT_FALSE(env[0].empty);
    EXPECT_EQ(env[0].min, -18);
    EXPECT_EQ(env[0].max, 19);
    EXPECT_FALSE(env[49].empty);
    EXPECT_EQ(env[49].max, 999);
    EXPECT_TRUE(env[50].empty);
    EXPECT_TRUE(env[99].empty);
    EXPECT_TRUE(store.envelope(5, 5, 10)[0].empty);
}

TEST(ChartSeriesStore, EnvelopeColumnsAreThoseOfTheWholeEnvelope)
{
    ChartSeriesStore store;
    for (int i = 0; i < 300000; ++i)
        store.append(int32_t(int64_t(i) * 7919 % 10007) - 5000);
    struct Case
    {
        int64_t first, last;
        int columns, from, to;
    };
    // Fine, block-, group- and chunk-aligned columns; slices at either end and beyond it.
    for (const Case &c :
         {Case{3, 5000, 700, 0, 700}, Case{3, 5000, 700, 250, 260}, Case{17, 200000, 600, 0, 1},
          Case{17, 200000, 600, 598, 600}, Case{0, 300000, 40, 10, 12}, Case{100, 400000, 500, 370, 380},
          Case{5, 900, 300, 290, 310}}) {
        const auto whole = store.envelope(c.first, c.last, c.columns);
        const auto part = store.envelope(c.first, c.last, c.columns, c.from, c.to);
        ASSERT_EQ(part.size(), size_t(std::min(c.to, c.columns) - c.from)) << c.from;
        for (size_t k = 0; k < part.size(); ++k) {
            const auto &w = whole[size_t(c.from) + k];
            EXPECT_EQ(part[k].empty, w.empty) << c.from + int(k);
            EXPECT_EQ(part[k].min, w.min) << c.from + int(k);
            EXPECT_EQ(part[k].max, w.max) << c.from + int(k);
        }
    }
}

} // namespace
