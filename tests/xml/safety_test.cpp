#include "engine/xml/document.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

using tessaly::testing::TempDir;
using tessaly::testing::writeFile;
using tessaly::xml::Document;
using tessaly::xml::DocumentError;
using tessaly::xml::Element;

namespace {

std::string reasonOf(const std::string &document) {
    try {
        Document::parse(document);
    } catch (const DocumentError &error) {
        return error.reason();
    }
    return "accepted";
}

std::string billionLaughs(const std::string &use) {
    std::string dtd = "<!DOCTYPE lolz [\n<!ENTITY lol \"lol\">\n";
    for (int i = 1; i <= 9; ++i) {
        std::string previous = i == 1 ? "lol" : "lol" + std::to_string(i - 1);
        dtd += "<!ENTITY lol" + std::to_string(i) + " \"";
        for (int j = 0; j < 10; ++j)
            dtd += "&" + previous + ";";
        dtd += "\">\n";
    }
    return dtd + "]>\n" + use;
}

std::string nested(std::size_t depth) {
    std::string document;
    document.reserve(depth * 7 + 16);
    for (std::size_t i = 0; i < depth; ++i)
        document += "<a>";
    document += "x";
    for (std::size_t i = 0; i < depth; ++i)
        document += "</a>";
    return document;
}

} // namespace

TEST(EntityExpansion, BillionLaughsFailsFast) {
    EXPECT_EQ(reasonOf(billionLaughs("<lolz>&lol9;</lolz>")), "entity expansion exceeds the limit");
    EXPECT_EQ(reasonOf(billionLaughs("<lolz a='&lol9;'/>")), "entity expansion exceeds the limit");
    // Declared but never used: nothing is expanded, the document is fine.
    EXPECT_EQ(reasonOf(billionLaughs("<lolz/>")), "accepted");
}

TEST(EntityExpansion, ManyReferencesToOneLargeEntityAreBounded) {
    std::string document = "<!DOCTYPE a [<!ENTITY big \"" + std::string(100000, 'x') + "\">]><a>";
    for (int i = 0; i < 30; ++i)
        document += "&big;";
    EXPECT_EQ(reasonOf(document + "</a>"), "accepted");
    for (int i = 0; i < 100000; ++i)
        document += "&big;";
    EXPECT_EQ(reasonOf(document + "</a>"), "entity expansion exceeds the limit");
}

TEST(EntityExpansion, NestingDepthIsBounded) {
    auto chain = [](int length) {
        std::string dtd = "<!DOCTYPE a [";
        for (int i = 0; i < length; ++i)
            dtd += "<!ENTITY e" + std::to_string(i) + " '&e" + std::to_string(i + 1) + ";'>";
        dtd += "<!ENTITY e" + std::to_string(length) + " 'end'>]><a>&e0;</a>";
        return dtd;
    };
    EXPECT_EQ(reasonOf(chain(40)), "accepted");
    EXPECT_EQ(reasonOf(chain(1000)), "entity references nested too deeply");
}

TEST(ExternalResources, AreNeverRead) {
    TempDir dir;
    // Were either file read, its content would make the document fail to load.
    writeFile(dir / "ext.dtd", "<!ENTITY broken");
    writeFile(dir / "secret.txt", "<<< not xml");
    const std::string source = "<!DOCTYPE a SYSTEM \"ext.dtd\" [\n"
                               "  <!ENTITY secret SYSTEM \"secret.txt\">\n"
                               "  <!ENTITY remote SYSTEM \"http://example.invalid/x\">\n"
                               "  <!ENTITY % dtd SYSTEM \"ext.dtd\">\n"
                               "  %dtd;\n"
                               "]>\n<a>&secret;&remote;&fromExternalDtd;</a>\n";
    writeFile(dir / "doc.xml", source);
    Document doc = Document::load(dir / "doc.xml");
    EXPECT_EQ(doc.xmlData(), source);
    EXPECT_EQ(doc.rootElement().childCount(), 1u);
}

TEST(DeepNesting, MillionLevelsLoadSerialiseWalkCopyAndDestroy) {
    constexpr std::size_t kDepth = 1000000;
    const std::string source = nested(kDepth);
    {
        Document doc = Document::parse(source);
        EXPECT_EQ(doc.xmlData(), source);
        std::size_t depth = 0;
        Element deepest;
        for (Element e = doc.rootElement(); e; e = e.firstChild().toElement()) {
            ++depth;
            deepest = e;
        }
        EXPECT_EQ(depth, kDepth);
        EXPECT_EQ(deepest.firstChild().xmlString(), "x");
        std::size_t up = 0;
        for (Element e = deepest; e; e = e.parent())
            ++up;
        EXPECT_EQ(up, kDepth);

        Element copy = doc.rootElement().copy();
        deepest.attributes(); // a read on the deepest element
        deepest.removeChildAtIndex(0);
        EXPECT_EQ(copy.xmlString(), source);
        std::string edited = doc.xmlData();
        EXPECT_EQ(edited.size(), source.size() - 1);
    } // the document is destroyed here
}

TEST(DeepNesting, ContentModelsAndEntityTextNestDeeplyWithoutRecursion) {
    std::string model = std::string(200000, '(') + "b" + std::string(200000, ')');
    EXPECT_EQ(reasonOf("<!DOCTYPE a [<!ELEMENT a " + model + ">]><a/>"), "accepted");
    std::string inner = nested(200000);
    EXPECT_EQ(reasonOf("<!DOCTYPE r [<!ENTITY e '" + inner + "'>]><r>&e;</r>"), "accepted");
}

TEST(Attributes, ManyAttributesStillCatchADuplicate) {
    std::string tag = "<a";
    for (int i = 0; i < 5000; ++i)
        tag += " n" + std::to_string(i) + "='1'";
    EXPECT_EQ(reasonOf(tag + "/>"), "accepted");
    EXPECT_EQ(reasonOf(tag + " n4321='2'/>"), "duplicate attribute");
}
