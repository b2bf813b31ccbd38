#pragma once

#include <cstddef>
#include <deque>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace tessaly::xml {

/// A run of bytes to write out; serialising gathers these instead of copying.
struct Span {
    const char *data;
    std::size_t size;
};

/// The spans of a serialisation, with adjacent source spans merged and generated text kept.
/// With a sink, full batches are handed over as they fill, so a large document is written out
/// without a list of all its spans.
class SpanList {
public:
    using Sink = std::function<void(const std::vector<Span> &)>;
    SpanList() = default;
    explicit SpanList(Sink sink) : m_sink(std::move(sink)) {}
    /// Hands the spans not yet handed over to the sink.
    void finish();
    /// Adds `size` bytes at `data`, which must outlive the list (or the sink's use of them).
    void add(const char *data, std::size_t size);
    /// Adds the bytes of `text`, which must outlive the list (or the sink's use of them).
    void add(std::string_view text) { add(text.data(), text.size()); }
    /// The last `count` bytes added so far (fewer when less was added); `count` is at most 2.
    std::string tail(std::size_t count) const;
    /// True when the last span added ends just before `data` (and is not yet handed over).
    bool endsAt(const char *data) const {
        return !m_spans.empty() && m_spans.back().data + m_spans.back().size == data;
    }
    /// Keeps `text` alive with the list and adds it.
    void addOwned(std::string text);
    /// The spans not yet handed over.
    const std::vector<Span> &spans() const { return m_spans; }
    /// The number of bytes added so far, handed over or not.
    std::size_t totalSize() const { return m_total; }

private:
    static constexpr std::size_t kBatch = 1024;
    static constexpr std::size_t kTail = 2; ///< the most tail() is asked for
    /// Some of the last bytes handed to the sink: `size` bytes where they lie, at `at`; or,
    /// for text the list owned, a copy of them.
    struct TailPiece {
        const char *at;
        std::size_t size;
        std::string copy;
        std::string_view bytes() const { return at ? std::string_view(at, size) : copy; }
    };
    bool owned(const char *data) const;
    void keepHandedTail();

    std::vector<Span> m_spans;
    std::deque<std::string> m_owned;
    std::size_t m_total = 0;
    Sink m_sink;
    std::vector<TailPiece> m_handedTail; ///< the last bytes handed to the sink, for tail()
};

} // namespace tessaly::xml
