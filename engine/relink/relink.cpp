#include "engine/relink/fcpxml_relinker.h"
#include "engine/relink/originals_locator.h"
#include "engine/relink/stem_index.h"
#include "engine/relink/text_key.h"

#include <optional>
#include <unordered_map>

namespace tessaly {

namespace {

/// One place where an asset names its media.
struct MediaSource {
    xml::Attribute src;
    /// The position of its `media-rep` among the asset's `media-rep` children; kOnAsset for
    /// the asset's own `src`.
    std::size_t rep;
};
constexpr std::size_t kOnAsset = std::size_t(-1);

/// The `src` attributes through which an asset names its media: those of its `media-rep`
/// children or, in exports before `media-rep` (FCPXML 1.8 and older), its own. A `media-rep`
/// of the kind `proxy-media` is the editing program's own generated proxy, not the camera
/// proxy the editor cut with: it never makes an asset a proxy, and the copy keeps it as it is.
std::vector<MediaSource> mediaSources(const xml::Element &asset) {
    std::vector<MediaSource> sources;
    const std::vector<xml::Element> reps = asset.elementsForName("media-rep");
    if (reps.empty()) {
        if (xml::Attribute src = asset.attributeForName("src"))
            sources.push_back({src, kOnAsset});
    }
    for (std::size_t i = 0; i < reps.size(); ++i) {
        xml::Attribute read[2];
        reps[i].attributesForNames({"src", "kind"}, read);
        if (read[0] && keyValue(read[1]) != "proxy-media")
            sources.push_back({read[0], i});
    }
    return sources;
}

/// True when an element below `asset` carries an `id` of its own. No export puts one there, but
/// a document that does cannot have that asset relinked: the element would leave with the
/// proxy, or be defined twice, in the proxy's copy, and a reference to it would break.
bool holdsIdentifiedElement(const xml::Element &asset) {
    std::vector<xml::Element> pending{asset};
    while (!pending.empty()) {
        const xml::Element element = pending.back();
        pending.pop_back();
        for (xml::Node node = element.firstChild(); node; node = node.nextSibling()) {
            if (const xml::Element child = node.toElement()) {
                if (child.attributeForName("id"))
                    return true;
                pending.push_back(child);
            }
        }
    }
    return false;
}

/// Gives the copy of a proxy asset its new identity, format and media location. The location
/// is the reference the proxy was matched through: a `media-rep` of the copy or, in older
/// exports, the asset itself; either way its bookmarks go, since they point at the proxy file.
void retarget(xml::Element copy, std::size_t rep, const std::string &newID,
              const std::string *brawFormatID, const std::string &newSrc) {
    xml::Attribute own[5]; // one read of the tag for all five
    copy.attributesForNames({"id", "format", "uid", "src", "sig"}, own);
    const std::string sig = keyValue(own[2]).value_or(newID);
    if (own[0])
        own[0].setStringValue(newID);
    if (own[1] && brawFormatID)
        own[1].setStringValue(*brawFormatID);

    xml::Element holder;
    xml::Attribute media[2];
    if (rep != kOnAsset) {
        holder = copy.elementsForName("media-rep").at(rep);
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

using IDMap = FCPXMLRelinker::IDMap;
using IDSet = FCPXMLRelinker::IDSet;
/// The `format` elements of `resources` by normalised id.
using FormatsByID = std::unordered_map<std::string, xml::Element>;

/// The parts of the document the relink reads and changes.
struct Located {
    xml::Element root;
    xml::Element resources; ///< the root's first `resources`
    std::vector<xml::Element> assets;
    std::vector<xml::Element> formats;
};

/// The document's media references, by kind.
struct References {
    StemIndex brawByStem;
    StemIndex proxiesByStem;
    /// The format the new assets take: that of the first `.braw` asset that names one.
    std::optional<std::string> brawFormatID;
};

/// What the edits start from, once the document is known to be relinkable.
struct Plan {
    IDSet orphanFormats; ///< formats only proxies use: candidates for removal
    UsedIdentifiers used;
};

/// The root, its `resources` and the assets and formats there; throws noRoot or noResources.
Located locate(const xml::Document &doc) {
    const xml::Element root = doc.rootElement();
    if (!root)
        throw RelinkError::noRoot();
    const xml::Element resources = root.firstElementNamed("resources");
    if (!resources)
        throw RelinkError::noResources();
    return {root, resources, resources.elementsForName("asset"),
            resources.elementsForName("format")};
}

/// The formats by id; a later format with the same id wins.
FormatsByID indexFormats(const std::vector<xml::Element> &formats) {
    FormatsByID formatsByID;
    for (const auto &format : formats) {
        if (auto id = keyValue(format.attributeForName("id")))
            formatsByID[textKey(*id)] = format;
    }
    return formatsByID;
}

/// Every local `.braw` and `.mov` reference, in document order. An asset's first such
/// reference decides what it is, and its others do not count: an asset is relinked at most
/// once, whatever else it names. The reference `.braw` asset is the first that names a
/// format: an empty one would give every new asset a format of nothing.
References classifyReferences(const std::vector<xml::Element> &assets) {
    References references;
    for (const auto &asset : assets) {
        xml::Attribute read[2];
        asset.attributesForNames({"id", "format"}, read);
        const auto id = keyValue(read[0]);
        if (!id)
            continue;
        const std::string formatID = keyValue(read[1]).value_or(std::string());
        for (const auto &source : mediaSources(asset)) {
            std::optional<std::string> src = keyValue(source.src);
            if (!src || !FCPXMLRelinker::namesLocalFile(*src))
                continue;
            const std::string path = FCPXMLRelinker::decodeSrc(*src);
            auto [stem, extension] = FCPXMLRelinker::stemAndExtension(path);
            StemIndex *index = extension == "braw"  ? &references.brawByStem
                               : extension == "mov" ? &references.proxiesByStem
                                                    : nullptr;
            if (!index)
                continue;
            if (index == &references.proxiesByStem && holdsIdentifiedElement(asset))
                break;
            if (index == &references.brawByStem && !references.brawFormatID && !formatID.empty())
                references.brawFormatID = formatID;
            index->add(std::move(stem), path, extension,
                       AssetInfo{*id, formatID, std::move(*src), asset, source.rep});
            break;
        }
    }
    return references;
}

/// Throws noBrawFound or noMovFound when there is nothing to relink from or to.
void checkPreconditions(const References &references) {
    if (references.brawByStem.empty())
        throw RelinkError::noBrawFound();
    if (references.proxiesByStem.empty())
        throw RelinkError::noMovFound();
}

/// Notes the reference format in `result` and finds the orphan candidates and the ids in use.
/// Without a reference format there is nothing to move the proxies' formats to: every format
/// stays as it is.
Plan prepare(const xml::Element &root, const References &references, const FormatsByID &formatsByID,
             RelinkResult &result) {
    Plan plan;
    if (const auto &brawFormatID = references.brawFormatID) {
        result.brawFormatID = *brawFormatID;
        if (auto it = formatsByID.find(textKey(*brawFormatID)); it != formatsByID.end())
            result.brawFormat = FCPXMLRelinker::dictFrom(it->second);
        // A proxy without a format leaves no orphan: that would name a format of no id.
        references.proxiesByStem.forEachAsset([&](const AssetInfo &proxy) {
            if (!proxy.formatID.empty())
                plan.orphanFormats.insert(textKey(proxy.formatID));
        });
        references.brawByStem.forEachAsset(
            [&](const AssetInfo &braw) { plan.orphanFormats.erase(textKey(braw.formatID)); });
    }

    // Intended: every id of the document is in use, not only those of assets and formats.
    // Effects, compound clips and every other kind of resource share one numbering with them;
    // a new asset given an effect's id would leave two elements of one id, and Final Cut Pro
    // refuses to import such a document. Do not narrow this to assets and formats.
    std::string scratch;
    root.forEachAttributeNamed("id", [&](xml::Element, xml::Attribute id) {
        if (const auto key = attributeKey(id, scratch))
            plan.used.insert(*key);
    });
    return plan;
}

/// Appends to `resources` a `.braw` twin of every proxy: stem by stem, and within a stem every
/// asset that names the file, each with an identifier and a record of its own. Returns the
/// map from each proxy's id to its twin's.
IDMap createReplacements(xml::Element resources, References &references, UsedIdentifiers &used,
                         OriginalsLocator *originals, RelinkResult &result) {
    const std::optional<std::string> &brawFormatID = references.brawFormatID;
    IDMap oldToNewID;
    // One record per proxy, known in advance: a million of them grown by doubling would hold
    // half as many again, and both arrays at once while the last doubling copies.
    const std::size_t proxies = result.changes.size() + references.proxiesByStem.assetCount();
    result.changes.reserve(proxies);
    oldToNewID.reserve(proxies);
    references.proxiesByStem.forEachGroupedAsset([&](const std::string &stem, AssetInfo &proxy) {
        std::string oldPath = FCPXMLRelinker::decodeSrc(proxy.src);
        OriginalMatch original;
        if (originals)
            original = originals->locate(proxy.src);
        const bool elsewhere = !original.src.empty();
        std::string newPath =
            elsewhere ? std::move(original.path) : FCPXMLRelinker::brawPath(oldPath);

        const std::string newID = FCPXMLRelinker::nextID(used);
        xml::Element copy = proxy.element.copy();
        retarget(copy, proxy.rep, newID, brawFormatID ? &*brawFormatID : nullptr,
                 elsewhere ? original.src : FCPXMLRelinker::brawSrc(proxy.src));
        resources.addChild(copy);

        oldToNewID[textKey(proxy.id)] = newID;
        RelinkChange &change = result.changes.emplace_back(stem, std::move(oldPath),
                                                           std::move(newPath), proxy.id, newID);
        change.original = original.place;
        change.brawFound = original.place != OriginalPlace::missing &&
                           original.place != OriginalPlace::ambiguous;
        change.candidates = std::move(original.candidates);
        // The records now carry the path: a document of long paths need not hold it twice.
        std::string().swap(proxy.src);
    });
    return oldToNewID;
}

/// Removes the proxy assets that nothing names any more; an asset entered under two stems is
/// removed once.
void removeProxies(const StemIndex &proxiesByStem, const IDSet &stillNamed) {
    proxiesByStem.forEachAsset([&](const AssetInfo &proxy) {
        if (stillNamed.count(textKey(proxy.id)))
            return;
        if (xml::Element parent = proxy.element.parent())
            parent.removeChild(proxy.element);
    });
}

/// The orphan candidates that something in the document still names: a sequence or a clip of
/// another asset keeps its format, and so does the root. A `ref` may name any element, a format
/// too, and then names it still. `named` lists where the timeline pass left an orphan named;
/// of those, only the elements still in the document count.
IDSet stillNamedOrphans(const xml::Element &root,
                        const std::vector<FCPXMLRelinker::OrphanNaming> &named) {
    IDSet stillNamed;
    for (const FCPXMLRelinker::OrphanNaming &naming : named) {
        if (stillNamed.count(*naming.format))
            continue;
        xml::Element above = naming.element;
        while (above && above != root)
            above = above.parent();
        if (above)
            stillNamed.insert(*naming.format);
    }
    return stillNamed;
}

/// Removes the orphan formats, in document order, and lists their ids in `result`.
void removeOrphanFormats(const Located &located, const FormatsByID &formatsByID,
                         const IDSet &orphanFormats,
                         const std::vector<FCPXMLRelinker::OrphanNaming> &orphansNamed,
                         RelinkResult &result) {
    // Intended: a candidate orphan stays while anything still names it. Removed, it would leave
    // a reference to nothing, and Final Cut Pro refuses to import a document whose references
    // name no element; a format kept unused costs nothing.
    const IDSet stillNamed = stillNamedOrphans(located.root, orphansNamed);
    for (const auto &format : located.formats) {
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
}

} // namespace

RelinkResult FCPXMLRelinker::relink(xml::Document &doc, OriginalsLocator *originals) {
    // Every check that can refuse the document comes before the first change to it.
    const Located located = locate(doc);
    const FormatsByID formatsByID = indexFormats(located.formats);
    References references = classifyReferences(located.assets);
    checkPreconditions(references);

    RelinkResult result;
    Plan plan = prepare(located.root, references, formatsByID, result);
    const IDMap oldToNewID =
        createReplacements(located.resources, references, plan.used, originals, result);
    // Intended: besides the timeline, this rewrites the `media` elements inside `resources`
    // (compound and multicam clips), whose clips name proxies and formats as the project's do.
    // Left alone they would name the assets removed below, and Final Cut Pro refuses to import
    // a document whose references name no element.
    // A proxy that the root or another resource still names stays beside its twin, as a format
    // still named stays: removed, it would leave that reference naming nothing.
    std::vector<OrphanNaming> orphansNamed;
    const IDSet stillNamed = updateTimeline(located.root, oldToNewID, plan.orphanFormats,
                                            result.brawFormatID, &orphansNamed);
    removeProxies(references.proxiesByStem, stillNamed);
    removeOrphanFormats(located, formatsByID, plan.orphanFormats, orphansNamed, result);
    return result;
}

} // namespace tessaly
