#include "engine/relink/fcpxml_relinker.h"
#include "engine/relink/text_key.h"

#include <optional>
#include <unordered_map>

namespace tessaly {

namespace {

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
    void add(std::string stem, std::string_view path, std::string_view extension, AssetInfo info) {
        const auto [it, added] = m_byKey.emplace(textKey(stem), m_groups.size());
        if (added) {
            m_groups.push_back({std::move(stem), {std::move(info)}});
            return;
        }
        // A repeated stem is rare: the first reference's path is decoded again rather than
        // kept for every stem.
        Group &group = m_groups[it->second];
        if (textKey(FCPXMLRelinker::decodeSrc(group.assets.front().src)) != textKey(path))
            throw RelinkError::duplicateStem(std::move(stem), std::string(extension));
        // Assets arrive in document order, so an asset met again is the group's last one.
        if (group.assets.back().element != info.element)
            group.assets.push_back(std::move(info));
    }
    bool empty() const { return m_groups.empty(); }
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

/// The `src` attributes through which an asset names its media: those of its `media-rep`
/// children or, in exports before `media-rep` (FCPXML 1.8 and older), its own.
std::vector<xml::Attribute> mediaSources(const xml::Element &asset) {
    std::vector<xml::Attribute> sources;
    const std::vector<xml::Element> reps = asset.elementsForName("media-rep");
    if (reps.empty()) {
        if (xml::Attribute src = asset.attributeForName("src"))
            sources.push_back(src);
    }
    for (const auto &rep : reps) {
        if (xml::Attribute src = rep.attributeForName("src"))
            sources.push_back(src);
    }
    return sources;
}

/// Gives the copy of a proxy asset its new identity, format and media location. The location
/// is in the copy's first `media-rep` or, in older exports, on the asset itself; either way
/// the proxy's bookmarks go, since they point at the proxy file.
void retarget(xml::Element copy, const std::string &newID, const std::string *brawFormatID,
              const std::string &newSrc) {
    xml::Attribute own[5]; // one read of the tag for all five
    copy.attributesForNames({"id", "format", "uid", "src", "sig"}, own);
    const std::string sig = keyValue(own[2]).value_or(newID);
    if (own[0])
        own[0].setStringValue(newID);
    if (own[1] && brawFormatID)
        own[1].setStringValue(*brawFormatID);

    xml::Element holder = copy.firstElementNamed("media-rep");
    xml::Attribute media[2];
    if (holder) {
        holder.attributesForNames({"src", "sig"}, media);
    } else {
        holder = copy;
        media[0] = own[3];
        media[1] = own[4];
    }
    if (media[0])
        media[0].setStringValue(newSrc);
    if (media[1])
        media[1].setStringValue(sig);
    for (const auto &bookmark : holder.elementsForName("bookmark"))
        holder.removeChild(bookmark);
}

} // namespace

RelinkResult FCPXMLRelinker::relink(xml::Document &doc) {
    // Locate.
    const xml::Element root = doc.rootElement();
    if (!root)
        throw RelinkError::noRoot();
    xml::Element resources = root.firstElementNamed("resources");
    if (!resources)
        throw RelinkError::noResources();
    const std::vector<xml::Element> assets = resources.elementsForName("asset");
    const std::vector<xml::Element> formats = resources.elementsForName("format");

    // Index the formats; a later format with the same id wins.
    std::unordered_map<std::string, xml::Element> formatsByID;
    for (const auto &format : formats) {
        if (auto id = keyValue(format.attributeForName("id")))
            formatsByID[textKey(*id)] = format;
    }

    // Classify the media references, in document order. The reference .braw asset is the
    // first that names a format: an empty one would give every new asset a format of nothing.
    StemIndex brawByStem;
    StemIndex proxiesByStem;
    std::optional<std::string> brawFormatID;
    for (const auto &asset : assets) {
        xml::Attribute read[2];
        asset.attributesForNames({"id", "format"}, read);
        const auto id = keyValue(read[0]);
        if (!id)
            continue;
        const std::string formatID = keyValue(read[1]).value_or(std::string());
        for (const auto &source : mediaSources(asset)) {
            std::optional<std::string> src = keyValue(source);
            if (!src || !namesLocalFile(*src))
                continue;
            const std::string path = decodeSrc(*src);
            auto [stem, extension] = stemAndExtension(path);
            StemIndex *index = extension == "braw"  ? &brawByStem
                               : extension == "mov" ? &proxiesByStem
                                                    : nullptr;
            if (!index)
                continue;
            if (index == &brawByStem && !brawFormatID && !formatID.empty())
                brawFormatID = formatID;
            index->add(std::move(stem), path, extension,
                       AssetInfo{*id, formatID, std::move(*src), asset});
        }
    }

    // Preconditions.
    if (brawByStem.empty())
        throw RelinkError::noBrawFound();
    if (proxiesByStem.empty())
        throw RelinkError::noMovFound();

    // Prepare. Without a reference format there is nothing to move the proxies' formats to:
    // every format stays as it is.
    RelinkResult result;
    IDSet orphanFormats;
    if (brawFormatID) {
        result.brawFormatID = *brawFormatID;
        if (auto it = formatsByID.find(textKey(*brawFormatID)); it != formatsByID.end())
            result.brawFormat = dictFrom(it->second);
        // A proxy without a format leaves no orphan: that would name a format of no id.
        proxiesByStem.forEachAsset([&](const AssetInfo &proxy) {
            if (!proxy.formatID.empty())
                orphanFormats.insert(textKey(proxy.formatID));
        });
        brawByStem.forEachAsset(
            [&](const AssetInfo &braw) { orphanFormats.erase(textKey(braw.formatID)); });
    }

    // Every id of the document is in use, not just those of assets and formats: resources
    // of all kinds (effects, compound clips) share one numbering.
    UsedIdentifiers used;
    std::string scratch;
    root.forEachAttributeNamed("id", [&](xml::Element, xml::Attribute id) {
        if (const auto key = attributeKey(id, scratch))
            used.insert(*key);
    });

    // Create the replacements: stem by stem, and within a stem every asset that names the
    // file, each with an identifier and a record of its own.
    IDMap oldToNewID;
    for (auto &group : proxiesByStem.groups()) {
        for (AssetInfo &proxy : group.assets) {
            const std::string newID = nextID(used);
            xml::Element copy = proxy.element.copy();
            retarget(copy, newID, brawFormatID ? &*brawFormatID : nullptr, brawSrc(proxy.src));
            resources.addChild(copy);

            oldToNewID[textKey(proxy.id)] = newID;
            std::string oldPath = decodeSrc(proxy.src);
            std::string newPath = brawPath(oldPath);
            result.changes.emplace_back(group.stem, std::move(oldPath), std::move(newPath),
                                        proxy.id, newID);
            // The records now carry the path: a document of long paths need not hold it twice.
            std::string().swap(proxy.src);
        }
    }

    updateTimeline(root, oldToNewID, orphanFormats, result.brawFormatID);

    // Remove the proxies; an asset entered under two stems is removed once.
    proxiesByStem.forEachAsset([](const AssetInfo &proxy) {
        if (xml::Element parent = proxy.element.parent())
            parent.removeChild(proxy.element);
    });

    // A candidate orphan stays while anything still names it. The timeline pass moved every
    // reference it covers to the .braw format, so only what it skips can still name one: the
    // root's own attributes and the root's `resources` (the new assets among them).
    IDSet stillNamed;
    auto noteFormat = [&](xml::Attribute format) {
        const auto key = attributeKey(format, scratch);
        if (key && !key->empty() && orphanFormats.count(std::string(*key)))
            stillNamed.emplace(*key);
    };
    if (xml::Attribute format = root.attributeForName("format"))
        noteFormat(format);
    for (xml::Node node = root.firstChild(); node; node = node.nextSibling()) {
        if (const xml::Element section = node.toElement(); section && section.name() == "resources")
            section.forEachAttributeNamed(
                "format", [&](xml::Element, xml::Attribute format) { noteFormat(format); });
    }

    for (const auto &format : formats) {
        const auto id = keyValue(format.attributeForName("id"));
        if (!id)
            continue;
        const std::string key = textKey(*id);
        if (!orphanFormats.count(key) || stillNamed.count(key))
            continue;
        auto it = formatsByID.find(key);
        if (it == formatsByID.end() || it->second != format)
            continue;
        if (xml::Element parent = format.parent()) {
            parent.removeChild(format);
            result.orphanFormatsRemoved.push_back(*id);
        }
    }
    return result;
}

} // namespace tessaly
