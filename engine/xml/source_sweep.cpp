#include "engine/xml/source_sweep.h"

#include <algorithm>
#include <sys/mman.h>
#include <unistd.h>

namespace tessaly::xml {
namespace {

// Each move of the window is two system calls and makes every thread of the process drop
// what it cached of the pages given back: moves of a few megabytes cost little next to the
// parsing between them, and keep the window small next to a large file.
constexpr std::size_t kStep = std::size_t(8) << 20;
// Read in ahead of the reader, so that it meets pages already there.
constexpr std::size_t kAhead = 2 * kStep;
// Kept behind it: an end tag looks back at its start tag.
constexpr std::size_t kBehind = kStep;

std::size_t pageSize() {
    static const std::size_t size = std::size_t(::sysconf(_SC_PAGESIZE));
    return size;
}

std::size_t toPageEnd(std::size_t offset) {
    return (offset + pageSize() - 1) / pageSize() * pageSize();
}

} // namespace

SourceSweep::SourceSweep(const char *data, std::size_t size)
    // madvise takes a non-const address; nothing here writes through it.
    : m_data(const_cast<char *>(data)), m_size(size), m_next(0) {}

void SourceSweep::advance(std::size_t offset) {
    const std::size_t ahead = std::min(m_size, toPageEnd(offset + kAhead));
    if (ahead > m_readIn) {
        // Failure only means the reader takes the pages one fault at a time; a file cut short
        // meanwhile is the mapping's guard's to answer when it is read.
#ifdef MADV_POPULATE_READ
        ::madvise(m_data + m_readIn, ahead - m_readIn, MADV_POPULATE_READ);
#else
        ::madvise(m_data + m_readIn, ahead - m_readIn, MADV_WILLNEED);
#endif
        m_readIn = ahead;
    }
    if (offset > kBehind) {
        const std::size_t behind = (offset - kBehind) / pageSize() * pageSize();
        if (behind > m_givenBack) {
            ::madvise(m_data + m_givenBack, behind - m_givenBack, MADV_DONTNEED);
            m_givenBack = behind;
        }
    }
    m_next = offset + kStep;
}

void SourceSweep::finish() {
    if (!m_data)
        return;
    // All of it, not only what the reader passed: others read through the mapping meanwhile.
    ::madvise(m_data, toPageEnd(m_size), MADV_DONTNEED);
    m_next = ~std::size_t(0);
}

} // namespace tessaly::xml
