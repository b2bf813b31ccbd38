// A pass over the attributes of one name, by the places noted at load.
#include "engine/xml/document.h"
#include "engine/xml/document_impl.h"
#include "engine/xml/parent_answer_cache.h"
#include "engine/xml/start_tag.h"

#include <optional>

namespace tessaly::xml {
namespace {

/// Answers "is this node `top` or below it?" for the entries of a pass.
class WithinTop {
public:
    WithinTop(const DocumentImpl &doc, std::uint32_t top) : m_doc(doc), m_top(top) {}

    bool contains(std::uint32_t id) {
        if (id == m_top)
            return true;
        if (m_doc.structureEdits() != m_structure) {
            m_parents.forget();
            m_structure = m_doc.structureEdits();
        }
        return m_parents.answer(
            id, [this](std::uint32_t node) { return m_doc.rec(node).parent; },
            [this](std::uint32_t, std::uint32_t parent) {
                return parent == m_top ? std::optional<bool>(true) : std::nullopt;
            });
    }

private:
    const DocumentImpl &m_doc;
    std::uint32_t m_top;
    std::uint64_t m_structure = ~std::uint64_t(0);
    ParentAnswerCache<std::uint32_t> m_parents{kNoNode};
};

/// Visits the attribute of this name on the element, found by reading its tag.
void visitFound(DocumentImpl &doc, std::uint32_t id, std::string_view name, std::size_t which,
                const std::function<void(Element, Attribute, std::size_t)> &visit) {
    const Element element = DocumentImpl::elementHandle(&doc, id);
    if (const Attribute attribute = element.attributeForName(name))
        visit(element, attribute, which);
}

// How many entries ahead the pass asks for the node and the value it will read: each entry
// sits in another part of a large document, and waiting for them one at a time is most of
// the cost of a pass.
constexpr std::size_t kLookAhead = 16;

} // namespace

std::size_t DocumentImpl::attributeSlot(std::string_view name) {
    if (std::size_t slot = attributeIndex.slotOf(name); slot != AttributeIndex::npos)
        return slot;
    const std::size_t slot = attributeIndex.add(name);
    const std::uint16_t bit = start_tag::nameBit(name);
    AttributeIndex::Entries &entries = attributeIndex.entries(slot);
    for (std::uint32_t id = 0; id < loadedNodes; ++id) {
        const NodeRec &r = rec(id);
        if (r.kind != NodeKind::Element || !(r.names & bit))
            continue;
        const Attribute found = elementHandle(this, id).attributeForName(name);
        if (!found)
            continue;
        const Attribute::Place &place = found.m_place;
        const std::uint32_t valueAt =
            (r.flags & kTagRespelled) ? 0 : sourceTagBegin(id) + place.valueBegin;
        entries.push_back({id, valueAt, AttributeIndex::small(found.m_index),
                           AttributeIndex::small(place.valueLength)});
    }
    return slot;
}

void Element::forEachAttributeNamed(std::string_view name,
                                    const std::function<void(Element, Attribute)> &visit) const {
    forEachAttributeNamed({name}, [&visit](Element element, Attribute attribute, std::size_t) {
        visit(element, attribute);
    });
}

void Element::forEachAttributeNamed(
    std::initializer_list<std::string_view> names,
    const std::function<void(Element, Attribute, std::size_t which)> &visit) const {
    if (!m_doc || names.size() == 0)
        return;
    DocumentImpl &doc = *m_doc;
    // `visit` may add slots, which may move the index's names: keep copies.
    const std::vector<std::string> wanted(names.begin(), names.end());
    WithinTop within(doc, m_id);

    // Each name's entries are in document order; merge them element by element.
    struct Cursor {
        AttributeIndex::Entries::const_iterator at, end, ahead;
    };
    std::vector<Cursor> cursors;
    for (const std::string &name : wanted) {
        const AttributeIndex::Entries &entries =
            doc.attributeIndex.entries(doc.attributeSlot(name));
        Cursor cursor{entries.begin(), entries.end(), entries.begin()};
        for (std::size_t i = 0; i < kLookAhead && cursor.ahead != cursor.end; ++i)
            ++cursor.ahead;
        cursors.push_back(cursor);
    }
    for (;;) {
        std::size_t which = cursors.size();
        for (std::size_t i = 0; i < cursors.size(); ++i)
            if (cursors[i].at != cursors[i].end &&
                (which == cursors.size() || cursors[i].at->element < cursors[which].at->element))
                which = i;
        if (which == cursors.size())
            break;
        Cursor &cursor = cursors[which];
        const AttributeIndex::Entry &entry = *cursor.at++;
        if (cursor.ahead != cursor.end) {
            __builtin_prefetch(&doc.rec(cursor.ahead->element));
            if (cursor.ahead->text == AttributeIndex::kNoText)
                __builtin_prefetch(doc.source() + cursor.ahead->valueAt);
            ++cursor.ahead;
        }
        if (!within.contains(entry.element))
            continue;
        if (entry.ordinal == AttributeIndex::kLarge ||
            entry.valueLength == AttributeIndex::kLarge) {
            visitFound(doc, entry.element, wanted[which], which, visit);
            continue;
        }
        Attribute attribute = DocumentImpl::attributeHandle(&doc, entry.element, entry.ordinal);
        if (!(doc.rec(entry.element).flags & kTagRespelled)) {
            // The noted place is current: the tag is the source's, at most with patched values.
            // The value is read from the noted texts: the source page it stands on is not
            // touched again.
            const bool noted = entry.text != AttributeIndex::kNoText;
            const NotedTexts &texts = doc.attributeIndex.texts();
            attribute.m_place = Attribute::Place{
                Attribute::kNameBeforeValue, std::uint32_t(wanted[which].size()),
                entry.valueAt - doc.sourceTagBegin(entry.element), entry.valueLength,
                noted ? texts.quote(entry.text) : doc.source()[entry.valueAt - 1]};
            attribute.m_placeStamp = doc.tagEdits();
            attribute.m_notedText = entry.text;
        }
        visit(DocumentImpl::elementHandle(&doc, entry.element), attribute, which);
    }

    // Elements made since loading: copies and their content.
    std::uint16_t bits = 0;
    for (const std::string &name : wanted)
        bits |= start_tag::nameBit(name);
    for (std::uint32_t id = doc.loadedNodes; id < doc.nodes.size(); ++id) {
        const NodeRec &r = doc.rec(id);
        if (r.kind != NodeKind::Element)
            continue;
        // A copy's content that may hold one of the names is made now, and visited as the
        // loop reaches it.
        if (doc.unopened(id) && doc.copiedContentMayHold(id, bits) && within.contains(id))
            doc.open(id);
        if (!(r.names & bits) || !within.contains(id))
            continue;
        for (std::size_t which = 0; which < wanted.size(); ++which)
            visitFound(doc, id, wanted[which], which, visit);
    }
}

} // namespace tessaly::xml
