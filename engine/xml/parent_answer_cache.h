#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>

namespace tessaly::xml {

/// Spreads node ids and handles over a ParentAnswerCache's slots.
struct NodeRefHash {
    /// A node id is its own hash.
    std::size_t operator()(std::uint32_t id) const { return id; }
    /// A handle (Node, Element) hashes by its hash().
    template <typename Handle> std::size_t operator()(const Handle &handle) const {
        return handle.hash();
    }
};

/// Answers a yes-or-no question about nodes whose answer, below the levels that decide it, is
/// their parent's: "is this node below that one?", "is this element in the timeline?". Nodes
/// are asked about in document order, in long runs under few parents (a clip's filters, then
/// the next clip), and climbing to a deciding level from each would cost more than the rest of
/// a pass; so the answers for the last parents climbed through are kept.
///
/// `NodeRef` is a node id or an Element handle, compared with ==; `none` is the parent of a node
/// without one, whose answer is no. Kept answers hold while the tree's links do: call forget()
/// after nodes were added or removed.
template <typename NodeRef, typename Hash = NodeRefHash> class ParentAnswerCache {
public:
    /// An empty cache; `none` is what a parentOf gives for a node without a parent.
    explicit ParentAnswerCache(NodeRef none) : m_none(none) { forget(); }

    /// The answer for `node`, climbing through `parentOf(node)` and its ancestors until a
    /// parent with a kept answer, a node without a parent, or `decide(child, parent)` giving
    /// an answer (std::nullopt to climb on); the parents climbed through keep the answer.
    template <typename ParentOf, typename Decide>
    bool answer(const NodeRef &node, ParentOf &&parentOf, Decide &&decide) {
        bool result = false;
        NodeRef child = node;
        for (;;) {
            const NodeRef parent = parentOf(child);
            if (parent == m_none)
                break;
            if (const Known &known = m_known[slotOf(parent)]; known.parent == parent) {
                result = known.answer;
                break;
            }
            if (const std::optional<bool> decided = decide(child, parent)) {
                result = *decided;
                break;
            }
            child = parent;
        }
        // `child` is the highest node climbed to: it and the parents below it keep the answer.
        if (!(child == node)) {
            for (NodeRef parent = parentOf(node);; parent = parentOf(parent)) {
                m_known[slotOf(parent)] = Known{parent, result};
                if (parent == child)
                    break;
            }
        }
        return result;
    }

    /// Drops every kept answer.
    void forget() { m_known.fill(Known{m_none, false}); }

private:
    struct Known {
        NodeRef parent;
        bool answer;
    };
    std::size_t slotOf(const NodeRef &parent) const { return Hash{}(parent) % m_known.size(); }

    NodeRef m_none;
    std::array<Known, 64> m_known;
};

} // namespace tessaly::xml
