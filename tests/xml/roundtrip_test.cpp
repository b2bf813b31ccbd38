#include "engine/xml/document.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <unistd.h>

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

TEST(Save, OverTheLoadedFileItself) {
    fs::path dir = fs::temp_directory_path() / ("tessaly-xml-save-" + std::to_string(getpid()));
    fs::create_directories(dir);
    fs::path file = dir / "Day1.fcpxml";
    const std::string source = "<?xml version=\"1.0\"?>\n<fcpxml>\n  <asset src='a.mov'/>\n"
                               "  <!-- a comment long enough to span the edit -->\n</fcpxml>\n";
    std::ofstream(file, std::ios::binary) << source;
    {
        Document doc = Document::load(file);
        doc.save(file);
        EXPECT_EQ(readFile(file), source);
        doc.rootElement().firstElementNamed("asset").attributeForName("src").setStringValue(
            "a.braw");
        doc.save(file);
    }
    std::string expected = source;
    expected.replace(expected.find("a.mov"), 5, "a.braw");
    EXPECT_EQ(readFile(file), expected);
    Document again = Document::load(file);
    EXPECT_EQ(again.rootElement().firstElementNamed("asset").attributeValue("src"), "a.braw");
    fs::remove_all(dir);
}

TEST(Save, CreatesAMissingFileAndReplacesAnExistingOne) {
    fs::path dir = fs::temp_directory_path() / ("tessaly-xml-create-" + std::to_string(getpid()));
    fs::create_directories(dir);
    fs::path file = dir / "out.fcpxml";
    Document doc = Document::parse("<a/>\n");
    doc.save(file);
    EXPECT_EQ(readFile(file), "<a/>\n");
    std::ofstream(file, std::ios::binary) << std::string(10000, 'z');
    doc.save(file);
    EXPECT_EQ(readFile(file), "<a/>\n");
    fs::remove_all(dir);
}
