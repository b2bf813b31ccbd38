#pragma once

#include "engine/xml/document.h"
#include "engine/xml/node_store.h"
#include "engine/xml/page_buffer.h"

#include <cstdint>
#include <deque>
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
class SpanList {
public:
    void add(const char *data, std::size_t size);
    void add(std::string_view text) { add(text.data(), text.size()); }
    /// The last `count` bytes added so far (fewer when less was added).
    std::string tail(std::size_t count) const;
    /// Keeps `text` alive with the list and adds it.
    void addOwned(std::string text);
    const std::vector<Span> &spans() const { return m_spans; }
    std::size_t totalSize() const { return m_total; }

private:
    std::vector<Span> m_spans;
    std::deque<std::string> m_owned;
    std::size_t m_total = 0;
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
    /// Marks the node and all its ancestors as no longer equal to their source.
    void markDirty(std::uint32_t id);
    /// A detached deep copy of a subtree.
    std::uint32_t deepCopy(std::uint32_t id);

    /// The element's start tag as it will be written.
    std::string_view startTag(std::uint32_t id) const;
    /// The element's name as written.
    std::string_view elementName(std::uint32_t id) const;
    /// Replaces the element's start tag with a re-spelled one.
    void setStartTag(std::uint32_t id, std::string tag);

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
};

} // namespace tessaly::xml
