#pragma once

#include "engine/xml/document.h"

#include <cstddef>
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
    struct Group {
        std::string stem; ///< as first written in the document
        std::vector<AssetInfo> assets;
    };

    /// Enters a reference; throws duplicateStem when the stem already names another file.
    void add(std::string stem, std::string_view path, std::string_view extension, AssetInfo info);
    /// True when no reference was entered.
    bool empty() const { return m_groups.empty(); }
    /// The groups in the order of their stems' first appearance.
    std::vector<Group> &groups() { return m_groups; }

    /// Calls `visit` with every asset entry, group by group.
    template <typename Visit> void forEachAsset(Visit &&visit) const {
        for (const auto &group : m_groups)
            for (const auto &asset : group.assets)
                visit(asset);
    }

private:
    std::unordered_map<std::string, std::size_t> m_byKey;
    std::vector<Group> m_groups;
};

} // namespace tessaly
