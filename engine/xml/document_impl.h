#pragma once

#include "engine/xml/attribute_index.h"
#include "engine/xml/document.h"
#include "engine/xml/mapped_source.h"
#include "engine/xml/node_store.h"
#include "engine/xml/page_arena.h"
#include "engine/xml/page_buffer.h"
#include "engine/xml/source_sweep.h"
#include "engine/xml/span_list.h"

#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace tessaly::xml {

/// The state behind a Document and its handles: source bytes, nodes, the start tags edits
/// gave another form, and the internal entities that attribute values may refer to.
///
/// engine/xml/README.md describes the edit model these members implement: the three forms of
/// a start tag, the flags and counters, and which functions change together. The members are
/// defined in one file per part: document_impl.cpp (the tree and its copies), tag_store.cpp
/// (the forms of a start tag), serialiser.cpp (spans as they will be written) and
/// attribute_value.cpp (decoding a value).
class DocumentImpl {
public:
    static constexpr std::uint32_t kDocumentNode = 0;
    /// Zero bytes after the source: scanners look a few bytes ahead without bounds checks.
    static constexpr std::size_t kSourcePadding = 64;

    /// Takes the bytes; `size` is the document's length, the storage holds zero padding after it.
    DocumentImpl(std::string bytes, std::size_t size);
    /// The same with bytes read into a page buffer.
    DocumentImpl(PageBuffer pages, std::size_t size);
    /// The same with the file's bytes mapped where they lie.
    DocumentImpl(MappedSource mapped, std::size_t size);

    /// Moves a mapped source into memory of its own, so that the file can be overwritten.
    void ownSource();
    /// The mapping of the source, empty unless the document was read from a file in place.
    const MappedSource &mapped() const { return m_mapped; }

    /// The document's bytes as read, followed by zero padding.
    const char *source() const { return m_source; }
    /// The document's length in bytes.
    std::size_t sourceSize() const { return m_size; }

    NodeStore nodes;
    std::uint32_t root = kNoNode;
    /// Replacement texts of the internal general entities declared in the internal subset.
    std::map<std::string, std::string, std::less<>> entities;
    /// Places of chosen attribute names on the elements read at load.
    AttributeIndex attributeIndex;
    /// How many nodes the parser made; later ones are edits (copies and their content).
    std::uint32_t loadedNodes = 0;
    /// What of a mapped source is kept in memory while the parser and the writer go through
    /// it; changes nothing that is read, so a const document may move it on.
    mutable SourceSweep sweep;

    // Handle plumbing (this class is a friend of the handle classes).
    static Node nodeHandle(DocumentImpl *doc, std::uint32_t id) { return Node(doc, id); }
    static Element elementHandle(DocumentImpl *doc, std::uint32_t id) { return Element(doc, id); }
    static Attribute attributeHandle(DocumentImpl *doc, std::uint32_t element, std::uint32_t i) {
        return Attribute(doc, element, i);
    }
    static DocumentImpl *documentOf(const Node &node) { return node.m_doc; }
    static std::uint32_t idOf(const Node &node) { return node.m_id; }

    /// The record of node `id`.
    NodeRec &rec(std::uint32_t id) { return nodes[id]; }
    const NodeRec &rec(std::uint32_t id) const { return nodes[id]; }

    // The tree and its marks (document_impl.cpp).

    /// The last child of `id`, or kNoNode.
    std::uint32_t lastChild(std::uint32_t id) const;
    /// The next sibling of `id`, or kNoNode.
    std::uint32_t nextSibling(std::uint32_t id) const { return rec(id).next; }
    /// The previous sibling of `id`, or kNoNode.
    std::uint32_t previousSibling(std::uint32_t id) const;
    /// Links a detached node as the last child of `parent`, after any white space that ends
    /// the parent's content.
    void appendChild(std::uint32_t parent, std::uint32_t child);
    /// Unlinks a node from its parent; it keeps its subtree, and the white space before it stays.
    void detach(std::uint32_t child);
    /// The white space between tags kept as source only before a node (kGapBefore) or before
    /// an element's end tag (kGapAtEnd).
    std::string_view gapBefore(std::uint32_t id) const;
    std::string_view gapAtEnd(std::uint32_t id) const;
    /// The '<' of an element's end tag in the source; nullptr when the source was cut short to
    /// nothing and reads as zeros.
    const char *endTagBegin(std::uint32_t id) const;
    /// Marks the node and its ancestors as changed in structure: nodes added or removed below
    /// it, or its start tag re-spelled. Their source ranges no longer spell them.
    void markStructureChanged(std::uint32_t id) {
        // The ancestors of a marked node are marked, so the climb ends at the first one that is.
        constexpr std::uint8_t kBoth = kChanged | kStructureChanged;
        while (id != kNoNode && (rec(id).flags & kBoth) != kBoth) {
            rec(id).flags |= kBoth;
            id = rec(id).parent;
        }
    }
    /// Marks the node and its ancestors as changed by a value patched into the node's tag:
    /// their source ranges, with the patches put in, still spell them.
    void markValuePatched(std::uint32_t id) {
        while (id != kNoNode && !(rec(id).flags & kChanged)) {
            rec(id).flags |= kChanged;
            id = rec(id).parent;
        }
    }
    /// A detached deep copy of a subtree. What of it is unchanged is copied unopened: see
    /// kUnopened.
    std::uint32_t deepCopy(std::uint32_t id);

    // Unopened copies (unopened_copies.cpp). A relink copies a million assets and changes a tag
    // or two in each; the rest of each copy is its original's source, and copying its nodes
    // would cost more memory than the source itself.

    /// An element copied from an unchanged one keeps, in the place of its first child, the id
    /// of the node whose children it copies with this bit set: it is written as its source
    /// range, and its children are made only when something asks for them (firstChildOf).
    static constexpr std::uint32_t kUnopened = 0x80000000u;
    /// True for a copy whose children are not yet made.
    bool unopened(std::uint32_t id) const {
        const std::uint32_t first = rec(id).firstChild;
        return first != kNoNode && (first & kUnopened);
    }
    /// The node whose children are `id`'s: the one an unopened copy refers to, else `id`.
    std::uint32_t contentSource(std::uint32_t id) const {
        return unopened(id) ? rec(id).firstChild & ~kUnopened : id;
    }
    /// The first child of `id`, or kNoNode; an unopened copy is opened first.
    std::uint32_t firstChildOf(std::uint32_t id) {
        if (unopened(id))
            open(id);
        return rec(id).firstChild;
    }
    /// Makes the children of an unopened copy, each itself unopened where it has children.
    void open(std::uint32_t id);
    /// Whether an element below an unopened copy may carry one of the attribute names of
    /// `bits` (see start_tag::nameBit), read from the nodes it copies.
    bool copiedContentMayHold(std::uint32_t id, std::uint16_t bits) const;
    /// Called before anything at or below `id` changes: opens `id` when it is an unopened
    /// copy, and every unopened copy of a node the change makes differ from its source, so
    /// that each copy keeps what it copied.
    void beforeEdit(std::uint32_t id);
    /// Counts links and unlinks, so that a pass can tell when the tree changed under it.
    std::uint64_t structureEdits() const { return m_structureEdits; }

    // The forms of a start tag (tag_store.cpp).

    /// The tag that attribute places are measured in: the re-spelled tag, or the source tag
    /// without the values patched into it (see effectiveValue).
    std::string_view unpatchedTag(std::uint32_t id) const {
        const NodeRec &r = rec(id);
        if (r.flags & kTagRespelled)
            return m_respelledTags[r.respelledTag()];
        const std::uint32_t begin = sourceTagBegin(id);
        sweep.revisit(begin);
        return std::string_view(m_source + begin, r.tagLen);
    }
    /// The value as it will be written: a patch's text, or `value` (a view into unpatchedTag).
    std::string_view effectiveValue(std::uint32_t id, std::string_view tag,
                                    std::string_view value) const {
        return effectiveValue(id, std::uint32_t(value.data() - tag.data()), value);
    }
    /// The same for a value at `valueBegin` in unpatchedTag, read from wherever it is kept.
    std::string_view effectiveValue(std::uint32_t id, std::uint32_t valueBegin,
                                    std::string_view value) const;
    /// Where in the source a node begins, whatever the form of its start tag.
    std::uint32_t sourceStart(std::uint32_t id) const {
        const NodeRec &r = rec(id);
        return (r.flags & kTagRespelled) ? m_respelledTagSources[r.respelledTag()]
                                         : sourceTagBegin(id);
    }
    /// Where in the source an element's start tag begins (not for re-spelled tags).
    std::uint32_t sourceTagBegin(std::uint32_t id) const {
        const NodeRec &r = rec(id);
        return (r.flags & kTagPatched) ? m_patchedTags[r.patchedTag()].sourceBegin
                                       : r.sourceBegin();
    }
    /// The element's whole start tag as it will be written.
    std::string startTag(std::uint32_t id) const;
    /// The element's name as written.
    std::string_view elementName(std::uint32_t id) const;
    /// Gives the element the re-spelled form with this tag.
    void setStartTag(std::uint32_t id, std::string tag);
    /// Replaces one attribute value, given by its place in unpatchedTag, with escaped text. Only
    /// the value is stored, not a new tag: a relink sets a value or two on every clip.
    void setValue(std::uint32_t id, std::uint32_t valueBegin, std::uint32_t valueLength,
                  std::string_view escaped);
    /// The same with a text stored by patchTextIndex.
    void setValue(std::uint32_t id, std::uint32_t valueBegin, std::uint32_t valueLength,
                  std::uint32_t text);
    /// Stores a replacement value text and returns its index among the patch texts.
    std::uint32_t patchTextIndex(std::string_view text);
    /// Counts start-tag re-spellings, so that attribute handles know when their place may have
    /// moved; patching a value moves no place and is not counted.
    std::uint64_t tagEdits() const { return m_tagEdits; }

    /// The slot of `name` in attributeIndex, filled from the loaded tags if the parser did not
    /// (attribute_pass.cpp).
    std::size_t attributeSlot(std::string_view name);

    // Serialising (serialiser.cpp).

    /// Adds the spans of a node (a whole subtree for an element) as it will be written.
    void collectSpans(std::uint32_t id, SpanList &out) const;

    // Decoding (attribute_value.cpp).

    /// Decodes an attribute value as written: references expanded and white space normalised.
    std::string decodeAttributeValue(std::string_view raw) const;

private:
    /// One replaced value of a source start tag, in a list ordered by place.
    struct ValuePatch {
        std::uint32_t valueBegin;  ///< offset of the value in the source tag
        std::uint32_t valueLength; ///< length of the value in the source tag
        std::uint32_t text;        ///< index into m_patchTexts
        std::uint32_t next;        ///< next patch of the same tag, or kNoNode
    };
    /// The patched form of one start tag: where it stands in the source, and its patches.
    struct PatchedTag {
        std::uint32_t sourceBegin;
        std::uint32_t firstPatch;
        std::uint32_t node; ///< kNoNode once the tag is re-spelled
    };

    /// appendChild without a look at the parent's white space: for copying it as it is.
    void link(std::uint32_t parent, std::uint32_t child);
    /// A detached copy of one node, unopened when it has children and none changed.
    std::uint32_t cloneNode(std::uint32_t from);
    /// Opens every unopened copy of `original`'s children among the nodes [begin, end).
    void openCopiesOf(std::uint32_t original, std::uint32_t begin, std::uint32_t end);
    /// Makes a node of the white space kept as source before `id`, or before its end tag, so
    /// that an edit next to it finds it where a node would stand.
    void makeGapBeforeANode(std::uint32_t id);
    void makeGapAtEndANode(std::uint32_t id);
    /// The white space that ends at `end` in the source.
    static std::string_view spaceBefore(const char *end);

    const ValuePatch *patchAt(std::uint32_t id, std::uint32_t valueBegin) const;
    /// Gives a re-spelled-tag entry to a copy as well: neither element owns it from now on.
    void shareRespelledTag(std::uint32_t entry);
    /// Calls `emit` with the pieces that spell the start tag as it will be written.
    template <typename Emit> void forEachTagPiece(std::uint32_t id, Emit &&emit) const;

    void openSpans(std::uint32_t id, SpanList &out) const;
    void addText(std::uint32_t id, SpanList &out) const;
    void closeSpans(std::uint32_t id, SpanList &out) const;
    /// Indices of the patched tags of loaded elements, ordered by place in the source.
    std::vector<std::uint32_t> patchedTagsInSourceOrder() const;
    /// Writes a loaded element whose subtree differs from its source only by patched values.
    void addPatchedRange(std::uint32_t id, const std::vector<std::uint32_t> &order,
                         SpanList &out) const;

    // The source.
    std::string m_bytes;
    PageBuffer m_pages;
    MappedSource m_mapped;
    const char *m_source;
    std::size_t m_size;

    // The re-spelled form: whole tags, shared by a copy with its original until either is
    // edited again. The owner is the one element that may overwrite an entry (kNoNode once
    // shared).
    std::deque<std::string> m_respelledTags;
    std::vector<std::uint32_t> m_respelledTagOwners;
    // Where the element of each entry begins in the source: a copy shares its original's.
    std::vector<std::uint32_t> m_respelledTagSources;

    // The patched form: per tag a list of patches; the texts are shared by the patches that
    // set the same prepared value. A relink patches hundreds of thousands of values: chunks
    // grow without the copies and the doubled peak of a vector, in pages mapped in a block at
    // a time.
    PageArena m_patchPages;
    std::deque<PatchedTag, ArenaAllocator<PatchedTag>> m_patchedTags{
        ArenaAllocator<PatchedTag>(m_patchPages)};
    std::deque<ValuePatch, ArenaAllocator<ValuePatch>> m_patches{
        ArenaAllocator<ValuePatch>(m_patchPages)};
    // The texts' bytes sit in the arena too, one after another: a relink of a million proxies
    // stores six million texts, and a string each cost twice their bytes.
    std::deque<std::string_view, ArenaAllocator<std::string_view>> m_patchTexts{
        ArenaAllocator<std::string_view>(m_patchPages)};

    // Nodes whose children an unopened copy refers to, by id.
    std::vector<bool> m_copiedWhole;
    std::size_t m_copiedWholeCount = 0;

    // Staleness counters.
    std::uint64_t m_tagEdits = 0;
    std::uint64_t m_structureEdits = 0;
};

template <typename Emit> void DocumentImpl::forEachTagPiece(std::uint32_t id, Emit &&emit) const {
    const std::string_view tag = unpatchedTag(id);
    const NodeRec &r = rec(id);
    if (!(r.flags & kTagPatched)) {
        emit(tag);
        return;
    }
    std::uint32_t at = 0;
    for (std::uint32_t p = m_patchedTags[r.patchedTag()].firstPatch; p != kNoNode;
         p = m_patches[p].next) {
        const ValuePatch &patch = m_patches[p];
        emit(tag.substr(at, patch.valueBegin - at));
        emit(m_patchTexts[patch.text]);
        at = patch.valueBegin + patch.valueLength;
    }
    emit(tag.substr(at));
}

} // namespace tessaly::xml
