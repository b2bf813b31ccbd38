#include "engine/xml/span_list.h"

#include <algorithm>

namespace tessaly::xml {

void SpanList::add(const char *data, std::size_t size) {
    if (size == 0)
        return;
    m_total += size;
    if (!m_spans.empty() && m_spans.back().data + m_spans.back().size == data) {
        m_spans.back().size += size;
        return;
    }
    m_spans.push_back(Span{data, size});
    if (m_sink && m_spans.size() >= kBatch)
        finish();
}

void SpanList::finish() {
    if (!m_sink || m_spans.empty())
        return;
    keepHandedTail();
    m_sink(m_spans);
    m_spans.clear();
    m_owned.clear();
}

bool SpanList::owned(const char *data) const {
    for (const std::string &text : m_owned)
        if (data >= text.data() && data < text.data() + text.size())
            return true;
    return false;
}

void SpanList::keepHandedTail() {
    // Where the bytes lie, not the bytes: they are read only when a text asks for them, and a
    // source read a window at a time need not bring its pages back for it. Text this list
    // owns goes with the batch and is copied.
    std::vector<TailPiece> pieces;
    std::size_t have = 0;
    for (auto span = m_spans.rbegin(); span != m_spans.rend() && have < kTail; ++span) {
        const std::size_t take = std::min(kTail - have, span->size);
        const char *from = span->data + span->size - take;
        pieces.insert(pieces.begin(), owned(from) ? TailPiece{nullptr, take, std::string(from, take)}
                                                  : TailPiece{from, take, {}});
        have += take;
    }
    // A batch shorter than the tail keeps part of the one before.
    for (auto piece = m_handedTail.rbegin(); piece != m_handedTail.rend() && have < kTail;
         ++piece) {
        const std::size_t take = std::min(kTail - have, piece->size);
        const std::string_view bytes = piece->bytes().substr(piece->size - take);
        pieces.insert(pieces.begin(), piece->at ? TailPiece{bytes.data(), take, {}}
                                                : TailPiece{nullptr, take, std::string(bytes)});
        have += take;
    }
    m_handedTail = std::move(pieces);
}

std::string SpanList::tail(std::size_t count) const {
    std::string out;
    for (auto span = m_spans.rbegin(); span != m_spans.rend() && out.size() < count; ++span) {
        std::size_t take = std::min(count - out.size(), span->size);
        out.insert(0, span->data + span->size - take, take);
    }
    for (auto piece = m_handedTail.rbegin(); piece != m_handedTail.rend() && out.size() < count;
         ++piece) {
        const std::size_t take = std::min(count - out.size(), piece->size);
        out.insert(0, piece->bytes().substr(piece->size - take));
    }
    return out;
}

void SpanList::addOwned(std::string text) {
    m_owned.push_back(std::move(text));
    add(m_owned.back());
}

} // namespace tessaly::xml
