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
    // The ancestors of a marked node are marked, so the climb ends at the first one that is.
    constexpr std::uint8_t kBoth = kDirty | kStructureDirty;
    while (id != kNoNode && (rec(id).flags & kBoth) != kBoth) {
        rec(id).flags |= kBoth;
        id = rec(id).parent;
    }
}

void DocumentImpl::markTagDirty(std::uint32_t id) {
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
        r.flags = std::uint8_t(copy.flags & ~kTagPatched);
        r.names = copy.names;
        if (copy.flags & kTagPatched)
            setStartTag(to, startTag(from));
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

std::string_view DocumentImpl::readingTag(std::uint32_t id) const {
    const NodeRec &r = rec(id);
    if (r.flags & kTagInSide)
        return m_side[r.begin];
    return std::string_view(m_source + sourceTagBegin(id), r.tagLen);
}

const DocumentImpl::ValuePatch *DocumentImpl::patchAt(std::uint32_t id,
                                                      std::uint32_t valueBegin) const {
    const NodeRec &r = rec(id);
    if (!(r.flags & kTagPatched))
        return nullptr;
    for (std::uint32_t p = m_patchedTags[r.begin].firstPatch; p != kNoNode; p = m_patches[p].next)
        if (m_patches[p].valueBegin == valueBegin)
            return &m_patches[p];
    return nullptr;
}

std::string_view DocumentImpl::effectiveValue(std::uint32_t id, std::string_view tag,
                                              std::string_view value) const {
    if (!(rec(id).flags & kTagPatched))
        return value;
    const ValuePatch *patch = patchAt(id, std::uint32_t(value.data() - tag.data()));
    return patch ? std::string_view(m_patchTexts[patch->text]) : value;
}

template <typename Emit> void DocumentImpl::forEachTagPiece(std::uint32_t id, Emit &&emit) const {
    const std::string_view tag = readingTag(id);
    const NodeRec &r = rec(id);
    if (!(r.flags & kTagPatched)) {
        emit(tag);
        return;
    }
    std::uint32_t at = 0;
    for (std::uint32_t p = m_patchedTags[r.begin].firstPatch; p != kNoNode; p = m_patches[p].next) {
        const ValuePatch &patch = m_patches[p];
        emit(tag.substr(at, patch.valueBegin - at));
        emit(std::string_view(m_patchTexts[patch.text]));
        at = patch.valueBegin + patch.valueLength;
    }
    emit(tag.substr(at));
}

std::string DocumentImpl::startTag(std::uint32_t id) const {
    std::string out;
    forEachTagPiece(id, [&out](std::string_view piece) { out.append(piece); });
    return out;
}

std::string_view DocumentImpl::elementName(std::uint32_t id) const {
    return start_tag::name(readingTag(id));
}

std::uint32_t DocumentImpl::storeText(std::string text) {
    // The same value set on element after element is kept once, unless other values came in
    // between; values for many elements are prepared once instead (PreparedValue).
    if (!m_patchTexts.empty() && m_patchTexts.back() == text)
        return std::uint32_t(m_patchTexts.size() - 1);
    m_patchTexts.push_back(std::move(text));
    return std::uint32_t(m_patchTexts.size() - 1);
}

void DocumentImpl::setValue(std::uint32_t id, std::uint32_t valueBegin, std::uint32_t valueLength,
                            std::string escaped) {
    setValue(id, valueBegin, valueLength, storeText(std::move(escaped)));
}

void DocumentImpl::setValue(std::uint32_t id, std::uint32_t valueBegin, std::uint32_t valueLength,
                            std::uint32_t text) {
    NodeRec &r = rec(id);
    if (r.flags & kTagInSide) {
        // Already re-spelled whole (it gained content, or it is a copy of an edited tag).
        const std::string_view tag = m_side[r.begin];
        const std::string_view escaped = m_patchTexts[text];
        std::string respelled;
        respelled.reserve(tag.size() - valueLength + escaped.size());
        respelled.append(tag.substr(0, valueBegin));
        respelled.append(escaped);
        respelled.append(tag.substr(valueBegin + valueLength));
        setStartTag(id, std::move(respelled));
        return;
    }
    if (!(r.flags & kTagPatched)) {
        m_patchedTags.push_back(PatchedTag{r.begin, kNoNode, id});
        r.begin = std::uint32_t(m_patchedTags.size() - 1);
        r.flags |= kTagPatched;
    }
    // Keep the list ordered by place; a value set again replaces its earlier text.
    // Links are indices: adding a patch may move the list's storage.
    std::uint32_t previous = kNoNode;
    std::uint32_t current = m_patchedTags[r.begin].firstPatch;
    while (current != kNoNode && m_patches[current].valueBegin < valueBegin) {
        previous = current;
        current = m_patches[current].next;
    }
    if (current != kNoNode && m_patches[current].valueBegin == valueBegin) {
        m_patches[current].text = text;
    } else {
        const auto added = std::uint32_t(m_patches.size());
        m_patches.push_back(ValuePatch{valueBegin, valueLength, text, current});
        (previous == kNoNode ? m_patchedTags[r.begin].firstPatch : m_patches[previous].next) =
            added;
    }
    // Places in the source tag do not move when a value is patched: handles stay current.
    markTagDirty(id);
}

void DocumentImpl::setStartTag(std::uint32_t id, std::string tag) {
    NodeRec &r = rec(id);
    // An element edited again reuses its own slot, so a relink that sets two attributes of
    // every clip keeps one tag per clip. A deep copy shares its source's slot until its own
    // first edit, hence the owner check.
    if ((r.flags & kTagInSide) && m_sideOwner[r.begin] == id) {
        m_side[r.begin] = std::move(tag);
    } else {
        if (r.flags & kTagPatched) {
            // The patches are part of the new spelling; their list no longer belongs to anyone.
            m_patchedTags[r.begin].node = kNoNode;
            r.flags &= std::uint8_t(~kTagPatched);
        }
        m_side.push_back(std::move(tag));
        m_sideOwner.push_back(id);
        r.begin = std::uint32_t(m_side.size() - 1);
    }
    r.tagLen = std::uint32_t(m_side[r.begin].size());
    r.flags |= kTagInSide;
    ++m_tagEdits;
    markDirty(id);
}

void DocumentImpl::openSpans(std::uint32_t id, SpanList &out) const {
    if (id != kDocumentNode)
        forEachTagPiece(id, [&out](std::string_view piece) { out.add(piece); });
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
    // Text that follows what stood before it in the source needs no look: the source was
    // well-formed. Not reading it keeps the save from touching the bytes it only passes on.
    if (out.endsAt(text.data())) {
        out.add(text);
        return;
    }
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

std::vector<std::uint32_t> DocumentImpl::patchedTagsInSourceOrder() const {
    // Only loaded elements count: a copy's patches sit at its original's offsets. A tag
    // re-spelled since it was patched has given up its list (kNoNode).
    std::vector<std::uint32_t> order;
    for (std::uint32_t i = 0; i < m_patchedTags.size(); ++i)
        if (m_patchedTags[i].node < loadedNodes)
            order.push_back(i);
    auto bySource = [this](std::uint32_t a, std::uint32_t b) {
        return m_patchedTags[a].sourceBegin < m_patchedTags[b].sourceBegin;
    };
    // A relink patches in document order, so this is mostly a check.
    if (!std::is_sorted(order.begin(), order.end(), bySource))
        std::sort(order.begin(), order.end(), bySource);
    return order;
}

void DocumentImpl::addPatchedRange(std::uint32_t id, const std::vector<std::uint32_t> &order,
                                   SpanList &out) const {
    const std::uint32_t begin = sourceTagBegin(id);
    const std::uint32_t end = rec(id).end;
    auto at = std::lower_bound(order.begin(), order.end(), begin,
                               [this](std::uint32_t patched, std::uint32_t offset) {
                                   return m_patchedTags[patched].sourceBegin < offset;
                               });
    std::uint32_t written = begin;
    for (; at != order.end() && m_patchedTags[*at].sourceBegin < end; ++at) {
        const PatchedTag &tag = m_patchedTags[*at];
        for (std::uint32_t p = tag.firstPatch; p != kNoNode; p = m_patches[p].next) {
            const ValuePatch &patch = m_patches[p];
            const std::uint32_t valueAt = tag.sourceBegin + patch.valueBegin;
            out.add(m_source + written, valueAt - written);
            out.add(m_patchTexts[patch.text]);
            written = valueAt + patch.valueLength;
        }
    }
    out.add(m_source + written, end - written);
}

void DocumentImpl::collectSpans(std::uint32_t id, SpanList &out) const {
    auto unchanged = [this](std::uint32_t n) { return !(rec(n).flags & kDirty); };
    auto addWhole = [this, &out](std::uint32_t n) {
        const NodeRec &r = rec(n);
        out.add(m_source + r.begin, r.end - r.begin);
    };
    // A loaded element that differs from its source only by patched values (a relinked
    // timeline: a value or two on every clip) is its source range with the values put in,
    // written without visiting its nodes.
    std::vector<std::uint32_t> order;
    bool ordered = false;
    auto onlyValuesPatched = [this](std::uint32_t n) {
        return n < loadedNodes && n != kDocumentNode && !(rec(n).flags & kStructureDirty);
    };
    auto addPatched = [&](std::uint32_t n) {
        if (!ordered) {
            order = patchedTagsInSourceOrder();
            ordered = true;
        }
        addPatchedRange(n, order, out);
    };
    if (unchanged(id)) {
        addWhole(id);
        return;
    }
    if (onlyValuesPatched(id)) {
        addPatched(id);
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
        } else if (onlyValuesPatched(current)) {
            addPatched(current);
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
    // Most values hold no reference and no white space to normalise.
    if (raw.find_first_of("\r\n\t&") == std::string_view::npos)
        return std::string(raw);
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
