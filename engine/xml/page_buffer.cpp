#include "engine/xml/page_buffer.h"

#include <cstdint>
#include <new>
#include <sys/mman.h>
#include <utility>

namespace tessaly::xml {
namespace {

constexpr std::size_t kSmallPage = 4096;
constexpr std::size_t kHugePage = 2u << 20;
// Below this a huge page would mostly hold zeros that still have to be cleared.
constexpr std::size_t kHugeThreshold = 8u << 20;

std::size_t roundUp(std::size_t n, std::size_t to) {
    return (n + to - 1) / to * to;
}

} // namespace

bool PageBuffer::wantsHugePages(std::size_t size) {
    return size >= kHugeThreshold;
}

PageBuffer::PageBuffer(std::size_t size, bool huge) : PageBuffer(size, huge, 0) {}

PageBuffer PageBuffer::populated(std::size_t size) {
    return PageBuffer(size, false, MAP_POPULATE);
}

PageBuffer::PageBuffer(std::size_t size, bool huge, int extraFlags) {
    std::size_t usable = roundUp(size == 0 ? 1 : size, huge ? kHugePage : kSmallPage);
    // Huge pages need an aligned start, so map one extra huge page and start on a boundary.
    m_mappingSize = huge ? usable + kHugePage : usable;
    void *p = mmap(nullptr, m_mappingSize, PROT_READ | PROT_WRITE,
                   MAP_PRIVATE | MAP_ANONYMOUS | extraFlags, -1, 0);
    if (p == MAP_FAILED)
        throw std::bad_alloc();
    m_mapping = p;
    auto start = reinterpret_cast<std::uintptr_t>(p);
    if (huge) {
        start = roundUp(start, kHugePage);
#ifdef MADV_HUGEPAGE
        madvise(reinterpret_cast<void *>(start), usable, MADV_HUGEPAGE);
#endif
    }
    m_data = reinterpret_cast<char *>(start);
    m_size = usable;
}

PageBuffer::PageBuffer(PageBuffer &&other) noexcept
    : m_data(std::exchange(other.m_data, nullptr)), m_size(std::exchange(other.m_size, 0)),
      m_mapping(std::exchange(other.m_mapping, nullptr)),
      m_mappingSize(std::exchange(other.m_mappingSize, 0)) {}

PageBuffer &PageBuffer::operator=(PageBuffer &&other) noexcept {
    if (this != &other) {
        release();
        m_data = std::exchange(other.m_data, nullptr);
        m_size = std::exchange(other.m_size, 0);
        m_mapping = std::exchange(other.m_mapping, nullptr);
        m_mappingSize = std::exchange(other.m_mappingSize, 0);
    }
    return *this;
}

PageBuffer::~PageBuffer() {
    release();
}

void PageBuffer::release() {
    if (m_mapping)
        munmap(m_mapping, m_mappingSize);
    m_mapping = nullptr;
    m_data = nullptr;
    m_size = m_mappingSize = 0;
}

} // namespace tessaly::xml
