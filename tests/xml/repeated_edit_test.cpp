// Values set on an element are kept as replacements of the source values; these cases mix them
// with the other ways a start tag changes.
#include "engine/xml/document.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

using tessaly::xml::Attribute;
using tessaly::xml::Document;
using tessaly::xml::Element;

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

// A tag re-spelled whole (it gained a child) is shared with its copy: editing the original
// afterwards must leave the copy as it was.
TEST(RepeatedEdit, CopyOfARespelledTagIsIndependent) {
    Document grown = Document::parse("<r><a v='x'/><b/></r>");
    Element parent = grown.rootElement().firstElementNamed("a");
    parent.addChild(grown.rootElement().firstElementNamed("b"));
    Element twin = parent.copy();
    parent.attributeForName("v").setStringValue("y");
    EXPECT_EQ(twin.xmlString(), "<a v='x'><b/></a>");
    EXPECT_EQ(grown.xmlData(), "<r><a v='y'><b/></a></r>");
}

TEST(RepeatedEdit, EditedEmptyElementGainingContent) {
    Document doc = Document::parse("<r><a id='1' /><b/></r>");
    Element a = doc.rootElement().firstElementNamed("a");
    a.attributeForName("id").setStringValue("2");
    a.addChild(doc.rootElement().firstElementNamed("b"));
    a.attributeForName("id").setStringValue("3");
    EXPECT_EQ(doc.xmlData(), "<r><a id='3' ><b/></a></r>");
    EXPECT_EQ(a.name(), "a");
    EXPECT_EQ(a.attributeValue("id"), "3");
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

// Copies and moves of patched elements: a region whose only changes are patched values is
// written from its source with the values put in, so a copy's patches (which sit at its
// original's offsets) and a moved element must not leak into it.
TEST(RepeatedEdit, PatchedRegionsAmongCopiesAndMoves) {
    Document doc = Document::parse("<r><s><c ref='a'><k ref='a'/></c><c ref='b'/></s><t/>"
                                   "<u><e ref='x' /></u></r>");
    Element root = doc.rootElement();
    Element s = root.firstElementNamed("s");
    Element first = s.firstElementNamed("c");
    first.attributeForName("ref").setStringValue("A");
    first.firstElementNamed("k").attributeForName("ref").setStringValue("K");
    Element copy = first.copy();
    copy.attributeForName("ref").setStringValue("copy");
    root.firstElementNamed("t").addChild(copy);
    Element second = s.elementsForName("c")[1].copy();
    second.attributeForName("ref").setStringValue("second");
    root.firstElementNamed("t").addChild(second);
    EXPECT_EQ(doc.xmlData(), "<r><s><c ref='A'><k ref='K'/></c><c ref='b'/></s><t><c ref='copy'>"
                             "<k ref='K'/></c><c ref='second'/></t><u><e ref='x' /></u></r>");

    // A patched element moved elsewhere keeps its patches; one that gains content is
    // re-spelled and keeps them too.
    Element e = root.firstElementNamed("u").firstElementNamed("e");
    e.attributeForName("ref").setStringValue("X");
    s.addChild(e);
    e.addChild(root.firstElementNamed("t"));
    EXPECT_EQ(doc.xmlData(), "<r><s><c ref='A'><k ref='K'/></c><c ref='b'/><e ref='X' ><t><c "
                             "ref='copy'><k ref='K'/></c><c ref='second'/></t></e></s><u></u></r>");
    EXPECT_NO_THROW(Document::parse(doc.xmlData()));
}

// Saving gathers many short pieces into few writes; the file must hold exactly what
// xmlData() gives, across every buffer refill.
TEST(RepeatedEdit, SavedFileMatchesTheSerialisationAfterManyPatches) {
    // Three stretches: only pieces long enough to be written from where they lie, more of them
    // in a row than one gathered write takes; long and short pieces taking turns; then short
    // ones that fill the copy buffer many times over.
    const std::string longText(4200, 'x');
    std::string text = "<r>";
    for (int i = 0; i < 9000; ++i) {
        const std::size_t length = i < 3000 ? (i % 2 ? 4200 : 10) : std::size_t(i % 3000);
        text += "<c ref='r" + std::to_string(i) + "' n='" +
                (i < 400 ? longText : std::string(length, 'x')) + "' format='f'" +
                (i < 400 ? " m='" + longText + "'" : std::string()) + "/>\n";
    }
    text += "</r>";
    Document doc = Document::parse(text);
    int i = 0;
    doc.rootElement().forEachAttributeNamed({"ref", "format"},
                                            [&](Element, Attribute attribute, std::size_t which) {
                                                const std::string value = "v" + std::to_string(i);
                                                if (i < 800)
                                                    attribute.setStringValue(value + longText);
                                                else if (which == 1 || i % 3 != 0)
                                                    attribute.setStringValue(value);
                                                ++i;
                                            });
    tessaly::testing::TempDir dir;
    doc.save(dir / "out.xml");
    EXPECT_EQ(tessaly::testing::readFile(dir / "out.xml"), doc.xmlData());
}
