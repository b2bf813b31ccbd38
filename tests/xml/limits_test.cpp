// Hostile documents: expansion and nesting are bounded, deep structures cost no recursion, and
// nothing outside the document is ever read.
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

/// `count` references to one entity of 100,000 characters.
std::string bigEntityUsed(int count) {
    std::string document = "<!DOCTYPE a [<!ENTITY big \"" + std::string(100000, 'x') + "\">]><a>";
    for (int i = 0; i < count; ++i)
        document += "&big;";
    return document + "</a>";
}

/// Entities each referring to the next, `length` deep.
std::string entityChain(int length) {
    std::string dtd = "<!DOCTYPE a [";
    for (int i = 0; i < length; ++i)
        dtd += "<!ENTITY e" + std::to_string(i) + " '&e" + std::to_string(i + 1) + ";'>";
    return dtd + "<!ENTITY e" + std::to_string(length) + " 'end'>]><a>&e0;</a>";
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

std::string manyAttributes(const std::string &last) {
    std::string tag = "<a";
    for (int i = 0; i < 5000; ++i)
        tag += " n" + std::to_string(i) + "='1'";
    return tag + last + "/>";
}

} // namespace

TEST(Limits, ExpansionAndNestingAreBoundedAndNeedNoRecursion) {
    const std::string limit = "entity expansion exceeds the limit";
    const struct {
        const char *name;
        std::string document;
        std::string reason;
    } cases[] = {
        {"BillionLaughsInText", billionLaughs("<lolz>&lol9;</lolz>"), limit},
        {"BillionLaughsInValue", billionLaughs("<lolz a='&lol9;'/>"), limit},
        {"BillionLaughsUnused", billionLaughs("<lolz/>"), "accepted"},
        {"LargeEntityUsedOften", bigEntityUsed(30), "accepted"},
        {"LargeEntityUsedTooOften", bigEntityUsed(100030), limit},
        {"EntityChain", entityChain(40), "accepted"},
        {"EntityChainTooDeep", entityChain(1000), "entity references nested too deeply"},
        {"DeepContentModel",
         "<!DOCTYPE a [<!ELEMENT a " + std::string(200000, '(') + "b" + std::string(200000, ')') +
             ">]><a/>",
         "accepted"},
        {"DeepEntityText", "<!DOCTYPE r [<!ENTITY e '" + nested(200000) + "'>]><r>&e;</r>",
         "accepted"},
        {"ManyAttributes", manyAttributes(""), "accepted"},
        {"DuplicateAmongManyAttributes", manyAttributes(" n4321='2'"), "duplicate attribute"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(reasonOf(c.document), c.reason);
    }
}

TEST(Limits, ExternalResourcesAreNeverRead) {
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

TEST(Limits, MillionLevelsLoadSerialiseWalkCopyEditAndDestroy) {
    constexpr std::size_t kDepth = 1000000;
    const std::string source = nested(kDepth);
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
    EXPECT_EQ(doc.xmlData().size(), source.size() - 1);
}
