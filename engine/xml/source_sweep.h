#pragma once

#include <cstddef>
#include <cstdint>

namespace tessaly::xml {

/// Keeps only a window of a mapped file in memory while it is read from start to end: the
/// pages ahead of the reader are read in before it needs them, and those well behind it are
/// given back. A page given back is read again from the file when touched, so this changes what
/// memory holds, never what is read. A large document then needs memory for its nodes and its
/// edits, not for all of its bytes at once.
class SourceSweep {
public:
    /// True for a file large enough to be read this way. A smaller one is read in whole at
    /// once: its window would be most of it, and the memory of the program around it more.
    static bool wanted(std::size_t size) { return size >= kSmallest; }

    /// Does nothing: for a source that is not a mapped file, or a small one.
    SourceSweep() = default;
    /// What readers that come back may keep of the file in all (see revisit()). Below it, a
    /// page read stays for the next pass: a page read in again costs about as much as the first
    /// time, and a relink reads the resources of an export five times.
    static constexpr std::size_t kRevisitBudget = std::size_t(256) << 20;

    /// For the `size` bytes of a file mapped at `data`, read from its first byte on.
    SourceSweep(const char *data, std::size_t size, std::size_t revisitBudget = kRevisitBudget);

    /// The reader has come to `offset`. Cheap enough to call for every tag.
    void at(std::size_t offset) {
        if (offset >= m_next)
            advance(offset);
    }
    /// Gives back every page: the reading is done. What reads the mapping later says so with
    /// revisit(), and those pages are given back in turn.
    void finish();

    /// Something reads at `offset` through the mapping once the reading from start to end is
    /// done: a pass over elements, or the writer. Such readers mostly go forward, a few of them
    /// at a time (a relink reads each proxy while it appends to the end of `resources`). The
    /// pages ahead of each are read in, and once they hold more than the budget, those a reader
    /// has left well behind are given back. Cheap enough to call for every tag.
    void revisit(std::size_t offset) {
        if (!m_revisiting)
            return;
        // Most reads follow the last one closely: nothing to do but note how far it went.
        Trail &trail = m_trails[m_current];
        if (offset >= trail.low && offset < trail.quiet) {
            trail.high = offset > trail.high ? offset : trail.high;
            return;
        }
        noteRevisit(offset);
    }

private:
    static constexpr std::size_t kSmallest = std::size_t(32) << 20;

    /// Where one reader of a revisit has been, from `low` to `high`, and the end of what was
    /// read in ahead of it.
    struct Trail {
        std::size_t low = 0;
        std::size_t high = 0;
        std::size_t readIn = 0;
        std::size_t quiet = 0;     ///< below it, from `low` on, a read changes nothing else
        std::uint64_t lastUse = 0; ///< 0: unused
    };

    void advance(std::size_t offset);
    void readIn(std::size_t begin, std::size_t end);
    void noteRevisit(std::size_t offset);
    /// Takes a read at `offset` as the trail's.
    void follow(Trail &trail, std::size_t offset);
    /// The pages the trails hold, read or read in ahead.
    std::size_t resident() const;
    /// Reads in the pages ahead of the trail.
    void extend(Trail &trail);
    /// Gives back the pages around [begin, end), as far as the kernel may have mapped them.
    void giveBack(std::size_t begin, std::size_t end);
    static constexpr std::size_t kTrails = 4;

    char *m_data = nullptr;
    std::size_t m_size = 0;
    std::size_t m_next = ~std::size_t(0); ///< where the window moves on next
    std::size_t m_readIn = 0;              ///< the end of what was read in ahead
    std::size_t m_givenBack = 0;           ///< the end of what was given back behind

    std::size_t m_revisitBudget = kRevisitBudget;
    bool m_revisiting = false;
    Trail m_trails[kTrails];
    std::size_t m_current = 0; ///< the trail of the last read
    std::uint64_t m_uses = 0;
};

} // namespace tessaly::xml
