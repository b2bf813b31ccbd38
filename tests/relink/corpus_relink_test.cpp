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
        try {
            FCPXMLRelinker::relink(doc);
        } catch (const RelinkError &) {
            continue; // no proxies, or one proxy name in two folders: refused whole
        }
        ++relinked;
        EXPECT_TRUE(std::ranges::includes(before, faultsOf(doc))) << entry.path();
        // The relinked document reads back as well-formed XML.
        EXPECT_NO_THROW(xml::Document::parse(doc.xmlData())) << entry.path();
    }
    // Older exports (media on the asset) and one file in several assets are relinked too.
    EXPECT_GE(relinked, 46);
}
