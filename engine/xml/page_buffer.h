#pragma once

#include <cstddef>

namespace tessaly::xml {

/// Zero-filled memory straight from the kernel. Large buffers ask for transparent huge pages,
/// which cuts the first-touch page faults that dominate loading a big document.
class PageBuffer {
public:
    PageBuffer() = default;
    /// Maps at least `size` bytes, asking for huge pages when `huge`; throws std::bad_alloc
    /// when the kernel refuses.
    PageBuffer(std::size_t size, bool huge);
    /// Maps at least `size` bytes with every page already in place: for a buffer that is
    /// certain to be filled, one system call instead of a page fault per page. Throws
    /// std::bad_alloc when the kernel refuses.
    static PageBuffer populated(std::size_t size);
    /// True when a buffer of this size is worth backing with huge pages.
    static bool wantsHugePages(std::size_t size);
    PageBuffer(PageBuffer &&other) noexcept;
    PageBuffer &operator=(PageBuffer &&other) noexcept;
    PageBuffer(const PageBuffer &) = delete;
    PageBuffer &operator=(const PageBuffer &) = delete;
    ~PageBuffer();

    /// The first byte of the mapping, or nullptr for an empty buffer.
    char *data() const { return m_data; }
    /// The usable size, at least the size asked for.
    std::size_t size() const { return m_size; }

private:
    PageBuffer(std::size_t size, bool huge, int extraFlags);
    void release();
    char *m_data = nullptr;
    std::size_t m_size = 0;
    void *m_mapping = nullptr;
    std::size_t m_mappingSize = 0;
};

} // namespace tessaly::xml
