// Copies whose unchanged content is made only when something asks for it (see README.md).
#include "engine/xml/document_impl.h"

namespace tessaly::xml {

std::uint32_t DocumentImpl::cloneNode(std::uint32_t from) {
    // A copy keeps its original's form of the start tag: a source tag stays one, and a
    // re-spelled tag is shared until either element is edited again. A patched tag is
    // re-spelled whole: a patch list belongs to one element, and the serialiser would put a
    // copy's patches into its original's source range.
    const NodeRec original = rec(from);
    const std::uint32_t to = nodes.add(original.kind, sourceStart(from), original.end);
    NodeRec &r = rec(to);
    r.tagLen = original.tagLen;
    r.flags = std::uint8_t(original.flags & ~kTagPatched);
    r.names = original.names;
    if (original.flags & kTagPatched) {
        setStartTag(to, startTag(from));
    } else if (original.flags & kTagRespelled) {
        r.where = original.respelledTag();
        shareRespelledTag(original.respelledTag());
    }
    // Content that equals its source is copied when first asked for, from the original's nodes,
    // which stay as they are until then (beforeEdit).
    if (original.firstChild != kNoNode && !(original.flags & kChanged)) {
        const std::uint32_t source = contentSource(from);
        rec(to).firstChild = kUnopened | source;
        if (m_copiedWhole.size() <= source)
            m_copiedWhole.resize(std::size_t(source) + 1 + (std::size_t(source) >> 3));
        if (!m_copiedWhole[source]) {
            m_copiedWhole[source] = true;
            ++m_copiedWholeCount;
        }
    }
    return to;
}

void DocumentImpl::open(std::uint32_t id) {
    const std::uint32_t original = contentSource(id);
    rec(id).firstChild = kNoNode;
    // The original is unchanged, so its own children are made: `link` keeps the gaps between
    // them as they stand in the source.
    for (std::uint32_t child = rec(original).firstChild; child != kNoNode;
         child = rec(child).next)
        link(id, cloneNode(child));
}

bool DocumentImpl::copiedContentMayHold(std::uint32_t id, std::uint16_t bits) const {
    std::vector<std::uint32_t> parents{contentSource(id)};
    while (!parents.empty()) {
        const std::uint32_t parent = parents.back();
        parents.pop_back();
        for (std::uint32_t child = rec(parent).firstChild; child != kNoNode;
             child = rec(child).next) {
            const NodeRec &r = rec(child);
            if (r.kind != NodeKind::Element)
                continue;
            if (r.names & bits)
                return true;
            if (r.firstChild != kNoNode)
                parents.push_back(contentSource(child));
        }
    }
    return false;
}

void DocumentImpl::beforeEdit(std::uint32_t id) {
    if (unopened(id))
        open(id);
    if (m_copiedWholeCount == 0)
        return;
    // The edit marks `id` and its ancestors up to the first one already changed. A copy of any
    // of them must be opened before it does; opened from the top down, a copy opened at one
    // level hands its unopened children to the next.
    auto copied = [this](std::uint32_t n) { return n < m_copiedWhole.size() && m_copiedWhole[n]; };
    bool any = false;
    for (std::uint32_t n = id; n != kNoNode && !(rec(n).flags & kChanged); n = rec(n).parent)
        any = any || copied(n);
    if (!any)
        return;
    struct Step {
        std::uint32_t node;
        bool copiedBefore; ///< copies of it may be anywhere; else only among those just made
    };
    std::vector<Step> path;
    for (std::uint32_t n = id; n != kNoNode && !(rec(n).flags & kChanged); n = rec(n).parent)
        path.push_back({n, copied(n)});
    // The nodes made by the level above: the only copies of a node that no copy referred to
    // before this edit. Looking there alone keeps a deep path from scanning once per level.
    std::uint32_t madeBegin = 0;
    std::uint32_t madeEnd = 0;
    for (auto step = path.rbegin(); step != path.rend(); ++step) {
        const std::uint32_t before = nodes.size();
        if (step->copiedBefore)
            openCopiesOf(step->node, loadedNodes, before);
        else if (copied(step->node))
            openCopiesOf(step->node, madeBegin, madeEnd);
        madeBegin = before;
        madeEnd = nodes.size();
    }
}

void DocumentImpl::openCopiesOf(std::uint32_t original, std::uint32_t begin, std::uint32_t end) {
    // Rare: a relink never changes what it copied. Copies are never loaded nodes.
    const std::uint32_t marker = kUnopened | original;
    for (std::uint32_t id = begin; id < end; ++id)
        if (rec(id).firstChild == marker)
            open(id);
    m_copiedWhole[original] = false;
    --m_copiedWholeCount;
}

} // namespace tessaly::xml
