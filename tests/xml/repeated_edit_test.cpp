// Values set on an element are kept as replacements of the source values; these cases mix them
// with the other ways a start tag changes.
#include "engine/xml/document.h"

#include <gtest/gtest.h>

using tessaly::xml::Attribute;
using tessaly::xml::Document;
using tessaly::xml::Element;

TEST(RepeatedEdit, ValuesSetInAnyOrderAndAgain) {
    Document doc = Document::parse("<clip ref=\"r4\"  offset='0s' format=\"r1\"/>");
    Element clip = doc.rootElement();
    clip.attributeForName("format").setStringValue("r2");
    clip.attributeForName("ref").setStringValue("r10");
    clip.attributeForName("ref").setStringValue("r11 & <x>");
    EXPECT_EQ(doc.xmlData(), "<clip ref=\"r11 &amp; &lt;x&gt;\"  offset='0s' format=\"r2\"/>");
    EXPECT_EQ(clip.attributeValue("ref"), "r11 & <x>");
    EXPECT_EQ(clip.attributeForName("format").rawValue(), "r2");
    EXPECT_EQ(clip.attributes().size(), 3u);
}

TEST(RepeatedEdit, OneLookupFindsSeveralNames) {
    Document doc = Document::parse("<clip ref='r4' name='A' format='r1'/>");
    Attribute found[3];
    doc.rootElement().attributesForNames({"format", "missing", "ref"}, found);
    ASSERT_TRUE(found[0]);
    EXPECT_FALSE(found[1]);
    ASSERT_TRUE(found[2]);
    found[2].setStringValue("r9");
    found[0].setStringValue("r2");
    EXPECT_EQ(doc.xmlData(), "<clip ref='r9' name='A' format='r2'/>");
}

TEST(RepeatedEdit, CopyOfAnEditedElementIsIndependent) {
    Document doc = Document::parse("<r><a id='1' v='x'/></r>");
    Element original = doc.rootElement().firstElementNamed("a");
    original.attributeForName("v").setStringValue("y");
    Element copy = original.copy();
    copy.attributeForName("id").setStringValue("2");
    doc.rootElement().addChild(copy);
    original.attributeForName("v").setStringValue("z");
    EXPECT_EQ(doc.xmlData(), "<r><a id='1' v='z'/><a id='2' v='y'/></r>");
}

TEST(RepeatedEdit, EditedEmptyElementGainingContent) {
    Document doc = Document::parse("<r><a id='1' /><b/></r>");
    Element a = doc.rootElement().firstElementNamed("a");
    a.attributeForName("id").setStringValue("2");
    a.addChild(doc.rootElement().firstElementNamed("b"));
    a.attributeForName("id").setStringValue("3");
    EXPECT_EQ(doc.xmlData(), "<r><a id='3' ><b/></a></r>");
    EXPECT_EQ(a.name(), "a");
    EXPECT_NO_THROW(Document::parse(doc.xmlData()));
}

// A patched tag is written before its untouched content in one piece; a change deeper inside
// (or to the patched element's own children) must still show.
TEST(RepeatedEdit, PatchedTagsWithChangesAboveAndBelow) {
    Document doc = Document::parse("<r a='1'>\n <c ref='x'>\n  <k ref='x'/>\n  <m/>\n </c>\n"
                                   " <c ref='x'><![CDATA[]]]]><m/>&gt;</c>\n</r>");
    Element root = doc.rootElement();
    std::vector<Element> clips = root.elementsForName("c");
    clips[0].attributeForName("ref").setStringValue("y");
    clips[1].attributeForName("ref").setStringValue("y");
    root.attributeForName("a").setStringValue("2");
    EXPECT_EQ(doc.xmlData(), "<r a='2'>\n <c ref='y'>\n  <k ref='x'/>\n  <m/>\n </c>\n"
                             " <c ref='y'><![CDATA[]]]]><m/>&gt;</c>\n</r>");

    clips[0].firstElementNamed("k").attributeForName("ref").setStringValue("z");
    clips[0].removeChild(clips[0].firstElementNamed("m"));
    clips[1].removeChild(clips[1].firstElementNamed("m"));
    EXPECT_EQ(doc.xmlData(), "<r a='2'>\n <c ref='y'>\n  <k ref='z'/>\n  \n </c>\n"
                             " <c ref='y'><![CDATA[]]]]>&gt;</c>\n</r>");
    EXPECT_NO_THROW(Document::parse(doc.xmlData()));
}
