#include "engine/relink/element_walk.h"
#include "engine/relink/fcpxml_relinker.h"
#include "engine/relink/text_key.h"

namespace tessaly {

void FCPXMLRelinker::updateTimeline(xml::Element root, const IDMap &oldToNewID,
                                    const IDSet &orphanFormats, const std::string &brawFormatID) {
    for (xml::Node node = root.firstChild(); node; node = node.nextSibling()) {
        const xml::Element element = node.toElement();
        if (!element)
            continue;
        if (element.name() != "resources") {
            updateElement(element, oldToNewID, orphanFormats, brawFormatID);
            continue;
        }
        // Compound and multicam clips live in `media` resources and reference assets and
        // formats like timeline clips do.
        for (xml::Node child = element.firstChild(); child; child = child.nextSibling()) {
            const xml::Element media = child.toElement();
            if (media && media.name() == "media")
                updateElement(media, oldToNewID, orphanFormats, brawFormatID);
        }
    }
}

void FCPXMLRelinker::updateElement(xml::Element element, const IDMap &oldToNewID,
                                   const IDSet &orphanFormats, const std::string &brawFormatID) {
    if (oldToNewID.empty() && orphanFormats.empty())
        return;
    forEachElement(element, [&](xml::Element current) {
        xml::Attribute found[2];
        current.attributesForNames({"ref", "format"}, found);
        if (xml::Attribute &ref = found[0]) {
            if (auto it = oldToNewID.find(textKey(ref.stringValue())); it != oldToNewID.end())
                ref.setStringValue(it->second);
        }
        if (xml::Attribute &format = found[1]) {
            const std::string value = format.stringValue();
            if (!value.empty() && orphanFormats.count(textKey(value)))
                format.setStringValue(brawFormatID);
        }
    });
}

} // namespace tessaly
