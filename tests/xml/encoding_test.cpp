#include "engine/xml/document.h"

#include <gtest/gtest.h>

using tessaly::xml::Document;
using tessaly::xml::DocumentError;
using tessaly::xml::NodeKind;

namespace {

template <class Case> std::string caseName(const testing::TestParamInfo<Case> &param) {
    return param.param.name;
}

struct Accepted {
    const char *name;
    std::string document;
};

const Accepted kAccepted[] = {
    {"Utf8WithBom", "\xEF\xBB\xBF<?xml version='1.0' encoding='UTF-8'?><a>\xC3\xA9</a>"},
    {"BomWithoutDeclaration", "\xEF\xBB\xBF<a/>"},
    {"NoDeclaration", "<a>\xE2\x82\xAC</a>"},
    {"LowerCaseUtf8", "<?xml version='1.0' encoding='utf-8'?><a/>"},
    {"UsAscii", "<?xml version='1.0' encoding='US-ASCII'?><a/>"},
    {"Ascii", "<?xml version=\"1.0\" encoding=\"ascii\"?><a>&#233;</a>"},
};

struct Refused {
    const char *name;
    std::string document;
    const char *encoding;
};

const Refused kRefused[] = {
    {"Utf16LittleEndianBom", std::string("\xFF\xFE<\0a\0/\0>\0", 10), "UTF-16"},
    {"Utf16BigEndianBom", std::string("\xFE\xFF\0<\0a\0/\0>", 10), "UTF-16"},
    {"Utf16WithoutBom", std::string("<\0?\0x\0m\0l\0", 10), "UTF-16"},
    {"Latin1", "<?xml version='1.0' encoding='ISO-8859-1'?><a>\xE9</a>", "ISO-8859-1"},
    {"ShiftJis", "<?xml version='1.0' encoding='Shift_JIS'?><a/>", "Shift_JIS"},
    {"DeclaredUtf16InUtf8Bytes", "<?xml version='1.0' encoding='UTF-16'?><a/>", "UTF-16"},
};

struct Malformed {
    const char *name;
    std::string document;
    const char *reason;
};

const Malformed kMalformed[] = {
    {"Overlong", "<a>\xC0\xAF</a>", "invalid UTF-8 byte sequence"},
    {"Surrogate", "<a>\xED\xA0\x80</a>", "invalid UTF-8 byte sequence"},
    {"Truncated", "<a>\xE2\x82</a>", "invalid UTF-8 byte sequence"},
    {"BeyondUnicode", "<a>\xF4\x90\x80\x80</a>", "invalid UTF-8 byte sequence"},
    {"Latin1WithoutDeclaration", "<a>caf\xE9</a>", "invalid UTF-8 byte sequence"},
    {"NonCharacterFFFE", "<a>\xEF\xBF\xBE</a>", "invalid character"},
    {"InvalidInName", "<a\xEF\xBF\xBF/>", "invalid character"},
    {"HighByteInAscii", "<?xml version='1.0' encoding='US-ASCII'?><a>\xC3\xA9</a>",
     "byte outside US-ASCII in a document declared as US-ASCII"},
};

} // namespace

class AcceptedEncoding : public testing::TestWithParam<Accepted> {};

TEST_P(AcceptedEncoding, LoadsAndComesBackUnchanged) {
    Document doc = Document::parse(GetParam().document);
    EXPECT_EQ(doc.xmlData(), GetParam().document);
}

INSTANTIATE_TEST_SUITE_P(Encodings, AcceptedEncoding, testing::ValuesIn(kAccepted),
                         caseName<Accepted>);

class RefusedEncoding : public testing::TestWithParam<Refused> {};

TEST_P(RefusedEncoding, FailsWithAMessageNamingTheEncoding) {
    try {
        Document::parse(GetParam().document, "/tmp/x.xml");
        ADD_FAILURE() << "accepted";
    } catch (const DocumentError &error) {
        EXPECT_EQ(error.kind(), DocumentError::Kind::Parse);
        EXPECT_EQ(error.message(), std::string("“x.xml” uses the encoding ") + GetParam().encoding +
                                       ", which cannot be read; export the document as UTF-8.");
    }
}

INSTANTIATE_TEST_SUITE_P(Encodings, RefusedEncoding, testing::ValuesIn(kRefused),
                         caseName<Refused>);

class MalformedBytes : public testing::TestWithParam<Malformed> {};

TEST_P(MalformedBytes, AreNotWellFormed) {
    try {
        Document::parse(GetParam().document);
        ADD_FAILURE() << "accepted";
    } catch (const DocumentError &error) {
        EXPECT_EQ(error.reason(), GetParam().reason);
    }
}

INSTANTIATE_TEST_SUITE_P(Encodings, MalformedBytes, testing::ValuesIn(kMalformed),
                         caseName<Malformed>);

TEST(Encoding, BomIsADocumentLevelPrologNode) {
    Document doc = Document::parse("\xEF\xBB\xBF<a/>\n");
    auto top = doc.children();
    ASSERT_EQ(top.size(), 3u);
    EXPECT_EQ(top[0].kind(), NodeKind::Prolog);
    EXPECT_EQ(top[0].xmlString(), "\xEF\xBB\xBF");
    EXPECT_EQ(top[1], doc.rootElement());
    EXPECT_EQ(top[2].kind(), NodeKind::Text);
}
