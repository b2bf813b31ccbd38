// Records handed out of blocks mapped in whole.
#include "engine/xml/page_arena.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <deque>
#include <vector>

#include <sys/mman.h>
#include <unistd.h>

using namespace tessaly::xml;

namespace {

struct Handed {
    unsigned char *at;
    std::size_t size;
    unsigned char fill;
};

} // namespace

// Records of every size and alignment, through many blocks and one larger than any block,
// each filled in turn: none may overlap another, or stand misaligned, or change afterwards.
TEST(PageArena, RecordsNeitherOverlapNorMove) {
    PageArena arena;
    std::vector<Handed> handed;
    const std::size_t alignments[] = {1, 2, 4, 8, 16, 64};
    for (std::size_t i = 0; i < 6000; ++i) {
        const std::size_t alignment = alignments[i % 6];
        const std::size_t size = i == 3000 ? std::size_t(3) << 20 : 1 + (i * 7919) % 700;
        auto *at = static_cast<unsigned char *>(arena.allocate(size, alignment));
        ASSERT_EQ(reinterpret_cast<std::uintptr_t>(at) % alignment, 0u) << "record " << i;
        const auto fill = static_cast<unsigned char>(i * 31 + 1);
        std::memset(at, fill, size);
        handed.push_back({at, size, fill});
    }
    for (std::size_t i = 0; i < handed.size(); ++i) {
        const Handed &h = handed[i];
        for (std::size_t b = 0; b < h.size; ++b)
            ASSERT_EQ(h.at[b], h.fill) << "record " << i << ", byte " << b;
    }
}

// The point of the arena: the pages of a block are in memory before anything is written to
// them, so filling records costs no page fault each.
TEST(PageArena, BlocksAreInMemoryBeforeTheyAreWritten) {
    PageArena arena;
    const long page = ::sysconf(_SC_PAGESIZE);
    void *first = arena.allocate(1, 1);
    void *large = arena.allocate(std::size_t(1) << 20, 16);
    for (void *at : {first, large}) {
        const auto begin = reinterpret_cast<std::uintptr_t>(at) & ~std::uintptr_t(page - 1);
        const std::size_t pages = at == large ? (std::size_t(1) << 20) / std::size_t(page) : 1;
        std::vector<unsigned char> resident(pages + 1);
        ASSERT_EQ(::mincore(reinterpret_cast<void *>(begin), pages * std::size_t(page),
                            resident.data()),
                  0);
        for (std::size_t p = 0; p < pages; ++p)
            ASSERT_TRUE(resident[p] & 1) << "page " << p << " of the record at " << at;
    }
}

// A deque over the arena keeps its elements where they were put while it grows.
TEST(PageArena, DequeGrowsInPlace) {
    PageArena arena;
    std::deque<std::uint64_t, ArenaAllocator<std::uint64_t>> values{
        ArenaAllocator<std::uint64_t>(arena)};
    values.push_back(7);
    const std::uint64_t *firstAt = &values.front();
    for (std::uint64_t i = 0; i < 200000; ++i)
        values.push_back(i * i);
    EXPECT_EQ(&values.front(), firstAt);
    EXPECT_EQ(values.front(), 7u);
    for (std::uint64_t i = 0; i < 200000; ++i)
        ASSERT_EQ(values[std::size_t(i) + 1], i * i);
}
