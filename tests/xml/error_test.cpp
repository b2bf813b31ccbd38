#include "engine/xml/document.h"
#include "support/case_names.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <csignal>
#include <functional>
#include <sys/resource.h>
#include <sys/stat.h>

namespace fs = std::filesystem;
using tessaly::testing::TempDir;
using tessaly::xml::Document;
using tessaly::xml::DocumentError;

namespace {

DocumentError errorFrom(const std::function<void()> &action) {
    try {
        action();
    } catch (const DocumentError &error) {
        return error;
    }
    ADD_FAILURE() << "no DocumentError";
    return DocumentError(DocumentError::Kind::Parse, "none", "none");
}

struct ErrorCase {
    const char *name;
    std::string document;
    const char *reason;
    std::size_t line;
    std::size_t column;
    friend void PrintTo(const ErrorCase &c, std::ostream *out) { *out << c.name; }
};

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
    {"VersionNotANumber", "<?xml version='1.x'?><a/>", "unsupported XML version", 1, 6},
    {"SpaceInEncodingName", "<?xml version='1.0' encoding='utf 8'?><a/>", "invalid encoding name",
     1, 20},
    {"ExternalEntityInValue", "<!DOCTYPE a [<!ENTITY e SYSTEM 'e.txt'>]><a v='&e;'/>",
     "reference to external entity “e” in attribute value", 1, 48},
};

class ParseError : public testing::TestWithParam<ErrorCase> {};

} // namespace

TEST_P(ParseError, NamesReasonLineAndColumn) {
    const ErrorCase &c = GetParam();
    DocumentError error = errorFrom([&] { Document::parse(c.document, "Day1.fcpxml"); });
    EXPECT_EQ(error.kind(), DocumentError::Kind::Parse);
    EXPECT_EQ(error.reason(), c.reason);
    EXPECT_EQ(error.line(), c.line);
    EXPECT_EQ(error.column(), c.column);
}

INSTANTIATE_TEST_SUITE_P(Errors, ParseError, testing::ValuesIn(kErrorCases),
                         tessaly::testing::CaseName());

TEST(ErrorMessage, ParseErrorNamesFileLineAndColumn) {
    std::string document = "<fcpxml>\n";
    for (int i = 0; i < 10; ++i)
        document += "  <clip/>\n";
    document += "    </b>\n</fcpxml>\n";
    DocumentError error =
        errorFrom([&] { Document::parse(document, "/Volumes/Media/Day1.fcpxml"); });
    EXPECT_EQ(error.message(),
              "“Day1.fcpxml” is not well-formed XML: mismatched tag (line 12, column 7).");
    EXPECT_STREQ(error.what(), error.message().c_str());
    EXPECT_EQ(error.file(), "/Volumes/Media/Day1.fcpxml");
    EXPECT_EQ(error.offset(), document.find("</b>") + 2);
    EXPECT_EQ(error.describing("“Info.fcpxml” in the bundle “Day1.fcpxmld”").message(),
              "“Info.fcpxml” in the bundle “Day1.fcpxmld” is not well-formed XML: mismatched tag "
              "(line 12, column 7).");
}

// What the user reads when the file itself is the trouble: the system's reason, or a plainer
// one where the system's would mislead. Pipes and devices are refused at once: a pipe would
// block the open, a device would be read without end.
TEST(ErrorMessage, FileErrorsCarryTheSystemReason) {
    TempDir dir;
    fs::create_directories(dir / "Day1.fcpxmld");
    ASSERT_EQ(mkfifo((dir / "pipe.fcpxml").c_str(), 0644), 0);
    const Document doc = Document::parse("<a/>");
    auto load = [](const fs::path &file) { return [=] { Document::load(file); }; };
    auto save = [&doc](const fs::path &file) { return [&doc, file] { doc.save(file); }; };
    const struct {
        std::function<void()> action;
        std::string message;
    } cases[] = {
        {load(dir / "Day1.fcpxml"), "Cannot read “Day1.fcpxml”: No such file or directory."},
        {load(dir / "Day1.fcpxmld"), "Cannot read “Day1.fcpxmld”: Is a directory."},
        {load(dir / "pipe.fcpxml"), "Cannot read “pipe.fcpxml”: it is not a regular file."},
        {load("/dev/zero"), "Cannot read “zero”: it is not a regular file."},
        {save(dir / "missing" / "Day1.fcpxml"),
         "Cannot write “Day1.fcpxml”: No such file or directory."},
        {save(dir / "Day1.fcpxmld"), "Cannot write “Day1.fcpxmld”: Is a directory."},
        {save("/dev/full"), "Cannot write “full”: the disk is full."},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.message);
        EXPECT_EQ(errorFrom(c.action).message(), c.message);
    }
    EXPECT_EQ(errorFrom(save("/dev/full")).systemError(), ENOSPC);
}

// A write past the process's file-size limit fails with EFBIG; the user hears of a full disk.
TEST(ErrorMessage, FileSizeLimitReadsAsAFullDisk) {
    TempDir dir;
    const Document doc = Document::parse("<a>" + std::string(100000, 'x') + "</a>");
    rlimit saved{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit small = saved;
    small.rlim_cur = 4096;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    DocumentError error = errorFrom([&] { doc.save(dir / "big.fcpxml"); });
    setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, oldHandler);
    EXPECT_EQ(error.message(), "Cannot write “big.fcpxml”: the disk is full.");
    EXPECT_EQ(error.systemError(), EFBIG);
}
