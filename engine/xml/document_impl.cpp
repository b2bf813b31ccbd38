// The tree: node links, the document's own bytes and deep copies.
#include "engine/xml/document_impl.h"

#include "engine/xml/characters.h"

#include <cstring>

namespace tessaly::xml {

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

DocumentImpl::DocumentImpl(MappedSource mapped, std::size_t size)
    : nodes(PageBuffer::wantsHugePages(size)), m_mapped(std::move(mapped)),
      m_source(m_mapped.data()), m_size(size) {
    nodes.add(NodeKind::Prolog, 0, std::uint32_t(size));
    if (SourceSweep::wanted(size))
        sweep = SourceSweep(m_source, size);
}

void DocumentImpl::ownSource() {
    if (!m_mapped.data())
        return;
    // Fresh pages are zeros, which gives the scanners their padding.
    PageBuffer copy(m_size + kSourcePadding, PageBuffer::wantsHugePages(m_size));
    std::memcpy(copy.data(), m_source, m_size);
    m_pages = std::move(copy);
    m_source = m_pages.data();
    sweep = SourceSweep();
    m_mapped = MappedSource();
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

const char *DocumentImpl::endTagBegin(std::uint32_t id) const {
    // An end tag holds exactly one '<': its first byte.
    sweep.revisit(rec(id).end);
    return static_cast<const char *>(memrchr(m_source, '<', rec(id).end));
}

std::string_view DocumentImpl::spaceBefore(const char *end) {
    // A gap starts after the '>' of the markup before it.
    const char *begin = end;
    while (chars::isSpace(static_cast<unsigned char>(begin[-1])))
        --begin;
    return {begin, std::size_t(end - begin)};
}

std::string_view DocumentImpl::gapBefore(std::uint32_t id) const {
    const std::uint32_t start = sourceStart(id);
    sweep.revisit(start);
    return spaceBefore(m_source + start);
}

std::string_view DocumentImpl::gapAtEnd(std::uint32_t id) const {
    const char *endTag = endTagBegin(id);
    return endTag ? spaceBefore(endTag) : std::string_view();
}

void DocumentImpl::makeGapBeforeANode(std::uint32_t id) {
    const std::string_view gap = gapBefore(id);
    const std::uint32_t begin = std::uint32_t(gap.data() - m_source);
    const std::uint32_t text = nodes.add(NodeKind::Text, begin, begin + std::uint32_t(gap.size()));
    NodeRec &r = rec(id);
    NodeRec &t = rec(text);
    NodeRec &p = rec(r.parent);
    t.parent = r.parent;
    t.next = id;
    t.prev = r.prev;
    if (p.firstChild == id)
        p.firstChild = text;
    else
        rec(r.prev).next = text;
    r.prev = text;
    r.flags &= std::uint8_t(~kGapBefore);
}

void DocumentImpl::makeGapAtEndANode(std::uint32_t id) {
    const std::string_view gap = gapAtEnd(id);
    const std::uint32_t begin = std::uint32_t(gap.data() - m_source);
    link(id, nodes.add(NodeKind::Text, begin, begin + std::uint32_t(gap.size())));
    rec(id).flags &= std::uint8_t(~kGapAtEnd);
}

void DocumentImpl::appendChild(std::uint32_t parent, std::uint32_t child) {
    beforeEdit(parent);
    if (rec(parent).flags & kGapAtEnd)
        makeGapAtEndANode(parent);
    link(parent, child);
}

void DocumentImpl::link(std::uint32_t parent, std::uint32_t child) {
    ++m_structureEdits;
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
    ++m_structureEdits;
    if (rec(child).parent == kNoNode)
        return;
    beforeEdit(rec(child).parent);
    NodeRec &c = rec(child);
    if (c.flags & kGapBefore)
        makeGapBeforeANode(child);
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

std::uint32_t DocumentImpl::deepCopy(std::uint32_t id) {
    // The copy takes the white space inside the element and none of what stood before it.
    std::uint32_t top = cloneNode(id);
    rec(top).flags &= std::uint8_t(~kGapBefore);
    // Walk the changed part of the subtree in document order, mirroring each step in the copy;
    // an unchanged element with content is copied unopened and not entered.
    auto firstToCopy = [this](std::uint32_t from, std::uint32_t to) {
        return rec(to).firstChild == kNoNode ? rec(from).firstChild : kNoNode;
    };
    std::uint32_t from = id;
    std::uint32_t to = top;
    for (;;) {
        std::uint32_t child = firstToCopy(from, to);
        if (child != kNoNode) {
            std::uint32_t copy = cloneNode(child);
            link(to, copy);
            from = child;
            to = copy;
            continue;
        }
        for (;;) {
            if (from == id)
                return top;
            std::uint32_t next = rec(from).next;
            if (next != kNoNode) {
                std::uint32_t copy = cloneNode(next);
                link(rec(to).parent, copy);
                from = next;
                to = copy;
                break;
            }
            from = rec(from).parent;
            to = rec(to).parent;
        }
    }
}

} // namespace tessaly::xml
