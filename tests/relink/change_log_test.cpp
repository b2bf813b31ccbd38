#include "engine/relink/change_log.h"
#include "engine/version.h"

#include <gtest/gtest.h>

#include <regex>

using namespace tessaly;

namespace {

RelinkChange change(std::string stem, std::string oldSrc, std::string newSrc, std::string oldID,
                    std::string newID, bool found) {
    RelinkChange record(std::move(stem), std::move(oldSrc), std::move(newSrc), std::move(oldID),
                        std::move(newID));
    record.brawFound = found;
    return record;
}

} // namespace

TEST(ChangeLog, HeaderChangesAndRemovedFormats) {
    RelinkResult result;
    result.brawFormatID = "r2";
    result.changes.push_back(
        change("A002", "/Media/A002.mov", "/Media/A002.braw", "r4", "r6", true));
    result.changes.push_back(
        change("A003", "/Media/A003.MOV", "/Media/A003.braw", "r5", "r7", false));
    result.orphanFormatsRemoved = {"r1"};
    const ChangeLogHeader header{"Tessaly 9.9", "2026-12-07T14:03:09+01:00",
                                 "/Users/ed/Day2.fcpxmld", "/Users/ed/Day2_braw.fcpxmld",
                                 "Info.fcpxml"};
    EXPECT_EQ(changeLogText(header, result),
              "Program:\tTessaly 9.9\n"
              "Date:\t2026-12-07T14:03:09+01:00\n"
              "Input:\t/Users/ed/Day2.fcpxmld\n"
              "Document in bundle:\tInfo.fcpxml\n"
              "Output:\t/Users/ed/Day2_braw.fcpxmld\n"
              "Clip sources relinked:\t2\n"
              "Originals missing:\t1\n"
              "Formats removed:\t1\n"
              "Reference .braw format:\tr2\n"
              "\n"
              "stem\told path\tnew path\told id\tnew id\toriginal\n"
              "A002\t/Media/A002.mov\t/Media/A002.braw\tr4\tr6\tfound\n"
              "A003\t/Media/A003.MOV\t/Media/A003.braw\tr5\tr7\tmissing\n"
              "\n"
              "removed format\n"
              "r1\n");
}

TEST(ChangeLog, ASingleDocumentWithoutReferenceFormat) {
    RelinkResult result;
    result.changes.push_back(change("A", "/m/A.mov", "/m/A.braw", "r4", "r6", true));
    const std::string text = changeLogText(
        {changeLogProgram(), "2026-12-07T14:03:09Z", "/m/Day1.fcpxml", "/m/Day1_braw.fcpxml", {}},
        result);
    EXPECT_EQ(text.rfind("Program:\tTessaly " + std::string(kVersion) + "\n", 0), 0u);
    EXPECT_EQ(text.find("Document in bundle"), std::string::npos);
    EXPECT_NE(text.find("Reference .braw format:\tnone (every format left as it was)\n"),
              std::string::npos);
    EXPECT_EQ(text.substr(text.size() - 16), "\nremoved format\n");
}

// Whatever a path holds, a script splitting on lines and tabs gets the fields back.
TEST(ChangeLog, PathsCannotBreakLinesOrFields) {
    struct Case {
        std::string value, written;
    };
    for (const Case &c : std::vector<Case>{
             {"/m/Café A.braw", "/m/Café A.braw"},
             {"/m/a\tb.mov", "/m/a\\tb.mov"},
             {"/m/a\nb\r.mov", "/m/a\\nb\\r.mov"},
             {"C:\\clips\\t.mov", "C:\\\\clips\\\\t.mov"},
             {std::string("/m/\x1B[2J\x7F\x01.mov"), "/m/\\x1B[2J\\x7F\\x01.mov"},
         }) {
        EXPECT_EQ(changeLogField(c.value), c.written) << c.value;
    }

    // Every field of the log goes through the same escaping.
    RelinkResult result;
    result.changes.push_back(change("a\tb", "/m/a\tb\n.mov", "/m/a\tb\n.braw", "r\n4", "r6", true));
    result.orphanFormatsRemoved = {"r\t1"};
    const std::string text = changeLogText({"P", "D", "in\nput", "out\tput", {}}, result);
    EXPECT_NE(text.find("Input:\tin\\nput\nOutput:\tout\\tput\n"), std::string::npos) << text;
    EXPECT_EQ(text.substr(text.find("\nstem")),
              "\nstem\told path\tnew path\told id\tnew id\toriginal\n"
              "a\\tb\t/m/a\\tb\\n.mov\t/m/a\\tb\\n.braw\tr\\n4\tr6\tfound\n"
              "\n"
              "removed format\n"
              "r\\t1\n");
}

TEST(ChangeLog, DatesCarryTheirOffsetFromUTC) {
    std::tm local{};
    local.tm_year = 2026 - 1900;
    local.tm_mon = 11;
    local.tm_mday = 7;
    local.tm_hour = 4;
    local.tm_min = 5;
    local.tm_sec = 9;
    struct Case {
        long offset;
        const char *text;
    };
    for (const Case &c :
         {Case{3600, "2026-12-07T04:05:09+01:00"}, Case{0, "2026-12-07T04:05:09+00:00"},
          Case{-(3 * 3600 + 1800), "2026-12-07T04:05:09-03:30"},
          Case{5 * 3600 + 45 * 60, "2026-12-07T04:05:09+05:45"}})
        EXPECT_EQ(formatDateTime(local, c.offset), c.text);

    EXPECT_TRUE(std::regex_match(localDateTime(std::time(nullptr)),
                                 std::regex(R"(\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d[+-]\d\d:\d\d)")));
}
