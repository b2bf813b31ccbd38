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
    m_handedTail = tail(2);
    m_sink(m_spans);
    m_spans.clear();
    m_owned.clear();
}

std::string SpanList::tail(std::size_t count) const {
    std::string out;
    for (auto span = m_spans.rbegin(); span != m_spans.rend() && out.size() < count; ++span) {
        std::size_t take = std::min(count - out.size(), span->size);
        out.insert(0, span->data + span->size - take, take);
    }
    if (out.size() < count) {
        std::size_t take = std::min(count - out.size(), m_handedTail.size());
        out.insert(0, m_handedTail, m_handedTail.size() - take, take);
    }
    return out;
}

void SpanList::addOwned(std::string text) {
    m_owned.push_back(std::move(text));
    add(m_owned.back());
}

} // namespace tessaly::xml
