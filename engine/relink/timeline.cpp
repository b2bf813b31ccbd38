#include "engine/relink/fcpxml_relinker.h"
#include "engine/relink/flat_text_map.h"
#include "engine/relink/text_key.h"
#include "engine/xml/parent_answer_cache.h"

#include <optional>

namespace tessaly {

namespace {

/// What the timeline pass rewrites: every element below the root except the root's `resources`
/// elements with their content; but the `media` children of those `resources` (compound and
/// multicam clips) with their content are rewritten too, since they reference assets and
/// formats like timeline clips do. That is intended: left alone, they would name the proxies
/// the relink removes, and Final Cut Pro refuses to import a document whose references name
/// no element.
class TimelineScope {
public:
    explicit TimelineScope(xml::Element root) : m_root(root) {}

    bool contains(xml::Element element) {
        // The first two levels decide by name; below them an element is in scope exactly when
        // its parent is.
        return m_parents.answer(
            element, [](const xml::Element &child) { return child.parent(); },
            [this](const xml::Element &child, const xml::Element &parent) -> std::optional<bool> {
                if (parent == m_root)
                    return child.name() != "resources";
                if (parent.parent() == m_root && parent.name() == "resources")
                    return child.name() == "media";
                return std::nullopt;
            });
    }

private:
    xml::Element m_root;
    xml::ParentAnswerCache<xml::Element> m_parents{xml::Element()};
};

} // namespace

FCPXMLRelinker::IDSet FCPXMLRelinker::updateTimeline(xml::Element root, const IDMap &oldToNewID,
                                                     const IDSet &orphanFormats,
                                                     const std::string &brawFormatID,
                                                     std::vector<OrphanNaming> *orphansNamed) {
    IDSet stillNamed;
    if (!root || (oldToNewID.empty() && orphanFormats.empty()))
        return stillNamed;
    // One pass over the places of `ref` and `format` noted at load, rather than a walk over
    // every node: a long timeline holds a hundred thousand clips and many more nodes besides.
    FlatTextMap<xml::PreparedValue> newRefs(oldToNewID.size());
    for (const auto &[oldID, newID] : oldToNewID)
        newRefs.insert(oldID, xml::PreparedValue(root, newID));
    FlatTextMap<const std::string *> orphans(orphanFormats.size());
    for (const auto &format : orphanFormats)
        orphans.insert(format, &format);
    const xml::PreparedValue brawFormat(root, brawFormatID);
    TimelineScope scope(root);
    // A format follows only a reference that was moved: the element that named a proxy now
    // names its twin, whose media has the .braw format. Everything else keeps its format,
    // the project's sequence above all: an editor who relinks media expects the project's
    // frame size and rate to stay, and a clip of an asset that was not relinked still shows
    // that asset's media. The pass visits an element's `ref` before its `format`.
    xml::Element moved;
    std::string scratch;
    root.forEachAttributeNamed(
        {"ref", "format"}, [&](xml::Element element, xml::Attribute attribute, std::size_t which) {
            const auto key = attributeKey(attribute, scratch);
            if (!key)
                return;
            const std::string *const *orphan = key->empty() ? nullptr : orphans.find(*key);
            const xml::PreparedValue *value = nullptr;
            if (which == 0)
                value = newRefs.find(*key);
            else if (element == moved && orphan)
                value = &brawFormat;
            if (value && scope.contains(element)) {
                attribute.setValue(*value);
                if (which == 0)
                    moved = element;
                return;
            }
            if (value && which == 0)
                stillNamed.emplace(*key);
            if (orphan && orphansNamed)
                orphansNamed->push_back({element, *orphan});
        });
    return stillNamed;
}

} // namespace tessaly
