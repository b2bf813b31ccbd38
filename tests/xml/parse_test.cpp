// What the parser makes of one document: an accepted one is written back byte for byte and its
// attribute `v`, if any, decoded; a refused one names the reason, line and column.
#include "engine/xml/document.h"

#include <gtest/gtest.h>

using namespace std::string_literals;
using namespace tessaly::xml;

namespace {

constexpr const char *kReadBack = "read back";
constexpr const char *kLimit = "entity expansion exceeds the limit";

std::string repeat(const std::string &piece, std::size_t times) {
    std::string out;
    out.reserve(piece.size() * times);
    for (; times > 0; --times)
        out += piece;
    return out;
}

/// Ten levels of entities, each referring ten times to the one below.
std::string billionLaughs(const std::string &use) {
    std::string dtd = "<!DOCTYPE lolz [\n<!ENTITY lol0 \"lol\">\n";
    for (int i = 1; i <= 9; ++i)
        dtd += "<!ENTITY lol" + std::to_string(i) + " \"" +
               repeat("&lol" + std::to_string(i - 1) + ";", 10) + "\">\n";
    return dtd + "]>\n" + use;
}

/// `count` references to one entity of 100,000 characters.
std::string bigEntityUsed(std::size_t count) {
    return "<!DOCTYPE a [<!ENTITY big \"" + std::string(100000, 'x') + "\">]><a>" +
           repeat("&big;", count) + "</a>";
}

/// Entities each referring to the next, `length` deep.
std::string entityChain(int length) {
    std::string dtd = "<!DOCTYPE a [";
    for (int i = 0; i < length; ++i)
        dtd += "<!ENTITY e" + std::to_string(i) + " '&e" + std::to_string(i + 1) + ";'>";
    return dtd + "<!ENTITY e" + std::to_string(length) + " 'end'>]><a>&e0;</a>";
}

std::string nested(std::size_t depth) {
    return repeat("<a>", depth) + "x" + repeat("</a>", depth);
}

std::string manyAttributes(const std::string &last) {
    std::string tag = "<a";
    for (int i = 0; i < 5000; ++i)
        tag += " n" + std::to_string(i) + "='1'";
    return tag + last + "/>";
}

std::string outcomeOf(const std::string &document) {
    try {
        Document doc = Document::parse(document, "Day1.fcpxml");
        if (doc.xmlData() != document)
            return "changed";
        const std::optional<std::string> v = doc.rootElement().attributeValue("v");
        return v ? "v=" + *v : kReadBack;
    } catch (const DocumentError &error) {
        EXPECT_EQ(error.kind(), DocumentError::Kind::Parse);
        return error.reason() + " at " + std::to_string(error.line()) + ":" +
               std::to_string(error.column());
    }
}

struct ParseCase {
    const char *name;
    std::string document;
    std::string outcome;
};

const ParseCase kCases[] = {
    // Attribute values: references expanded, literal white space normalised.
    {"Predefined", "<a v='&lt;&gt;&amp;&apos;&quot;'/>", "v=<>&'\""},
    {"CharacterReferences", "<a v='&#65;&#x42;&#x1F600;'/>", "v=AB\xF0\x9F\x98\x80"},
    {"LiteralWhiteSpaceBecomesSpaces", "<a v='a\tb\nc\rd'/>", "v=a b c d"},
    {"CrLfIsOneLineEnd", "<a v='a\r\nb'/>", "v=a b"},
    {"ReferencedWhiteSpaceStays", "<a v='&#9;&#10;&#13;'/>", "v=\t\n\r"},
    {"NoCollapsingOfSpaces", "<a v='  two  spaces  '/>", "v=  two  spaces  "},
    {"InternalEntity", "<!DOCTYPE a [<!ENTITY e 'raw &amp; proxy'>]><a v='[&e;]'/>",
     "v=[raw & proxy]"},
    {"NestedEntities", "<!DOCTYPE a [<!ENTITY i 'in'><!ENTITY o '&i;-&i;'>]><a v='&o;'/>",
     "v=in-in"},
    // The character reference is expanded when the entity is declared, so the line feed is a
    // literal one in the replacement text and is normalised like any other.
    {"EntityWithCharacterReference", "<!DOCTYPE a [<!ENTITY e 'x&#10;y'>]><a v='&e;'/>", "v=x y"},
    {"EntityWithEscapedReference", "<!DOCTYPE a [<!ENTITY e 'x&#38;#10;y'>]><a v='&e;'/>",
     "v=x\ny"},
    {"EntityWithReferencedCrLf", "<!DOCTYPE a [<!ENTITY e 'x&#13;&#10;y'>]><a v='&e;'/>", "v=x  y"},
    {"EntityDeclaredByParameterEntity",
     "<!DOCTYPE a [<!ENTITY % p \"<!ENTITY e 'x'>\"> %p;]><a v='&e;'/>", "v=x"},
    {"EntityLineEndsAreNormalisedFirst", "<!DOCTYPE a [<!ENTITY e 'x\r\ny'>]><a v='&e;'/>",
     "v=x y"},
    {"UndeclaredEntityOfExternalDtdIsKept", "<!DOCTYPE a SYSTEM 'a.dtd'><a v='x&ext;y'/>",
     "v=x&ext;y"},

    // Only UTF-8 and its ASCII subset are read; others are recognised and named.
    {"Utf8WithBom", "\xEF\xBB\xBF<?xml version='1.0' encoding='UTF-8'?><a>\xC3\xA9</a>", kReadBack},
    {"BomWithoutDeclaration", "\xEF\xBB\xBF<a/>", kReadBack},
    {"Ascii", "<?xml version=\"1.0\" encoding=\"ascii\"?><a>&#233;</a>", kReadBack},
    {"Utf16LittleEndianBom", std::string("\xFF\xFE<\0a\0/\0>\0", 10),
     "unsupported encoding UTF-16 at 1:1"},
    {"Utf16WithoutBom", std::string("<\0?\0x\0m\0l\0", 10), "unsupported encoding UTF-16 at 1:1"},
    {"Utf32WithoutBom", std::string("\0\0\0<\0\0\0a", 8), "unsupported encoding UTF-32 at 1:1"},
    {"Ebcdic", "\x4C\x6F\xA7\x94\x93", "unsupported encoding EBCDIC at 1:1"},
    {"NameWithDigitZero", "<?xml version='1.0' encoding='windows-1250'?><a/>",
     "unsupported encoding windows-1250 at 1:20"},
    {"ShiftJis", "<?xml version='1.0' encoding='Shift_JIS'?><a/>",
     "unsupported encoding Shift_JIS at 1:20"},
    {"DeclaredUtf16InUtf8Bytes", "<?xml version='1.0' encoding='UTF-16'?><a/>",
     "unsupported encoding UTF-16 at 1:20"},
    {"Overlong", "<a>\xC0\xAF</a>", "invalid UTF-8 byte sequence at 1:4"},
    {"Surrogate", "<a>\xED\xA0\x80</a>", "invalid UTF-8 byte sequence at 1:4"},
    {"BeyondUnicode", "<a>\xF4\x90\x80\x80</a>", "invalid UTF-8 byte sequence at 1:4"},
    {"Latin1WithoutDeclaration", "<a>caf\xE9</a>", "invalid UTF-8 byte sequence at 1:7"},
    {"NonCharacterFFFE", "<a>\xEF\xBF\xBE</a>", "invalid character at 1:4"},
    {"InvalidInName", "<a\xEF\xBF\xBF/>", "invalid character at 1:3"},
    {"HighByteInAscii", "<?xml version='1.0' encoding='US-ASCII'?><a>\xC3\xA9</a>",
     "byte outside US-ASCII in a document declared as US-ASCII at 1:45"},

    // Errors name the reason and where it was found; columns count characters.
    {"MismatchedTag", "<a>\n  <b>\n  </c>\n</a>", "mismatched tag at 3:5"},
    {"MismatchedTagAfterCrLf", "<a>\r\n\r\n<b></a>", "mismatched tag at 3:6"},
    {"ColumnsCountCharacters", "<a>\xC3\xA9\xE2\x82\xAC</b>", "mismatched tag at 1:8"},
    {"UnclosedElement", "<fcpxml>\n<resources>\n", "unclosed element “resources” at 3:1"},
    {"DuplicateAttribute", "<a id='1' id='2'/>", "duplicate attribute at 1:11"},
    {"LessThanInValue", "<a v='<'/>", "'<' in attribute value at 1:7"},
    {"UndefinedEntity", "<a>\n&nbsp;</a>", "undefined entity “nbsp” at 2:1"},
    {"CDataEndInText", "<a>]]></a>", "']]>' in character data at 1:4"},
    {"InvalidCharacter", "<a>\x01</a>", "invalid character at 1:4"},
    {"TwoRoots", "<a/>\n<b/>", "more than one root element at 2:1"},
    {"NoRoot", "<?xml version='1.0'?>\n", "no root element at 2:1"},
    {"TextAfterRoot", "<a/>x", "text after the root element at 1:5"},
    {"DoubleHyphenInComment", "<a><!-- a -- b --></a>", "'--' inside a comment at 1:11"},
    {"ReservedTarget", "<a/><?XmL x?>", "XML declaration not at the start of the document at 1:5"},
    {"MisspelledDeclarationAfterBom", "\xEF\xBB\xBF<?XML version='1.0'?><a/>",
     "malformed XML declaration at 1:1"},
    {"UnclosedStartTag", "<a ", "unclosed start tag at 1:1"},
    {"RecursiveEntity", "<!DOCTYPE a [<!ENTITY e '&e;'>]>\n<a>&e;</a>",
     "recursive entity reference at 2:4"},
    {"UnbalancedEntity", "<!DOCTYPE a [<!ENTITY e '<b>'>]><a>&e;</a>",
     "elements in an entity's replacement text do not balance at 1:36"},
    {"VersionNotANumber", "<?xml version='1.x'?><a/>", "unsupported XML version at 1:6"},
    {"SpaceInEncodingName", "<?xml version='1.0' encoding='utf 8'?><a/>",
     "invalid encoding name at 1:20"},
    {"ExternalEntityInValue", "<!DOCTYPE a [<!ENTITY e SYSTEM 'e.txt'>]><a v='&e;'/>",
     "reference to external entity “e” in attribute value at 1:48"},

    // Hostile documents: expansion and nesting are bounded and deep structures cost no
    // recursion.
    {"BillionLaughsInText", billionLaughs("<lolz>&lol9;</lolz>"), kLimit + " at 13:7"s},
    {"BillionLaughsInValue", billionLaughs("<lolz a='&lol9;'/>"), kLimit + " at 13:10"s},
    {"BillionLaughsUnused", billionLaughs("<lolz/>"), kReadBack},
    {"LargeEntityUsedOften", bigEntityUsed(30), kReadBack},
    {"LargeEntityUsedTooOften", bigEntityUsed(100030), kLimit + " at 1:100360"s},
    {"EntityChain", entityChain(40), kReadBack},
    {"EntityChainTooDeep", entityChain(1000), "entity references nested too deeply at 1:22823"},
    {"DeepContentModel",
     "<!DOCTYPE a [<!ELEMENT a " + std::string(200000, '(') + "b" + std::string(200000, ')') +
         ">]><a/>",
     kReadBack},
    {"DeepEntityText", "<!DOCTYPE r [<!ENTITY e '" + nested(200000) + "'>]><r>&e;</r>", kReadBack},
    {"ManyAttributes", manyAttributes(""), kReadBack},
    {"DuplicateAmongManyAttributes", manyAttributes(" n4321='2'"),
     "duplicate attribute at 1:48894"},
};

} // namespace

TEST(Parse, OutcomeOfEachDocument) {
    for (const ParseCase &c : kCases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(outcomeOf(c.document), c.outcome);
    }
}

// A million levels load, serialise, walk, copy, edit and go, all without recursion.
TEST(DeepNesting, MillionLevels) {
    const std::string source = nested(1000000);
    Document doc = Document::parse(source);
    EXPECT_EQ(doc.xmlData(), source);
    Element deepest = doc.rootElement();
    while (Element child = deepest.firstChild().toElement())
        deepest = child;
    Element copy = doc.rootElement().copy();
    deepest.attributes(); // a read on the deepest element
    deepest.removeChildAtIndex(0);
    EXPECT_EQ(copy.xmlString(), source);
    EXPECT_EQ(doc.xmlData(), repeat("<a>", 1000000) + repeat("</a>", 1000000));
}
