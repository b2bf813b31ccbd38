#include "engine/relink/fcpxml_relinker.h"
#include "engine/relink/text_key.h"

#include <unordered_map>

namespace tessaly {

namespace {

/// Media references of one kind, keyed by normalised stem, kept in document order.
class StemIndex {
public:
    bool contains(const std::string &key) const { return m_byKey.count(key) != 0; }
    void add(std::string key, std::string stem, AssetInfo info) {
        m_byKey.emplace(std::move(key), m_entries.size());
        m_entries.push_back({std::move(stem), std::move(info)});
    }
    bool empty() const { return m_entries.empty(); }

    struct Entry {
        std::string stem; ///< as written in the document
        AssetInfo asset;
    };
    const std::vector<Entry> &entries() const { return m_entries; }

private:
    std::unordered_map<std::string, std::size_t> m_byKey;
    std::vector<Entry> m_entries;
};

StemIndex::Entry const *firstEntry(const StemIndex &index) {
    return index.empty() ? nullptr : &index.entries().front();
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
        if (auto id = format.attributeValue("id"))
            formatsByID[textKey(*id)] = format;
    }

    // Classify the media references, in document order.
    StemIndex brawByStem;
    StemIndex proxiesByStem;
    for (const auto &asset : assets) {
        const auto id = asset.attributeValue("id");
        if (!id)
            continue;
        const std::string formatID = asset.attributeValue("format").value_or(std::string());
        for (const auto &rep : asset.elementsForName("media-rep")) {
            auto src = rep.attributeValue("src");
            if (!src)
                continue;
            auto [stem, extension] = stemAndExtension(decodeSrc(*src));
            StemIndex *index = extension == "braw"  ? &brawByStem
                               : extension == "mov" ? &proxiesByStem
                                                    : nullptr;
            if (!index)
                continue;
            std::string key = textKey(stem);
            if (index->contains(key))
                throw RelinkError::duplicateStem(stem, extension);
            index->add(std::move(key), std::move(stem), AssetInfo{*id, formatID, *src, asset});
        }
    }

    // Preconditions.
    const StemIndex::Entry *reference = firstEntry(brawByStem);
    if (!reference)
        throw RelinkError::noBrawFound();
    if (proxiesByStem.empty())
        throw RelinkError::noMovFound();

    // Prepare.
    const std::string &brawFormatID = reference->asset.formatID;
    RelinkResult result;
    if (auto it = formatsByID.find(textKey(brawFormatID)); it != formatsByID.end())
        result.brawFormat = dictFrom(it->second);

    IDSet orphanFormats;
    for (const auto &entry : proxiesByStem.entries())
        orphanFormats.insert(textKey(entry.asset.formatID));
    for (const auto &entry : brawByStem.entries())
        orphanFormats.erase(textKey(entry.asset.formatID));

    // Every id of the document is in use, not just those of assets and formats: resources
    // of all kinds (effects, compound clips) share one numbering.
    UsedIdentifiers used;
    std::string scratch;
    root.forEachAttributeNamed(
        "id", [&](xml::Element, xml::Attribute id) { used.insert(attributeKey(id, scratch)); });

    // Create the replacements.
    IDMap oldToNewID;
    for (const auto &[stem, proxy] : proxiesByStem.entries()) {
        std::string oldPath = decodeSrc(proxy.src);
        std::string newPath = brawPath(oldPath);
        const std::string newSrc = encodeSrc(newPath);
        const std::string newID = nextID(used);

        xml::Element copy = proxy.element.copy();
        xml::Attribute asset[3]; // one read of the tag for all three
        copy.attributesForNames({"id", "format", "uid"}, asset);
        const std::string sig = asset[2] ? asset[2].stringValue() : newID;
        if (asset[0])
            asset[0].setStringValue(newID);
        if (asset[1])
            asset[1].setStringValue(brawFormatID);
        if (xml::Element rep = copy.firstElementNamed("media-rep")) {
            xml::Attribute media[2];
            rep.attributesForNames({"src", "sig"}, media);
            if (media[0])
                media[0].setStringValue(newSrc);
            if (media[1])
                media[1].setStringValue(sig);
            for (const auto &bookmark : rep.elementsForName("bookmark"))
                rep.removeChild(bookmark);
        }
        resources.addChild(copy);

        oldToNewID[textKey(proxy.id)] = newID;
        result.changes.emplace_back(stem, std::move(oldPath), std::move(newPath), proxy.id, newID);
    }

    updateTimeline(root, oldToNewID, orphanFormats, brawFormatID);

    // Remove the proxies; an asset entered under two stems is removed once.
    for (const auto &entry : proxiesByStem.entries()) {
        if (xml::Element parent = entry.asset.element.parent())
            parent.removeChild(entry.asset.element);
    }

    // A candidate orphan stays while anything still names it. The timeline pass moved every
    // reference it covers to the .braw format, so only what it skips can still name one: the
    // root's own attributes and the root's `resources` (the new assets among them).
    IDSet stillNamed;
    auto noteFormat = [&](xml::Attribute format) {
        const std::string_view key = attributeKey(format, scratch);
        if (!key.empty() && orphanFormats.count(std::string(key)))
            stillNamed.emplace(key);
    };
    if (xml::Attribute format = root.attributeForName("format"))
        noteFormat(format);
    for (xml::Node node = root.firstChild(); node; node = node.nextSibling()) {
        if (const xml::Element section = node.toElement(); section && section.name() == "resources")
            section.forEachAttributeNamed(
                "format", [&](xml::Element, xml::Attribute format) { noteFormat(format); });
    }

    for (const auto &format : formats) {
        const auto id = format.attributeValue("id");
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
