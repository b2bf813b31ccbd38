#include "engine/xml/document.h"

#include "engine/xml/document_impl.h"
#include "engine/xml/parser.h"
#include "engine/xml/span_writer.h"
#include "engine/xml/text.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <stdexcept>
#include <sys/stat.h>
#include <unistd.h>

namespace tessaly::xml {
namespace {

constexpr std::size_t kPadding = DocumentImpl::kSourcePadding;
// Node offsets are 32-bit.
constexpr std::size_t kMaxDocumentSize = 0xFFFFFFFFu - kPadding;

std::string quotedName(const std::filesystem::path &file) {
    std::filesystem::path name = file.filename();
    if (name.empty())
        name = file.parent_path().filename();
    return curlyQuoted(name.string());
}

struct Position {
    std::size_t line = 1;
    std::size_t column = 1;
};

// Lines end at LF, CR or CRLF; columns count characters, not bytes.
Position positionOf(const char *data, std::size_t size, std::size_t offset) {
    Position pos;
    std::size_t start = 0;
    if (size >= 3 && std::memcmp(data, "\xEF\xBB\xBF", 3) == 0)
        start = 3;
    if (offset > size)
        offset = size;
    for (std::size_t i = start; i < offset; ++i) {
        char c = data[i];
        if (c == '\n' || (c == '\r' && !(i + 1 < size && data[i + 1] == '\n'))) {
            ++pos.line;
            pos.column = 1;
        } else if (c != '\r' && (static_cast<unsigned char>(c) & 0xC0) != 0x80) {
            ++pos.column;
        }
    }
    return pos;
}

std::unique_ptr<DocumentImpl> parsed(std::unique_ptr<DocumentImpl> impl,
                                     const std::filesystem::path &name,
                                     const LoadOptions &options) {
    for (const std::string &attribute : options.notedAttributes)
        impl->attributeIndex.add(attribute);
    try {
        Parser(*impl).parse();
    } catch (const ParseFailure &failure) {
        Position pos = positionOf(impl->source(), impl->sourceSize(), failure.offset);
        throw DocumentError(DocumentError::Kind::Parse, name, failure.reason, pos.line, pos.column,
                            failure.offset);
    } catch (const EncodingRefusal &refusal) {
        Position pos = positionOf(impl->source(), impl->sourceSize(), refusal.offset);
        throw DocumentError::unsupportedEncoding(name, refusal.encoding, options.readerName,
                                                 pos.line, pos.column, refusal.offset);
    }
    impl->loadedNodes = impl->nodes.size();
    impl->attributeIndex.texts().stopAdding();
    // The edits read the few parts they change, and the writer goes through it all once more.
    impl->sweep.finish();
    return impl;
}

/// Writes the whole document while its spans are gathered.
void writeSpans(const DocumentImpl &impl, int fd, const std::filesystem::path &name,
                bool startWriteback, const std::function<void(std::uint64_t)> &written = {}) {
    // Read from the file rather than through the mapping, whose pages the parse gave back.
    SpanWriter writer(fd, name, startWriteback, written,
                      {impl.source(), impl.sourceSize(), impl.mapped().fd()});
    SpanList spans([&writer](const std::vector<Span> &batch) { writer.write(batch); });
    impl.collectSpans(DocumentImpl::kDocumentNode, spans);
    spans.finish();
    writer.flush();
    // What the serialiser read of the mapping itself, the tags of copies above all.
    impl.sweep.finish();
}

[[noreturn]] void throwSystemError(DocumentError::Kind kind, const std::filesystem::path &file,
                                   int error) {
    throw DocumentError::fromSystem(kind, file, error);
}

} // namespace

DocumentError::DocumentError(Kind kind, std::filesystem::path file, std::string reason,
                             std::size_t line, std::size_t column, std::size_t offset)
    : m_kind(kind), m_file(std::move(file)), m_reason(std::move(reason)), m_line(line),
      m_column(column), m_offset(offset), m_message(compose(quotedName(m_file))) {}

DocumentError DocumentError::unsupportedEncoding(std::filesystem::path file,
                                                 const std::string &encoding,
                                                 std::string_view readerName, std::size_t line,
                                                 std::size_t column, std::size_t offset) {
    DocumentError error(Kind::Parse, std::move(file), "unsupported encoding " + encoding, line,
                        column, offset);
    error.m_encoding = encoding;
    error.m_readerName = readerName;
    error.m_message = error.compose(quotedName(error.m_file));
    return error;
}

DocumentError DocumentError::fromSystem(Kind kind, std::filesystem::path file, int error) {
    DocumentError made(kind, std::move(file), systemErrorText(error));
    made.m_systemError = error;
    return made;
}

DocumentError DocumentError::describing(const std::string &subject) const {
    DocumentError copy = *this;
    copy.m_message = compose(subject);
    return copy;
}

std::string DocumentError::compose(const std::string &subject) const {
    switch (m_kind) {
    case Kind::Read:
        return "Cannot read " + subject + ": " + m_reason + ".";
    case Kind::Write:
        return "Cannot write " + subject + ": " + m_reason + ".";
    case Kind::Parse:
        if (!m_encoding.empty())
            return subject + " uses the encoding " + m_encoding + ", which " +
                   (m_readerName.empty() ? std::string("cannot be read")
                                         : m_readerName + " cannot read") +
                   "; export the document as UTF-8.";
        return subject + " is not well-formed XML: " + m_reason + " (line " +
               std::to_string(m_line) + ", column " + std::to_string(m_column) + ").";
    }
    return {};
}

Document::Document(std::unique_ptr<DocumentImpl> impl) : m_impl(std::move(impl)) {}
Document::Document(Document &&) noexcept = default;
Document &Document::operator=(Document &&) noexcept = default;
Document::~Document() = default;

Document Document::parse(std::string bytes, const std::filesystem::path &name,
                         const LoadOptions &options) {
    std::size_t size = bytes.size();
    if (size > kMaxDocumentSize)
        throw DocumentError(DocumentError::Kind::Parse, name, "document too large", 1, 1, 0);
    bytes.append(kPadding, '\0');
    auto impl = std::make_unique<DocumentImpl>(std::move(bytes), size);
    return Document(parsed(std::move(impl), name, options));
}

Document Document::load(const std::filesystem::path &file, const LoadOptions &options) {
    // Opening a named pipe waits for a writer; without blocking, the check below refuses it.
    int fd = ::open(file.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0)
        throwSystemError(DocumentError::Kind::Read, file, errno);
    struct Closer {
        int fd;
        ~Closer() { ::close(fd); }
    } closer{fd};
    return read(fd, file, options);
}

Document Document::read(int fd, const std::filesystem::path &file, const LoadOptions &options) {
    struct stat info {};
    if (fstat(fd, &info) != 0)
        throwSystemError(DocumentError::Kind::Read, file, errno);
    if (S_ISDIR(info.st_mode))
        throwSystemError(DocumentError::Kind::Read, file, EISDIR);
    // A pipe or a device has no end to wait for: /dev/zero would be read until memory runs out.
    if (!S_ISREG(info.st_mode))
        throw DocumentError(DocumentError::Kind::Read, file, "it is not a regular file");
    std::size_t expected = std::size_t(info.st_size);
    if (expected > kMaxDocumentSize)
        throw DocumentError(DocumentError::Kind::Read, file, "the file is too large");
    // Mapped where it lies, the file is read at the speed of the page cache and costs no memory
    // of its own. A file the kernel will not map (on some network and FUSE file systems) is read
    // into one buffer instead.
    if (expected > 0 && ::lseek(fd, 0, SEEK_CUR) == 0) {
        MappedSource mapped(fd, expected, kPadding, !SourceSweep::wanted(expected));
        if (mapped.data()) {
            auto impl = std::make_unique<DocumentImpl>(std::move(mapped), expected);
            return Document(parsed(std::move(impl), file, options));
        }
    }
    std::size_t capacity = expected + kPadding + 1;
    PageBuffer buffer(capacity, PageBuffer::wantsHugePages(capacity));
    std::size_t size = 0;
    for (;;) {
        if (buffer.size() - size <= kPadding) {
            // The file grew while it was read: move to a bigger buffer.
            std::size_t bigger = buffer.size() * 2;
            if (bigger - kPadding > kMaxDocumentSize)
                throw DocumentError(DocumentError::Kind::Read, file, "the file is too large");
            PageBuffer next(bigger, PageBuffer::wantsHugePages(bigger));
            std::memcpy(next.data(), buffer.data(), size);
            buffer = std::move(next);
        }
        ssize_t got = ::read(fd, buffer.data() + size, buffer.size() - size - kPadding);
        if (got < 0) {
            if (errno == EINTR)
                continue;
            throwSystemError(DocumentError::Kind::Read, file, errno);
        }
        if (got == 0)
            break;
        size += std::size_t(got);
    }
    auto impl = std::make_unique<DocumentImpl>(std::move(buffer), size);
    return Document(parsed(std::move(impl), file, options));
}

Element Document::rootElement() const {
    if (!m_impl)
        return {};
    return m_impl->root == kNoNode ? Element() : Element(m_impl.get(), m_impl->root);
}

std::vector<Node> Document::children() const {
    std::vector<Node> out;
    if (!m_impl)
        return out;
    for (std::uint32_t n = m_impl->rec(DocumentImpl::kDocumentNode).firstChild; n != kNoNode;
         n = m_impl->rec(n).next)
        out.push_back(Node(m_impl.get(), n));
    return out;
}

bool Document::sourceCut() const {
    return m_impl && m_impl->mapped().cut();
}

std::string Document::xmlData() const {
    if (!m_impl)
        return {};
    SpanList spans;
    m_impl->collectSpans(DocumentImpl::kDocumentNode, spans);
    std::string out;
    out.reserve(spans.totalSize());
    for (const Span &span : spans.spans())
        out.append(span.data, span.size);
    return out;
}

void Document::save(const std::filesystem::path &file) const {
    // A moved-from document has nothing to write: refuse before any file is touched.
    if (!m_impl)
        throw std::logic_error("save on a moved-from document");
    // A source mapped from this very file would be cut by the truncation below: it moves into
    // memory first, and the spans can then be written while they are gathered.
    if (m_impl->mapped().data()) {
        struct stat target {};
        if (::stat(file.c_str(), &target) == 0 && m_impl->mapped().isFile(target))
            m_impl->ownSource();
    }
    int fd = ::open(file.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (fd < 0)
        throwSystemError(DocumentError::Kind::Write, file, errno);
    try {
        writeSpans(*m_impl, fd, file, false);
    } catch (...) {
        ::close(fd);
        throw;
    }
    if (::close(fd) != 0)
        throwSystemError(DocumentError::Kind::Write, file, errno);
}

void Document::save(int fd, const std::filesystem::path &name,
                    const std::function<void(std::uint64_t)> &written) const {
    if (!m_impl)
        throw std::logic_error("save on a moved-from document");
    writeSpans(*m_impl, fd, name, true, written);
}

} // namespace tessaly::xml
