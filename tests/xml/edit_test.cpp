#include "engine/xml/document.h"
#include "support/case_names.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <stdexcept>

using tessaly::xml::Attribute;
using tessaly::xml::Document;
using tessaly::xml::Element;
using tessaly::xml::Node;
using tessaly::xml::NodeKind;

namespace {

const char *const kResources = "<?xml version=\"1.0\"?>\n"
                               "<fcpxml version=\"1.10\">\n"
                               "  <resources>\n"
                               "    <asset id=\"r1\" src='file:///a.mov' name = \"A\" />\n"
                               "    <asset id=\"r2\" src=\"file:///b.mov\"><media-rep/></asset>\n"
                               "    <!-- keep -->\n"
                               "    <format id=\"r3\"/>\n"
                               "  </resources>\n"
                               "</fcpxml>\n";

Element resources(const Document &doc) {
    return doc.rootElement().firstElementNamed("resources");
}

struct SetValueCase {
    const char *name;
    const char *attribute;
    const char *value;
    const char *spelled;
    friend void PrintTo(const SetValueCase &c, std::ostream *out) { *out << c.name; }
};

const SetValueCase kSetValueCases[] = {
    {"Plain", "src", "file:///a.braw", "file:///a.braw"},
    {"Shorter", "id", "r9", "r9"},
    {"MarkupEscaped", "src", "a&b<c>d", "a&amp;b&lt;c&gt;d"},
    {"ApostropheInSingleQuotes", "src", "it's \"x\"", "it&apos;s \"x\""},
    {"QuoteInDoubleQuotes", "name", "it's \"x\"", "it's &quot;x&quot;"},
    {"WhiteSpaceAsReferences", "name", "tab\tlf\ncr\r", "tab&#9;lf&#10;cr&#13;"},
    {"Empty", "name", "", ""},
    {"NonAscii", "name", "caf\xC3\xA9", "caf\xC3\xA9"},
};

class SetStringValue : public testing::TestWithParam<SetValueCase> {};

} // namespace

// Only the value changes, in its own quotes: every other byte of the document, the
// attributes' order and their spacing stay as they were.
TEST_P(SetStringValue, RewritesOnlyTheValueInItsOwnQuotes) {
    const SetValueCase &c = GetParam();
    const std::string source = kResources;
    Document doc = Document::parse(source);
    Element asset = resources(doc).firstElementNamed("asset");
    Attribute attribute = asset.attributeForName(c.attribute);
    ASSERT_TRUE(attribute);
    const std::string before(attribute.rawValue());
    attribute.setStringValue(c.value);
    EXPECT_EQ(attribute.rawValue(), c.spelled);
    EXPECT_EQ(attribute.stringValue(), c.value);
    std::vector<std::string> names;
    for (const Attribute &each : asset.attributes())
        names.emplace_back(each.name());
    EXPECT_EQ(names, (std::vector<std::string>{"id", "src", "name"}));
    std::string expected = source;
    expected.replace(source.find(before, source.find("<asset")), before.size(), c.spelled);
    EXPECT_EQ(doc.xmlData(), expected);
}

INSTANTIATE_TEST_SUITE_P(EachQuoteAndEscape, SetStringValue, testing::ValuesIn(kSetValueCases),
                         tessaly::testing::CaseName());

TEST(Edit, SetValueRefusesCharactersXmlCannotCarry) {
    Document doc = Document::parse(kResources);
    Attribute id = resources(doc).firstElementNamed("asset").attributeForName("id");
    EXPECT_THROW(id.setStringValue(std::string("a\0b", 3)), std::invalid_argument);
    EXPECT_THROW(id.setStringValue("\x01"), std::invalid_argument);
    EXPECT_THROW(id.setStringValue("\xC3"), std::invalid_argument);
    EXPECT_EQ(doc.xmlData(), kResources);
}

TEST(Edit, RemoveByIndexAfterEarlierRemovalsRemovesExactlyThatChild) {
    Document doc = Document::parse(kResources);
    Element res = resources(doc);
    ASSERT_EQ(res.childCount(), 9u); // text, asset, text, asset, text, comment, text, format, text
    Node format = res.children()[7];
    res.removeChildAtIndex(1); // first asset
    EXPECT_EQ(format.index(), 6u);
    res.removeChildAtIndex(format.index());
    EXPECT_FALSE(format.parent());
    EXPECT_EQ(doc.xmlData(), "<?xml version=\"1.0\"?>\n"
                             "<fcpxml version=\"1.10\">\n"
                             "  <resources>\n"
                             "    \n"
                             "    <asset id=\"r2\" src=\"file:///b.mov\"><media-rep/></asset>\n"
                             "    <!-- keep -->\n"
                             "    \n"
                             "  </resources>\n"
                             "</fcpxml>\n");
    EXPECT_THROW(res.removeChildAtIndex(7), std::out_of_range);
}

TEST(Edit, AddChildAppendsAfterTheLastChildNode) {
    Document doc = Document::parse(kResources);
    Element res = resources(doc);
    Element copy = res.firstElementNamed("format").copy();
    copy.attributeForName("id").setStringValue("r4");
    res.addChild(copy);
    EXPECT_EQ(copy.parent(), res);
    EXPECT_EQ(copy.index(), 9u);
    EXPECT_EQ(res.lastChild(), copy);
    EXPECT_NE(doc.xmlData().find("<format id=\"r3\"/>\n  <format id=\"r4\"/></resources>"),
              std::string::npos);
}

TEST(Edit, CopyCarriesEditsAndStaysApartFromItsSource) {
    Document doc = Document::parse(kResources);
    Element res = resources(doc);
    Element original = res.firstElementNamed("asset");
    Element copy = original.copy();
    EXPECT_FALSE(copy.parent());
    copy.attributeForName("src").setStringValue("file:///a.braw");
    res.addChild(copy);
    EXPECT_EQ(original.xmlString(), "<asset id=\"r1\" src='file:///a.mov' name = \"A\" />");
    EXPECT_EQ(copy.xmlString(), "<asset id=\"r1\" src='file:///a.braw' name = \"A\" />");

    Element edited = res.elementsForName("asset")[1];
    edited.attributeForName("id").setStringValue("r7");
    edited.removeChildAtIndex(0);
    Element editedCopy = edited.copy();
    EXPECT_EQ(editedCopy.xmlString(), "<asset id=\"r7\" src=\"file:///b.mov\"></asset>");
    editedCopy.attributeForName("id").setStringValue("r8");
    EXPECT_EQ(edited.xmlString(), "<asset id=\"r7\" src=\"file:///b.mov\"></asset>");
}

TEST(Edit, MovingAnAttachedNodeDetachesItFirst) {
    Document doc = Document::parse("<a><b/><c/></a>");
    Element root = doc.rootElement();
    Element b = root.firstElementNamed("b");
    Element c = root.firstElementNamed("c");
    c.addChild(b);
    EXPECT_EQ(doc.xmlData(), "<a><c><b/></c></a>");
    EXPECT_THROW(b.addChild(root), std::invalid_argument);
}

TEST(Edit, NavigationFollowsDocumentOrder) {
    Document doc = Document::parse(kResources);
    Element res = resources(doc);
    EXPECT_EQ(res.parent(), doc.rootElement());
    EXPECT_FALSE(doc.rootElement().parent());
    Node first = res.firstChild();
    EXPECT_EQ(first.kind(), NodeKind::Text);
    EXPECT_FALSE(first.previousSibling());
    EXPECT_EQ(first.nextSibling().toElement().name(), "asset");
    EXPECT_EQ(res.lastChild().previousSibling().toElement().name(), "format");
    EXPECT_FALSE(res.lastChild().nextSibling());
    EXPECT_EQ(res.children()[5].kind(), NodeKind::Comment);
    EXPECT_FALSE(first.toElement());
    std::vector<Node> top = doc.children();
    ASSERT_EQ(top.size(), 4u); // declaration, newline, root, newline
    EXPECT_EQ(top[0].kind(), NodeKind::Prolog);
    EXPECT_EQ(top[2], doc.rootElement());
}

TEST(Edit, JoinedTextNeverSpellsCDataEnd) {
    // Removing what separates two runs of text joins them; "]]>" must not appear in text.
    for (const char *source : {"<a>]]<!---->></a>", "<a>]<b/>]>x</a>", "<a>]<b/>]<c/>>x</a>"}) {
        SCOPED_TRACE(source);
        Document doc = Document::parse(source);
        Element root = doc.rootElement();
        std::vector<Node> separators;
        for (Node child : root.children())
            if (child.kind() != NodeKind::Text)
                separators.push_back(child);
        for (Node separator : separators)
            root.removeChild(separator);
        std::string out = doc.xmlData();
        EXPECT_EQ(out, std::string(source).find("x") == std::string::npos ? "<a>]]&gt;</a>"
                                                                          : "<a>]]&gt;x</a>");
        EXPECT_NO_THROW(Document::parse(out));
    }
}

TEST(Edit, MovedFromDocumentReadsEmptyAndRefusesToSave) {
    Document doc = Document::parse("<a x='1'/>");
    Document kept = std::move(doc);
    EXPECT_FALSE(doc.rootElement());
    EXPECT_TRUE(doc.children().empty());
    EXPECT_EQ(doc.xmlData(), "");
    tessaly::testing::TempDir dir;
    const auto file = dir / "kept.fcpxml";
    tessaly::testing::writeFile(file, "<b/>");
    EXPECT_THROW(doc.save(file), std::logic_error);
    EXPECT_EQ(tessaly::testing::readFile(file), "<b/>");
    EXPECT_EQ(kept.xmlData(), "<a x='1'/>");
}
