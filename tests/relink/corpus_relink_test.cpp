// Every public export, given one .braw asset, relinks into a document whose references all
// resolve and whose identifiers are unique, unless the export itself was already broken.
#include "support/element_walk.h"
#include "engine/relink/fcpxml_relinker.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <iostream>
#include <map>
#include <set>

using namespace tessaly;
namespace fs = std::filesystem;

namespace {

struct Integrity {
    std::set<std::string> dangling;   ///< ref or format values naming no id
    std::set<std::string> duplicates; ///< ids given to more than one element
};

Integrity integrityOf(const xml::Document &doc) {
    std::map<std::string, int> ids;
    std::set<std::string> references;
    tessaly::testing::forEachElement(doc.rootElement(), [&](xml::Element element) {
        if (auto id = element.attributeValue("id"))
            ++ids[*id];
        for (const char *name : {"ref", "format"}) {
            if (auto value = element.attributeValue(name); value && !value->empty())
                references.insert(*value);
        }
    });
    Integrity integrity;
    for (const auto &reference : references) {
        if (!ids.count(reference))
            integrity.dangling.insert(reference);
    }
    for (const auto &[id, count] : ids) {
        if (count > 1)
            integrity.duplicates.insert(id);
    }
    return integrity;
}

std::vector<fs::path> corpusDocuments() {
    std::vector<fs::path> documents;
    for (const auto &entry :
         fs::recursive_directory_iterator(fs::path(TESSALY_SHARED_DIR) / "corpus" / "fcpxml")) {
        if (entry.is_regular_file() && entry.path().extension() == ".fcpxml")
            documents.push_back(entry.path());
    }
    std::sort(documents.begin(), documents.end());
    return documents;
}

bool isSubset(const std::set<std::string> &part, const std::set<std::string> &whole) {
    return std::includes(whole.begin(), whole.end(), part.begin(), part.end());
}

} // namespace

TEST(CorpusRelink, RelinkedExportsKeepEveryReferenceResolvable) {
    const auto documents = corpusDocuments();
    ASSERT_GT(documents.size(), 100u);
    int relinkedCount = 0;
    for (const auto &path : documents) {
        std::string text = tessaly::testing::readFile(path);
        const auto at = text.find("</resources>");
        if (at == std::string::npos)
            continue;
        text.insert(at, "<format id=\"braw-format\" name=\"FFVideoFormatRateUndefined\"/>"
                        "<asset id=\"braw-asset\" format=\"braw-format\"><media-rep "
                        "src=\"file:///Volumes/Camera/ZZ_REFERENCE.braw\"/></asset>");
        auto doc = xml::Document::parse(text, path);
        const Integrity before = integrityOf(doc);
        try {
            FCPXMLRelinker::relink(doc);
        } catch (const RelinkError &error) {
            // Exports without proxies, or with one proxy name in two folders, are refused whole.
            EXPECT_TRUE(error.errorCase() == RelinkError::Case::noMovFound ||
                        error.errorCase() == RelinkError::Case::duplicateStem)
                << path;
            continue;
        }
        ++relinkedCount;
        const Integrity after = integrityOf(doc);
        EXPECT_TRUE(isSubset(after.dangling, before.dangling)) << path.filename();
        EXPECT_TRUE(isSubset(after.duplicates, before.duplicates)) << path.filename();
        // The relinked document reads back as well-formed XML.
        EXPECT_NO_THROW(xml::Document::parse(doc.xmlData(), path)) << path.filename();
        // No asset of an older export keeps its own proxy location.
        for (const auto &asset :
             doc.rootElement().firstElementNamed("resources").elementsForName("asset")) {
            if (auto src = asset.attributeValue("src");
                src && asset.elementsForName("media-rep").empty()) {
                EXPECT_NE(FCPXMLRelinker::stemAndExtension(*src).extension, "mov")
                    << path.filename() << ": " << *src;
            }
        }
    }
    // Older exports (media on the asset) and one file in several assets are relinked too.
    EXPECT_GE(relinkedCount, 46);
    std::cout << "relinked " << relinkedCount << " of " << documents.size() << " exports\n";
}
