#include "engine/xml/document.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <csignal>
#include <spawn.h>
#include <sys/wait.h>
#include <thread>

namespace fs = std::filesystem;
using tessaly::testing::readFile;
using tessaly::testing::TempDir;
using tessaly::testing::writeFile;
using tessaly::xml::Document;
using tessaly::xml::DocumentError;

TEST(RoundTrip, EveryCorpusDocumentComesBackByteForByte) {
    const fs::path root = fs::path(TESSALY_SHARED_DIR) / "corpus" / "fcpxml";
    if (!fs::exists(root))
        GTEST_SKIP() << "no FCPXML corpus under " << TESSALY_SHARED_DIR;
    std::size_t bundles = 0;
    for (const auto &entry : fs::recursive_directory_iterator(root)) {
        const fs::path &path = entry.path();
        if (!entry.is_regular_file() || path.extension() != ".fcpxml")
            continue;
        SCOPED_TRACE(path.string());
        bundles += path.parent_path().extension() == ".fcpxmld";
        Document doc = Document::load(path);
        EXPECT_EQ(doc.xmlData(), readFile(path));
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

// The source stays in memory, so saving over the loaded file (which truncates it first) and
// over a longer file both leave exactly the document.
TEST(Save, OverTheLoadedFileAndOverALongerOne) {
    TempDir dir;
    const fs::path file = dir / "Day1.fcpxml";
    const std::string source = "<?xml version=\"1.0\"?>\n<fcpxml>\n  <asset src='a.mov'/>\n"
                               "  <!-- a comment long enough to span the edit -->\n</fcpxml>\n";
    writeFile(file, source);
    Document doc = Document::load(file);
    doc.save(file);
    EXPECT_EQ(readFile(file), source);
    doc.rootElement().firstElementNamed("asset").attributeForName("src").setStringValue("a.braw");
    doc.save(file);
    std::string expected = source;
    expected.replace(expected.find("a.mov"), 5, "a.braw");
    EXPECT_EQ(readFile(file), expected);

    writeFile(file, std::string(10000, 'z'));
    doc.save(file);
    EXPECT_EQ(readFile(file), expected);
}

// A file may hold more than its size said when the read began: it grew meanwhile, or it is a
// kernel file that gives no size at all. The read goes on to the end through ever bigger
// buffers. A child's environment seen through /proc is such a file with a known content: the
// one variable it was given, then the NUL that ends it, where the parse must fail.
TEST(Load, ReadsPastTheSizeTheFileHadWhenOpened) {
    std::string document = "<a>" + std::string(50000, 'x') + "</a>";
    char *argv[] = {const_cast<char *>("sleep"), const_cast<char *>("60"), nullptr};
    char *environment[] = {document.data(), nullptr};
    pid_t child = 0;
    ASSERT_EQ(posix_spawn(&child, "/bin/sleep", nullptr, nullptr, argv, environment), 0);
    const fs::path file = "/proc/" + std::to_string(child) + "/environ";
    // The spawn returns once the exec has begun, a moment before the environment is in place.
    while (readFile(file).empty())
        std::this_thread::yield();
    EXPECT_EQ(fs::file_size(file), 0u);
    try {
        Document::load(file);
        ADD_FAILURE() << "loaded a document with a NUL";
    } catch (const DocumentError &error) {
        EXPECT_EQ(error.reason(), "text after the root element");
        EXPECT_EQ(error.offset(), document.size());
    }
    kill(child, SIGKILL);
    waitpid(child, nullptr, 0);
}
