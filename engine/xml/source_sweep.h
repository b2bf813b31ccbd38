#pragma once

#include <cstddef>

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
    /// For the `size` bytes of a file mapped at `data`, read from its first byte on.
    SourceSweep(const char *data, std::size_t size);

    /// The reader has come to `offset`. Cheap enough to call for every tag.
    void at(std::size_t offset) {
        if (offset >= m_next)
            advance(offset);
    }
    /// Gives back every page: the reading is done. Pages read later, through the mapping,
    /// stay until the next finish().
    void finish();

private:
    static constexpr std::size_t kSmallest = std::size_t(32) << 20;

    void advance(std::size_t offset);

    char *m_data = nullptr;
    std::size_t m_size = 0;
    std::size_t m_next = ~std::size_t(0); ///< where the window moves on next
    std::size_t m_readIn = 0;              ///< the end of what was read in ahead
    std::size_t m_givenBack = 0;           ///< the end of what was given back behind
};

} // namespace tessaly::xml
