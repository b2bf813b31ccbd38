#include "engine/xml/span_writer.h"

#include <cerrno>
#include <climits>
#include <cstring>
#include <unistd.h>

namespace tessaly::xml {
namespace {

// Spans shorter than this are copied: the kernel's work for each piece of a gathered write
// costs more than copying a short one, and large writes let it fill whole pages at once.
// Both figures were measured on a relinked 100 MB project.
constexpr std::size_t kCopyBelow = 4096;
constexpr std::size_t kBufferSize = std::size_t(1) << 20;
constexpr std::size_t kMaxPieces = IOV_MAX;

} // namespace

SpanWriter::SpanWriter(int fd, std::filesystem::path file)
    : m_fd(fd), m_file(std::move(file)), m_buffer(new char[kBufferSize]) {
    m_queued.reserve(kMaxPieces);
}

void SpanWriter::write(const std::vector<Span> &spans) {
    for (const Span &span : spans)
        add(span.data, span.size);
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
    if (m_used + size > kBufferSize || m_queued.size() == kMaxPieces)
        flush();
    char *to = m_buffer.get() + m_used;
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
}

} // namespace tessaly::xml
