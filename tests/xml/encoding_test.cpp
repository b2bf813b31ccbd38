#include "engine/xml/document.h"
#include "support/case_names.h"

#include <gtest/gtest.h>

using tessaly::xml::Document;
using tessaly::xml::DocumentError;
using tessaly::xml::LoadOptions;

namespace {

constexpr const char *kReadBack = "read back unchanged";

/// kReadBack when the document parses and serialises to its own bytes, else the reason it fails.
std::string outcomeOf(const std::string &document) {
    try {
        return Document::parse(document).xmlData() == document ? kReadBack : "changed";
    } catch (const DocumentError &error) {
        return error.reason();
    }
}

struct EncodingCase {
    const char *name;
    std::string document;
    std::string outcome;
    friend void PrintTo(const EncodingCase &c, std::ostream *out) { *out << c.name; }
};

const EncodingCase kCases[] = {
    {"Utf8WithBom", "\xEF\xBB\xBF<?xml version='1.0' encoding='UTF-8'?><a>\xC3\xA9</a>", kReadBack},
    {"BomWithoutDeclaration", "\xEF\xBB\xBF<a/>", kReadBack},
    {"NoDeclaration", "<a>\xE2\x82\xAC</a>", kReadBack},
    {"LowerCaseUtf8", "<?xml version='1.0' encoding='utf-8'?><a/>", kReadBack},
    {"UsAscii", "<?xml version='1.0' encoding='US-ASCII'?><a/>", kReadBack},
    {"Ascii", "<?xml version=\"1.0\" encoding=\"ascii\"?><a>&#233;</a>", kReadBack},

    {"Utf16LittleEndianBom", std::string("\xFF\xFE<\0a\0/\0>\0", 10),
     "unsupported encoding UTF-16"},
    {"Utf16BigEndianBom", std::string("\xFE\xFF\0<\0a\0/\0>", 10), "unsupported encoding UTF-16"},
    {"Utf16WithoutBom", std::string("<\0?\0x\0m\0l\0", 10), "unsupported encoding UTF-16"},
    {"Utf16BigEndianWithoutBom", std::string("\0<\0?\0x\0m\0l", 10), "unsupported encoding UTF-16"},
    {"Utf32LittleEndianBom", std::string("\xFF\xFE\0\0<\0\0\0", 8), "unsupported encoding UTF-32"},
    {"Utf32BigEndianBom", std::string("\0\0\xFE\xFF\0\0\0<", 8), "unsupported encoding UTF-32"},
    {"Utf32WithoutBom", std::string("\0\0\0<\0\0\0a", 8), "unsupported encoding UTF-32"},
    {"Ebcdic", "\x4C\x6F\xA7\x94\x93", "unsupported encoding EBCDIC"},
    {"Latin1", "<?xml version='1.0' encoding='ISO-8859-1'?><a>\xE9</a>",
     "unsupported encoding ISO-8859-1"},
    {"NameWithDigitZero", "<?xml version='1.0' encoding='windows-1250'?><a/>",
     "unsupported encoding windows-1250"},
    {"ShiftJis", "<?xml version='1.0' encoding='Shift_JIS'?><a/>",
     "unsupported encoding Shift_JIS"},
    {"DeclaredUtf16InUtf8Bytes", "<?xml version='1.0' encoding='UTF-16'?><a/>",
     "unsupported encoding UTF-16"},

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

class DocumentEncoding : public testing::TestWithParam<EncodingCase> {};

} // namespace

TEST_P(DocumentEncoding, OnlyUtf8AndAsciiAreRead) {
    EXPECT_EQ(outcomeOf(GetParam().document), GetParam().outcome);
}

INSTANTIATE_TEST_SUITE_P(Documents, DocumentEncoding, testing::ValuesIn(kCases),
                         tessaly::testing::CaseName());

TEST(Encoding, RefusalNamesTheEncodingAndWhoCannotReadIt) {
    const std::string latin1 = "<?xml version='1.0' encoding='ISO-8859-1'?><a/>";
    for (const std::string reader : {"", "Tessaly"}) {
        try {
            Document::parse(latin1, "/tmp/x.xml", LoadOptions{{}, reader});
            ADD_FAILURE() << "accepted";
        } catch (const DocumentError &error) {
            EXPECT_EQ(error.kind(), DocumentError::Kind::Parse);
            const std::string who = reader.empty() ? "cannot be read" : "Tessaly cannot read";
            EXPECT_EQ(error.message(), "“x.xml” uses the encoding ISO-8859-1, which " + who +
                                           "; export the document as UTF-8.");
        }
    }
}
