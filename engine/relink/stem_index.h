#pragma once

#include "engine/xml/document.h"

#include <cstddef>
#include <cstdint>
#include <deque>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

// What one relink keeps about the assets it matched, while it runs. Internal to the relink: it
// holds live elements of the document, so it never leaves the engine.

namespace tessaly {

/// One matched asset, as the engine keeps it during a single run.
struct AssetInfo {
    std::string id;
    std::string formatID; ///< the asset's `format`, empty when absent
    std::string src;      ///< the matching `media-rep`'s `src`, exactly as written
    xml::Element element; ///< the live `asset` element of the document
    /// Which of the asset's `media-rep` children holds `src` (by position among them), or
    /// size_t(-1) when the asset's own `src` does.
    std::size_t rep = 0;
};

/// The media references of one kind (`mov` or `braw`), grouped by stem in the order of each
/// stem's first appearance. All references of one stem name one file; the assets that do are
/// kept in document order, each once.
class StemIndex {
public:
    /// Enters a reference; throws duplicateStem when the stem already names another file.
    void add(std::string stem, std::string_view path, std::string_view extension, AssetInfo info);
    /// True when no reference was entered.
    bool empty() const { return m_groups.empty(); }
    /// How many asset entries there are, over all stems.
    std::size_t assetCount() const { return m_assets.size(); }

    /// Calls `visit(stem, asset)` with every asset entry, group by group: the stems in the
    /// order of their first appearance, each with its assets in document order.
    template <typename Visit> void forEachGroupedAsset(Visit &&visit) {
        for (const Group &group : m_groups)
            for (std::uint32_t at = group.first; at != kNone; at = m_assets[at].next)
                visit(group.stem, m_assets[at].info);
    }
    /// Calls `visit` with every asset entry, in the same order.
    template <typename Visit> void forEachAsset(Visit &&visit) const {
        for (const Group &group : m_groups)
            for (std::uint32_t at = group.first; at != kNone; at = m_assets[at].next)
                visit(m_assets[at].info);
    }

private:
    static constexpr std::uint32_t kNone = ~std::uint32_t(0);
    /// A stem's assets are a chain through the entries rather than a list of their own: almost
    /// every stem has one asset, and a million lists of one cost more than their entries.
    struct Group {
        std::string stem; ///< as first written in the document
        std::uint32_t first;
        std::uint32_t last;
    };
    struct Entry {
        AssetInfo info;
        std::uint32_t next = kNone; ///< the stem's next asset
    };

    std::unordered_map<std::string, std::size_t> m_byKey;
    std::vector<Group> m_groups;
    std::deque<Entry> m_assets; ///< in the order entered; grows without moving
};

} // namespace tessaly
