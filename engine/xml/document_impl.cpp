#include "engine/xml/document_impl.h"

#include "engine/xml/characters.h"
#include "engine/xml/start_tag.h"

#include <algorithm>
#include <cstring>
#include <vector>

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
}

std::string SpanList::tail(std::size_t count) const {
    std::string out;
    for (auto span = m_spans.rbegin(); span != m_spans.rend() && out.size() < count; ++span) {
        std::size_t take = std::min(count - out.size(), span->size);
        out.insert(0, span->data + span->size - take, take);
    }
    return out;
}

void SpanList::addOwned(std::string text) {
    m_owned.push_back(std::move(text));
    add(m_owned.back());
}

DocumentImpl::DocumentImpl(std::string bytes, std::size_t size)
    : nodes(PageBuffer::wantsHugePages(size)), m_bytes(std::move(bytes)), m_source(m_bytes.data()),
      m_size(size) {
    nodes.add(NodeKind::Prolog, 0, std::uint32_t(size));
}

DocumentImpl::DocumentImpl(PageBuffer pages, std::size_t size)
    : nodes(PageBuffer::wantsHugePages(size)), m_pages(std::move(pages)), m_source(m_pages.data()),
      m_size(size) {
    nodes.add(NodeKind::Prolog, 0, std::uint32_t(size));
}

std::uint32_t DocumentImpl::lastChild(std::uint32_t id) const {
    std::uint32_t first = rec(id).firstChild;
    return first == kNoNode ? kNoNode : rec(first).prev;
}

std::uint32_t DocumentImpl::previousSibling(std::uint32_t id) const {
    const NodeRec &r = rec(id);
    if (r.parent == kNoNode || rec(r.parent).firstChild == id)
        return kNoNode;
    return r.prev;
}

void DocumentImpl::appendChild(std::uint32_t parent, std::uint32_t child) {
    NodeRec &p = rec(parent);
    NodeRec &c = rec(child);
    c.parent = parent;
    c.next = kNoNode;
    if (p.firstChild == kNoNode) {
        p.firstChild = child;
        c.prev = child;
    } else {
        NodeRec &first = rec(p.firstChild);
        rec(first.prev).next = child;
        c.prev = first.prev;
        first.prev = child;
    }
}

void DocumentImpl::detach(std::uint32_t child) {
    NodeRec &c = rec(child);
    if (c.parent == kNoNode)
        return;
    NodeRec &p = rec(c.parent);
    if (p.firstChild == child) {
        p.firstChild = c.next;
        if (c.next != kNoNode)
            rec(c.next).prev = c.prev;
    } else {
        rec(c.prev).next = c.next;
        if (c.next != kNoNode)
            rec(c.next).prev = c.prev;
        else
            rec(p.firstChild).prev = c.prev;
    }
    c.parent = c.next = c.prev = kNoNode;
}

void DocumentImpl::markDirty(std::uint32_t id) {
    while (id != kNoNode && !(rec(id).flags & kDirty)) {
        rec(id).flags |= kDirty;
        id = rec(id).parent;
    }
}

std::uint32_t DocumentImpl::deepCopy(std::uint32_t id) {
    auto clone = [this](std::uint32_t from) {
        NodeRec copy = rec(from);
        std::uint32_t to = nodes.add(copy.kind, copy.begin, copy.end);
        NodeRec &r = rec(to);
        r.tagLen = copy.tagLen;
        r.flags = copy.flags;
        return to;
    };
    std::uint32_t top = clone(id);
    // Walk the source subtree in document order, mirroring each step in the copy.
    std::uint32_t from = id;
    std::uint32_t to = top;
    for (;;) {
        std::uint32_t child = rec(from).firstChild;
        if (child != kNoNode) {
            std::uint32_t copy = clone(child);
            appendChild(to, copy);
            from = child;
            to = copy;
            continue;
        }
        for (;;) {
            if (from == id)
                return top;
            std::uint32_t next = rec(from).next;
            if (next != kNoNode) {
                std::uint32_t copy = clone(next);
                appendChild(rec(to).parent, copy);
                from = next;
                to = copy;
                break;
            }
            from = rec(from).parent;
            to = rec(to).parent;
        }
    }
}

std::string_view DocumentImpl::startTag(std::uint32_t id) const {
    const NodeRec &r = rec(id);
    if (r.flags & kTagInSide)
        return m_side[r.begin];
    return std::string_view(m_source + r.begin, r.tagLen);
}

std::string_view DocumentImpl::elementName(std::uint32_t id) const {
    return start_tag::name(startTag(id));
}

void DocumentImpl::setStartTag(std::uint32_t id, std::string tag) {
    NodeRec &r = rec(id);
    // Re-spelled tags stay alive with the document: names and values handed out keep pointing
    // at them.
    m_side.push_back(std::move(tag));
    r.begin = std::uint32_t(m_side.size() - 1);
    r.tagLen = std::uint32_t(m_side.back().size());
    r.flags |= kTagInSide;
    markDirty(id);
}

void DocumentImpl::openSpans(std::uint32_t id, SpanList &out) const {
    if (id != kDocumentNode)
        out.add(startTag(id));
}

void DocumentImpl::closeSpans(std::uint32_t id, SpanList &out) const {
    const NodeRec &r = rec(id);
    if (id == kDocumentNode || (r.flags & kEmptyForm))
        return;
    if (r.flags & kSynthEnd) {
        out.addOwned("</" + std::string(elementName(id)) + ">");
        return;
    }
    // An end tag holds exactly one '<': its first byte.
    const void *lt = memrchr(m_source, '<', r.end);
    const char *begin = static_cast<const char *>(lt);
    out.add(begin, std::size_t(m_source + r.end - begin));
}

void DocumentImpl::addText(std::uint32_t id, SpanList &out) const {
    const NodeRec &r = rec(id);
    std::string_view text(m_source + r.begin, r.end - r.begin);
    // Removing what stood between two runs of text joins them; a run ending in "]]" and one
    // starting with ">" would spell the forbidden "]]>", so that '>' is written as a reference.
    std::size_t at = std::string_view::npos;
    if (!text.empty() && text[0] == '>' && out.tail(2) == "]]")
        at = 0;
    else if (text.size() > 1 && text[0] == ']' && text[1] == '>' && out.tail(1) == "]")
        at = 1;
    if (at != std::string_view::npos) {
        out.add(text.substr(0, at));
        out.addOwned("&gt;");
        out.add(text.substr(at + 1));
        return;
    }
    out.add(text);
}

void DocumentImpl::collectSpans(std::uint32_t id, SpanList &out) const {
    auto unchanged = [this](std::uint32_t n) { return !(rec(n).flags & kDirty); };
    auto addWhole = [this, &out](std::uint32_t n) {
        const NodeRec &r = rec(n);
        out.add(m_source + r.begin, r.end - r.begin);
    };
    if (unchanged(id)) {
        addWhole(id);
        return;
    }
    openSpans(id, out);
    std::uint32_t current = rec(id).firstChild;
    if (current == kNoNode) {
        closeSpans(id, out);
        return;
    }
    for (;;) {
        if (rec(current).kind == NodeKind::Text) {
            addText(current, out);
        } else if (unchanged(current)) {
            addWhole(current);
        } else {
            openSpans(current, out);
            if (rec(current).firstChild != kNoNode) {
                current = rec(current).firstChild;
                continue;
            }
            closeSpans(current, out);
        }
        // Move on to the next node in document order, closing the elements left behind.
        while (rec(current).next == kNoNode) {
            current = rec(current).parent;
            closeSpans(current, out);
            if (current == id)
                return;
        }
        current = rec(current).next;
    }
}

std::string DocumentImpl::decodeAttributeValue(std::string_view raw) const {
    std::string out;
    out.reserve(raw.size());
    // Entity texts are expanded with an explicit stack; the parser bounded their nesting.
    struct Frame {
        std::string_view text;
        std::size_t pos;
    };
    std::vector<Frame> stack{{raw, 0}};
    while (!stack.empty()) {
        Frame &frame = stack.back();
        if (frame.pos >= frame.text.size()) {
            stack.pop_back();
            continue;
        }
        std::string_view text = frame.text;
        std::size_t p = frame.pos;
        char c = text[p];
        if (c == '\r') {
            out += ' ';
            frame.pos = p + (p + 1 < text.size() && text[p + 1] == '\n' ? 2 : 1);
        } else if (c == '\n' || c == '\t') {
            out += ' ';
            frame.pos = p + 1;
        } else if (c != '&') {
            std::size_t end = text.find_first_of("\r\n\t&", p);
            if (end == std::string_view::npos)
                end = text.size();
            out.append(text.substr(p, end - p));
            frame.pos = end;
        } else {
            std::size_t semicolon = text.find(';', p);
            std::string_view name = text.substr(p + 1, semicolon - p - 1);
            frame.pos = semicolon + 1;
            if (!name.empty() && name[0] == '#') {
                bool hex = name.size() > 1 && name[1] == 'x';
                std::uint32_t cp = std::uint32_t(
                    std::stoul(std::string(name.substr(hex ? 2 : 1)), nullptr, hex ? 16 : 10));
                chars::appendUtf8(out, cp);
            } else if (name == "lt") {
                out += '<';
            } else if (name == "gt") {
                out += '>';
            } else if (name == "amp") {
                out += '&';
            } else if (name == "apos") {
                out += '\'';
            } else if (name == "quot") {
                out += '"';
            } else if (auto it = entities.find(name); it != entities.end()) {
                stack.push_back(Frame{it->second, 0});
            } else {
                // Not declared where this layer can see it (an external DTD): keep the reference.
                out.append(text.substr(p, semicolon + 1 - p));
            }
        }
    }
    return out;
}

} // namespace tessaly::xml
