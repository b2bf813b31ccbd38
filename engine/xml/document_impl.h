#pragma once

#include "engine/xml/attribute_index.h"
#include "engine/xml/document.h"
#include "engine/xml/node_store.h"
#include "engine/xml/page_buffer.h"

#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace tessaly::xml {

/// A run of bytes to write out; serialising gathers these instead of copying.
struct Span {
    const char *data;
    std::size_t size;
};

/// The spans of a serialisation, with adjacent source spans merged and generated text kept.
/// With a sink, full batches are handed over as they fill, so a large document is written out
/// without a list of all its spans.
class SpanList {
public:
    using Sink = std::function<void(const std::vector<Span> &)>;
    SpanList() = default;
    explicit SpanList(Sink sink) : m_sink(std::move(sink)) {}
    /// Hands the spans not yet handed over to the sink.
    void finish();
    void add(const char *data, std::size_t size);
    void add(std::string_view text) { add(text.data(), text.size()); }
    /// The last `count` bytes added so far (fewer when less was added).
    std::string tail(std::size_t count) const;
    /// True when the last span added ends just before `data` (and is not yet handed over).
    bool endsAt(const char *data) const {
        return !m_spans.empty() && m_spans.back().data + m_spans.back().size == data;
    }
    /// Keeps `text` alive with the list and adds it.
    void addOwned(std::string text);
    const std::vector<Span> &spans() const { return m_spans; }
    std::size_t totalSize() const { return m_total; }

private:
    static constexpr std::size_t kBatch = 1024;
    std::vector<Span> m_spans;
    std::deque<std::string> m_owned;
    std::size_t m_total = 0;
    Sink m_sink;
    std::string m_handedTail; ///< the last bytes handed to the sink, for tail()
};

/// The state behind a Document and its handles: source bytes, nodes, re-spelled start tags and
/// the internal entities that attribute values may refer to.
class DocumentImpl {
public:
    static constexpr std::uint32_t kDocumentNode = 0;

    /// Takes the bytes; `size` is the document's length, the storage holds zero padding after it.
    DocumentImpl(std::string bytes, std::size_t size);
    DocumentImpl(PageBuffer pages, std::size_t size);

    const char *source() const { return m_source; }
    std::size_t sourceSize() const { return m_size; }

    NodeStore nodes;
    std::uint32_t root = kNoNode;
    /// Replacement texts of the internal general entities declared in the internal subset.
    std::map<std::string, std::string, std::less<>> entities;
    /// Places of chosen attribute names on the elements read at load.
    AttributeIndex attributeIndex;
    /// How many nodes the parser made; later ones are edits.
    std::uint32_t loadedNodes = 0;

    // Handle plumbing (this class is a friend of the handle classes).
    static Node nodeHandle(DocumentImpl *doc, std::uint32_t id) { return Node(doc, id); }
    static Element elementHandle(DocumentImpl *doc, std::uint32_t id) { return Element(doc, id); }
    static Attribute attributeHandle(DocumentImpl *doc, std::uint32_t element, std::uint32_t i) {
        return Attribute(doc, element, i);
    }
    static DocumentImpl *documentOf(const Node &node) { return node.m_doc; }
    static std::uint32_t idOf(const Node &node) { return node.m_id; }

    NodeRec &rec(std::uint32_t id) { return nodes[id]; }
    const NodeRec &rec(std::uint32_t id) const { return nodes[id]; }

    std::uint32_t lastChild(std::uint32_t id) const;
    std::uint32_t nextSibling(std::uint32_t id) const { return rec(id).next; }
    std::uint32_t previousSibling(std::uint32_t id) const;
    /// Links a detached node as the last child of `parent`.
    void appendChild(std::uint32_t parent, std::uint32_t child);
    /// Unlinks a node from its parent; it keeps its subtree.
    void detach(std::uint32_t child);
    /// Marks the node and its ancestors as changed in structure: nodes added or removed below
    /// it, or its start tag re-spelled.
    void markDirty(std::uint32_t id);
    /// Marks the node and its ancestors as changed by a patched value of the node's tag.
    void markTagDirty(std::uint32_t id);
    /// A detached deep copy of a subtree.
    std::uint32_t deepCopy(std::uint32_t id);

    /// The tag that attribute places refer to: the re-spelled tag, or the source tag of an
    /// element whose values were only patched (see effectiveValue).
    std::string_view readingTag(std::uint32_t id) const;
    /// The value as it will be written: a patch's text, or `value` (a view into readingTag).
    std::string_view effectiveValue(std::uint32_t id, std::string_view tag,
                                    std::string_view value) const;
    /// Where in the source an element's start tag begins (not for re-spelled tags).
    std::uint32_t sourceTagBegin(std::uint32_t id) const {
        const NodeRec &r = rec(id);
        return (r.flags & kTagPatched) ? m_patchedTags[r.begin].sourceBegin : r.begin;
    }
    /// The element's whole start tag as it will be written.
    std::string startTag(std::uint32_t id) const;
    /// The element's name as written.
    std::string_view elementName(std::uint32_t id) const;
    /// Replaces the element's start tag with a re-spelled one.
    void setStartTag(std::uint32_t id, std::string tag);
    /// Replaces one attribute value, given by its place in readingTag, with escaped text. Only
    /// the value is stored, not a new tag: a relink sets a value or two on every clip.
    void setValue(std::uint32_t id, std::uint32_t valueBegin, std::uint32_t valueLength,
                  std::string escaped);
    /// The same with a text already stored by storeText.
    void setValue(std::uint32_t id, std::uint32_t valueBegin, std::uint32_t valueLength,
                  std::uint32_t text);
    /// Stores a replacement text and returns its number.
    std::uint32_t storeText(std::string text);
    /// Counts links and unlinks, so that a pass can tell when the tree changed under it.
    std::uint64_t structureEdits() const { return m_structureEdits; }
    /// The slot of `name` in attributeIndex, filled from the loaded tags if the parser did not.
    std::size_t attributeSlot(std::string_view name);

    /// Counts start-tag edits, so that attribute handles know when their place may have moved.
    std::uint64_t tagEdits() const { return m_tagEdits; }

    /// Adds the spans of a node (a whole subtree for an element) as it will be written.
    void collectSpans(std::uint32_t id, SpanList &out) const;
    /// Decodes an attribute value as written: references expanded and white space normalised.
    std::string decodeAttributeValue(std::string_view raw) const;

private:
    void openSpans(std::uint32_t id, SpanList &out) const;
    void addText(std::uint32_t id, SpanList &out) const;
    void closeSpans(std::uint32_t id, SpanList &out) const;

    std::string m_bytes;
    PageBuffer m_pages;
    const char *m_source;
    std::size_t m_size;
    std::deque<std::string> m_side;
    std::vector<std::uint32_t> m_sideOwner; ///< the element each re-spelled tag belongs to

    /// One replaced value of a source start tag, in a list ordered by place.
    struct ValuePatch {
        std::uint32_t valueBegin;  ///< offset of the value in the source tag
        std::uint32_t valueLength; ///< length of the value in the source tag
        std::uint32_t text;        ///< index into m_patchTexts
        std::uint32_t next;        ///< next patch of the same tag, or kNoNode
    };
    struct PatchedTag {
        std::uint32_t sourceBegin;
        std::uint32_t firstPatch;
        std::uint32_t node; ///< kNoNode once the tag is re-spelled
    };
    /// Indices of the patched tags of loaded elements, ordered by place in the source.
    std::vector<std::uint32_t> patchedTagsInSourceOrder() const;
    /// Writes a loaded element whose subtree differs from its source only by patched values.
    void addPatchedRange(std::uint32_t id, const std::vector<std::uint32_t> &order,
                         SpanList &out) const;
    const ValuePatch *patchAt(std::uint32_t id, std::uint32_t valueBegin) const;
    /// Calls `emit` with the pieces that spell the start tag as it will be written.
    template <typename Emit> void forEachTagPiece(std::uint32_t id, Emit &&emit) const;
    std::vector<PatchedTag> m_patchedTags;
    std::vector<ValuePatch> m_patches;
    /// Replacement texts, shared by the patches that set the same prepared value.
    std::deque<std::string> m_patchTexts;
    std::uint64_t m_tagEdits = 0;
    std::uint64_t m_structureEdits = 0;
};

} // namespace tessaly::xml
