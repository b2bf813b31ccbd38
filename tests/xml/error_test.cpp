#include "engine/xml/document.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <sys/stat.h>
#include <unistd.h>

namespace fs = std::filesystem;
using tessaly::xml::Document;
using tessaly::xml::DocumentError;

namespace {

template <class Case> std::string caseName(const testing::TestParamInfo<Case> &param) {
    return param.param.name;
}

struct ErrorCase {
    const char *name;
    std::string document;
    const char *reason;
    std::size_t line;
    std::size_t column;
};

DocumentError parseError(const std::string &document, const fs::path &name = "Day1.fcpxml") {
    try {
        Document::parse(document, name);
    } catch (const DocumentError &error) {
        return error;
    }
    ADD_FAILURE() << "parsed without error: " << document;
    return DocumentError(DocumentError::Kind::Parse, name, "none");
}

const ErrorCase kErrorCases[] = {
    {"MismatchedTag", "<a>\n  <b>\n  </c>\n</a>", "mismatched tag", 3, 5},
    {"MismatchedTagAfterCrLf", "<a>\r\n\r\n<b></a>", "mismatched tag", 3, 6},
    {"ColumnsCountCharacters", "<a>\xC3\xA9\xE2\x82\xAC</b>", "mismatched tag", 1, 8},
    {"UnclosedElement", "<fcpxml>\n<resources>\n", "unclosed element “resources”", 3, 1},
    {"DuplicateAttribute", "<a id='1' id='2'/>", "duplicate attribute", 1, 11},
    {"LessThanInValue", "<a v='<'/>", "'<' in attribute value", 1, 7},
    {"UndefinedEntity", "<a>\n&nbsp;</a>", "undefined entity “nbsp”", 2, 1},
    {"CDataEndInText", "<a>]]></a>", "']]>' in character data", 1, 4},
    {"InvalidCharacter", std::string("<a>\x01</a>"), "invalid character", 1, 4},
    {"TwoRoots", "<a/>\n<b/>", "more than one root element", 2, 1},
    {"NoRoot", "<?xml version='1.0'?>\n", "no root element", 2, 1},
    {"TextAfterRoot", "<a/>x", "text after the root element", 1, 5},
    {"DoubleHyphenInComment", "<a><!-- a -- b --></a>", "'--' inside a comment", 1, 11},
    {"ReservedTarget", "<a/><?XmL x?>", "XML declaration not at the start of the document", 1, 5},
    {"RecursiveEntity", "<!DOCTYPE a [<!ENTITY e '&e;'>]>\n<a>&e;</a>",
     "recursive entity reference", 2, 4},
    {"UnbalancedEntity", "<!DOCTYPE a [<!ENTITY e '<b>'>]><a>&e;</a>",
     "elements in an entity's replacement text do not balance", 1, 36},
};

class ParseError : public testing::TestWithParam<ErrorCase> {};

} // namespace

TEST_P(ParseError, NamesReasonLineAndColumn) {
    const ErrorCase &c = GetParam();
    DocumentError error = parseError(c.document);
    EXPECT_EQ(error.kind(), DocumentError::Kind::Parse);
    EXPECT_EQ(error.reason(), c.reason);
    EXPECT_EQ(error.line(), c.line);
    EXPECT_EQ(error.column(), c.column);
}

INSTANTIATE_TEST_SUITE_P(Errors, ParseError, testing::ValuesIn(kErrorCases), caseName<ErrorCase>);

TEST(ErrorMessage, ParseErrorNamesFileLineAndColumn) {
    std::string document = "<fcpxml>\n";
    for (int i = 0; i < 10; ++i)
        document += "  <clip/>\n";
    document += "    </b>\n</fcpxml>\n";
    DocumentError error = parseError(document, "/Volumes/Media/Day1.fcpxml");
    EXPECT_EQ(error.message(),
              "“Day1.fcpxml” is not well-formed XML: mismatched tag (line 12, column 7).");
    EXPECT_STREQ(error.what(), error.message().c_str());
    EXPECT_EQ(error.file(), "/Volumes/Media/Day1.fcpxml");
    EXPECT_EQ(error.offset(), document.find("</b>") + 2);
}

TEST(ErrorMessage, ReadErrorsCarryTheSystemReason) {
    fs::path dir = fs::temp_directory_path() / ("tessaly-xml-errors-" + std::to_string(getpid()));
    fs::create_directories(dir / "Day1.fcpxmld");
    try {
        Document::load(dir / "Day1.fcpxml");
        ADD_FAILURE() << "loaded a missing file";
    } catch (const DocumentError &error) {
        EXPECT_EQ(error.kind(), DocumentError::Kind::Read);
        EXPECT_EQ(error.message(), "Cannot read “Day1.fcpxml”: No such file or directory.");
    }
    try {
        Document::load(dir / "Day1.fcpxmld");
        ADD_FAILURE() << "loaded a folder";
    } catch (const DocumentError &error) {
        EXPECT_EQ(error.message(), "Cannot read “Day1.fcpxmld”: Is a directory.");
    }
    // Refused at once: a pipe would block the open, a device would be read without end.
    ASSERT_EQ(mkfifo((dir / "pipe.fcpxml").c_str(), 0644), 0);
    for (const fs::path &special : {dir / "pipe.fcpxml", fs::path("/dev/zero")}) {
        try {
            Document::load(special);
            ADD_FAILURE() << "loaded " << special;
        } catch (const DocumentError &error) {
            EXPECT_EQ(error.message(), "Cannot read “" + special.filename().string() +
                                           "”: it is not a regular file.");
        }
    }
    fs::remove_all(dir);
}

TEST(ErrorMessage, WriteErrorsCarryTheSystemReason) {
    fs::path dir = fs::temp_directory_path() / ("tessaly-xml-werrors-" + std::to_string(getpid()));
    fs::create_directories(dir / "Day1.fcpxml");
    Document doc = Document::parse("<a/>");
    try {
        doc.save(dir / "missing" / "Day1.fcpxml");
        ADD_FAILURE() << "saved into a missing folder";
    } catch (const DocumentError &error) {
        EXPECT_EQ(error.kind(), DocumentError::Kind::Write);
        EXPECT_EQ(error.message(), "Cannot write “Day1.fcpxml”: No such file or directory.");
    }
    try {
        doc.save(dir / "Day1.fcpxml");
        ADD_FAILURE() << "saved over a folder";
    } catch (const DocumentError &error) {
        EXPECT_EQ(error.message(), "Cannot write “Day1.fcpxml”: Is a directory.");
    }
    if (geteuid() != 0) { // root may write anywhere
        fs::path locked = dir / "locked";
        fs::create_directories(locked);
        fs::permissions(locked, fs::perms::owner_read | fs::perms::owner_exec);
        try {
            doc.save(locked / "Day1.fcpxml");
            ADD_FAILURE() << "saved into a read-only folder";
        } catch (const DocumentError &error) {
            EXPECT_EQ(error.message(), "Cannot write “Day1.fcpxml”: Permission denied.");
        }
        fs::permissions(locked, fs::perms::owner_all);
    }
    fs::remove_all(dir);
}

TEST(ErrorMessage, BuiltFromKindFileAndReason) {
    EXPECT_EQ(DocumentError(DocumentError::Kind::Read, "a/b.xml", "Input/output error").message(),
              "Cannot read “b.xml”: Input/output error.");
    EXPECT_EQ(
        DocumentError(DocumentError::Kind::Write, "b.xml", "No space left on device").message(),
        "Cannot write “b.xml”: No space left on device.");
    for (int full : {ENOSPC, EFBIG, EDQUOT}) {
        const auto error = DocumentError::fromSystem(DocumentError::Kind::Write, "b.xml", full);
        EXPECT_EQ(error.message(), "Cannot write “b.xml”: the disk is full.");
        EXPECT_EQ(error.systemError(), full);
    }
    DocumentError parse(DocumentError::Kind::Parse, "x/Day1.fcpxml", "mismatched tag", 12, 7, 99);
    EXPECT_EQ(parse.message(),
              "“Day1.fcpxml” is not well-formed XML: mismatched tag (line 12, column 7).");
    EXPECT_EQ(parse.describing("“Info.fcpxml” in the bundle “Day1.fcpxmld”").message(),
              "“Info.fcpxml” in the bundle “Day1.fcpxmld” is not well-formed XML: mismatched tag "
              "(line 12, column 7).");
    EXPECT_EQ(parse.reason(), "mismatched tag");
    EXPECT_EQ(parse.offset(), 99u);
}
