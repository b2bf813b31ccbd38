#include "engine/xml/document.h"
#include "support/case_names.h"

#include <gtest/gtest.h>

using tessaly::xml::Document;
using tessaly::xml::Element;

namespace {

struct ValueCase {
    const char *name;
    const char *document;
    const char *decoded;
    friend void PrintTo(const ValueCase &c, std::ostream *out) { *out << c.name; }
};

const ValueCase kValueCases[] = {
    {"Plain", "<a v='proxy.mov'/>", "proxy.mov"},
    {"Predefined", "<a v='&lt;&gt;&amp;&apos;&quot;'/>", "<>&'\""},
    {"CharacterReferences", "<a v='&#65;&#x42;&#x1F600;'/>", "AB\xF0\x9F\x98\x80"},
    {"LiteralWhiteSpaceBecomesSpaces", "<a v='a\tb\nc\rd'/>", "a b c d"},
    {"CrLfIsOneLineEnd", "<a v='a\r\nb'/>", "a b"},
    {"ReferencedWhiteSpaceStays", "<a v='&#9;&#10;&#13;'/>", "\t\n\r"},
    {"InternalEntity", "<!DOCTYPE a [<!ENTITY e 'raw &amp; proxy'>]><a v='[&e;]'/>",
     "[raw & proxy]"},
    {"NestedEntities", "<!DOCTYPE a [<!ENTITY i 'in'><!ENTITY o '&i;-&i;'>]><a v='&o;'/>", "in-in"},
    // The character reference is expanded when the entity is declared, so the line feed is a
    // literal one in the replacement text and is normalised like any other.
    {"EntityWithCharacterReference", "<!DOCTYPE a [<!ENTITY e 'x&#10;y'>]><a v='&e;'/>", "x y"},
    {"EntityWithEscapedReference", "<!DOCTYPE a [<!ENTITY e 'x&#38;#10;y'>]><a v='&e;'/>", "x\ny"},
    {"EntityLineEndsAreNormalisedFirst", "<!DOCTYPE a [<!ENTITY e 'x\r\ny'>]><a v='&e;'/>", "x y"},
    {"UndeclaredEntityOfExternalDtdIsKept", "<!DOCTYPE a SYSTEM 'a.dtd'><a v='x&ext;y'/>",
     "x&ext;y"},
    {"NoCollapsingOfSpaces", "<a v='  two  spaces  '/>", "  two  spaces  "},
};

class DecodedValue : public testing::TestWithParam<ValueCase> {};

} // namespace

TEST_P(DecodedValue, ExpandsReferencesAndNormalisesWhiteSpace) {
    Document doc = Document::parse(GetParam().document);
    EXPECT_EQ(doc.rootElement().attributeValue("v"), GetParam().decoded);
    EXPECT_EQ(doc.rootElement().attributeForName("v").stringValue(), GetParam().decoded);
    EXPECT_EQ(doc.rootElement().attributeValue("w"), std::nullopt);
    EXPECT_EQ(doc.xmlData(), GetParam().document);
}

INSTANTIATE_TEST_SUITE_P(Values, DecodedValue, testing::ValuesIn(kValueCases),
                         tessaly::testing::CaseName());

TEST(Attributes, NamesAndValuesStayValidAfterLaterEdits) {
    Document doc = Document::parse("<a id='r1' src='a.mov'/>");
    Element root = doc.rootElement();
    std::string_view name = root.name();
    std::string_view src = root.attributeForName("src").rawValue();
    root.attributeForName("id").setStringValue("r2");
    root.attributeForName("src").setStringValue("a.braw");
    EXPECT_EQ(name, "a");
    EXPECT_EQ(src, "a.mov");
    EXPECT_EQ(doc.xmlData(), "<a id='r2' src='a.braw'/>");
}

TEST(Navigation, ElementsForNameLooksAtDirectChildrenOnly) {
    Document doc = Document::parse("<r><a n='1'><a n='2'/></a>text<b/><a n='3'/></r>");
    auto as = doc.rootElement().elementsForName("a");
    ASSERT_EQ(as.size(), 2u);
    EXPECT_EQ(as[0].attributeValue("n"), "1");
    EXPECT_EQ(as[1].attributeValue("n"), "3");
    EXPECT_EQ(as[1].index(), 3u);
    EXPECT_EQ(doc.rootElement().index(), 0u);
    EXPECT_EQ(as[0].copy().index(), 0u);
}

TEST(Navigation, EmptyHandlesReadAsEmptyAndRefuseEdits) {
    Document doc = Document::parse("<a/>");
    Element missing = doc.rootElement().firstElementNamed("resources");
    EXPECT_FALSE(missing);
    EXPECT_EQ(missing.name(), "");
    EXPECT_TRUE(missing.children().empty());
    EXPECT_TRUE(missing.elementsForName("asset").empty());
    EXPECT_FALSE(missing.firstElementNamed("asset"));
    EXPECT_EQ(missing.attributeValue("id"), std::nullopt);
    EXPECT_FALSE(missing.attributeForName("id"));
    EXPECT_FALSE(missing.parent());
    EXPECT_EQ(missing.xmlString(), "");
    EXPECT_EQ(missing.attributeForName("id").stringValue(), "");
    EXPECT_THROW(missing.addChild(doc.rootElement()), std::logic_error);
    EXPECT_THROW(missing.removeChildAtIndex(0), std::logic_error);
    EXPECT_THROW(missing.attributeForName("id").setStringValue("x"), std::logic_error);
    EXPECT_THROW(doc.rootElement().addChild(missing), std::invalid_argument);
}
