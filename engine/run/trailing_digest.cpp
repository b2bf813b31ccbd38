#include "engine/run/trailing_digest.h"

#include "engine/run/sha256.h"

#include <algorithm>
#include <cerrno>
#include <memory>
#include <new>
#include <system_error>

#include <unistd.h>

namespace tessaly {

namespace {

// Read back a piece at a time that stays in the processor's cache while it is hashed, in a
// buffer of few pages: the thread starts as the first bytes are written, and faulting in a
// large buffer page by page would hold it back just then.
constexpr std::size_t kChunk = std::size_t(64) << 10;

} // namespace

TrailingDigest::TrailingDigest(int fd) : m_fd(fd) {
    try {
        m_thread = std::thread([this] { trail(); });
    } catch (const std::system_error &) {
        // No thread: finish() reads the whole file instead.
    }
}

TrailingDigest::~TrailingDigest() {
    if (!m_thread.joinable())
        return;
    {
        const std::lock_guard<std::mutex> lock(m_mutex);
        m_done = true;
        m_error = m_error ? m_error : ECANCELED;
    }
    m_changed.notify_one();
    m_thread.join();
}

void TrailingDigest::written(std::uint64_t end) {
    if (!m_thread.joinable())
        return;
    {
        const std::lock_guard<std::mutex> lock(m_mutex);
        if (end <= m_written)
            return;
        m_written = end;
    }
    m_changed.notify_one();
}

int TrailingDigest::finish(std::uint64_t &size, std::string &sha256) {
    {
        const std::lock_guard<std::mutex> lock(m_mutex);
        m_done = true;
    }
    if (m_thread.joinable()) {
        m_changed.notify_one();
        m_thread.join();
    } else {
        trailWriter(); // no thread: the whole file is read here, the writer being done
    }
    if (m_outOfMemory)
        throw std::bad_alloc();
    size = m_size;
    sha256 = m_sha256;
    return m_error;
}

void TrailingDigest::trail() {
    // An exception must not leave the thread: it would end the program.
    try {
        trailWriter();
    } catch (const std::bad_alloc &) {
        const std::lock_guard<std::mutex> lock(m_mutex);
        m_outOfMemory = true;
        m_error = ENOMEM;
    }
}

void TrailingDigest::trailWriter() {
    const std::unique_ptr<std::uint8_t[]> buffer(new std::uint8_t[kChunk]);
    Sha256 digest;
    std::uint64_t read = 0;
    std::uint64_t reported = 0; // the last report acted on
    int error = 0;
    for (;;) {
        std::uint64_t until = 0;
        bool toEnd = false;
        {
            std::unique_lock<std::mutex> lock(m_mutex);
            m_changed.wait(lock, [&] { return m_done || m_written > reported; });
            if (m_error) // given up: nothing is wanted any more
                return;
            toEnd = m_done;
            until = reported = m_written;
        }
        // Behind the writer only what it reported; once it is done, everything to the end.
        while (toEnd || read < until) {
            const std::size_t want =
                toEnd ? kChunk : std::size_t(std::min<std::uint64_t>(kChunk, until - read));
            const ssize_t got = ::pread(m_fd, buffer.get(), want, off_t(read));
            if (got < 0 && errno == EINTR)
                continue;
            if (got < 0) {
                error = errno;
                break;
            }
            if (got == 0)
                break;
            digest.update(buffer.get(), std::size_t(got));
            read += std::uint64_t(got);
        }
        if (toEnd || error)
            break;
    }
    const std::lock_guard<std::mutex> lock(m_mutex);
    if (error) {
        m_error = error;
        return;
    }
    m_size = read;
    m_sha256 = digest.hexDigest();
}

} // namespace tessaly
