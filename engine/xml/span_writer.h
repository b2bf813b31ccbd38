#pragma once

#include "engine/xml/document_impl.h"
#include "engine/xml/page_buffer.h"

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <vector>

#include <sys/uio.h>

namespace tessaly::xml {

/// A document's source as a file mapped at `data`, whose bytes `fd` reads too.
struct SourceFile {
    const char *data = nullptr;
    std::size_t size = 0;
    int fd = -1;
};

/// Writes spans to a file with few system calls. An edited document is a run of short pieces
/// (a relinked clip is the bytes up to its ref, the new ref, the bytes up to its format, the
/// new format): short spans are copied together into one buffer, long ones are written from
/// where they lie.
class SpanWriter {
public:
    /// With `startWriteback`, each few megabytes written are handed to the disk at once, so
    /// that a caller who syncs the file at the end waits only for the last of them. `written`,
    /// when given, is told the file offset after each write. With `source`, spans of it are
    /// read from its file a stretch at a time rather than through its mapping, which then
    /// need not bring the whole file into memory again; a span behind the stretch (a copy of
    /// an earlier element) from a second stretch, and anything after the file reads short
    /// from the mapping.
    SpanWriter(int fd, std::filesystem::path file, bool startWriteback = false,
               std::function<void(std::uint64_t)> written = {}, SourceFile source = {});
    /// Takes the spans; throws DocumentError (Write) on failure.
    void write(const std::vector<Span> &spans);
    /// Writes whatever is still held.
    void flush();

private:
    void add(const char *data, std::size_t size);
    /// Adds `size` bytes of the source from `offset`.
    void addFromSource(std::size_t offset, std::size_t size);
    /// A stretch of the source read from its file, from `begin` to `end`.
    struct Stretch {
        PageBuffer pages; ///< mapped in whole on first use
        std::size_t begin = 0;
        std::size_t end = 0;
    };
    /// Reads `stretch` from `offset`; false when the file gave nothing.
    bool readStretch(Stretch &stretch, std::size_t offset);

    int m_fd;
    std::filesystem::path m_file;
    PageBuffer m_buffer; ///< never moves: queued pieces point into it
    std::size_t m_capacity;
    std::size_t m_used = 0;
    std::vector<iovec> m_queued;
    bool m_startWriteback;
    off_t m_written = 0;      ///< the file offset after the last write
    off_t m_handedToDisk = 0; ///< where the bytes not yet handed to the disk start
    std::function<void(std::uint64_t)> m_reportWritten;

    SourceFile m_source;
    Stretch m_ahead;  ///< where the writer is in the source: it only moves on
    Stretch m_behind; ///< for copies of what it has passed
};

} // namespace tessaly::xml
