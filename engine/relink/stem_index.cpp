#include "engine/relink/stem_index.h"

#include "engine/relink/fcpxml_relinker.h"
#include "engine/relink/text_key.h"

namespace tessaly {

void StemIndex::add(std::string stem, std::string_view path, std::string_view extension,
                    AssetInfo info) {
    const auto [it, added] = m_byKey.emplace(textKey(stem), m_groups.size());
    const auto entry = std::uint32_t(m_assets.size());
    if (added) {
        m_assets.push_back({std::move(info)});
        m_groups.push_back({std::move(stem), entry, entry});
        return;
    }
    // A repeated stem is rare: the first reference's path is decoded again rather than kept
    // for every stem.
    Group &group = m_groups[it->second];
    if (textKey(FCPXMLRelinker::decodeSrc(m_assets[group.first].info.src)) != textKey(path))
        throw RelinkError::duplicateStem(std::move(stem), std::string(extension));
    // Assets arrive in document order, so an asset met again is the group's last one.
    if (m_assets[group.last].info.element != info.element) {
        m_assets.push_back({std::move(info)});
        m_assets[group.last].next = entry;
        group.last = entry;
    }
}

} // namespace tessaly
