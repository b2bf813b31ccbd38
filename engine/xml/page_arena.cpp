#include "engine/xml/page_arena.h"

#include <algorithm>
#include <cstdint>
#include <new>

namespace tessaly::xml {
namespace {

constexpr std::size_t kFirstBlock = std::size_t(16) << 10;
// Larger blocks save few system calls, and their pages would be cleared long before they are
// written: out of the cache again by then.
constexpr std::size_t kLargestBlock = std::size_t(256) << 10;

} // namespace

void *PageArena::allocate(std::size_t size, std::size_t alignment) {
    auto aligned = [alignment](char *p) {
        const auto at = reinterpret_cast<std::uintptr_t>(p);
        return reinterpret_cast<char *>((at + alignment - 1) & ~(std::uintptr_t(alignment) - 1));
    };
    char *at = m_next ? aligned(m_next) : nullptr;
    if (!at || size > std::size_t(m_end - at)) {
        // Each block as large as all before it: as many blocks as doublings, within bounds.
        const std::size_t block =
            std::max(size, std::clamp(m_mapped, kFirstBlock, kLargestBlock));
        m_blocks.push_back(PageBuffer::populated(block));
        m_mapped += m_blocks.back().size();
        at = m_blocks.back().data();
        m_end = at + m_blocks.back().size();
    }
    m_next = at + size;
    return at;
}

} // namespace tessaly::xml
