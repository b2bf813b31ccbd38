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

// A revisiting reader finds this much read in ahead of it: a page fault maps at most a few
// pages of the file, reading many in at once costs a tenth as much.
constexpr std::size_t kRevisitAhead = std::size_t(4) << 20;
// Past the budget, a revisiting reader keeps this much behind the furthest place it has read.
constexpr std::size_t kRevisitKept = std::size_t(8) << 20;
// A read this close to a reader's trail is that reader's; one further from every trail is
// another reader's, or the same one starting again.
constexpr std::size_t kRevisitNear = std::size_t(1) << 20;
// A page fault on a mapped file maps the pages of the block around it.
constexpr std::size_t kFaultAround = std::size_t(64) << 10;

std::size_t pageSize() {
    static const std::size_t size = std::size_t(::sysconf(_SC_PAGESIZE));
    return size;
}

std::size_t roundDown(std::size_t offset, std::size_t unit) {
    return offset / unit * unit;
}

std::size_t roundUp(std::size_t offset, std::size_t unit) {
    return roundDown(offset + unit - 1, unit);
}

std::size_t toPageEnd(std::size_t offset) {
    return roundUp(offset, pageSize());
}

} // namespace

SourceSweep::SourceSweep(const char *data, std::size_t size, std::size_t revisitBudget)
    // madvise takes a non-const address; nothing here writes through it.
    : m_data(const_cast<char *>(data)), m_size(size), m_next(0), m_revisitBudget(revisitBudget) {}

void SourceSweep::readIn(std::size_t begin, std::size_t end) {
    // Failure only means the reader takes the pages one fault at a time; a file cut short
    // meanwhile is the mapping's guard's to answer when it is read.
#ifdef MADV_POPULATE_READ
    ::madvise(m_data + begin, end - begin, MADV_POPULATE_READ);
#else
    ::madvise(m_data + begin, end - begin, MADV_WILLNEED);
#endif
}

void SourceSweep::advance(std::size_t offset) {
    const std::size_t ahead = std::min(m_size, toPageEnd(offset + kAhead));
    if (ahead > m_readIn) {
        readIn(m_readIn, ahead);
        m_readIn = ahead;
    }
    if (offset > kBehind) {
        const std::size_t behind = roundDown(offset - kBehind, pageSize());
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
    m_revisiting = true;
    for (Trail &trail : m_trails)
        trail = Trail();
    m_current = 0;
}

void SourceSweep::noteRevisit(std::size_t offset) {
    Trail *oldest = nullptr;
    for (Trail &trail : m_trails) {
        if (trail.lastUse != 0 && offset + kRevisitNear >= trail.low &&
            offset <= trail.high + kRevisitNear) {
            follow(trail, offset);
            return;
        }
        // The trail just followed is never the one to give way.
        if (&trail != &m_trails[m_current] && (!oldest || trail.lastUse < oldest->lastUse))
            oldest = &trail;
    }
    // A reader far from every trail: the one least recently followed gives way.
    if (oldest->lastUse != 0)
        giveBack(oldest->low, oldest->readIn);
    *oldest = Trail{offset, offset, roundDown(offset, pageSize()), 0, 0};
    follow(*oldest, offset);
}

void SourceSweep::follow(Trail &trail, std::size_t offset) {
    trail.lastUse = ++m_uses;
    trail.low = std::min(trail.low, offset);
    trail.high = std::max(trail.high, offset);
    if (trail.high + kRevisitAhead / 2 > trail.readIn) {
        extend(trail);
        // Within the budget, pages stay for the next pass.
        if (resident() > m_revisitBudget && trail.high - trail.low > kRevisitKept) {
            giveBack(trail.low, trail.high - kRevisitKept);
            trail.low = trail.high - kRevisitKept;
        }
    }
    trail.quiet = trail.readIn - kRevisitAhead / 2;
    m_current = std::size_t(&trail - m_trails);
}

std::size_t SourceSweep::resident() const {
    std::size_t total = 0;
    for (const Trail &trail : m_trails)
        total += trail.lastUse != 0 ? trail.readIn - trail.low : 0;
    return total;
}

void SourceSweep::extend(Trail &trail) {
    const std::size_t end = std::min(m_size, toPageEnd(trail.high + kRevisitAhead));
    if (end > trail.readIn)
        readIn(trail.readIn, end);
    trail.readIn = std::max(trail.readIn, end);
}

void SourceSweep::giveBack(std::size_t begin, std::size_t end) {
    // A read maps the pages of its whole block; a page given back that is still wanted is
    // simply read in again.
    begin = roundDown(begin, kFaultAround);
    end = std::min(toPageEnd(m_size), roundUp(end, kFaultAround));
    if (begin < end)
        ::madvise(m_data + begin, end - begin, MADV_DONTNEED);
}

} // namespace tessaly::xml
