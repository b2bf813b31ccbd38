#include "engine/xml/document.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <stdexcept>

using tessaly::xml::Attribute;
using tessaly::xml::Document;
using tessaly::xml::Element;
using tessaly::xml::Node;
using tessaly::xml::NodeKind;

namespace {

// The part of `after` that differs from `before`, with the common head and tail cut off.
struct Difference {
    std::size_t offset;
    std::string removed;
    std::string added;
};

Difference difference(const std::string &before, const std::string &after) {
    std::size_t head = 0;
    while (head < before.size() && head < after.size() && before[head] == after[head])
        ++head;
    std::size_t tail = 0;
    while (tail < before.size() - head && tail < after.size() - head &&
           before[before.size() - 1 - tail] == after[after.size() - 1 - tail])
        ++tail;
    return {head, before.substr(head, before.size() - head - tail),
            after.substr(head, after.size() - head - tail)};
}

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

} // namespace

struct SetValueCase {
    const char *attribute;
    const char *value;
    const char *spelled;
};

class SetStringValue : public testing::TestWithParam<SetValueCase> {};

TEST_P(SetStringValue, RewritesOnlyTheValueInItsOwnQuotes) {
    const SetValueCase &c = GetParam();
    std::string source = kResources;
    Document doc = Document::parse(source);
    Element asset = resources(doc).firstElementNamed("asset");
    Attribute attribute = asset.attributeForName(c.attribute);
    ASSERT_TRUE(attribute);
    std::string before(attribute.rawValue());
    attribute.setStringValue(c.value);
    EXPECT_EQ(attribute.rawValue(), c.spelled);
    EXPECT_EQ(attribute.stringValue(), c.value);

    Difference d = difference(source, doc.xmlData());
    std::size_t valueAt = source.find(before, source.find("<asset"));
    EXPECT_GE(d.offset, valueAt);
    EXPECT_LE(d.offset + d.removed.size(), valueAt + before.size());
    std::string expected = source;
    expected.replace(valueAt, before.size(), c.spelled);
    EXPECT_EQ(doc.xmlData(), expected);
}

INSTANTIATE_TEST_SUITE_P(EachQuoteAndEscape, SetStringValue,
                         testing::Values(SetValueCase{"src", "file:///a.braw", "file:///a.braw"},
                                         SetValueCase{"id", "r9", "r9"},
                                         SetValueCase{"src", "a&b<c>d", "a&amp;b&lt;c&gt;d"},
                                         SetValueCase{"src", "it's \"x\"", "it&apos;s \"x\""},
                                         SetValueCase{"name", "it's \"x\"", "it's &quot;x&quot;"},
                                         SetValueCase{"name", "tab\tlf\ncr\r",
                                                      "tab&#9;lf&#10;cr&#13;"},
                                         SetValueCase{"name", "", ""},
                                         SetValueCase{"name", "caf\xC3\xA9", "caf\xC3\xA9"}));

TEST(Edit, SetValueKeepsAttributeOrderAndSpacing) {
    Document doc = Document::parse(kResources);
    Element asset = resources(doc).firstElementNamed("asset");
    asset.attributeForName("name").setStringValue("B");
    std::vector<Attribute> attributes = asset.attributes();
    ASSERT_EQ(attributes.size(), 3u);
    EXPECT_EQ(attributes[0].name(), "id");
    EXPECT_EQ(attributes[1].name(), "src");
    EXPECT_EQ(attributes[2].name(), "name");
    EXPECT_NE(doc.xmlData().find("<asset id=\"r1\" src='file:///a.mov' name = \"B\" />"),
              std::string::npos);
}

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

TEST(Edit, RemoveChildByHandleKeepsSurroundingWhitespace) {
    Document doc = Document::parse(kResources);
    Element res = resources(doc);
    Element second = res.elementsForName("asset")[1];
    res.removeChild(second);
    EXPECT_EQ(res.childCount(), 8u);
    EXPECT_EQ(doc.xmlData().find("r2"), std::string::npos);
    EXPECT_NE(doc.xmlData().find("/>\n    \n    <!-- keep -->"), std::string::npos);
    EXPECT_EQ(second.xmlString(), "<asset id=\"r2\" src=\"file:///b.mov\"><media-rep/></asset>");
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

TEST(Edit, AddChildToAnEmptyElementGivesItAnEndTag) {
    Document doc = Document::parse("<a><b x='1' /></a>");
    Element b = doc.rootElement().firstElementNamed("b");
    b.addChild(doc.rootElement().copy());
    EXPECT_EQ(doc.xmlData(), "<a><b x='1' ><a><b x='1' /></a></b></a>");
    EXPECT_EQ(b.attributeValue("x"), "1");
}

TEST(Edit, CopyKeepsSpellingAndLeavesTheSourceUnchanged) {
    Document doc = Document::parse(kResources);
    Element res = resources(doc);
    Element original = res.firstElementNamed("asset");
    Element copy = original.copy();
    EXPECT_FALSE(copy.parent());
    EXPECT_EQ(copy.xmlString(), "<asset id=\"r1\" src='file:///a.mov' name = \"A\" />");
    copy.attributeForName("src").setStringValue("file:///a.braw");
    res.addChild(copy);
    EXPECT_EQ(original.attributeValue("src"), "file:///a.mov");
    EXPECT_EQ(original.xmlString(), "<asset id=\"r1\" src='file:///a.mov' name = \"A\" />");
    EXPECT_EQ(copy.xmlString(), "<asset id=\"r1\" src='file:///a.braw' name = \"A\" />");
}

TEST(Edit, CopyOfAnEditedElementCarriesTheEdits) {
    Document doc = Document::parse(kResources);
    Element res = resources(doc);
    Element asset = res.elementsForName("asset")[1];
    asset.attributeForName("id").setStringValue("r7");
    asset.removeChildAtIndex(0);
    Element copy = asset.copy();
    EXPECT_EQ(copy.xmlString(), "<asset id=\"r7\" src=\"file:///b.mov\"></asset>");
    copy.attributeForName("id").setStringValue("r8");
    EXPECT_EQ(asset.xmlString(), "<asset id=\"r7\" src=\"file:///b.mov\"></asset>");
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
