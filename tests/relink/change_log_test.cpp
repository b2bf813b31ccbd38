#include "engine/relink/change_log.h"

#include <gtest/gtest.h>

#include <time.h>

using namespace tessaly;

// Whatever a path or an identifier holds, a script splitting on lines and tabs gets every
// field back: tabs, line ends, backslashes and control characters are escaped, and other text,
// such as an accented letter, is written as it is; bytes that are not UTF-8 are escaped too.
TEST(ChangeLog, HeaderChangesAndRemovedFormats) {
    RelinkResult result;
    result.brawFormatID = "r2";
    result.changes.emplace_back("A002", "/Media/A002.mov", "/Media/A002.braw", "r4", "r6");
    result.changes.emplace_back("A\t3", "/Media/A\t3\n.MOV", "/Media/A\t3\n.braw", "r\n5", "r7");
    result.changes.emplace_back("C", "/P/C.mov", "/P/C.braw", "r8", "r9");
    result.changes[0].brawFound = true;
    result.changes[2].original = OriginalPlace::ambiguous;
    result.changes[2].candidates = {"/R/a/C.braw", "/R/b\tc/C.BRAW"};
    result.orphanFormatsRemoved = {"r\t1"};
    const ChangeLogHeader header{"Tessaly 9.9",
                                 "2026-12-07T14:03:09+01:00",
                                 "/Users/ed/Café\\Day\r\n2.fcpxmld",
                                 "/Users/ed/Day2\xFF\xC3_braw.fcpxmld",
                                 "Info\t\x1B\x7F.fcpxml",
                                 {"/R", "/Volumes/My\tRAID"},
                                 1234,
                                 "9f86d0"};
    EXPECT_EQ(changeLogText(header, result),
              "Program:\tTessaly 9.9\n"
              "Date:\t2026-12-07T14:03:09+01:00\n"
              "Input:\t/Users/ed/Café\\\\Day\\r\\n2.fcpxmld\n"
              "Document in bundle:\tInfo\\t\\x1B\\x7F.fcpxml\n"
              "Output:\t/Users/ed/Day2\\xFF\\xC3_braw.fcpxmld\n"
              "Document size:\t1234\n"
              "Document SHA-256:\t9f86d0\n"
              "Search folders:\t/R\t/Volumes/My\\tRAID\n"
              "Clip sources relinked:\t3\n"
              "Originals missing:\t1\n"
              "Originals ambiguous:\t1\n"
              "Formats removed:\t1\n"
              "Reference .braw format:\tr2\n"
              "\n"
              "stem\told path\tnew path\told id\tnew id\toriginal\n"
              "A002\t/Media/A002.mov\t/Media/A002.braw\tr4\tr6\tfound\n"
              "A\\t3\t/Media/A\\t3\\n.MOV\t/Media/A\\t3\\n.braw\tr\\n5\tr7\tmissing\n"
              "C\t/P/C.mov\t/P/C.braw\tr8\tr9\tambiguous\n"
              "\n"
              "removed format\n"
              "r\\t1\n"
              "\n"
              "ambiguous stem\tcandidate\n"
              "C\t/R/a/C.braw\n"
              "C\t/R/b\\tc/C.BRAW\n");

    // A single document names no document in a bundle, a run without search folders says so,
    // and so does one without a reference format.
    result.brawFormatID.clear();
    const std::string text = changeLogText({"P", "D", "in", "out", {}, {}, 0, {}}, result);
    EXPECT_NE(text.find("Input:\tin\nOutput:\tout\nSearch folders:\tnone\n"), std::string::npos);
    EXPECT_NE(text.find("Reference .braw format:\tnone (every format left as it was)\n"),
              std::string::npos);
}

TEST(ChangeLog, DatesCarryTheirOffsetFromUTC) {
    std::tm local{};
    ASSERT_NE(::strptime("2026-12-07 04:05:09", "%Y-%m-%d %H:%M:%S", &local), nullptr);
    EXPECT_EQ(formatDateTime(local, 3600), "2026-12-07T04:05:09+01:00");
    EXPECT_EQ(formatDateTime(local, 0), "2026-12-07T04:05:09+00:00");
    EXPECT_EQ(formatDateTime(local, -(3 * 3600 + 1800)), "2026-12-07T04:05:09-03:30");
}
