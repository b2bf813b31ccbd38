#include "engine/xml/document.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

namespace fs = std::filesystem;
using tessaly::xml::Document;

namespace {

std::string readFile(const fs::path &path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

std::vector<fs::path> corpusDocuments() {
    std::vector<fs::path> out;
    fs::path root = fs::path(TESSALY_SHARED_DIR) / "corpus" / "fcpxml";
    if (!fs::exists(root))
        return out;
    for (const auto &entry : fs::recursive_directory_iterator(root))
        if (entry.is_regular_file() && entry.path().extension() == ".fcpxml")
            out.push_back(entry.path());
    std::sort(out.begin(), out.end());
    return out;
}

} // namespace

TEST(RoundTrip, EveryCorpusDocumentComesBackByteForByte) {
    auto documents = corpusDocuments();
    if (documents.empty())
        GTEST_SKIP() << "no FCPXML corpus under " << TESSALY_SHARED_DIR;
    std::size_t bundles = 0;
    for (const fs::path &path : documents) {
        SCOPED_TRACE(path.string());
        if (path.parent_path().extension() == ".fcpxmld")
            ++bundles;
        Document doc = Document::load(path);
        EXPECT_EQ(doc.xmlData(), readFile(path));
        ASSERT_TRUE(doc.rootElement());
        EXPECT_EQ(doc.rootElement().name(), "fcpxml");
    }
    EXPECT_GT(bundles, 0u);
}

TEST(RoundTrip, KeepsEverySpellingOfTheSource) {
    const std::string source =
        "\xEF\xBB\xBF<?xml version='1.0' encoding=\"utf-8\" standalone='no'?>\r\n"
        "<!DOCTYPE fcpxml [\r\n  <!ENTITY who \"proxy &amp; raw\">\r\n"
        "  <!ATTLIST fcpxml version CDATA #IMPLIED>\r\n]>\r\n"
        "<!-- head -->\r\n<?app data?>\r\n"
        "<fcpxml  version = '1.10'\tx=\"&who;&#x41;&#66;\" >\r\n"
        "  <a/><b /><c></c><![CDATA[<raw>]]>text &lt; &who; ]] > \r\n"
        "</fcpxml >\r\n<!-- tail -->\r\n";
    Document doc = Document::parse(source);
    EXPECT_EQ(doc.xmlData(), source);
}
