// A pass over all attributes of one name must see the document as it stands, whether the
// parser noted the places or the pass gathers them, and prepared values must be written as
// setStringValue would write them.
#include "engine/xml/document.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using tessaly::xml::Attribute;
using tessaly::xml::Document;
using tessaly::xml::Element;
using tessaly::xml::LoadOptions;
using tessaly::xml::PreparedValue;

namespace {

const std::string kText = "<r ref='root'>\n"
                          " <a ref = \"1\" x='y'><b  ref='2'/></a>\n"
                          " <c ref='3'/>\n"
                          " <d x='1'/>\n"
                          " <e ref='&#x34;'/>\n"
                          "</r>";

/// "name=value" of every `ref` below `top`, as the pass reports them.
std::vector<std::string> refsBelow(const Element &top) {
    std::vector<std::string> seen;
    top.forEachAttributeNamed("ref", [&](Element element, Attribute ref) {
        seen.push_back(std::string(element.name()) + ":" + std::string(ref.name()) + "=" +
                       ref.stringValue());
    });
    return seen;
}

} // namespace

TEST(AttributePass, NotedAndGatheredPlacesAgreeThroughEdits) {
    for (const bool noted : {false, true}) {
        SCOPED_TRACE(noted ? "noted at load" : "gathered on first use");
        Document doc =
            Document::parse(kText, "doc.xml", noted ? LoadOptions{{"ref"}} : LoadOptions{});
        Element root = doc.rootElement();
        EXPECT_EQ(refsBelow(root), (std::vector<std::string>{"r:ref=root", "a:ref=1", "b:ref=2",
                                                             "c:ref=3", "e:ref=4"}));
        EXPECT_EQ(refsBelow(root.firstElementNamed("a")),
                  (std::vector<std::string>{"a:ref=1", "b:ref=2"}));

        // Patched values show; a removed element is gone; a re-spelled tag is read again; a
        // copy counts once it is in the tree.
        Element a = root.firstElementNamed("a");
        a.attributeForName("x").setStringValue("z");
        a.attributeForName("ref").setStringValue("one");
        root.removeChild(root.firstElementNamed("c"));
        Element e = root.firstElementNamed("e");
        e.addChild(a.firstElementNamed("b").copy());
        Element detached = root.firstElementNamed("d").copy();
        EXPECT_EQ(refsBelow(root), (std::vector<std::string>{"r:ref=root", "a:ref=one", "b:ref=2",
                                                             "e:ref=4", "b:ref=2"}));
        EXPECT_TRUE(refsBelow(detached).empty());

        // Values set during the pass land where the pass found them.
        const PreparedValue seven(root, "7");
        root.forEachAttributeNamed("ref", [&](Element, Attribute ref) { ref.setValue(seven); });
        EXPECT_EQ(doc.xmlData(), "<r ref='7'>\n <a ref = \"7\" x='z'><b  ref='7'/></a>\n \n"
                                 " <d x='1'/>\n <e ref='7'><b  ref='7'/></e>\n</r>");
    }
}

TEST(AttributePass, PreparedValuesAreEscapedForEachQuote) {
    Document doc = Document::parse("<r a=\"1\" b='2'/>");
    Element root = doc.rootElement();
    const PreparedValue value(root, "x\"y'z&<");
    root.attributeForName("a").setValue(value);
    root.attributeForName("b").setValue(value);
    EXPECT_EQ(doc.xmlData(), "<r a=\"x&quot;y'z&amp;&lt;\" b='x\"y&apos;z&amp;&lt;'/>");
    EXPECT_EQ(root.attributeValue("b"), "x\"y'z&<");

    Document other = Document::parse("<r a='1'/>");
    EXPECT_THROW(other.rootElement().attributeForName("a").setValue(value), std::invalid_argument);
    EXPECT_THROW(PreparedValue(root, "bell \a"), std::invalid_argument);
    EXPECT_THROW(PreparedValue(Element(), "x"), std::logic_error);
}

// Places too large for the index's 16-bit fields (a value over 64 KiB, an attribute after
// 65,535 others) are found again from the tag.
TEST(AttributePass, LongValuesAndManyAttributes) {
    std::string text = "<r><a ref='" + std::string(70000, 'v') + "'/><b";
    for (int i = 0; i < 70000; ++i)
        text += " x" + std::to_string(i) + "=''";
    text += " ref='last'/></r>";
    for (const bool noted : {false, true}) {
        SCOPED_TRACE(noted ? "noted at load" : "gathered on first use");
        Document doc =
            Document::parse(text, "doc.xml", noted ? LoadOptions{{"ref"}} : LoadOptions{});
        std::vector<std::size_t> lengths;
        doc.rootElement().forEachAttributeNamed("ref", [&](Element, Attribute ref) {
            EXPECT_EQ(ref.name(), "ref");
            lengths.push_back(ref.stringValue().size());
            ref.setStringValue("new");
        });
        EXPECT_EQ(lengths, (std::vector<std::size_t>{70000, 4}));
        const std::string out = doc.xmlData();
        EXPECT_EQ(out.substr(0, 19), "<r><a ref='new'/><b");
        EXPECT_EQ(out.substr(out.size() - 26), " x69999='' ref='new'/></r>");
    }
}
