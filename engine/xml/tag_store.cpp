// The forms of a start tag: as in the source, the source with patched values, or re-spelled
// whole (see README.md).
#include "engine/xml/document_impl.h"
#include "engine/xml/start_tag.h"

#include <algorithm>

namespace tessaly::xml {

const DocumentImpl::ValuePatch *DocumentImpl::patchAt(std::uint32_t id,
                                                      std::uint32_t valueBegin) const {
    const NodeRec &r = rec(id);
    if (!(r.flags & kTagPatched))
        return nullptr;
    for (std::uint32_t p = m_patchedTags[r.patchedTag()].firstPatch; p != kNoNode;
         p = m_patches[p].next)
        if (m_patches[p].valueBegin == valueBegin)
            return &m_patches[p];
    return nullptr;
}

std::string_view DocumentImpl::effectiveValue(std::uint32_t id, std::uint32_t valueBegin,
                                              std::string_view value) const {
    if (!(rec(id).flags & kTagPatched))
        return value;
    const ValuePatch *patch = patchAt(id, valueBegin);
    return patch ? m_patchTexts[patch->text] : value;
}

std::string DocumentImpl::startTag(std::uint32_t id) const {
    std::string out;
    forEachTagPiece(id, [&out](std::string_view piece) { out.append(piece); });
    return out;
}

std::string_view DocumentImpl::elementName(std::uint32_t id) const {
    return start_tag::name(unpatchedTag(id));
}

std::uint32_t DocumentImpl::patchTextIndex(std::string_view text) {
    // The same value set on element after element is kept once, unless other values came in
    // between; values for many elements are prepared once instead (PreparedValue).
    if (!m_patchTexts.empty() && m_patchTexts.back() == text)
        return std::uint32_t(m_patchTexts.size() - 1);
    char *kept = static_cast<char *>(m_patchPages.allocate(text.size(), 1));
    std::copy(text.begin(), text.end(), kept);
    m_patchTexts.emplace_back(kept, text.size());
    return std::uint32_t(m_patchTexts.size() - 1);
}

void DocumentImpl::setValue(std::uint32_t id, std::uint32_t valueBegin, std::uint32_t valueLength,
                            std::string_view escaped) {
    setValue(id, valueBegin, valueLength, patchTextIndex(escaped));
}

void DocumentImpl::setValue(std::uint32_t id, std::uint32_t valueBegin, std::uint32_t valueLength,
                            std::uint32_t text) {
    beforeEdit(id);
    NodeRec &r = rec(id);
    if (r.flags & kTagRespelled) {
        // Already re-spelled whole (it gained content, or it is a copy of an edited tag).
        const std::string_view tag = m_respelledTags[r.respelledTag()];
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
        m_patchedTags.push_back(PatchedTag{r.sourceBegin(), kNoNode, id});
        r.becomePatched(std::uint32_t(m_patchedTags.size() - 1));
    }
    // Keep the list ordered by place; a value set again replaces its earlier text.
    // Links are indices: adding a patch may move the list's storage.
    std::uint32_t previous = kNoNode;
    PatchedTag &patched = m_patchedTags[r.patchedTag()];
    std::uint32_t current = patched.firstPatch;
    while (current != kNoNode && m_patches[current].valueBegin < valueBegin) {
        previous = current;
        current = m_patches[current].next;
    }
    if (current != kNoNode && m_patches[current].valueBegin == valueBegin) {
        m_patches[current].text = text;
    } else {
        const auto added = std::uint32_t(m_patches.size());
        m_patches.push_back(ValuePatch{valueBegin, valueLength, text, current});
        (previous == kNoNode ? patched.firstPatch : m_patches[previous].next) = added;
    }
    // Places in the source tag do not move when a value is patched: handles stay current.
    markValuePatched(id);
}

void DocumentImpl::shareRespelledTag(std::uint32_t entry) {
    m_respelledTagOwners[entry] = kNoNode;
}

void DocumentImpl::setStartTag(std::uint32_t id, std::string tag) {
    beforeEdit(id);
    NodeRec &r = rec(id);
    // An element edited again reuses its own entry, so a relink that sets two attributes of
    // every clip keeps one tag per clip. An entry shared by a copy and its original has no
    // owner: overwriting it would change the other element too.
    if ((r.flags & kTagRespelled) && m_respelledTagOwners[r.respelledTag()] == id) {
        m_respelledTags[r.respelledTag()] = std::move(tag);
    } else {
        const std::uint32_t source = sourceStart(id);
        // The patches are part of the new spelling; their list no longer belongs to anyone.
        if (r.flags & kTagPatched)
            m_patchedTags[r.patchedTag()].node = kNoNode;
        m_respelledTags.push_back(std::move(tag));
        m_respelledTagOwners.push_back(id);
        m_respelledTagSources.push_back(source);
        r.becomeRespelled(std::uint32_t(m_respelledTags.size() - 1));
    }
    r.tagLen = std::uint32_t(m_respelledTags[r.respelledTag()].size());
    ++m_tagEdits;
    markStructureChanged(id);
}

} // namespace tessaly::xml
