#pragma once

#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>

namespace tessaly {

/// The size and SHA-256 of a file being written, read back from it by a thread that trails the
/// writer. The digest is of the bytes the file holds, as a read after the last write would give
/// them, but it costs the writer no time: a document's digest is ready when its last byte is.
///
/// The writer reports how far it has written; the thread reads and hashes up to there, and
/// once the writer is done, on to the file's end. Where no thread can be started, finish() reads
/// the whole file itself, the same way.
class TrailingDigest {
public:
    /// Starts reading `fd` from its start; the file is being written from empty.
    explicit TrailingDigest(int fd);
    /// Stops the thread if finish() was not called (the write failed).
    ~TrailingDigest();
    TrailingDigest(const TrailingDigest &) = delete;
    TrailingDigest &operator=(const TrailingDigest &) = delete;

    /// The bytes before `end` are written and will not change.
    void written(std::uint64_t end);
    /// Reads the rest of the file and gives its size and digest in lower-case hex; 0 or the
    /// error of a read. Throws std::bad_alloc when there was no memory to read with.
    int finish(std::uint64_t &size, std::string &sha256);

private:
    void trail();
    void trailWriter();

    int m_fd;
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::uint64_t m_written = 0; ///< what the writer has reported
    bool m_done = false;         ///< the writer is done, or has given up
    std::uint64_t m_size = 0;    ///< the thread's result, valid once it has ended
    std::string m_sha256;
    int m_error = 0;
    bool m_outOfMemory = false;
    std::thread m_thread;
};

} // namespace tessaly
