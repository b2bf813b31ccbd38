#include "engine/xml/span_writer.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace tessaly::xml {
namespace {

// Spans shorter than this are copied: the kernel's work for each piece of a gathered write
// costs more than copying a short one, and large writes let it fill whole pages at once.
// Both figures were measured on a relinked 100 MB project.
constexpr std::size_t kCopyBelow = 4096;
constexpr std::size_t kBufferSize = std::size_t(1) << 20;
// The buffer is no larger than the document, within bounds. Every page of it is written, so all
// are mapped in at the start rather than faulted in one at a time.
constexpr std::size_t kSmallestBuffer = std::size_t(64) << 10;
constexpr std::size_t kMaxPieces = IOV_MAX;
// Large enough that the disk gets long runs, small enough that little is left for the final sync.
constexpr off_t kWritebackStep = off_t(8) << 20;
// The source is read this much at a time: few system calls, and the stretch stays in the cache
// while it is copied out.
constexpr std::size_t kStretchSize = std::size_t(1) << 20;

} // namespace

SpanWriter::SpanWriter(int fd, std::filesystem::path file, bool startWriteback,
                       std::function<void(std::uint64_t)> written, SourceFile source)
    : m_fd(fd), m_file(std::move(file)),
      m_capacity(source.data ? std::clamp(source.size, kSmallestBuffer, kBufferSize) : kBufferSize),
      m_startWriteback(startWriteback), m_reportWritten(std::move(written)), m_source(source) {
    m_buffer = PageBuffer::populated(m_capacity);
    m_queued.reserve(kMaxPieces);
    if (m_source.fd < 0 || !m_source.data)
        m_source = {};
    if (m_startWriteback || m_reportWritten) {
        m_written = ::lseek(m_fd, 0, SEEK_CUR);
        m_startWriteback = m_startWriteback && m_written >= 0;
        if (m_written < 0)
            m_reportWritten = nullptr;
        m_handedToDisk = m_written;
    }
}

void SpanWriter::write(const std::vector<Span> &spans) {
    const char *const source = m_source.data;
    for (const Span &span : spans) {
        if (source && span.data >= source && span.data < source + m_source.size)
            addFromSource(std::size_t(span.data - source), span.size);
        else
            add(span.data, span.size);
    }
}

void SpanWriter::addFromSource(std::size_t offset, std::size_t size) {
    while (size > 0) {
        // Behind the stretch the file is read as far as the writer goes: copies of earlier
        // elements, which a relink appends to `resources` one after another.
        Stretch &stretch = offset < m_ahead.begin ? m_behind : m_ahead;
        if (offset < stretch.begin || offset >= stretch.end) {
            if (m_source.fd < 0 || !readStretch(stretch, offset)) {
                add(m_source.data + offset, size);
                return;
            }
        }
        const std::size_t piece = std::min(size, stretch.end - offset);
        add(stretch.pages.data() + (offset - stretch.begin), piece);
        offset += piece;
        size -= piece;
    }
}

bool SpanWriter::readStretch(Stretch &stretch, std::size_t offset) {
    // Pieces still queued may point into the stretch about to be read over.
    flush();
    if (!stretch.pages.data())
        stretch.pages = PageBuffer::populated(kStretchSize);
    const std::size_t wanted = std::min(stretch.pages.size(), m_source.size - offset);
    ssize_t got;
    do {
        got = ::pread(m_source.fd, stretch.pages.data(), wanted, off_t(offset));
    } while (got < 0 && errno == EINTR);
    if (got <= 0) {
        // Cut short, or unreadable: the mapping says what it holds now, for the rest.
        m_source.fd = -1;
        return false;
    }
    stretch.begin = offset;
    stretch.end = offset + std::size_t(got);
    return true;
}

void SpanWriter::add(const char *data, std::size_t size) {
    if (size == 0)
        return;
    if (size >= kCopyBelow) {
        if (m_queued.size() == kMaxPieces)
            flush();
        m_queued.push_back(iovec{const_cast<char *>(data), size});
        return;
    }
    if (m_used + size > m_capacity || m_queued.size() == kMaxPieces)
        flush();
    char *to = m_buffer.data() + m_used;
    std::memcpy(to, data, size);
    m_used += size;
    // Copies that follow each other in the buffer make one piece.
    if (!m_queued.empty() &&
        static_cast<char *>(m_queued.back().iov_base) + m_queued.back().iov_len == to)
        m_queued.back().iov_len += size;
    else
        m_queued.push_back(iovec{to, size});
}

void SpanWriter::flush() {
    std::size_t first = 0;
    while (first < m_queued.size()) {
        ssize_t written = ::writev(m_fd, m_queued.data() + first, int(m_queued.size() - first));
        if (written < 0) {
            if (errno == EINTR)
                continue;
            throw DocumentError::fromSystem(DocumentError::Kind::Write, m_file, errno);
        }
        m_written += written;
        auto left = std::size_t(written);
        while (first < m_queued.size() && left >= m_queued[first].iov_len)
            left -= m_queued[first++].iov_len;
        if (left > 0) {
            m_queued[first].iov_base = static_cast<char *>(m_queued[first].iov_base) + left;
            m_queued[first].iov_len -= left;
        }
    }
    m_queued.clear();
    m_used = 0;
    if (m_reportWritten)
        m_reportWritten(std::uint64_t(m_written));
#if defined(__linux__)
    // The disk writes while the rest is serialised; without this it would start only when
    // the caller syncs. A hint only: a failure shows again, and is reported, at the sync.
    if (m_startWriteback && m_written - m_handedToDisk >= kWritebackStep) {
        ::sync_file_range(m_fd, m_handedToDisk, m_written - m_handedToDisk, SYNC_FILE_RANGE_WRITE);
        m_handedToDisk = m_written;
    }
#endif
}

} // namespace tessaly::xml
