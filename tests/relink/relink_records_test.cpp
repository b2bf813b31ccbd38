#include "engine/relink/relink_error.h"
#include "engine/relink/relink_records.h"

#include <gtest/gtest.h>

#include <algorithm>

using namespace tessaly;

TEST(RelinkError, TextsAreTheUsersSentences) {
    EXPECT_EQ(RelinkError::noRoot().errorDescription(), "Invalid FCPXML - no root element found.");
    EXPECT_EQ(RelinkError::noResources().errorDescription(),
              "Invalid FCPXML - no <resources> section found.");
    EXPECT_EQ(RelinkError::noMovFound().errorDescription(),
              "No .mov proxy assets found. Nothing to relink.");
    EXPECT_STREQ(RelinkError::noMovFound().what(),
                 "No .mov proxy assets found. Nothing to relink.");
}

TEST(RelinkError, NoBrawFoundIsSevenLinesOf280Bytes) {
    const std::string text = RelinkError::noBrawFound().errorDescription();
    EXPECT_EQ(text.size(), 280u);
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 6);
    EXPECT_NE(text.back(), '\n');
    EXPECT_EQ(text.substr(0, 38), "No .braw asset found in this FCPXML.\n\n");
    EXPECT_NE(text.find("2. Choose \"Relink Files\" and point it to its .braw file\n"),
              std::string::npos);
}

TEST(RelinkError, DuplicateStemPlacesStemAndExtensionVerbatim) {
    EXPECT_EQ(RelinkError::duplicateStem("C0001", "mov").errorDescription(),
              "Duplicate .mov filename found: 'C0001'. All proxy filenames must be unique.");
    EXPECT_EQ(RelinkError::duplicateStem("A", "braw").errorDescription(),
              "Duplicate .braw filename found: 'A'. All proxy filenames must be unique.");
    const auto withApostrophe = RelinkError::duplicateStem("Kid's cut", "mov");
    EXPECT_EQ(withApostrophe.errorDescription(),
              "Duplicate .mov filename found: 'Kid's cut'. All proxy filenames must be unique.");
    EXPECT_EQ(withApostrophe.stem(), "Kid's cut");
    EXPECT_EQ(withApostrophe.extension(), "mov");
    EXPECT_EQ(withApostrophe.errorCase(), RelinkError::Case::duplicateStem);
}

TEST(RelinkChange, EveryRecordHasItsOwnRandomIdentity) {
    const RelinkChange a("A", "/a.mov", "/a.braw", "r1", "r2");
    const RelinkChange b("A", "/a.mov", "/a.braw", "r1", "r2");
    EXPECT_NE(a.id, b.id);
    EXPECT_NE(a, b);
    const std::string text = a.id.toString();
    ASSERT_EQ(text.size(), 36u);
    EXPECT_EQ(text[14], '4');                                         // version 4
    EXPECT_NE(std::string("89ab").find(text[19]), std::string::npos); // RFC 4122 variant
}
