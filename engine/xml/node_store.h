#pragma once

#include "engine/xml/document.h"
#include "engine/xml/page_buffer.h"

#include <cstdint>
#include <vector>

namespace tessaly::xml {

inline constexpr std::uint32_t kNoNode = 0xFFFFFFFFu;
/// Every node id is below this.
inline constexpr std::uint32_t kLargestId = 0x7FFFFFFFu;

/// Node flags; engine/xml/README.md explains how they work together.
enum : std::uint8_t {
    kChanged = 1,           ///< the subtree no longer equals its source span
    kTagRespelled = 2,      ///< an element's start tag is spelled by a re-spelled tag
    kEmptyForm = 4,         ///< the element is written `<a/>`: it has no end tag
    kSynthEnd = 8,          ///< the element gained children after `<a/>`: its end tag is generated
    kTagPatched = 16,       ///< some attribute values of the source start tag are replaced
    kStructureChanged = 32, ///< at or below the node, nodes were added or removed or a start
                            ///< tag re-spelled: more changed than patched values
    kGapBefore = 64,        ///< white space between tags before the node is kept as source only
    kGapAtEnd = 128,        ///< the same before the element's end tag
};

/// One node. Siblings are doubly linked with the previous-link of the first child pointing at
/// the last child, so appending and removing are constant time without a last-child field.
struct NodeRec {
    std::uint32_t parent;
    std::uint32_t next;
    std::uint32_t prev;
    std::uint32_t firstChild;
    /// One word for three meanings, chosen by the form of an element's start tag: read it
    /// through the accessor of the form, change the form through becomePatched/becomeRespelled.
    std::uint32_t where;
    std::uint32_t tagLen; ///< elements: length of the start tag
    std::uint32_t end;    ///< source offset just past the node (an element: its end tag)
    NodeKind kind;
    std::uint8_t flags;
    std::uint16_t names; ///< elements: one bit per attribute name (see start_tag::nameBit)

    /// The source offset of the node's first byte: for every node but an element whose start
    /// tag is patched or re-spelled.
    std::uint32_t sourceBegin() const { return where; }
    /// The element's entry among the patched tags, which keeps its source offset (kTagPatched).
    std::uint32_t patchedTag() const { return where; }
    /// The element's entry among the re-spelled tags (kTagRespelled).
    std::uint32_t respelledTag() const { return where; }
    /// Moves a source tag to the patched form, its offset now kept by patched-tag entry `index`.
    void becomePatched(std::uint32_t index) {
        where = index;
        flags |= kTagPatched;
    }
    /// Moves a tag of any form to the re-spelled form, spelled by re-spelled-tag entry `index`.
    void becomeRespelled(std::uint32_t index) {
        where = index;
        flags = std::uint8_t((flags & ~kTagPatched) | kTagRespelled);
    }
};
static_assert(sizeof(NodeRec) == 32);

/// All nodes of a document, in fixed blocks so that growing never moves a node.
class NodeStore {
public:
    static constexpr unsigned kShift = 16;
    static constexpr std::uint32_t kBlock = 1u << kShift;

    /// `huge` asks for huge pages (for big documents).
    explicit NodeStore(bool huge = false) : m_huge(huge) {}

    NodeRec &operator[](std::uint32_t id) { return m_blocks[id >> kShift][id & (kBlock - 1)]; }
    const NodeRec &operator[](std::uint32_t id) const {
        return m_blocks[id >> kShift][id & (kBlock - 1)];
    }

    /// Adds a node spanning [begin, end) of the source and returns its id.
    std::uint32_t add(NodeKind kind, std::uint32_t begin, std::uint32_t end) {
        if ((m_size & (kBlock - 1)) == 0)
            grow();
        std::uint32_t id = m_size++;
        (*this)[id] = NodeRec{kNoNode, kNoNode, kNoNode, kNoNode, begin, 0, end, kind, 0, 0};
        return id;
    }
    std::uint32_t size() const { return m_size; }

private:
    void grow();
    bool m_huge;
    std::uint32_t m_size = 0;
    std::vector<NodeRec *> m_blocks;
    std::vector<PageBuffer> m_buffers;
};

} // namespace tessaly::xml
