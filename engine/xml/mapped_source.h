#pragma once

#include <cstddef>
#include <sys/stat.h>
#include <sys/types.h>

namespace tessaly::xml {

/// A regular file's bytes mapped read-only and private, followed by zero padding, so that a
/// document is read at the speed of the page cache instead of being copied into fresh memory.
///
/// A file that shrinks while it is mapped would raise SIGBUS on the first read past its new end.
/// A process-wide guard, installed with the first mapping, answers such a fault inside a live
/// mapping by putting a zero page in place of the lost one and marking the mapping `cut()`; the
/// reader then finds bytes that no longer match the file, which whoever owns the document tells
/// apart by checking the file itself (its size and modification time) before trusting a result.
/// A fault anywhere else goes on to the handler that was there before, or ends the process as
/// the signal would have.
class MappedSource {
public:
    MappedSource() = default;
    /// Maps the first `size` bytes of `fd` (size > 0) with at least `padding` zero bytes after
    /// them; an empty source when the kernel refuses to map the file, errno saying why. With
    /// `populate`, every page is read in at once; without, whoever reads brings them in.
    MappedSource(int fd, std::size_t size, std::size_t padding, bool populate);
    MappedSource(MappedSource &&other) noexcept;
    MappedSource &operator=(MappedSource &&other) noexcept;
    MappedSource(const MappedSource &) = delete;
    MappedSource &operator=(const MappedSource &) = delete;
    ~MappedSource();

    /// The first byte, or nullptr when nothing is mapped.
    const char *data() const { return m_data; }
    /// The mapped file, open for reading, when it was mapped unpopulated; -1 when it was
    /// populated, nothing is mapped or it could not be kept.
    int fd() const { return m_fd; }
    /// True when a page of the file went missing while mapped and reads as zeros now.
    bool cut() const;
    /// True when `info` describes the file mapped here.
    bool isFile(const struct stat &info) const;

    /// The call that maps the file; a test replaces it to take mapping away.
    using MapCall = void *(*)(void *address, std::size_t length, int protection, int flags, int fd,
                              off_t offset);
    static void setMapCall(MapCall call);

private:
    void release();
    char *m_data = nullptr;
    std::size_t m_length = 0;
    int m_slot = -1; ///< this mapping's entry in the guard's table
    int m_fd = -1;
    dev_t m_device = 0;
    ino_t m_inode = 0;
};

} // namespace tessaly::xml
