// Every public export, given one .braw asset, relinks into a document whose references all
// resolve and whose identifiers are unique, unless the export itself was already broken.
#include "engine/relink/fcpxml_relinker.h"
#include "support/element_walk.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <set>

using namespace tessaly;
namespace fs = std::filesystem;

namespace {

/// What is broken in a document: "duplicate X" for an id given to more than one element,
/// "dangling X" for a ref or format naming no id.
std::set<std::string> faultsOf(const xml::Document &doc) {
    std::set<std::string> ids, faults;
    tessaly::testing::forEachElement(doc.rootElement(), [&](xml::Element element) {
        if (auto id = element.attributeValue("id"); id && !ids.insert(*id).second)
            faults.insert("duplicate " + *id);
    });
    tessaly::testing::forEachElement(doc.rootElement(), [&](xml::Element element) {
        for (const char *name : {"ref", "format"}) {
            const auto value = element.attributeValue(name);
            if (value && !value->empty() && !ids.count(*value))
                faults.insert("dangling " + *value);
        }
    });
    return faults;
}

/// The `ref` and `format` of every element that names a format, outside the assets, in
/// document order: the project's sequences, compound clips, clips.
std::vector<std::pair<std::string, std::string>> namedFormats(const xml::Document &doc) {
    std::vector<std::pair<std::string, std::string>> named;
    tessaly::testing::forEachElement(doc.rootElement(), [&](xml::Element element) {
        const auto format = element.attributeValue("format");
        if (!format || element.name() == "asset")
            return;
        for (xml::Element up = element.parent(); up; up = up.parent())
            if (up.name() == "asset")
                return;
        named.emplace_back(element.attributeValue("ref").value_or(""), *format);
    });
    return named;
}

} // namespace

TEST(CorpusRelink, RelinkedExportsKeepEveryReferenceResolvable) {
    int relinked = 0;
    for (const auto &entry :
         fs::recursive_directory_iterator(fs::path(TESSALY_SHARED_DIR) / "corpus" / "fcpxml")) {
        if (entry.path().extension() != ".fcpxml")
            continue;
        std::string text = tessaly::testing::readFile(entry.path());
        const auto at = text.find("</resources>");
        if (at == std::string::npos)
            continue;
        text.insert(at, "<format id=\"braw-format\" name=\"FFVideoFormatRateUndefined\"/>"
                        "<asset id=\"braw-asset\" format=\"braw-format\"><media-rep "
                        "src=\"file:///Volumes/Camera/ZZ_REFERENCE.braw\"/></asset>");
        auto doc = xml::Document::parse(text, entry.path());
        const std::set<std::string> before = faultsOf(doc);
        const auto formatsBefore = namedFormats(doc);
        RelinkResult result;
        try {
            result = FCPXMLRelinker::relink(doc);
        } catch (const RelinkError &) {
            continue; // no proxies, or one proxy name in two folders: refused whole
        }
        ++relinked;
        EXPECT_TRUE(std::ranges::includes(before, faultsOf(doc))) << entry.path();
        // Only a clip of a relinked proxy takes the .braw format: the project's sequence and
        // every other element keep theirs.
        std::set<std::string> relinkedIDs;
        for (const RelinkChange &change : result.changes)
            relinkedIDs.insert(change.oldAssetID);
        const auto formatsAfter = namedFormats(doc);
        ASSERT_EQ(formatsAfter.size(), formatsBefore.size()) << entry.path();
        for (std::size_t i = 0; i < formatsBefore.size(); ++i) {
            if (!relinkedIDs.count(formatsBefore[i].first)) {
                EXPECT_EQ(formatsAfter[i].second, formatsBefore[i].second) << entry.path();
            }
        }
        // The relinked document reads back as well-formed XML.
        EXPECT_NO_THROW(xml::Document::parse(doc.xmlData())) << entry.path();
    }
    // Older exports (media on the asset) and one file in several assets are relinked too.
    EXPECT_GE(relinked, 46);
}
