#include "engine/relink/stem_index.h"

#include "engine/relink/fcpxml_relinker.h"
#include "engine/relink/text_key.h"

namespace tessaly {

void StemIndex::add(std::string stem, std::string_view path, std::string_view extension,
                    AssetInfo info) {
    const auto [it, added] = m_byKey.emplace(textKey(stem), m_groups.size());
    if (added) {
        m_groups.push_back({std::move(stem), {std::move(info)}});
        return;
    }
    // A repeated stem is rare: the first reference's path is decoded again rather than kept
    // for every stem.
    Group &group = m_groups[it->second];
    if (textKey(FCPXMLRelinker::decodeSrc(group.assets.front().src)) != textKey(path))
        throw RelinkError::duplicateStem(std::move(stem), std::string(extension));
    // Assets arrive in document order, so an asset met again is the group's last one.
    if (group.assets.back().element != info.element)
        group.assets.push_back(std::move(info));
}

} // namespace tessaly
