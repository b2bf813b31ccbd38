// Serialising: a node as spans of the source and of edited text, in document order.
#include "engine/xml/document_impl.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace tessaly::xml {

void DocumentImpl::openSpans(std::uint32_t id, SpanList &out) const {
    if (id != kDocumentNode)
        forEachTagPiece(id, [&out](std::string_view piece) { out.add(piece); });
}

void DocumentImpl::closeSpans(std::uint32_t id, SpanList &out) const {
    const NodeRec &r = rec(id);
    if (id == kDocumentNode || (r.flags & kEmptyForm))
        return;
    // An element written `<a/>` in the source has no white space before an end tag.
    if (r.flags & kSynthEnd) {
        out.addOwned("</" + std::string(elementName(id)) + ">");
        return;
    }
    const char *endTag = endTagBegin(id);
    if (!endTag) // a source cut short to nothing reads as zeros; the document says it was cut
        return;
    if (r.flags & kGapAtEnd)
        out.add(spaceBefore(endTag));
    out.add(endTag, std::size_t(m_source + r.end - endTag));
}

void DocumentImpl::addText(std::uint32_t id, SpanList &out) const {
    const NodeRec &r = rec(id);
    std::string_view text(m_source + r.sourceBegin(), r.end - r.sourceBegin());
    // Text that follows what stood before it in the source needs no look: the source was
    // well-formed. Not reading it keeps the save from touching the bytes it only passes on.
    if (out.endsAt(text.data())) {
        out.add(text);
        return;
    }
    sweep.revisit(r.sourceBegin());
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
    auto unchanged = [this](std::uint32_t n) { return !(rec(n).flags & kChanged); };
    auto addWhole = [this, &out](std::uint32_t n) {
        const NodeRec &r = rec(n);
        out.add(m_source + r.sourceBegin(), r.end - r.sourceBegin());
    };
    // A loaded element that differs from its source only by patched values (a relinked
    // timeline: a value or two on every clip) is its source range with the values put in,
    // written without visiting its nodes.
    std::vector<std::uint32_t> order;
    bool ordered = false;
    auto onlyValuesPatched = [this](std::uint32_t n) {
        return n < loadedNodes && n != kDocumentNode && !(rec(n).flags & kStructureChanged);
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
        if (rec(current).flags & kGapBefore)
            out.add(gapBefore(current));
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

} // namespace tessaly::xml
