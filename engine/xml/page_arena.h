#pragma once

#include "engine/xml/page_buffer.h"

#include <cstddef>
#include <vector>

namespace tessaly::xml {

/// Memory for records that live as long as their document, handed out from blocks that are
/// mapped in whole. A large document notes and patches hundreds of thousands of small records;
/// taken from the heap, each new page of them costs a page fault, which on some systems is the
/// largest single cost of a run. Blocks grow with what the arena has handed out, so a small
/// document maps little. Nothing is given back before the arena goes.
class PageArena {
public:
    PageArena() = default;
    PageArena(const PageArena &) = delete;
    PageArena &operator=(const PageArena &) = delete;

    /// `size` bytes aligned to `alignment` (a power of two, at most a page); throws
    /// std::bad_alloc when the kernel refuses.
    void *allocate(std::size_t size, std::size_t alignment);

private:
    std::vector<PageBuffer> m_blocks;
    char *m_next = nullptr;
    char *m_end = nullptr;
    std::size_t m_mapped = 0; ///< the bytes of all blocks
};

/// An allocator over a PageArena for the standard containers; what they free stays with the
/// arena. The containers must not outlive it.
template <typename T> class ArenaAllocator {
public:
    using value_type = T;

    explicit ArenaAllocator(PageArena &arena) noexcept : m_arena(&arena) {}
    template <typename U>
    ArenaAllocator(const ArenaAllocator<U> &other) noexcept : m_arena(other.arena()) {}

    T *allocate(std::size_t n) {
        return static_cast<T *>(m_arena->allocate(n * sizeof(T), alignof(T)));
    }
    void deallocate(T *, std::size_t) noexcept {}

    PageArena *arena() const noexcept { return m_arena; }
    template <typename U> bool operator==(const ArenaAllocator<U> &other) const noexcept {
        return m_arena == other.arena();
    }

private:
    PageArena *m_arena;
};

} // namespace tessaly::xml
